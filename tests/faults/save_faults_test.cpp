// SPDX-License-Identifier: MIT
// The high-score table saved while things go wrong: a call of the save fails, or the
// process is killed between two of them. Afterwards max.pun is the old file or the new one,
// byte for byte, and a failed save was shown to the player. The faults come from a shim
// preloaded into brin-sim; the game itself is the one the players get.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "scenario/game_files.h"
#include "support.h"

using namespace scenario;

namespace {

constexpr int kKilled = 128 + 9;

enum class Ends { failed, saved_in_place, killed_before_rename, killed_after_rename };

struct Fault {
    const char* name;
    Ends ends;
};

class SaveFaults : public ::testing::TestWithParam<Fault> {
protected:
    // A game that ends with a total above the old table's, a name typed, the save, and a
    // shot while a failed save's message would show; then the same game saved unhindered
    // beside a stale max.pun.new, which is left alone, and that gives the new file.
    static void SetUpTestSuite() {
        folder = game_folder();
        old_table = Bytes(58, 0);
        old_table[0] = 1;
        old_table[10] = 'z';
        write(folder + "max.pun", old_table);
        Plan p = plan_game(folder, kPlayWithFile);
        script = p.clicks + name_then_enter(p.name_entry, "q") + at(p.name_entry + 1.5, "shot saved") +
                 at(p.name_entry + 2, "end");
        write(folder + "max.pun.new", Bytes(100, 'x'));
        unhindered = save_with("");
        new_table = read(folder + "max.pun");
    }

    // The game over `table`, with the faults on the file named.
    static Played save_with(const std::string& fault, const std::string& arguments = "", const Bytes& table = old_table,
                            const std::string& file = "max.pun") {
        write(folder + "max.pun", table);
        for (const std::string& name : temporaries()) std::remove((folder + name).c_str());
        // The shim is not built with the sanitizers; preloaded ahead of their run-time it
        // would make AddressSanitizer refuse to start, unless told not to mind the order.
        return play(folder, script, arguments,
                    "BRIN_FAULT=" + fault + " BRIN_FAULT_FILE=" + file +
                        " LD_PRELOAD='" BRIN_FAULT_SHIM "' ASAN_OPTIONS=verify_asan_link_order=0");
    }

    // The new files a save made and left: max.pun.new (or another file's) followed by what
    // makes each one's name unique.
    static std::vector<std::string> temporaries(const std::string& file = "max.pun") {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::string name = entry.path().filename();
            if (name.rfind(file + ".new.", 0) == 0) names.push_back(name);
        }
        return names;
    }

    // `size` bytes no two neighbours alike, beginning with `start`.
    static Bytes long_file(const Bytes& start, std::size_t size) {
        Bytes file = start;
        for (std::size_t i = file.size(); i < size; ++i) file.push_back(static_cast<unsigned char>(i * 7 + i / 251));
        return file;
    }

    static std::string folder, script;
    static Bytes old_table, new_table;
    static Played unhindered;
};

std::string SaveFaults::folder, SaveFaults::script;
Bytes SaveFaults::old_table, SaveFaults::new_table;
Played SaveFaults::unhindered;

TEST_F(SaveFaults, WithoutAFaultTheNewTableReplacesTheOldOneSilently) {
    ASSERT_EQ(unhindered.status, 0) << unhindered.stderr_text;
    ASSERT_EQ(new_table.size(), 58u);
    EXPECT_GT(new_table[0] | new_table[1] << 8, 1);
    EXPECT_EQ(new_table[10], 'q');
    EXPECT_EQ(new_table[11], 'z');  // the old first entry, moved down
    EXPECT_TRUE(temporaries().empty());
    EXPECT_EQ(read(folder + "max.pun.new"), Bytes(100, 'x'));
    EXPECT_FALSE(save_error_shown(shot(unhindered, "saved")));
}

// The save merges the table another game wrote meanwhile; a replay, whose own table is the
// one read at the start, must merge the recorded one and show and write the same table.
TEST_F(SaveFaults, AReplayMergesTheTableTheRecordedSaveReadAgain) {
    Bytes other = old_table;
    other[0] = 9;  // the first entry: 9 points for "y"
    other[10] = 'y';
    write(folder + "max.pun.other", other);
    Played recorded = save_with("another-game-saved", "--record game.brinrec");
    ASSERT_EQ(recorded.status, 0) << recorded.stderr_text;
    Bytes merged = read(folder + "max.pun");
    ASSERT_NE(std::find(merged.begin() + 10, merged.begin() + 15, 'y'), merged.begin() + 15)
        << "the other game's entry was not merged";
    write(folder + "max.pun", old_table);
    Played replay = play(folder, "", "--replay game.brinrec");
    EXPECT_EQ(replay.status, 0) << replay.stderr_text;
    EXPECT_EQ(read(replay.out + "max.pun"), merged);
    EXPECT_EQ(read(folder + "max.pun"), old_table) << "the replay's table is its own";
}

