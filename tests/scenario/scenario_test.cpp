// SPDX-License-Identifier: MIT
// Whole games on brin-sim, played from scripts as a player would: look at the screen,
// work out the swaps, and play them.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "game_files.h"
#include "support.h"

using namespace scenario;

namespace {

constexpr int kYellow = 5, kCyan = 2;  // where the test pictures keep them
constexpr int kEscape = 1, kBackspace = 14, kRight = 106;

int score(const Bytes& file, int e) { return file[2 * e] | file[2 * e + 1] << 8; }

class Game : public ::testing::Test {
protected:
    void SetUp() override { folder = game_folder(); }
    std::string folder;
};

TEST_F(Game, TheScriptedPlayerSolvesALevelAndScoresItsSecondsLeft) {
    Played look = play(folder, at(kPlayWithoutFile, "shot shuffled") + at(kPlayWithoutFile, "end"));
    double end = 0;
    std::string clicks = solving_clicks(board(shot(look, "shuffled")), kPlayWithoutFile + 1, &end);
    Played run = play(folder, clicks + at(end + 1.5, "shot scoring") + at(end + 2, "end"));
    ASSERT_EQ(run.status, 0);
    Screen s = shot(run, "scoring");
    for (int c = 0; c < 20; ++c) EXPECT_EQ(board(s)[c], c) << "cell " << c;
    // The countdown rides on piece 3, home now in cell 3; the score of level 0 is 1 x that.
    long left = read_number(s, 480 + 20, 20, 4, 5, kYellow);
    long score = read_number(s, 270, 320, 4, 4, kCyan);
    EXPECT_GT(left, 20);
    EXPECT_EQ(score, left);
    // Counted up one point at a time, each with a tone of 100 x the points still to count.
    double first = tone_time(run, 100 * static_cast<int>(score), end);
    ASSERT_GT(first, 0);
    for (long p = score - 1; p >= score - 5; --p) EXPECT_GT(tone_time(run, 100 * static_cast<int>(p), first), first);
}

TEST_F(Game, ATimeOutEndsTheGameAndANamedScoreIsSaved) {
    Plan p = plan_game(folder, kPlayWithoutFile);
    double t = p.name_entry;
    std::string script = p.clicks + at(p.black_out + 0.08, "shot blacking") + type(t, "abcx") +
                         at(t + 0.5, "key " + std::to_string(kBackspace)) + type(t + 0.5, "defghij") +
                         at(t + 1.5, "shot name") + at(t + 1.6, "key " + std::to_string(kEnter)) +
                         at(t + 3, "shot table") + at(t + 4, "end");
    Played run = play(folder, script);
    ASSERT_EQ(run.status, 0);

    // Cells go black one by one: at the first tone, cells 0 and 1 are black, 2 not yet.
    Screen blacking = shot(run, "blacking");
    EXPECT_EQ(blacking.at(80, 50), 0);
    EXPECT_EQ(blacking.at(240, 50), 0);
    EXPECT_NE(blacking.at(400, 50), 0);
    // One tone per cell, falling: divisors 100 ... 1900, 16 centiseconds apart.
    double previous = p.black_out;
    for (int c = 2; c < 20; ++c) {
        double when = tone_time(run, 100 * c, previous);
        EXPECT_NEAR(when - previous, 0.16, 0.01) << "cell " << c;
        previous = when;
    }

    auto file = read(folder + "max.pun");
    ASSERT_EQ(file.size(), 58u);
    EXPECT_GT(score(file, 0), 20);
    for (int e = 1; e < 5; ++e) EXPECT_EQ(score(file, e), 0);
    std::string name;
    for (int r = 0; r < 8; ++r) name += static_cast<char>(file[10 + 6 * r]);
    EXPECT_EQ(name, std::string("abcdefg") + '\0');
    for (int e = 1; e < 6; ++e)
        for (int r = 0; r < 8; ++r) EXPECT_EQ(file[10 + 6 * r + e], 0);

    // The table shows the score in the first row (cyan) and zero in the second (magenta).
    Screen table = shot(run, "table");
    EXPECT_EQ(read_number(table, 388, 160, 2, 2, kCyan), score(file, 0));
    EXPECT_EQ(read_number(table, 388, 176, 2, 2, 3), 0);
}

TEST_F(Game, ANewTotalGoesBelowAnEqualOneInTheTable) {
    write(folder + "max.pun", Bytes(58, 0));
    Plan p = plan_game(folder, kPlayWithFile);
    Played learn = play(folder, p.clicks + name_then_enter(p.name_entry, "x") + at(p.name_entry + 2, "end"));
    ASSERT_EQ(learn.status, 0);
    int total = score(read(folder + "max.pun"), 0);
    ASSERT_GT(total, 2);

    Bytes table(58, 0);
    int scores[] = {total + 1, total, total - 1, 2, 1};
    for (int e = 0; e < 5; ++e) {
        table[2 * e] = static_cast<unsigned char>(scores[e] & 0xFF);
        table[2 * e + 1] = static_cast<unsigned char>(scores[e] >> 8);
        table[10 + e] = static_cast<unsigned char>('a' + e);
    }
    write(folder + "max.pun", table);
    Played run = play(folder, p.clicks + name_then_enter(p.name_entry, "new") + at(p.name_entry + 2, "end"));
    ASSERT_EQ(run.status, 0);
    auto file = read(folder + "max.pun");
    ASSERT_EQ(file.size(), 58u);
    int expected[] = {total + 1, total, total, total - 1, 2};
    for (int e = 0; e < 5; ++e) EXPECT_EQ(score(file, e), expected[e]) << "entry " << e;
    EXPECT_EQ(std::string(file.begin() + 10, file.begin() + 15), "abncd");
}

TEST_F(Game, HelpShowsOnEnterAndPutsTheCornerBackOnAKeyWithACharacter) {
    double t = kPlayWithoutFile;
    std::string script = at(t, "key " + std::to_string(kRight)) + at(t + 0.1, "shot before") +
                         at(t + 0.2, "key " + std::to_string(kEnter)) + at(t + 0.4, "shot help") +
                         at(t + 0.5, "key " + std::to_string(kRight)) + at(t + 0.6, "shot still") +
                         at(t + 0.7, "key 30") + at(t + 0.8, "shot after") + at(t + 0.9, "end");
    Played run = play(folder, script);
    ASSERT_EQ(run.status, 0);
    Screen before = shot(run, "before"), help = shot(run, "help"), still = shot(run, "still"),
           after = shot(run, "after");
    // The page: black with text in entry 254, 320 x 192 at the top-left corner.
    int ink = 0;
    for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 320; ++x) {
            ASSERT_TRUE(help.at(x, y) == 0 || help.at(x, y) == 254) << x << "," << y;
            ink += help.at(x, y) == 254;
        }
    EXPECT_GT(ink, 500);
    EXPECT_EQ(help.at(400, 300), before.at(400, 300));
    EXPECT_EQ(still.vram, help.vram);  // a cursor key has no character: the page stays
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) ASSERT_EQ(after.at(x, y), before.at(x, y)) << x << "," << y;
}

