// SPDX-License-Identifier: MIT
// brin-hall: a hall of fame whose every game was played again before it entered. What the
// files of hall/ share: the settings, the level sets, the tables a replay leaves, the
// verification, the limits and the storage.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recording.h"

namespace hall {

using Bytes = std::vector<std::uint8_t>;

// ---- the settings (main.cpp) ----

struct Settings {
    std::string host = "127.0.0.1";
    int port = 8257;
    std::string database = "brin-hall.db";                          // a file, or a postgresql:// address
    std::string shipped;                                            // the shipped pictures, always a level set
    std::vector<std::string> data;                                  // more level sets
    std::string site, page;                                         // the browser edition, and the hall's own page
    std::string verifier;                                           // brin-sim
    std::size_t max_body = 1 << 20;                                 // bytes of a submission
    std::int64_t max_length_us = std::int64_t{2} * 3600 * 1000000;  // a game's virtual length
    int rate = 30;                                                  // submissions per address and minute
    int queue = 16;                                                 // verifications waiting
    int workers = 0;                                                // verifications at once; 0: one per processor
    int cpu_seconds = 10, memory_mb = 256;                          // a replay's share of the machine
    int read_seconds = 20;                                          // to send a whole request
};

// ---- level sets (level_sets.cpp) ----

struct LevelSet {
    std::string name;    // "brin" for the shipped pictures, else the folder's name
    std::string key;     // a digest of its pictures and font, the same on every hall
    std::string folder;  // absolute
    std::map<std::string, std::pair<std::uint32_t, std::uint32_t>> files;  // name: size, CRC-32
};

// The shipped set first; each folder must hold pictures. The error, or empty.
std::string load_level_sets(const Settings& s, std::vector<LevelSet>& sets);
// The set the recording was made with; else why none ("was made with another 2.pcx",
// against the first set).
const LevelSet* level_set_of(const std::vector<LevelSet>& sets, const platform::recording::Loaded& r, std::string& why);

// ---- the high-score table's bytes (tables.cpp) ----

struct Score {
    int points = 0;
    std::array<std::uint8_t, 8> name{};  // code page 437, ended by 0
    bool operator==(const Score&) const = default;
    auto operator<=>(const Score&) const = default;
};

// The five entries of a table file as the game reads it: its first 58 bytes, zero past its end.
std::array<Score, 5> entries(const Bytes& table);
// The entries of `final_table` that the game itself put there: those that neither the table
// it started with nor any table a save read again (another game's, merged) already held.
std::vector<Score> entered(const Bytes& final_table, const Bytes& start, const std::vector<Bytes>& read_again);
// A name as text: code page 437 up to its first 0, in UTF-8.
std::string name_text(const Score& s);

// ---- the replay (verify.cpp) ----

struct Verdict {
    std::string refused;  // why, or empty when accepted
    Score score;
    const LevelSet* set = nullptr;
    std::int64_t length_us = 0;  // the game's virtual length
};

// Plays the recording again in a child process, in a folder of its own holding the level
// set's files, and reads what its game entered in the table.
Verdict verify(const Settings& s, const std::vector<LevelSet>& sets, const Bytes& file);

// ---- limits (limits.cpp) ----

// What a request is answered: an HTTP status and a JSON body.
struct Answer {
    int status = 200;
    std::string body;
    int retry_after = 0;  // seconds, said with 429 and 503
};

// Whether `address` may submit now; else the seconds until it may.
int rate_wait(const std::string& address, int per_minute);

// The verifications, a bounded queue served by worker threads.
void start_queue(int workers, int capacity);
bool queue_has_room();
// The job's result to come, or none when the queue is full.
std::optional<std::future<Answer>> submit(std::function<Answer()> job);
// Lets the queued jobs finish and ends the workers.
void stop_queue();

// ---- storage (storage.cpp, storage_sqlite.cpp, storage_postgres.cpp) ----

struct Entry {
    std::string id;  // the recording's SHA-256, in hex
    std::string level_set, set_name;
    int score = 0;
    std::string name;  // UTF-8
    std::int64_t length_us = 0;
    std::int64_t added = 0;  // when it was verified, Unix seconds
};

class Storage {
public:
    virtual ~Storage() = default;
    // Adds the game, whole, unless one with its id is there: true when this call added it.
    virtual bool add(const Entry& e, const Bytes& recording) = 0;
    virtual std::optional<Entry> find(const std::string& id) = 0;
    // Its place in its level set: 1 for the best; equal scores in the order they came.
    virtual int place(const Entry& e) = 0;
    virtual std::vector<Entry> best(const std::string& level_set, int limit) = 0;
    virtual std::optional<Bytes> recording(const std::string& id) = 0;
};

std::unique_ptr<Storage> open_sqlite(const std::string& path);
std::unique_ptr<Storage> open_postgres(const std::string& address);
// A postgresql:// address or a file. Throws with the reason when it can't be opened.
std::unique_ptr<Storage> open_storage(const std::string& where);

// ---- HTTP (routes.cpp, server.cpp) ----

// The recording's id: its SHA-256 in hex.
std::string digest_of(const Bytes& file);

// Serves until stop_serving(); `bound` is called with the port once it listens. False when
// it can't listen. The requests in hand are answered before it returns.
bool serve(const Settings& s, const std::vector<LevelSet>& sets, Storage& storage,
           const std::function<void(int port)>& bound);
void stop_serving();

}  // namespace hall
