// SPDX-License-Identifier: MIT
// Two games saving the high-score table of one folder at the same moment, many times over:
// two brin-sim runs started together, each solving the first level (one a second later than
// the other, so their totals differ) and typing its name at the same virtual moment. Every
// time both new scores must end in max.pun, sorted, and each game must show the table it
// wrote: the first to save its own entry in the old table, the second both. In some pairs
// one game pauses with the lock held, so that the other one must wait for it; in others one
// game is killed as soon as it has opened its new file, and the other one's save must still
// give a whole table.
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "scenario/game_files.h"
#include "support.h"

using namespace scenario;

namespace {

constexpr int kPairs = 200;
constexpr int kKilledPairs = 24;
constexpr int kPairsAtOnce = 8;  // in folders of their own
constexpr int kKilled = 128 + 9;
// The virtual clock steps a millisecond at each poll rather than 100 us: the same games in a
// third of the time.
const std::string kQuantum = "--quantum-us 1000";

const Bytes kOldTable = table_file({{40, "uno"}, {30, "dos"}, {20, "tres"}, {10, "cuatro"}, {5, "cinco"}});

std::string shim_environment(const std::string& fault) {
    // The shim is built without the sanitizers; see the save fault tests.
    return "BRIN_FAULT=" + fault + " LD_PRELOAD='" BRIN_FAULT_SHIM "' ASAN_OPTIONS=verify_asan_link_order=0";
}

bool save_left_files(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("max.pun.new", 0) == 0) return true;
    return false;
}

class ConcurrentSaves : public ::testing::Test {
protected:
    // The two games' scripts, and the score each one makes when it plays alone.
    static void SetUpTestSuite() {
        for (int i = 0; i < kPairsAtOnce; ++i) {
            folders.push_back(game_folder());
            write(folders.back() + "max.pun", kOldTable);
        }
        Plan p = plan_game(folders[0], kPlayWithFile, kQuantum);
        std::array<int, 20> cells =
            board(shot(play(folders[0], at(kPlayWithFile, "shot s") + at(kPlayWithFile, "end"), kQuantum), "s"));
        double enter = p.name_entry + 1;  // the later game's name entry has begun too
        for (const char* name : {"aa", "bb"}) {
            double start = kPlayWithFile + (name[0] == 'a' ? 1 : 2);
            scripts.push_back(solving_clicks(cells, start) + name_then_enter(enter, name) +
                              at(enter + 2, "shot table") + at(enter + 2.1, "end"));
            write(folders[0] + "max.pun", kOldTable);
            play(folders[0], scripts.back(), kQuantum);
            Bytes table = without_swap_column(read(folders[0] + "max.pun"));
            for (int e = 0; e < 5; ++e)
                if (table[10 + static_cast<std::size_t>(e)] == name[0])
                    entries.push_back({table[2 * e] | table[2 * e + 1] << 8, name});
        }
        write(folders[0] + "max.pun", kOldTable);
    }

    // Runs pairs of games in the folders together; checks each; false at the first pair
    // that went wrong.
    static bool pairs_hold(int first_pair, const std::vector<std::string>& environments) {
        std::vector<Launch> runs;
        for (std::size_t f = 0; f < folders.size(); ++f) {
            write(folders[f] + "max.pun", kOldTable);
            runs.push_back({folders[f], "a", scripts[0], kQuantum, environments[2 * f], ""});
            runs.push_back({folders[f], "b", scripts[1], kQuantum, environments[2 * f + 1], ""});
        }
        std::vector<Played> played = play_together(runs);
        for (std::size_t f = 0; f < folders.size(); ++f) {
            bool b_killed = environments[2 * f + 1].find("kill") != std::string::npos;
            std::string pair = "pair " + std::to_string(first_pair + static_cast<int>(f));
            bool ok = b_killed ? one_killed_holds(folders[f], played[2 * f], played[2 * f + 1], pair)
                               : pair_holds(folders[f], played[2 * f], played[2 * f + 1], pair);
            if (!ok) return false;
        }
        return true;
    }

