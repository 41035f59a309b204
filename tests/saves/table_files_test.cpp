// SPDX-License-Identifier: MIT
// The high-score table saved over files of every nature: planted links and FIFOs where the
// new file might go, a table that is a FIFO or a link, a hard-linked table, and tables and
// folders the player may or may not write. The player is the user nobody when the tests run
// as root (setpriv), else whoever runs them. A brin-sim game solves a level, a name is typed,
// and the file and the screen are looked at afterwards.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scenario/game_files.h"
#include "support.h"

using namespace scenario;

namespace {

const Bytes kOldTable = table_file({{40, "uno"}, {30, "dos"}, {20, "tres"}, {10, "cuatro"}, {5, "cinco"}});

bool root() { return geteuid() == 0; }

struct stat stat_of(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) st.st_mode = 0;
    return st;
}

class TableFiles : public ::testing::Test {
protected:
    // The script of a game that enters the table, and the table it saves when nothing is
    // odd; the same for a game that finds no table to read at start-up.
    static void SetUpTestSuite() {
        std::string folder = game_folder();
        script_without_table = game_script(folder, kPlayWithoutFile);
        write(folder + "max.pun", kOldTable);
        script = game_script(folder, kPlayWithFile);
        Played run = play(folder, script);
        saved = without_swap_column(read(folder + "max.pun"));
        if (root()) {
            const passwd* nobody = getpwnam("nobody");
            const group* nogroup = getgrnam("nogroup");
            if (nobody != nullptr && nogroup != nullptr) {
                player_uid = nobody->pw_uid;
                player_gid = nogroup->gr_gid;
            }
        }
    }

    // A shot of the name entry a second after the Enter, when a failed save's message
    // shows, and one of the table when it shows after a save that failed or not.
    static std::string game_script(const std::string& folder, double playing) {
        Plan p = plan_game(folder, playing);
        double enter = p.name_entry + 0.4;  // the moment of the Enter
        return p.clicks + name_then_enter(p.name_entry, "qq") + at(enter + 1, "shot entry") +
               at(enter + 4.5, "shot table") + at(enter + 5, "end");
    }

    void SetUp() override {
        ASSERT_NE(saved, kOldTable) << "the game's score did not enter the table";
        if (root()) {
            ASSERT_NE(player_uid, 0u) << "no user nobody to play as";
        }
        folder = game_folder();
        chmod(folder.c_str(), 0755);  // the player reaches it
        write(folder + "max.pun", kOldTable);
    }

    // The game as the player, with a time limit in case it hangs.
    void play_as_player(const std::string& game = script) {
        run = play_together({{folder, "out", game, "", "timeout -s KILL 60 " + as_player(), "chmod 0777 out"}})[0];
        ASSERT_EQ(run.status, 0) << run.stderr_text;
    }
    // The same, with shell commands run first by the process that becomes brin-sim ($$ is
    // its process id); no time limit, which would run the game in a process of its own.
    void play_as_player_after(const std::string& before, const std::string& game = script) {
        run = play_together({{folder, "out", game, "", as_player(), "chmod 0777 out && " + before}})[0];
        ASSERT_EQ(run.status, 0) << run.stderr_text;
    }
    static std::string as_player() { return root() ? "setpriv --reuid=nobody --regid=nogroup --clear-groups" : ""; }

    // Gives the folder or a file in it to the player (root gives it to nobody).
    void players(const std::string& name, mode_t mode) const {
        std::string path = folder + name;
        if (root()) {
            ASSERT_EQ(chown(path.c_str(), player_uid, player_gid), 0);
        }
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    }
    // Leaves it to its owner, with the mode given: the one running the tests, who is not the
    // player when that is root.
    void not_players(const std::string& name, mode_t mode) const { ASSERT_EQ(chmod((folder + name).c_str(), mode), 0); }

