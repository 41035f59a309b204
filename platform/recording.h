// SPDX-License-Identifier: MIT
// Every game a file: what the machine answered the game, poll by poll, and what it showed
// and sounded, written down so that the game can be played again exactly, on any back-end.
// machine.cpp is the only caller of the hooks below; the programs start and end a recording
// or a replay. The format is described in docs/recording.md.
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "machine.h"
#include "store.h"

namespace platform::recording {

constexpr std::uint16_t kFormat = 2;                        // 1 lacks the table read again at a save; still read
constexpr std::size_t kMaxBody = std::size_t{128} << 20;    // the longest recording read or written, unpacked
constexpr std::int64_t kLongestUs = std::int64_t{1} << 45;  // the most virtual time one holds, 407 days
constexpr const char* kTable = "max.pun";                   // its bytes travel in the recording

// ---- for the programs ----

// Starts recording; `now` is the time the recording's virtual time counts from.
void start_recording(timeval now);
// The recording so far as a file's bytes, ended: what was recorded since the start.
std::vector<std::uint8_t> finish_recording();

// A recording read and checked: `error` says why it is refused ("is not a brin recording",
// "is damaged at byte N", "ends early, at N s"), empty when it can be replayed.
struct Loaded {
    std::uint16_t format = kFormat;
    std::string program;  // the version of brin that made it
    timeval start{};
    struct DataFile {
        std::string name;
        bool present = false;
        std::uint32_t size = 0, crc = 0;
    };
    std::vector<DataFile> files;
    bool table_present = false;
    std::vector<std::uint8_t> table;  // max.pun as read at the start
    std::vector<std::uint8_t> body;
    std::size_t stream_at = 0;  // where the poll stream begins in `body`
    std::string error;
};
Loaded parse(const std::vector<std::uint8_t>& file);
// Reads and parses `path`; a file larger than any recording is refused unread.
Loaded load(const std::string& path);
// The data file of `folder` that differs from the one the recording was made with, as a
// message ("was made with another 2.pcx"); empty when all are the same.
std::string data_differs(const Loaded& r, const std::string& folder);

// A folder of the replay's own, entered: the data files of `data_folder` linked in, max.pun
// as the recording has it, so that the game's save never touches the player's. It is
// removed at exit. The error, or empty.
std::string enter_replay_folder(const Loaded& r, const std::string& data_folder);

// Why `r` cannot be replayed with the data files of `folder` (its own error, a data file that
// differs, no folder of its own): empty when its replay folder has been entered.
std::string ready_to_replay(const Loaded& r, const std::string& folder);

// Replays `r` from the next poll on: every answer the game gets comes from it, inputs the
// back-end takes in are dropped. The first difference is said on stderr, prefixed with
// `who` ("brin-sim: FILE"), and ends the program with status 1; the recording's end ends it
// with status 0, as does the game ending with it.
void start_replay(Loaded r, const std::string& who);

// The viewer ended the replay before its end: the program's end is no difference.
void stop_replay();

// Once a replay has come to the recording's end: what it checked ("4120 frames and 310 tones
// as recorded, to 185.198400 s"); empty before.
std::string replay_summary();

// ---- for machine.cpp ----

extern bool on;  // recording or replaying: the hooks below are called
bool replaying();
void before_poll(machine::Poll what);
// After the back-end's poll: records or replays the reading, the keys and the mouse.
void after_poll(machine::Poll what, std::deque<std::uint8_t>& keys, int& mouse_x, int& mouse_y, int& buttons);
timeval reading();  // the answer of the last poll
// A key the back-end pushed: false when a replay drops it.
bool take_key(std::uint8_t byte);
bool display_opened(bool (*open)());
bool mouse_opened(bool (*open)());
void speaker(int divisor);
void frame_shown();
void data_file(const char* path, std::FILE* f);
// A save read `path` again: a recording notes what it found, a replay puts in its place
// what the recorded game found.
void data_read_again(const char* path, store::Bytes& bytes, bool& found);
std::int64_t replayed_us();

}  // namespace platform::recording