    static bool pair_holds(const std::string& folder, const Played& a, const Played& b, const std::string& pair) {
        EXPECT_EQ(a.status, 0) << pair << ": " << a.stderr_text;
        EXPECT_EQ(b.status, 0) << pair << ": " << b.stderr_text;
        Bytes file = read(folder + "max.pun");
        Bytes both = with_entry(with_entry(kOldTable, entries[0]), entries[1]);
        Bytes shown_a = shown_table(shot(a, "table")), shown_b = shown_table(shot(b, "table"));
        bool a_first = shown_a == with_entry(kOldTable, entries[0]) && shown_b == both;
        bool b_first = shown_b == with_entry(kOldTable, entries[1]) && shown_a == both;
        EXPECT_EQ(file.size(), 58u) << pair;
        EXPECT_EQ(without_swap_column(file), both) << pair;
        EXPECT_TRUE(a_first || b_first) << pair << ": the tables shown are not the ones the games wrote";
        EXPECT_FALSE(save_left_files(folder)) << pair;
        return !::testing::Test::HasFailure();
    }

    // The killed game wrote nothing: the table is the other one's, whole.
    static bool one_killed_holds(const std::string& folder, const Played& a, const Played& b, const std::string& pair) {
        EXPECT_EQ(a.status, 0) << pair << ": " << a.stderr_text;
        EXPECT_EQ(b.status, kKilled) << pair << ": " << b.stderr_text;
        Bytes file = read(folder + "max.pun");
        EXPECT_EQ(file.size(), 58u) << pair;
        EXPECT_EQ(without_swap_column(file), with_entry(kOldTable, entries[0])) << pair;
        EXPECT_EQ(shown_table(shot(a, "table")), without_swap_column(file)) << pair;
        for (const auto& entry : std::filesystem::directory_iterator(folder))  // the stale file of the killed game
            if (entry.path().filename().string().rfind("max.pun.new", 0) == 0) std::filesystem::remove(entry.path());
        return !::testing::Test::HasFailure();
    }

    static std::vector<std::string> folders, scripts;
    static std::vector<Entry> entries;
};

std::vector<std::string> ConcurrentSaves::folders, ConcurrentSaves::scripts;
std::vector<Entry> ConcurrentSaves::entries;

TEST_F(ConcurrentSaves, EachGameAloneEntersItsScore) {
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_GT(entries[0].score, entries[1].score);
    EXPECT_GT(entries[1].score, 5);
}

TEST_F(ConcurrentSaves, BothScoresAreKeptAndEachGameShowsTheTableItWrote) {
    ASSERT_EQ(entries.size(), 2u);
    for (int pair = 0; pair < kPairs; pair += kPairsAtOnce) {
        std::vector<std::string> environments;
        for (int f = 0; f < kPairsAtOnce; ++f) {
            // Every fourth pair one of the two holds the lock a while, A and B in turn.
            bool pause = (pair / kPairsAtOnce + f) % 4 == 0;
            bool pause_a = pause && f % 2 == 0;
            environments.push_back(pause_a ? shim_environment("pause-after-open") : "");
            environments.push_back(pause && !pause_a ? shim_environment("pause-after-open") : "");
        }
        ASSERT_TRUE(pairs_hold(pair, environments));
    }
}

TEST_F(ConcurrentSaves, AGameKilledAfterOpeningItsNewFileLosesNothingOfTheOther) {
    ASSERT_EQ(entries.size(), 2u);
    for (int pair = 0; pair < kKilledPairs; pair += kPairsAtOnce) {
        std::vector<std::string> environments;
        for (int f = 0; f < kPairsAtOnce; ++f) {
            environments.push_back("");
            environments.push_back(shim_environment("kill-after-open"));
        }
        ASSERT_TRUE(pairs_hold(pair, environments));
    }
}

}  // namespace