    bool saved_and_shown(const std::string& path) const {
        Bytes file = read(path);
        return file.size() == 58 && without_swap_column(file) == saved && shown_table(shot(run, "table")) == saved &&
               !save_error_shown(shot(run, "entry"));
    }
    // The failure said, the file kept, and the new entry in the table shown for the run.
    bool failure_shown_and_kept(const std::string& path) const {
        return save_error_shown(shot(run, "entry")) && read(path) == kOldTable &&
               shown_table(shot(run, "table")) == saved;
    }
    bool save_left_files() const {
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().filename().string().rfind("max.pun.new.", 0) == 0) return true;
        return false;
    }

    static std::string script, script_without_table;
    static Bytes saved;
    static uid_t player_uid;
    static gid_t player_gid;
    std::string folder;
    Played run;
};

std::string TableFiles::script, TableFiles::script_without_table;
Bytes TableFiles::saved;
uid_t TableFiles::player_uid = 0;
gid_t TableFiles::player_gid = 0;

// ---- what lies where the new file or the lock might go ----

TEST_F(TableFiles, LinksAndFifosPlantedUnderTheNamesOfTheSaveAreLeftAlone) {
    players("", 0755);
    players("max.pun", 0644);
    write(folder + "victim", Bytes(7, 'v'));
    // The names the game's first save would try, made by the process that becomes brin-sim.
    play_as_player_after(
        "ln -s victim max.pun.new.$$.0 && ln victim max.pun.new.$$.1 && ln -s absent max.pun.new.$$.2 && "
        "mkfifo max.pun.new.$$.3 && ln -s victim max.pun.new && ln -s absent max.pun.lock");
    EXPECT_TRUE(saved_and_shown(folder + "max.pun"));
    EXPECT_TRUE(S_ISREG(stat_of(folder + "max.pun").st_mode));
    EXPECT_EQ(read(folder + "victim"), Bytes(7, 'v'));
    EXPECT_EQ(stat_of(folder + "victim").st_nlink, 2u);  // the planted hard link still names it
    EXPECT_FALSE(std::filesystem::exists(folder + "absent"));
    EXPECT_TRUE(S_ISLNK(stat_of(folder + "max.pun.lock").st_mode));
}

// A save killed before its rename leaves its new file. Leftovers of games that are gone, or
// of an earlier run under the same process id (a container's game is always process 1), are
// removed at the next save; a live game's and anything but a plain file are left alone.
TEST_F(TableFiles, LeftoversOfKilledSavesNeverStopASave) {
    players("", 0777);
    players("max.pun", 0644);
    play_as_player_after(
        "for n in $(seq 0 120); do echo x >max.pun.new.$$.$n; done && echo x >max.pun.new.999999999.0 && "
        "echo x >max.pun.new.1.0");
    EXPECT_TRUE(saved_and_shown(folder + "max.pun"));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("max.pun.new.", 0) == 0) left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"max.pun.new.1.0"});  // process 1 is alive
}

TEST_F(TableFiles, ANewTableIsMadeAsTheOriginalMakesItWithTheUmasksMode) {
    std::remove((folder + "max.pun").c_str());
    players("", 0777);
    play_as_player_after("umask 002", script_without_table);
    EXPECT_EQ(stat_of(folder + "max.pun").st_mode & 07777, 0664u);
}

// ---- a table that is not a plain file of its own ----

TEST_F(TableFiles, ATableThatIsAFifoIsMissingAndUnwritableAndNothingWaitsOnIt) {
    std::remove((folder + "max.pun").c_str());
    ASSERT_EQ(mkfifo((folder + "max.pun").c_str(), 0666), 0);
    players("", 0755);
    play_as_player(script_without_table);
    EXPECT_TRUE(save_error_shown(shot(run, "entry")));
    EXPECT_TRUE(S_ISFIFO(stat_of(folder + "max.pun").st_mode));
    EXPECT_FALSE(save_left_files());
}

TEST_F(TableFiles, ATableReachedThroughASymlinkIsSavedWhereItIs) {
    ASSERT_EQ(mkdir((folder + "shared").c_str(), 0755), 0);
    write(folder + "shared/scores", kOldTable);
    std::remove((folder + "max.pun").c_str());
    ASSERT_EQ(symlink("shared/scores", (folder + "max.pun").c_str()), 0);
    players("shared", 0755);
    players("shared/scores", 0644);
    play_as_player();
    EXPECT_TRUE(saved_and_shown(folder + "shared/scores"));
    EXPECT_TRUE(S_ISLNK(stat_of(folder + "max.pun").st_mode));
}

