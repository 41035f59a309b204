// SPDX-License-Identifier: MIT
// The games in PostgreSQL, which several halls may share: a game's id is its recording's
// SHA-256, so two halls adding the same game at once make one row, and each submission is
// one statement, so one transaction.
#include <mutex>
#include <pqxx/pqxx>

#include "hall.h"
#include "storage.h"

namespace hall {

namespace {

// Halls starting together must not race to make the table: they take turns on this lock.
constexpr long kSchemaLock = 0x6272696e;  // "brin"

class Postgres : public Storage {
public:
    explicit Postgres(const std::string& address)
        : address_(address), db_(std::make_unique<pqxx::connection>(address)) {
        pqxx::work w(*db_);
        w.exec_params("SELECT pg_advisory_xact_lock($1)", kSchemaLock);
        w.exec(std::string(sql::kTable) + "BYTEA NOT NULL)");
        w.exec(sql::kIndex);
        w.commit();
    }

    bool add(const Entry& e, const Bytes& recording) override {
        return run([&](pqxx::connection& db) {
            pqxx::work w(db);
            pqxx::result r = w.exec_params(sql::kAdd, e.id, e.level_set, e.set_name, e.score, e.name, e.length_us,
                                           e.added, pqxx::binarystring(recording.data(), recording.size()));
            w.commit();
            return r.affected_rows() == 1;
        });
    }

    std::optional<Entry> find(const std::string& id) override {
        return run([&](pqxx::connection& db) -> std::optional<Entry> {
            pqxx::nontransaction n(db);
            pqxx::result r = n.exec_params(sql::kFind, id);
            if (r.empty()) return std::nullopt;
            return entry(r[0]);
        });
    }

    int place(const Entry& e) override {
        return run([&](pqxx::connection& db) {
            pqxx::nontransaction n(db);
            return n.exec_params1(sql::kPlace, e.level_set, e.score, e.added, e.id)[0].as<int>();
        });
    }

    std::vector<Entry> best(const std::string& level_set, int limit) override {
        return run([&](pqxx::connection& db) {
            pqxx::nontransaction n(db);
            std::vector<Entry> out;
            for (const auto& row : n.exec_params(sql::kBest, level_set, limit)) out.push_back(entry(row));
            return out;
        });
    }

    std::optional<Bytes> recording(const std::string& id) override {
        return run([&](pqxx::connection& db) -> std::optional<Bytes> {
            pqxx::nontransaction n(db);
            pqxx::result r = n.exec_params(sql::kRecording, id);
            if (r.empty()) return std::nullopt;
            pqxx::binarystring bytes(r[0][0]);
            return Bytes(bytes.begin(), bytes.end());
        });
    }

private:
    static Entry entry(const pqxx::row& row) {
        return Entry{row[0].as<std::string>(), row[1].as<std::string>(),  row[2].as<std::string>(), row[3].as<int>(),
                     row[4].as<std::string>(), row[5].as<std::int64_t>(), row[6].as<std::int64_t>()};
    }

    // One connection, one statement at a time; a connection the server dropped is made
    // again once.
    template <class Work>
    auto run(Work work) -> decltype(work(std::declval<pqxx::connection&>())) {
        std::lock_guard lock(mutex_);
        try {
            return work(*db_);
        } catch (const pqxx::broken_connection&) {
            db_ = std::make_unique<pqxx::connection>(address_);
            return work(*db_);
        }
    }

    std::string address_;
    std::unique_ptr<pqxx::connection> db_;
    std::mutex mutex_;
};

}  // namespace

std::unique_ptr<Storage> open_postgres(const std::string& address) { return std::make_unique<Postgres>(address); }

}  // namespace hall
