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
#include "support.h"

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

// Games recorded by earlier versions, in the first format (no table read again at a save) and
// the second (a game with saves, and no table at its start), still replay; and a replay cut
// short by the viewer's limit ends as any run at its limit, with no difference said.
TEST(Recording, TheEarlierFormatsStillReplayAndALimitIsNoDifference) {
    for (const char* name : {"format1.brinrec", "format2.brinrec"}) {
        std::string folder = game_folder();
        write(folder + "game.brinrec", read(test::fixture(std::string("recordings/") + name)));
        Played replay = play(folder, "", "--replay game.brinrec");
        EXPECT_EQ(replay.status, 0) << name << ": " << replay.stderr_text;
        Played cut = play(folder, "", "--replay game.brinrec --limit 5");
        EXPECT_EQ(cut.status, 2) << name;
        EXPECT_EQ(cut.stderr_text, "") << name;
    }
}

// The recording read, changed record by record and written again, as a damaged program might.
std::function<void(const std::string&)> changed(const std::string& path, const std::function<void(Contents&)>& change) {
    return [=](const std::string&) {
        Contents c = contents_of(read(path));
        change(c);
        write(path, file_of(c));
    };
}

// A byte of a block's packed part near `near`: not of a block's length or CRC-32.
std::size_t inside_a_block(const Bytes& file, std::size_t near) {
    for (std::size_t at = format::kPrefix; at + 8 <= file.size();) {
        std::size_t n = file[at] | file[at + 1] << 8 | file[at + 2] << 16 | std::size_t{file[at + 3]} << 24;
        if (near < at + 8 + n) return std::max(near, at + 8);
        at += 8 + n;
    }
    return near;
}

struct Bad {
    const char* name;
    std::function<void(const std::string& folder)> spoil;
    int status;
    const char* said;
};

// A file cut short (the first half of one, as a crash leaves it) is replayed to its last whole
// record; one damaged in its middle is refused, naming the damaged block.
TEST(Recording, BadOrForeignRecordingsAreRefusedAndTheFirstDifferenceIsNamed) {
    std::string folder = recorded_game();
    Bytes good = read(folder + "game.brinrec");
    std::string recording = folder + "game.brinrec";
    const std::size_t middle = good.size() / 2, flipped = inside_a_block(good, middle);
    const Bad cases[] = {
        {"not one",
         [&](const std::string&) {
             write(recording, Bytes{'h', 'e', 'l', 'l', 'o'});
         },
         1, "is not a brin recording"},
        {"flipped",
         [&](const std::string&) {
             Bytes b = good;
             b[flipped] ^= 0x5A;
             write(recording, b);
         },
         1, "is damaged at byte "},
        {"cut", [&](const std::string&) { write(recording, Bytes(good.begin(), good.begin() + middle)); },
         platform::recording::kEndsEarly, "ends early, at "},
        {"another picture", [&](const std::string& f) { write(f + "1.pcx", level_picture(2)); }, 1,
         "was made with another 1.pcx"},
        // Another start time seeds another shuffle, which sounds other tones.
        {"another start",
         changed(recording, [](Contents& c) { c.head.start = format::tv_of(format::us_of(c.head.start) ^ 256); }), 1,
         "the speaker changed to "},
        {"the pointer elsewhere", changed(recording, [](Contents& c) { first(c, format::kMouse)->value[0] = 100; }), 1,
         "the frame differs"},
    };
    for (const Bad& c : cases) {
        write(recording, good);
        write(folder + "1.pcx", level_picture(1));
        c.spoil(folder);
        Played replay = play(folder, "", "--replay game.brinrec");
        EXPECT_EQ(replay.status, c.status) << c.name;
        EXPECT_EQ(replay.stderr_text.rfind("brin-sim: game.brinrec: ", 0), 0u) << c.name << ": " << replay.stderr_text;
        EXPECT_NE(replay.stderr_text.find(c.said), std::string::npos) << c.name << ": " << replay.stderr_text;
        EXPECT_EQ(std::count(replay.stderr_text.begin(), replay.stderr_text.end(), '\n'), 1) << c.name;
    }
    // The damage is named where its block begins, a few seconds of the game before it.
    write(recording, good);
    cases[1].spoil(folder);
    std::string said = play(folder, "", "--replay game.brinrec").stderr_text;
    std::size_t at = std::stoul(said.substr(said.find("byte ") + 5));
    EXPECT_LE(at, flipped) << said;
    EXPECT_GT(at + 4096, flipped) << said;
}