TEST_F(Game, EscapeEndsTheProgramWithStatusZero) {
    Played run = play(folder, at(kPlayWithoutFile, "key " + std::to_string(kEscape)), "--limit 60");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.stdout_text.empty());
}

TEST_F(Game, WithoutTheGraphicsModeItSaysSoAndEnds) {
    Played run = play(folder, "", "--no-vga");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.stdout_text, "NECESITA SVGA VESA");
}

TEST_F(Game, WithoutTheMouseItSaysSoAndPlaysOn) {
    Played run = play(folder, at(kPlayWithoutFile, "key " + std::to_string(kEscape)), "--no-mouse --limit 60");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.stdout_text, "El raton no puede funcionar\n");
}

TEST_F(Game, MissingHighScoresAreReportedAtStartUp) {
    Played run = play(folder, at(1, "shot message") + at(1, "end"));
    Screen s = shot(run, "message");
    // "Error archivo MAX.PUN" at (1, 1), 2x, light grey (9) on white (1).
    int grey = 0;
    for (int x = 1; x < 1 + 21 * 16; ++x) grey += s.at(x, 8) == 9;
    EXPECT_GT(grey, 20);
    EXPECT_EQ(s.at(1 + 21 * 16 + 5, 8), 255);  // the screen around is colour 255
}

