// SPDX-License-Identifier: MIT
// Recordings of brin-sim runs: replayed, they give the run's outputs byte for byte; damaged,
// foreign or diverging ones are refused with the reason and status 1.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "game_files.h"

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

}  // namespace
}  // namespace scenario