TEST_F(TableFiles, ASymlinkToNothingIsNotATableAndStaysSo) {
    std::remove((folder + "max.pun").c_str());
    ASSERT_EQ(symlink("absent", (folder + "max.pun").c_str()), 0);
    players("", 0755);
    play_as_player(script_without_table);
    EXPECT_TRUE(save_error_shown(shot(run, "entry")));
    EXPECT_TRUE(S_ISLNK(stat_of(folder + "max.pun").st_mode));
    EXPECT_FALSE(std::filesystem::exists(folder + "absent"));
}

TEST_F(TableFiles, AHardLinkedTableIsRewrittenInPlaceForEveryName) {
    ASSERT_EQ(link((folder + "max.pun").c_str(), (folder + "other.pun").c_str()), 0);
    players("", 0755);
    players("max.pun", 0644);
    ino_t inode = stat_of(folder + "max.pun").st_ino;
    play_as_player();
    EXPECT_TRUE(saved_and_shown(folder + "max.pun"));
    EXPECT_EQ(read(folder + "other.pun"), read(folder + "max.pun"));
    EXPECT_EQ(stat_of(folder + "max.pun").st_ino, inode);
}

// ---- what the player may write ----

TEST_F(TableFiles, ATableThePlayerMayNotWriteIsKeptAndTheFailureShown) {
    players("", 0755);
    players("max.pun", 0444);
    play_as_player();
    EXPECT_TRUE(failure_shown_and_kept(folder + "max.pun"));
    EXPECT_EQ(stat_of(folder + "max.pun").st_mode & 07777, 0444u);
    EXPECT_FALSE(save_left_files());
}

TEST_F(TableFiles, TheNewTableKeepsTheOldOnesMode) {
    players("", 0755);
    players("max.pun", 0604);
    play_as_player();
    EXPECT_TRUE(saved_and_shown(folder + "max.pun"));
    EXPECT_EQ(stat_of(folder + "max.pun").st_mode & 07777, 0604u);
}

TEST_F(TableFiles, AWritableTableInAFolderThePlayerMayNotWriteIsRewrittenInPlace) {
    not_players("", 0555);
    players("max.pun", 0644);
    ino_t inode = stat_of(folder + "max.pun").st_ino;
    play_as_player();
    EXPECT_TRUE(saved_and_shown(folder + "max.pun"));
    EXPECT_EQ(stat_of(folder + "max.pun").st_ino, inode);
    chmod(folder.c_str(), 0755);
}

TEST_F(TableFiles, NeitherTableNorFolderWritableKeepsTheTableAndShowsTheFailure) {
    not_players("", 0555);
    players("max.pun", 0444);
    play_as_player();
    EXPECT_TRUE(failure_shown_and_kept(folder + "max.pun"));
    chmod(folder.c_str(), 0755);
}

// Owners can only be handed around by root.

TEST_F(TableFiles, AsRootTheNewTableKeepsTheOldOnesOwnerAndGroup) {
    if (!root()) GTEST_SKIP() << "only root can give a file to another user";
    players("max.pun", 0640);
    run = play(folder, script);
    ASSERT_EQ(run.status, 0) << run.stderr_text;
    EXPECT_TRUE(saved_and_shown(folder + "max.pun"));
    struct stat st = stat_of(folder + "max.pun");
    EXPECT_EQ(st.st_uid, player_uid);
    EXPECT_EQ(st.st_gid, player_gid);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(TableFiles, ATableOfAnotherOwnerThatAllMayWriteIsRewrittenInPlaceAndKeepsItsOwner) {
    if (!root()) GTEST_SKIP() << "only root can make a file of another user";
    players("", 0755);
    not_players("max.pun", 0666);  // root's
    ino_t inode = stat_of(folder + "max.pun").st_ino;
    play_as_player();
    EXPECT_TRUE(saved_and_shown(folder + "max.pun"));
    struct stat st = stat_of(folder + "max.pun");
    EXPECT_EQ(st.st_ino, inode);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_FALSE(save_left_files());
}

}  // namespace
