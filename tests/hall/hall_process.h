// SPDX-License-Identifier: MIT
// What the hall's tests drive: a real brin-hall on 127.0.0.1 at a port it chose, with the
// storage of this run (SQLite files, or a PostgreSQL server the tests started themselves),
// and plain HTTP exchanges with it, hostile ones too.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace hall_test {

using Bytes = std::vector<unsigned char>;

// The storage the halls of this run use.
struct Storage {
    // A fresh, empty database: a file path or a postgresql:// address.
    virtual std::string fresh() = 0;
    struct Row {
        std::string id;
        int score;
        std::string name;
        Bytes recording;
    };
    virtual std::vector<Row> rows(const std::string& database) = 0;
    // Whether the database holds together (SQLite's integrity check; PostgreSQL keeps its own).
    virtual bool intact(const std::string& database) = 0;
    virtual ~Storage() = default;
};
Storage& storage();
// Starts the PostgreSQL server this run's storage uses; false when there is none to start.
bool use_postgres();

class Hall {
public:
    // Serves the level sets of `data` (and the shipped pictures) from `database`.
    Hall(const std::string& database, const std::string& data, const std::vector<std::string>& options = {});
    ~Hall();
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    // SIGTERM, and the exit status it ended with.
    int stop();
    void kill_now();
    std::string log() const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string log_path_;
};

struct Reply {
    int status = 0;  // 0 when no answer came
    std::string head, body;
    std::string header(const std::string& name) const;
};

// One request: its head and body sent (the body in pieces `gap` apart, when given one), and
// the answer read until the hall closes or finishes it.
Reply request(int port, const std::string& head, const std::string& body = "",
              std::chrono::milliseconds gap = std::chrono::milliseconds(0), std::size_t piece = 0);
Reply post(int port, const Bytes& file, const std::string& extra_headers = "");
Reply get(int port, const std::string& path);

std::string sha256(const Bytes& bytes);

}  // namespace hall_test