TEST_F(Game, AFailedSaveShowsTheMessageAndLeavesTheOldFile) {
    Bytes old(58, 0);
    old[0] = 1;  // any solved level beats it
    old[10] = 'z';
    write(folder + "max.pun", old);
    Plan p = plan_game(folder, kPlayWithFile);
    // A stopped game holds the table's lock: after a few seconds the save gives up.
    int held = open((folder + "max.pun.lock").c_str(), O_RDONLY | O_CREAT, 0644);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    Played run = play(folder, p.clicks + name_then_enter(p.name_entry, "q") + at(p.name_entry + 1.5, "shot failed") +
                                  at(p.name_entry + 2, "end"));
    close(held);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(read(folder + "max.pun"), old);
    // "Error archivo MAX.PUN" at (1, 1) in yellow on black over the name entry.
    Screen s = shot(run, "failed");
    int yellow = 0;
    for (int x = 1; x < 1 + 21 * 16; ++x) yellow += s.at(x, 8) == kYellow;
    EXPECT_GT(yellow, 20);
}

TEST_F(Game, TheSameScriptGivesTheSameRun) {
    std::string script = at(kPlayWithoutFile, "mouse 100 100 4") + at(kPlayWithoutFile + 0.3, "mouse 100 100 0") +
                         at(kPlayWithoutFile + 1, "shot a") + at(kPlayWithoutFile + 2, "end");
    Played one = play(folder, script);
    Bytes vram = read(one.out + "a.vram"), png = read(one.out + "final.png"), log = read(one.out + "tones.log");
    Played two = play(folder, script);
    EXPECT_EQ(read(two.out + "a.vram"), vram);
    EXPECT_EQ(read(two.out + "final.png"), png);
    EXPECT_EQ(read(two.out + "tones.log"), log);
    EXPECT_FALSE(log.empty());
}

TEST_F(Game, TheOutputFolderIsMadeWhenMissing) {
    Played run = play(folder, at(1, "shot early") + at(2, "end"), "--out out/shots/today");
    EXPECT_EQ(run.status, 0) << run.stderr_text;
    EXPECT_EQ(read(run.out + "shots/today/early.vram").size(), 5u * 65536);
    EXPECT_EQ(read(run.out + "shots/today/final.vram").size(), 5u * 65536);
}

TEST_F(Game, BadScriptsAndArgumentsAreRefusedWithTheLine) {
    Played run = play(folder, "1 key 5\n\n# fine\n2 fly 3\n");
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.stderr_text.find("script.txt:4:"), std::string::npos) << run.stderr_text;
    run = play(folder, "2 key 5\n1 key 6\n");
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.stderr_text.find("script.txt:2:"), std::string::npos) << run.stderr_text;
    run = play(folder, "1 key 200\n");
    EXPECT_EQ(run.status, 64);
    for (const char* time : {"1e300", "inf", "nan", "31536001", "-1"}) {  // a year is 31536000 s
        run = play(folder, "1 key 5\n" + std::string(time) + " key 6\n");
        EXPECT_EQ(run.status, 64) << time;
        EXPECT_NE(run.stderr_text.find("script.txt:2:"), std::string::npos) << run.stderr_text;
    }
    for (const char* limit : {"1e300", "inf", "-5", "0"}) {
        run = play(folder, "", std::string("--limit ") + limit);
        EXPECT_EQ(run.status, 64) << limit;
        EXPECT_NE(run.stderr_text.find("--limit"), std::string::npos) << run.stderr_text;
    }
    run = play(folder, "", "--quantum-us zero");
    EXPECT_EQ(run.status, 64);
    run = play(folder, "", "--limit 5");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(read(run.out + "final.vram").size(), 5u * 65536);
}

}  // namespace
