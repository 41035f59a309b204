// SPDX-License-Identifier: MIT
// Recordings of brin-sim runs: replayed, they give the run's outputs byte for byte; damaged,
// foreign or diverging ones are refused with the reason and status 1.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <regex>

#include "game_files.h"
#include "recording_format.h"

namespace scenario {
namespace {

std::string game_script() {
    return at(0, "mouse 600 440 0") + at(kPlayWithFile, "key 28") + at(kPlayWithFile + 1, "shot help") +
           at(kPlayWithFile + 2, "key 45") + at(kPlayWithFile + 3, "mouse 240 140 4") +
           at(kPlayWithFile + 3.2, "mouse 240 140 0") + at(kPlayWithFile + 4, "mouse 400 250 4") +
           at(kPlayWithFile + 4.2, "mouse 400 250 0") + at(kPlayWithFile + 5, "shot swapped") +
           at(kPlayWithFile + 6, "key 1");
}

Bytes table() {
    Bytes t(58, 0);
    t[0] = 0x34;  // 1,076 points for the first name
    t[1] = 0x04;
    for (int r = 0; r < 3; ++r) t[10 + 6 * r] = static_cast<unsigned char>('A' + r);
    return t;
}

// A folder with max.pun and a recording of the game script played in it.
std::string recorded_game() {
    std::string folder = game_folder();
    write(folder + "max.pun", table());
    Played run = play(folder, game_script(), "--record " + folder + "game.brinrec");
    EXPECT_EQ(run.status, 0) << run.stderr_text;
    return folder;
}

TEST(Recording, AReplayGivesTheRunsOutputsByteForByte) {
    std::string folder = recorded_game();
    std::vector<std::string> names = {"help.png",    "help.vram",  "swapped.vram",
                                      "swapped.pal", "final.vram", "tones.log"};
    std::vector<Bytes> played;
    for (const auto& n : names) played.push_back(read(folder + "out/" + n));
    std::filesystem::remove_all(folder + "out");
    Played replay = play(folder, game_script(), "--replay game.brinrec");
    ASSERT_EQ(replay.status, 0) << replay.stderr_text;
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(read(replay.out + names[i]), played[i]) << names[i];
    EXPECT_TRUE(std::regex_match(replay.stdout_text,
                                 std::regex("brin-sim: game.brinrec: [1-9][0-9]* frames and [1-9][0-9]* tones as "
                                            "recorded, to [0-9]+\\.[0-9]{6} s\n")))
        << replay.stdout_text;
    EXPECT_EQ(read(replay.out + "max.pun"), table());
    EXPECT_EQ(read(folder + "max.pun"), table()) << "the replay's table is its own";
}

// A game of the first format, which had no table read again at a save, still replays; and a
// replay cut short by the viewer's limit ends as any run at its limit, with no difference said.
TEST(Recording, TheFirstFormatStillReplaysAndALimitIsNoDifference) {
    std::string folder = recorded_game();
    Bytes file = read(folder + "game.brinrec");
    ASSERT_EQ(file[8], 2);
    file[8] = 1;
    write(folder + "game.brinrec", file);
    Played replay = play(folder, "", "--replay game.brinrec");
    EXPECT_EQ(replay.status, 0) << replay.stderr_text;
    Played cut = play(folder, "", "--replay game.brinrec --limit 5");
    EXPECT_EQ(cut.status, 2);
    EXPECT_EQ(cut.stderr_text, "");
}

// The recording unpacked, changed and packed again, as a damaged program might write it.
void repack(const std::string& path, const std::function<void(Bytes&)>& change) {
    Bytes file = read(path);
    uLongf size = file[10] | file[11] << 8 | file[12] << 16 | uLongf{file[13]} << 24;
    Bytes body(size);
    ASSERT_EQ(uncompress(body.data(), &size, file.data() + 14, static_cast<uLong>(file.size() - 14)), Z_OK);
    change(body);
    for (int i = 0; i < 4; ++i) file[10 + i] = static_cast<unsigned char>(body.size() >> (8 * i));
    uLongf packed = compressBound(static_cast<uLong>(body.size()));
    file.resize(14 + packed);
    ASSERT_EQ(compress(file.data() + 14, &packed, body.data(), static_cast<uLong>(body.size())), Z_OK);
    file.resize(14 + packed);
    write(path, file);
}

// The first mouse record, (600, 440) with no button, moved to (100, 440).
void pointer_at_100(Bytes& body) {
    const Bytes from = {7, 0xB0, 0x09, 0xF0, 0x06, 0};
    auto at = std::search(body.begin(), body.end(), from.begin(), from.end());
    ASSERT_NE(at, body.end());
    at[1] = 0xC8;
    at[2] = 0x01;
}

struct Bad {
    const char* name;
    std::function<void(const std::string& folder)> spoil;
    const char* said;
};

TEST(Recording, BadOrForeignRecordingsAreRefusedAndTheFirstDifferenceIsNamed) {
    std::string folder = recorded_game();
    Bytes good = read(folder + "game.brinrec");
    std::string recording = folder + "game.brinrec";
    const Bad cases[] = {
        {"not one",
         [&](const std::string&) {
             write(recording, Bytes{'h', 'e', 'l', 'l', 'o'});
         },
         "is not a brin recording"},
        {"flipped",
         [&](const std::string&) {
             Bytes b = good;
             for (std::size_t i = b.size() / 2; i < b.size() / 2 + 4; ++i) b[i] ^= 0x5A;
             write(recording, b);
         },
         "is damaged at byte "},
        {"cut", [&](const std::string&) { write(recording, Bytes(good.begin(), good.begin() + good.size() / 2)); },
         "ends early, at "},
        {"another picture", [&](const std::string& f) { write(f + "1.pcx", level_picture(2)); },
         "was made with another 1.pcx"},
        // Another start time seeds another shuffle, which sounds other tones.
        {"another start", [&](const std::string&) { repack(recording, [](Bytes& body) { body[5] ^= 1; }); },
         "the speaker changed to "},
        {"the pointer elsewhere", [&](const std::string&) { repack(recording, pointer_at_100); }, "the frame differs"},
    };
    for (const Bad& c : cases) {
        write(recording, good);
        write(folder + "1.pcx", level_picture(1));
        c.spoil(folder);
        Played replay = play(folder, "", "--replay game.brinrec");
        EXPECT_EQ(replay.status, 1) << c.name;
        EXPECT_EQ(replay.stderr_text.rfind("brin-sim: game.brinrec: ", 0), 0u) << c.name << ": " << replay.stderr_text;
        EXPECT_NE(replay.stderr_text.find(c.said), std::string::npos) << c.name << ": " << replay.stderr_text;
        EXPECT_EQ(std::count(replay.stderr_text.begin(), replay.stderr_text.end(), '\n'), 1) << c.name;
    }
}

namespace format = platform::recording::format;

// A recording's header and records, to be changed and written again.
struct Contents {
    platform::recording::Loaded head;
    std::vector<format::Record> records;  // their bytes stay in head.body
};

Contents contents_of(const Bytes& file) {
    Contents c{platform::recording::parse(file), {}};
    EXPECT_EQ(c.head.error, "");
    format::Reader in{c.head.body, c.head.stream_at};
    while (in.more()) c.records.push_back(format::read(in, c.head.format));
    return c;
}

Bytes file_of(const Contents& c) {
    std::vector<std::uint8_t> contents;
    format::write_header(contents, c.head);
    for (const auto& r : c.records) format::write(contents, r);
    return format::file_of(contents);
}

std::vector<format::Record>::iterator first(Contents& c, std::uint8_t tag) {
    return std::find_if(c.records.begin(), c.records.end(), [&](const auto& r) { return r.tag == tag; });
}

// The first poll of the game, and what follows up to the next poll.
void first_poll_only(Contents& c) {
    auto poll = first(c, format::kPoll);
    auto next = std::find_if(poll + 1, c.records.end(), [](const auto& r) { return format::is_poll(r.tag); });
    c.records.erase(next, c.records.end());
    c.records.push_back({format::kEnd});
}

struct Hostile {
    const char* name;
    std::function<void(Contents&)> change;
    int status;
    const char* said;  // on stderr, or on stdout for status 0
};

// Recordings that hold what no game records are refused before the replay starts, at once,
// whatever their numbers; one that goes as far as a recording may is replayed to its end.
TEST(Recording, HostileRecordingsAreRefusedAtOnceAndTheLongestIsReplayed) {
    std::string folder = recorded_game();
    Bytes good = read(folder + "game.brinrec");
    const Hostile cases[] = {
        {"the table as a data file",
         [](Contents& c) {
             c.head.files.push_back({"max.pun", true, 58, 0});
         },
         1, "is damaged at byte "},
        {"another file as a data file",
         [](Contents& c) {
             c.head.files.push_back({"notes.txt", true, 5, 0});
         },
         1, "is damaged at byte "},
        {"the mouse at the least number",
         [](Contents& c) { first(c, format::kMouse)->value[0] = static_cast<std::uint64_t>(INT64_MIN); }, 1,
         "is damaged at byte "},
        {"repeats whose time overflows",
         [](Contents& c) {
             auto poll = first(c, format::kPoll);
             poll->value[0] = std::uint64_t{1} << 44;
             c.records.insert(poll + 1, {format::kRepeat, {std::uint64_t{1} << 20}});
         },
         1, "is damaged at byte "},
        {"polls in which no time passes",
         [](Contents& c) {
             auto poll = first(c, format::kPoll);
             poll->value[0] = 0;
             c.records.insert(poll + 1, {format::kRepeat, {format::kMaxPolls - 2}});
         },
         1, "is damaged at byte "},
        {"its first poll a year and more on",
         [](Contents& c) {
             first_poll_only(c);
             first(c, format::kPoll)->value[0] = platform::recording::kLongestUs;
         },
         0, "as recorded, to 35184372.088832 s\n"},
    };
    for (const Hostile& h : cases) {
        Contents c = contents_of(good);
        h.change(c);
        write(folder + "game.brinrec", file_of(c));
        Played replay = play(folder, "", "--replay game.brinrec");
        EXPECT_EQ(replay.status, h.status) << h.name << ": " << replay.stderr_text;
        const std::string& said = h.status == 0 ? replay.stdout_text : replay.stderr_text;
        EXPECT_NE(said.find(h.said), std::string::npos) << h.name << ": " << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << h.name << ": " << said;
    }
}

// A recording naming the player's table among its data files, with a table of its own: a
// replay that linked the player's table in would write this one over it.
TEST(Recording, AReplayNeverTouchesThePlayersTable) {
    std::string folder = recorded_game();
    Contents c = contents_of(read(folder + "game.brinrec"));
    Bytes mine = table();
    auto crc = static_cast<std::uint32_t>(crc32(0, mine.data(), static_cast<uInt>(mine.size())));
    c.head.files.push_back({"max.pun", true, static_cast<std::uint32_t>(mine.size()), crc});
    c.head.table[0] = 0x0F;  // 9,999 points for EVIL!
    c.head.table[1] = 0x27;
    std::copy_n("EVIL!", 5, c.head.table.begin() + 10);
    write(folder + "game.brinrec", file_of(c));
    Played replay = play(folder, "", "--replay game.brinrec");
    EXPECT_EQ(read(folder + "max.pun"), mine) << replay.stderr_text;
}

// The version of the program that made a recording, said beside a difference, reaches the
// terminal escaped.
TEST(Recording, ARecordingsTextIsPrintedEscaped) {
    const std::string hostile = "\x1b]0;owned\x07\x1b[31mYOUR FILES ARE GONE";
    std::string folder = recorded_game();
    repack(folder + "game.brinrec", [&](Bytes& body) {
        body.erase(body.begin() + 1, body.begin() + 1 + body[0]);
        body.insert(body.begin() + 1, hostile.begin(), hostile.end());
        body[0] = static_cast<unsigned char>(hostile.size());
        pointer_at_100(body);
    });
    Played replay = play(folder, "", "--replay game.brinrec");
    EXPECT_EQ(replay.status, 1);
    EXPECT_NE(replay.stderr_text.find("(recorded by brin \\x1b]0;owned\\x07\\x1b[31mYOUR FILES ARE GONE)\n"),
              std::string::npos)
        << replay.stderr_text;
}

// A replay ended by a signal takes its folder with it; one killed outright leaves it, and
// the next replay removes it.
TEST(Recording, NoReplayFolderIsLeftBehind) {
    std::string folder = recorded_game();
    for (int signal : {SIGINT, SIGTERM, SIGKILL}) {
        std::string tmp = folder + "tmp" + std::to_string(signal);
        std::filesystem::create_directory(tmp);
        // tones.log a FIFO no one reads: the replay waits there, in its folder, for the signal.
        std::string kill_when_in = "mkfifo out/tones.log && { (until ls '" + tmp +
                                   "' | grep -q brin-replay; do sleep 0.05; done; kill -" + std::to_string(signal) +
                                   " $$) & }";
        Played killed = play(folder, "", "--replay game.brinrec", "TMPDIR=" + tmp, kill_when_in);
        EXPECT_EQ(killed.status, 128 + signal);
        EXPECT_EQ(std::filesystem::is_empty(tmp), signal != SIGKILL) << signal;
        Played next = play(folder, "", "--replay game.brinrec", "TMPDIR=" + tmp);
        EXPECT_EQ(next.status, 0) << next.stderr_text;
        EXPECT_TRUE(std::filesystem::is_empty(tmp)) << signal;
    }
}

}  // namespace
}  // namespace scenario
