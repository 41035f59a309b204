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

constexpr std::uint16_t kFormat = 3;  // packed as it is made; 1 and 2 are still read
// The most a recording holds, unpacked: hours of play in the window, and what checking one
// may cost in memory on every back-end. A recording that reaches it ends there.
constexpr std::size_t kMaxBody = std::size_t{16} << 20;
constexpr std::int64_t kLongestUs = std::int64_t{1} << 45;  // the most virtual time one holds, 407 days
constexpr const char* kTable = "max.pun";                   // its bytes travel in the recording
constexpr int kEndsEarly = 3;  // the status of a replay that reached the end of a cut recording

// ---- for the programs ----

// Where a recording's bytes go as they are made: the file from its start, a few seconds'
// worth at a time. False when they could not be kept: the recording then stops.
using Sink = bool (*)(const std::uint8_t* bytes, std::size_t size);
// Starts recording; `now` is the time the recording's virtual time counts from. Without a
// sink the bytes are kept for finish_recording.
void start_recording(timeval now, Sink sink = nullptr);
// Ends the recording: the rest of the file to the sink; the whole file when there is none.
std::vector<std::uint8_t> finish_recording();
// Why the recording stopped before the game ended, as the program says at its end ("the
// recording stopped at 4:59: it was too long"); empty when it did not.
std::string recording_stopped();

// A recording read and checked: `error` says why it is refused ("is not a brin recording",
// "is damaged at byte N"), empty when it can be replayed. A recording cut short (by a crash,
// or as a part of a file) is replayed to its last whole record: `ends_early` then says how
// far that goes ("ends early, at N s").
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
    std::vector<std::uint8_t> body;   // the contents, to the last whole record
    std::size_t stream_at = 0;        // where the poll stream begins in `body`
    std::int64_t length_us = 0;       // the virtual time its polls span
    // What each save that found the table read again: bytes the game merges, not its own.
    std::vector<std::vector<std::uint8_t>> tables_read_again;
    std::string error;
    std::string ends_early;
};
Loaded parse(const std::vector<std::uint8_t>& file);
// Reads and parses `path`, in pieces, only as far as the recording goes; a file larger than
// any recording is refused unread.
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
// with status 0, as does the game ending with it. The end of a recording cut short is said
// as its `ends_early`, with status kEndsEarly.
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
// A save's answers from the world, as store.h's data_read_again, data_may_write and
// data_written: a recording notes them, a replay gives the recorded ones.
bool data_read_again(const char* path, bool read, store::Bytes& bytes, bool& found);
bool data_may_write(const char* path);
bool data_written(const char* path, bool written);
std::int64_t replayed_us();

}  // namespace platform::recording
