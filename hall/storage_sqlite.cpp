// SPDX-License-Identifier: MIT
// The games in an SQLite file, in WAL mode: each submission is one statement, so one
// transaction, and a process killed at any moment leaves it wholly in or wholly out.
#include <sqlite3.h>

#include <mutex>
#include <stdexcept>

#include "hall.h"
#include "storage.h"

namespace hall {

namespace {

class Sqlite : public Storage {
public:
    explicit Sqlite(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                            nullptr) != SQLITE_OK)
            fail(path);
        sqlite3_busy_timeout(db_, 10000);  // another hall on the same file
        exec("PRAGMA journal_mode = WAL");
        exec("PRAGMA synchronous = FULL");
        exec(std::string(sql::kTable) + "BLOB NOT NULL)");
        exec(sql::kIndex);
    }
    ~Sqlite() override { sqlite3_close(db_); }

    bool add(const Entry& e, const Bytes& recording) override {
        std::lock_guard lock(mutex_);
        Statement s(*this, sql::kAdd);
        s.text(1, e.id).text(2, e.level_set).text(3, e.set_name).number(4, e.score).text(5, e.name);
        s.number(6, e.length_us).number(7, e.added);
        sqlite3_bind_blob(s.stmt, 8, recording.data(), static_cast<int>(recording.size()), SQLITE_TRANSIENT);
        if (s.step() != SQLITE_DONE) fail("adding a game");
        return sqlite3_changes(db_) == 1;
    }

    std::optional<Entry> find(const std::string& id) override {
        std::lock_guard lock(mutex_);
        Statement s(*this, sql::kFind);
        s.text(1, id);
        if (s.step() != SQLITE_ROW) return std::nullopt;
        return s.entry();
    }

    int place(const Entry& e) override {
        std::lock_guard lock(mutex_);
        Statement s(*this, sql::kPlace);
        s.text(1, e.level_set).number(2, e.score).number(3, e.added).text(4, e.id);
        if (s.step() != SQLITE_ROW) fail("counting places");
        return sqlite3_column_int(s.stmt, 0);
    }

    std::vector<Entry> best(const std::string& level_set, int limit) override {
        std::lock_guard lock(mutex_);
        Statement s(*this, sql::kBest);
        s.text(1, level_set).number(2, limit);
        std::vector<Entry> out;
        while (s.step() == SQLITE_ROW) out.push_back(s.entry());
        return out;
    }

    std::optional<Bytes> recording(const std::string& id) override {
        std::lock_guard lock(mutex_);
        Statement s(*this, sql::kRecording);
        s.text(1, id);
        if (s.step() != SQLITE_ROW) return std::nullopt;
        auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(s.stmt, 0));
        return Bytes(bytes, bytes + sqlite3_column_bytes(s.stmt, 0));
    }

private:
    struct Statement {
        sqlite3_stmt* stmt = nullptr;
        Statement(Sqlite& owner, const char* text) {
            if (sqlite3_prepare_v2(owner.db_, text, -1, &stmt, nullptr) != SQLITE_OK) owner.fail(text);
        }
        ~Statement() { sqlite3_finalize(stmt); }
        Statement& text(int i, const std::string& t) {
            sqlite3_bind_text(stmt, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
            return *this;
        }
        Statement& number(int i, std::int64_t n) {
            sqlite3_bind_int64(stmt, i, n);
            return *this;
        }
        int step() { return sqlite3_step(stmt); }
        std::string column_text(int i) {
            const unsigned char* t = sqlite3_column_text(stmt, i);
            return t == nullptr ? "" : reinterpret_cast<const char*>(t);
        }
        Entry entry() {
            return Entry{column_text(0),
                         column_text(1),
                         column_text(2),
                         sqlite3_column_int(stmt, 3),
                         column_text(4),
                         sqlite3_column_int64(stmt, 5),
                         sqlite3_column_int64(stmt, 6)};
        }
    };

    [[noreturn]] void fail(const std::string& what) {
        throw std::runtime_error("SQLite: " + what + ": " + sqlite3_errmsg(db_));
    }
    void exec(const std::string& statement) {
        if (sqlite3_exec(db_, statement.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail(statement);
    }

    sqlite3* db_ = nullptr;
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<Storage> open_sqlite(const std::string& path) { return std::make_unique<Sqlite>(path); }

}  // namespace hall
