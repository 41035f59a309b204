// SPDX-License-Identifier: MIT
// A recording's bytes, as docs/recording.md describes them: the header, and one table of the
// records of the stream, by which the recorder writes each record and the replayer and the
// check read it. Nothing here runs the game.
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "recording.h"

namespace platform::recording::format {

constexpr unsigned char kMagic[8] = {'B', 'R', 'I', 'N', 'R', 'E', 'C', 0x1A};
constexpr std::size_t kPrefix = 14;  // the magic, the format and (before format 3) the unpacked length
constexpr std::size_t kMaxTable = 4096;
constexpr std::size_t kMaxFiles = 64;
constexpr std::uint64_t kMaxPolls = std::uint64_t{1} << 28;  // seconds for brin-sim to replay
constexpr std::uint64_t kMaxStill = std::uint64_t{1} << 20;  // polls in a row in which no time passes
constexpr std::size_t kMaxReadAgain = store::kMostReadBack;

// The records of the stream, one tag byte each. A poll's tag is its kind + 1.
enum Tag : std::uint8_t {
    kPoll = 1,    // to 4
    kRepeat = 5,  // the poll before, again n more times
    kKey,
    kMouse,
    kDisplay,
    kMouseDevice,
    kFrame,
    kTone,
    kEnd,
    kReadAgain,     // from format 2 on
    kDataFile,      // from format 3 on, where format 2 has the header's list
    kTableAtStart,  // from format 3 on, where format 2 has the header's table
    kSaved,         // from format 3 on
};

// What came of a save, as a kSaved record has it.
enum Saved : std::uint8_t { kNotRead, kWritten, kNotWritten };

inline bool is_poll(std::uint8_t tag) { return tag >= kPoll && tag < kPoll + 4; }

// A record: its tag and the values of its fields, in the order its layout gives. A field
// of bytes has their count as its value and `bytes` pointing at them.
struct Record {
    std::uint8_t tag = kEnd;
    std::uint64_t value[4] = {};
    const std::uint8_t* bytes = nullptr;
};

// What a record names in words, as a replay says what the recording has at its place.
const char* words_of(std::uint8_t tag);

std::int64_t us_of(timeval tv);
timeval tv_of(std::int64_t us);
std::string seconds_text(std::int64_t us);
// A recording's text (a file's name, the program's version) as it may reach a terminal or a
// page: printable ASCII as it is, any other byte as \xNN.
std::string printable(const std::string& text);

// Reads the contents; every read past their end or of a value out of range marks them bad,
// and the reads after that give zeros.
struct Reader {
    const std::vector<std::uint8_t>& b;
    std::size_t at = 0;
    bool short_ = false;   // ran out of bytes
    bool damaged = false;  // a value no recording holds
    std::size_t bad_at = 0;

    bool ok() const { return !short_ && !damaged; }
    bool more() const { return ok() && at < b.size(); }
    void fail(std::size_t where);
    std::uint8_t byte();
    std::uint64_t le(int bytes);
    std::uint64_t varint();
    std::int64_t signed_varint();
    std::string text();
};

// Appends the record.
void write(std::vector<std::uint8_t>& out, const Record& r);
// Reads the record at the reader's place; a record no recording of `format` holds marks it
// damaged.
Record read(Reader& in, std::uint16_t format);

// The header, written from and read into `r`: the program and the start, and before format 3
// the data files and the table.
void write_header(std::vector<std::uint8_t>& out, const Loaded& r);
void read_header(Reader& in, Loaded& r);

// How far a recording goes: within these bounds every replay of one ends soon.
struct Extent {
    std::uint64_t polls = 0, still = 0;  // polls, and those since time last passed
    std::int64_t us = 0;                 // virtual time
    // `n` more polls, `delta` microseconds apart; false, and nothing added, past a bound.
    bool add(std::uint64_t n, std::uint64_t delta);
};

// A name a recording may give a data file: a level's picture, the title's, the font. Never
// the table, which a replay must not take from the player's folder.
bool data_name(const std::string& name);
// A data file's size and CRC-32, read from its start, and its first `kMaxTable` bytes into
// `keep` when given; the file is left at its start again.
void digest(std::FILE* f, std::uint32_t& size, std::uint32_t& crc, std::vector<std::uint8_t>* keep);

// The file's first bytes, before its packed blocks.
std::vector<std::uint8_t> prefix();
// A whole file of the contents; empty when they could not be packed.
std::vector<std::uint8_t> file_of(const std::vector<std::uint8_t>& contents);

// The contents in `r.body`, of a file of `r.format`, checked and read as parse does: `r`'s
// error or ends_early set, the header's fields and the data files filled in.
void check_contents(Loaded& r);

}  // namespace platform::recording::format
