// SPDX-License-Identifier: MIT
#include "hall_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pqxx/pqxx>
#include <sstream>
#include <thread>

#include "support.h"

namespace hall_test {

namespace {

// ---- SQLite ----

struct SqliteStorage : Storage {
    std::string fresh() override { return test::temp_dir() + "hall.db"; }

    std::vector<Row> rows(const std::string& database) override {
        std::vector<Row> out;
        sqlite3* db = nullptr;
        sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT id, score, name, recording FROM games", -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW) {
                auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(s, 3));
                out.push_back(Row{reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), sqlite3_column_int(s, 1),
                                  reinterpret_cast<const char*>(sqlite3_column_text(s, 2)),
                                  Bytes(bytes, bytes + sqlite3_column_bytes(s, 3))});
            }
        }
        sqlite3_finalize(s);
        sqlite3_close(db);
        return out;
    }

    bool intact(const std::string& database) override {
        sqlite3* db = nullptr;
        sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* s = nullptr;
        bool ok = sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
                  sqlite3_step(s) == SQLITE_ROW &&
                  std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, 0))) == "ok";
        sqlite3_finalize(s);
        sqlite3_close(db);
        return ok;
    }
};

// ---- PostgreSQL, started from Debian's package in a folder of its own ----

int run(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct PostgresStorage : Storage {
    std::string folder, bin;
    int databases = 0;

    bool start() {
        for (const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ignored))
            if (std::filesystem::exists(e.path() / "bin/initdb")) bin = (e.path() / "bin/").string();
        if (bin.empty()) return false;
        folder = test::temp_dir();
        // The server listens only on a socket in its folder: no port is taken.
        std::string as_postgres = "runuser -u postgres -- ";
        return run("chown postgres " + folder + " && " + as_postgres + bin + "initdb -D " + folder +
                   "data -U postgres -A trust --no-sync > " + folder + "initdb.log 2>&1") == 0 &&
               run(as_postgres + bin + "pg_ctl -D " + folder + "data -w -l " + folder + "server.log -o \"-k " + folder +
                   " -c listen_addresses='' -c fsync=off\" start > /dev/null") == 0;
    }
    ~PostgresStorage() override {
        if (!folder.empty())
            run("runuser -u postgres -- " + bin + "pg_ctl -D " + folder + "data -m immediate stop > /dev/null");
    }
    std::string address(const std::string& database) const {
        return "postgresql:///" + database + "?host=" + folder + "&user=postgres";
    }

    std::string fresh() override {
        std::string name = "hall" + std::to_string(++databases);
        pqxx::connection c(address("postgres"));
        pqxx::nontransaction(c).exec("CREATE DATABASE " + name);
        return address(name);
    }

    std::vector<Row> rows(const std::string& database) override {
        pqxx::connection c(database);
        pqxx::nontransaction n(c);
        std::vector<Row> out;
        for (const auto& r : n.exec("SELECT id, score, name, recording FROM games")) {
            pqxx::binarystring bytes(r[3]);
            out.push_back(
                Row{r[0].as<std::string>(), r[1].as<int>(), r[2].as<std::string>(), Bytes(bytes.begin(), bytes.end())});
        }
        return out;
    }

    bool intact(const std::string& database) override {
        pqxx::connection c(database);
        return pqxx::nontransaction(c).exec("SELECT COUNT(*) FROM games").size() == 1;
    }

    std::error_code ignored;
};

SqliteStorage sqlite_storage;
std::unique_ptr<PostgresStorage> postgres_storage;

// ---- sockets ----

int connect_to(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval wait{120, 0};  // a verification under the sanitizers on a busy machine
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool send_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

Reply parse_reply(const std::string& text) {
    Reply r;
    std::size_t end = text.find("\r\n\r\n");
    if (text.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos) return r;
    r.status = std::atoi(text.c_str() + 9);
    r.head = text.substr(0, end);
    r.body = text.substr(end + 4);
    return r;
}

}  // namespace

Storage& storage() { return postgres_storage ? static_cast<Storage&>(*postgres_storage) : sqlite_storage; }

bool use_postgres() {
    postgres_storage = std::make_unique<PostgresStorage>();
    if (postgres_storage->start()) return true;
    postgres_storage.reset();
    return false;
}

Hall::Hall(const std::string& database, const std::string& data, const std::vector<std::string>& options) {
    log_path_ = test::temp_dir() + "hall.log";
    std::vector<std::string> args = {BRIN_HALL,   "--listen", "127.0.0.1:0",    "--db", database,
                                     "--shipped", BRIN_DATA,  "--data",         data,   "--verifier",
                                     BRIN_SIM,    "--site",   BRIN_DATA "/none"};
    args.insert(args.end(), options.begin(), options.end());
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        int log = open(log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out[1], 1);
        dup2(log, 2);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);  // nothing more is said there
    std::size_t colon = line.rfind(':');
    if (colon != std::string::npos) port_ = std::atoi(line.c_str() + colon + 1);
    EXPECT_GT(port_, 0) << "brin-hall said: " << line << "\n" << log();
}

Hall::~Hall() {
    if (pid_ > 0) stop();
}

int Hall::stop() {
    int status = -1;
    if (pid_ <= 0) return status;
    kill(pid_, SIGTERM);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
}

void Hall::kill_now() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string Hall::log() const {
    std::ifstream in(log_path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Reply::header(const std::string& name) const {
    std::string lower_head = head, key = "\r\n" + name + ": ";
    for (char& ch : lower_head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (char& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::size_t at = lower_head.find(key);
    if (at == std::string::npos) return "";
    at += key.size();
    return head.substr(at, head.find("\r\n", at) - at);
}

Reply request(int port, const std::string& head, const std::string& body, std::chrono::milliseconds gap,
              std::size_t piece) {
    int fd = connect_to(port);
    if (fd < 0) return Reply{};
    // Sent beside the reading, so that a hall that answers before the body is all read is heard.
    std::thread sender([&] {
        if (!send_all(fd, head.data(), head.size())) return;
        std::size_t step = piece == 0 ? body.size() : piece;
        for (std::size_t at = 0; at < body.size(); at += step) {
            if (at > 0) std::this_thread::sleep_for(gap);
            if (!send_all(fd, body.data() + at, std::min(step, body.size() - at))) return;
        }
    });
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
        Reply r = parse_reply(text);
        std::string length = r.header("Content-Length");
        if (r.status != 0 && !length.empty() && r.body.size() >= std::stoul(length)) break;
    }
    shutdown(fd, SHUT_RDWR);
    sender.join();
    close(fd);
    return parse_reply(text);
}

Reply post(int port, const Bytes& file, const std::string& extra_headers) {
    return request(port,
                   "POST /api/games HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(file.size()) +
                       "\r\n" + extra_headers + "Connection: close\r\n\r\n",
                   std::string(file.begin(), file.end()));
}

Reply get(int port, const std::string& path) {
    return request(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

std::string sha256(const Bytes& bytes) {
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), sum, &size, EVP_sha256(), nullptr);
    char hex[3];
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", sum[i]);
        text += hex;
    }
    return text;
}

}  // namespace hall_test
