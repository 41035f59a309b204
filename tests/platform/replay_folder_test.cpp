// SPDX-License-Identifier: MIT
// The folder a replay plays in: nothing in it leads back to a file of the player's that the
// game writes, whatever the recording names; and the folders of replays killed outright are
// removed at the next replay's start, but only those and only what a replay puts there.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "recording.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;
namespace recording = platform::recording;
using Bytes = std::vector<unsigned char>;

const Bytes kMine = {'m', 'i', 'n', 'e'};
const Bytes kEvil = {'E', 'V', 'I', 'L', '!'};

// A replay's folder entered in a TMPDIR of its own with the player's data folder, then left.
class ReplayFolder : public ::testing::Test {
protected:
    void SetUp() override {
        base = test::temp_dir() + "tmp";
        fs::create_directory(base);
        data = test::temp_dir();
        test::write_file(data + "1.pcx", {1, 2, 3});
        test::write_file(data + "max.pun", kMine);
        test::write_file(data + "max.pun.lock", {});
        here = fs::current_path();
    }
    void TearDown() override { fs::current_path(here); }

    std::string enter(const std::vector<std::string>& names) {
        recording::Loaded r;
        for (const auto& n : names) r.files.push_back({n, true, 0, 0});
        r.table_present = true;
        r.table = {kEvil.begin(), kEvil.end()};
        setenv("TMPDIR", base.c_str(), 1);
        std::string why = recording::enter_replay_folder(r, data);
        unsetenv("TMPDIR");
        fs::current_path(here);
        return why;
    }

    // The replay folders in TMPDIR.
    std::vector<fs::path> folders() const {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(base)) found.push_back(e.path());
        return found;
    }

    std::string base, data;
    fs::path here;
};

TEST_F(ReplayFolder, HoldsLinksToTheDataAndATableOfItsOwnAndNothingElse) {
    ASSERT_EQ(enter({"1.pcx"}), "");
    ASSERT_EQ(folders().size(), 1u);
    fs::path folder = folders()[0];
    EXPECT_TRUE(fs::is_symlink(folder / "1.pcx"));
    EXPECT_EQ(test::read_file(folder / "1.pcx"), Bytes({1, 2, 3}));
    EXPECT_FALSE(fs::is_symlink(folder / "max.pun"));
    EXPECT_EQ(test::read_file(folder / "max.pun"), kEvil);

    // A name the game writes, or any that is not a picture or the font, is never linked in.
    for (const char* name : {"max.pun", "max.pun.lock", "brin.conf", "max.pun.new.1.0"}) {
        EXPECT_NE(enter({"1.pcx", name}), "") << name;
        for (const auto& f : folders())
            if (fs::exists(f / name) || fs::is_symlink(f / name)) ADD_FAILURE() << name << " is in " << f;
        EXPECT_EQ(test::read_file(data + "max.pun"), kMine) << name;
    }
    EXPECT_EQ(folders().size(), 1u) << "each replay's folder replaces the one before";
}

pid_t gone_process() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

TEST_F(ReplayFolder, OnlyTheFoldersOfReplaysKilledOutrightAreRemoved) {
    std::string gone = base + "/brin-replay-" + std::to_string(gone_process());
    std::string alive = base + "/brin-replay-" + std::to_string(getppid());
    std::string elsewhere = test::temp_dir();
    test::write_file(elsewhere + "max.pun", kMine);
    const struct {
        std::string folder;
        std::vector<std::string> files;
        bool stays;
    } cases[] = {
        {gone + "-aaaaaa", {"1.pcx", "max.pun", "max.pun.lock", "max.pun.new.7.0"}, false},
        {gone + "-bbbbbb", {"max.pun", "notes.txt"}, true},  // not all of it a replay's
        {gone + "-cccccc", {"max.pun"}, true},               // locked below: its replay runs
        {alive + "-dddddd", {"max.pun"}, true},
        {base + "/brin-replay-abcdef", {"max.pun"}, true},
    };
    for (const auto& c : cases) {
        fs::create_directory(c.folder);
        for (const auto& f : c.files) test::write_file(c.folder + "/" + f, kMine);
    }
    fs::create_directory_symlink(elsewhere, gone + "-eeeeee");
    int lock = open((gone + "-cccccc").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);

    ASSERT_EQ(enter({"1.pcx"}), "");
    close(lock);
    for (const auto& c : cases) {
        EXPECT_EQ(fs::exists(c.folder), c.stays) << c.folder;
        if (c.stays) {
            EXPECT_EQ(test::read_file(c.folder + "/" + c.files.back()), kMine) << c.folder;
        }
    }
    EXPECT_FALSE(fs::exists(gone + "-bbbbbb/max.pun")) << "a replay's own file was left";
    EXPECT_EQ(test::read_file(elsewhere + "max.pun"), kMine) << "a link was followed";
}

}  // namespace