// A table that must be rewritten in place (here its folder takes no new file) is read whole
// first: when the rewrite fails it is put back byte for byte, however long it is.
TEST_F(SaveFaults, AFailedRewriteInPlacePutsTheWholeTableBack) {
    Bytes table = long_file(old_table, 70000);
    Played run = save_with("open-denied,fsync-itself", "", table);
    ASSERT_EQ(run.status, 0) << run.stderr_text;
    EXPECT_EQ(read(folder + "max.pun"), table);
    EXPECT_TRUE(save_error_shown(shot(run, "saved")));
}

// Only the shared table is rewritten in place: a recording that finds the disk full keeps
// the old one whole, and the failure is said.
TEST_F(SaveFaults, ARecordingOnAFullDiskKeepsTheOldOneAndSaysSo) {
    Bytes old_recording = long_file({}, 66000);
    write(folder + "game.brinrec", old_recording);
    Played run = save_with("full", "--record game.brinrec", old_table, "game.brinrec");
    ASSERT_EQ(run.status, 0) << run.stderr_text;
    EXPECT_EQ(read(folder + "game.brinrec"), old_recording);
    EXPECT_NE(run.stderr_text.find("could not save the recording game.brinrec: No space left on device"),
              std::string::npos)
        << run.stderr_text;
    EXPECT_TRUE(temporaries("game.brinrec").empty());
    EXPECT_EQ(read(folder + "max.pun"), new_table);
}

// The lock beside the table, held as another game's save holds it, for as long as it lives.
struct HeldLock {
    int fd;
    explicit HeldLock(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644)) {
        EXPECT_EQ(::flock(fd, LOCK_EX), 0);
    }
    ~HeldLock() { ::close(fd); }
};

// A save that failed, recorded, replays as it failed: the replay's save fails at the same
// step and writes nothing, and the replay matches the recording. The table is locked by
// another game (the save gives up after some seconds), can't be read, or can't be replaced:
// the rename fails, or the disk is full.
TEST_F(SaveFaults, AFailedSaveReplaysAsItFailed) {
    for (const char* fault : {"locked", "read", "rename", "write"}) {
        bool locked = std::string(fault) == "locked";
        Played recorded;
        {
            std::optional<HeldLock> lock;
            if (locked) lock.emplace(folder + "max.pun.lock");
            recorded = save_with(locked ? "" : fault, "--record game.brinrec");
        }
        ASSERT_EQ(recorded.status, 0) << fault << ": " << recorded.stderr_text;
        EXPECT_TRUE(save_error_shown(shot(recorded, "saved"))) << fault;
        EXPECT_EQ(read(folder + "max.pun"), old_table) << fault;
        Played replay = play(folder, "", "--replay game.brinrec");
        EXPECT_EQ(replay.status, 0) << fault << ": " << replay.stderr_text;
        EXPECT_EQ(read(replay.out + "max.pun"), old_table) << fault;
    }
}

TEST_P(SaveFaults, MaxPunIsTheOldFileOrTheNewOne) {
    Played run = save_with(GetParam().name);
    Bytes after = read(folder + "max.pun");
    switch (GetParam().ends) {
    case Ends::failed:
        ASSERT_EQ(run.status, 0) << run.stderr_text;
        EXPECT_EQ(after, old_table);
        EXPECT_TRUE(temporaries().empty());
        EXPECT_TRUE(save_error_shown(shot(run, "saved")));
        break;
    case Ends::saved_in_place:  // a folder that takes no new file: the table is rewritten where it is
        ASSERT_EQ(run.status, 0) << run.stderr_text;
        EXPECT_EQ(after, new_table);
        EXPECT_FALSE(save_error_shown(shot(run, "saved")));
        break;
    case Ends::killed_before_rename:
        EXPECT_EQ(run.status, kKilled) << run.stderr_text;
        EXPECT_EQ(after, old_table);
        break;
    case Ends::killed_after_rename:
        EXPECT_EQ(run.status, kKilled) << run.stderr_text;
        EXPECT_EQ(after, new_table);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryStep, SaveFaults,
                         ::testing::Values(Fault{"open", Ends::failed}, Fault{"read", Ends::failed},
                                           Fault{"open-denied", Ends::saved_in_place},
                                           Fault{"full", Ends::saved_in_place}, Fault{"write", Ends::failed},
                                           Fault{"fsync", Ends::failed}, Fault{"rename", Ends::failed},
                                           Fault{"kill-after-open", Ends::killed_before_rename},
                                           Fault{"kill-in-write", Ends::killed_before_rename},
                                           Fault{"kill-after-write", Ends::killed_before_rename},
                                           Fault{"kill-after-fsync", Ends::killed_before_rename},
                                           Fault{"kill-after-close", Ends::killed_before_rename},
                                           Fault{"kill-after-rename", Ends::killed_after_rename}),
                         [](const ::testing::TestParamInfo<Fault>& f) {
                             std::string name = f.param.name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