// A data file of that name, as the recording's first record.
void named_as_data(Contents& c, const char* name) {
    static std::string kept;
    kept = name;
    c.records.insert(c.records.begin(),
                     {format::kDataFile, {kept.size(), 1, 58, 0}, reinterpret_cast<const std::uint8_t*>(kept.data())});
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
        {"the table as a data file", [](Contents& c) { named_as_data(c, "max.pun"); }, 1, "is damaged at byte "},
        {"another file as a data file", [](Contents& c) { named_as_data(c, "notes.txt"); }, 1, "is damaged at byte "},
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

// A game longer than a recording may hold is recorded up to that bound, which the program
// says at its end; the recording ends there cleanly and replays whole.
TEST(Recording, AGameLongerThanARecordingHoldsIsRecordedToTheBoundAndSaysSo) {
    std::string folder = game_folder();
    Played run = play(folder, at(1500, "end"), "--record game.brinrec");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(std::regex_match(run.stderr_text,
                                 std::regex("brin-sim: the recording stopped at [0-9]+:[0-9]{2}: it was too long\n")))
        << run.stderr_text;
    Played replay = play(folder, "", "--replay game.brinrec");
    EXPECT_EQ(replay.status, 0) << replay.stderr_text;
}

// A game killed while it is recorded leaves the recording that was there whole, and its own
// beside it, written as far as the last few seconds, which replays as far as it goes.
TEST(Recording, AKilledGameLeavesItsRecordingBesideTheOneBefore) {
    std::string folder = recorded_game();
    Bytes before = read(folder + "game.brinrec");
    Launch killed{
        folder,
        "killed",
        at(3600, "end"),
        "--record game.brinrec",
        "",
        "(until [ \"$(cat game.brinrec.* 2>/dev/null | wc -c)\" -gt 4000 ]; do sleep 0.05; done; kill -9 $$) & true"};
    EXPECT_EQ(play_together({killed})[0].status, 128 + 9);
    EXPECT_EQ(read(folder + "game.brinrec"), before);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("game.brinrec.", 0) == 0) left.push_back(entry.path().filename());
    ASSERT_EQ(left.size(), 1u);
    Played replay = play(folder, "", "--replay " + left[0]);
    EXPECT_EQ(replay.status, platform::recording::kEndsEarly) << replay.stderr_text;
    EXPECT_TRUE(
        std::regex_match(replay.stderr_text, std::regex("brin-sim: game.brinrec.*: ends early, at [0-9.]+ s\n")))
        << replay.stderr_text;
}

// A recording naming the player's table among its data files, with a table of its own: a
// replay that linked the player's table in would write this one over it.
TEST(Recording, AReplayNeverTouchesThePlayersTable) {
    std::string folder = recorded_game();
    Contents c = contents_of(read(folder + "game.brinrec"));
    Bytes mine = table();
    auto crc = static_cast<std::uint32_t>(crc32(0, mine.data(), static_cast<uInt>(mine.size())));
    static const std::string kName = "max.pun";
    static Bytes evil = mine;
    evil[0] = 0x0F;  // 9,999 points for EVIL!
    evil[1] = 0x27;
    std::copy_n("EVIL!", 5, evil.begin() + 10);
    first(c, format::kTableAtStart)->bytes = evil.data();
    c.records.insert(
        c.records.begin(),
        {format::kDataFile, {kName.size(), 1, mine.size(), crc}, reinterpret_cast<const std::uint8_t*>(kName.data())});
    write(folder + "game.brinrec", file_of(c));
    Played replay = play(folder, "", "--replay game.brinrec");
    EXPECT_EQ(read(folder + "max.pun"), mine) << replay.stderr_text;
}

// The version of the program that made a recording, said beside a difference, reaches the
// terminal escaped.
TEST(Recording, ARecordingsTextIsPrintedEscaped) {
    const std::string hostile = "\x1b]0;owned\x07\x1b[31mYOUR FILES ARE GONE";
    std::string folder = recorded_game();
    changed(folder + "game.brinrec", [&](Contents& c) {
        c.head.program = hostile;
        first(c, format::kMouse)->value[0] = 100;
    })(folder);
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
