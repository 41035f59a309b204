// SPDX-License-Identifier: MIT
// The game's high-score table, called directly on the simulator: entering, sorting, names,
// and the save beside other games.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "brin.h"
#include "support.h"

using namespace vora256;

namespace {

class Scores : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        dir = test::temp_dir();
        old_dir = getcwd(nullptr, 0);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        start_up();  // no max.pun: an empty table
    }
    void TearDown() override {
        EXPECT_EQ(chdir(old_dir), 0);
        std::free(old_dir);
        test::Machine::TearDown();
    }
    // The table as the game reads it at start-up, from a fresh run's empty one.
    static void start_up() {
        std::memset(brin::puntos, 0, sizeof brin::puntos);
        std::memset(brin::nombres, 0, sizeof brin::nombres);
        brin::leer_puntos();
    }
    // A file of five scores with one-letter names.
    static std::vector<unsigned char> table_file(std::initializer_list<int> scores, const char* names) {
        std::vector<unsigned char> file(58, 0);
        int e = 0;
        for (int s : scores) {
            file[2 * e] = static_cast<unsigned char>(s & 0xFF);
            file[2 * e + 1] = static_cast<unsigned char>(s >> 8);
            file[10 + e] = static_cast<unsigned char>(names[e]);
            ++e;
        }
        return file;
    }
    void table(std::initializer_list<int> scores, const char* names) {
        test::write_file("max.pun", table_file(scores, names));
        start_up();
    }
    // What the table in memory holds, as its file would.
    static std::vector<unsigned char> in_memory() {
        std::vector<unsigned char> bytes(58);
        for (int e = 0; e < 5; ++e) {
            bytes[2 * e] = static_cast<unsigned char>(brin::puntos[e] & 0xFF);
            bytes[2 * e + 1] = static_cast<unsigned char>(brin::puntos[e] >> 8);
        }
        std::copy(brin::nombres, brin::nombres + 48, bytes.begin() + 10);
        return bytes;
    }
    std::string name(int e) const {
        std::string out;
        for (int r = 0; r < 8 && brin::nombres[6 * r + e] != 0; ++r) out += static_cast<char>(brin::nombres[6 * r + e]);
        return out;
    }
    void type_name(std::initializer_list<int> keys) {
        for (int k : keys) sim::key(k);
    }
    std::vector<int> scores() const { return {brin::puntos, brin::puntos + 5}; }

    std::string dir;
    char* old_dir = nullptr;
};

// Console key numbers.
constexpr int N = 49, U = 22, E = 18, V = 47, O = 24, kEnter = 28, kEsc = 1, kTab = 15, kBack = 14;
constexpr int Q = 16, W = 17, R = 19, T = 20, Y = 21, I = 23;

TEST_F(Scores, ANewScoreGoesToItsSortedPlaceAndIsSavedAs58Bytes) {
    table({500, 400, 300, 200, 100}, "ABCDE");
    type_name({N, U, E, V, O, kEnter});
    brin::puntuar(350);
    EXPECT_EQ(scores(), (std::vector<int>{500, 400, 350, 300, 200}));
    EXPECT_EQ(name(0) + name(1) + "|" + name(2) + "|" + name(3) + name(4), "AB|nuevo|CD");
    auto file = test::read_file("max.pun");
    ASSERT_EQ(file.size(), 58u);
    EXPECT_EQ(std::vector<unsigned char>(file.begin(), file.begin() + 10),
              (std::vector<unsigned char>{0xF4, 0x01, 0x90, 0x01, 0x5E, 0x01, 0x2C, 0x01, 0xC8, 0x00}));
    EXPECT_EQ(file[10 + 2], 'n');          // character 0 of entry 2
    EXPECT_EQ(file[10 + 6 * 4 + 2], 'o');  // character 4 of entry 2
    EXPECT_EQ(file[10 + 6 * 7 + 2], 0);    // character 7 is always 0
    EXPECT_EQ(std::string(file.begin() + 10, file.begin() + 15), "ABnCD");
}

TEST_F(Scores, EqualScoresStayAboveAndLowOrNegativeScoresNeverEnter) {
    table({500, 400, 300, 300, 100}, "ABCDE");
    type_name({Q, kEnter});
    brin::puntuar(300);
    EXPECT_EQ(scores(), (std::vector<int>{500, 400, 300, 300, 300}));
    EXPECT_EQ(name(4), "q");

    brin::puntuar(300);              // equal to the fifth: no name asked, nothing saved again
    brin::puntuar(0x10000 + 40000);  // low 16 bits negative
    EXPECT_EQ(scores(), (std::vector<int>{500, 400, 300, 300, 300}));

    std::remove("max.pun");
    start_up();
    brin::puntuar(0);
    EXPECT_EQ(scores(), (std::vector<int>{0, 0, 0, 0, 0}));
}

TEST_F(Scores, NamesKeepSevenCharactersAndTabOrEscapeEndThem) {
    type_name({Q, W, E, R, T, Y, U, I, O, kBack, N, kEnter});
    brin::puntuar(10);
    EXPECT_EQ(name(0), "qwertyu");

    type_name({Q, W, kTab});
    brin::puntuar(20);
    EXPECT_EQ(name(0), "qw\n");

    type_name({E, kEsc});
    brin::puntuar(30);
    EXPECT_EQ(name(0), "e");
    EXPECT_EQ(scores(), (std::vector<int>{30, 20, 10, 0, 0}));
}

// The entry of a save that failed stays in the table for the rest of the run, shown with
// the failure: here a stopped game holds the table's lock, and after a few seconds the
// save gives up.
TEST_F(Scores, AFailedSaveShowsTheMessageLeavesTheOldFileAndKeepsTheEntryForTheRun) {
    table({40, 30, 20, 10, 5}, "ABCDE");
    int held = open("max.pun.lock", O_RDONLY | O_CREAT, 0644);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    std::memset(tabla, 0xFF, sizeof tabla);  // every glyph all ink
    type_name({Q, kEnter});
    int shown = -1;  // a pixel of the message, half a second in
    sim::at(sim::now_us() + 500000, [&] { shown = sim::pixel(10, 8); });
    brin::puntuar(25);
    close(held);
    EXPECT_EQ(shown, 5);  // yellow on black, over the name entry
    EXPECT_EQ(test::read_file("max.pun"), table_file({40, 30, 20, 10, 5}, "ABCDE"));
    EXPECT_EQ(scores(), (std::vector<int>{40, 30, 25, 20, 10}));
    EXPECT_EQ(name(2), "q");
}

// A save that merged the table another game saved meanwhile and then could not write it
// keeps the merged table, with the entry. Files of more than a byte can't be written here.
TEST_F(Scores, AFailedSaveAfterAnotherGamesSaveKeepsBothEntriesForTheRun) {
    table({40, 30, 20, 10, 5}, "ABCDE");
    auto other = table_file({50, 40, 30, 20, 10}, "XABCD");
    test::write_file("max.pun", other);
    type_name({Q, kEnter});
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit one_byte = before;
    one_byte.rlim_cur = 1;
    auto no_signal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &one_byte), 0);
    brin::puntuar(25);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, no_signal);
    EXPECT_EQ(test::read_file("max.pun"), other);
    EXPECT_EQ(scores(), (std::vector<int>{50, 40, 30, 25, 20}));
    EXPECT_EQ(name(0) + name(3), "Xq");
}

// Two games of one table: the other one saved after this one read the file.
TEST_F(Scores, AScoreSavedMeanwhileByAnotherGameIsKeptAndTheNewOneSortedIntoIt) {
    table({40, 30, 20, 10, 5}, "ABCDE");
    test::write_file("max.pun", table_file({40, 30, 25, 20, 10}, "ABxCD"));
    type_name({Q, kEnter});
    brin::puntuar(25);  // ties go below
    EXPECT_EQ(scores(), (std::vector<int>{40, 30, 25, 25, 20}));
    EXPECT_EQ(name(2) + name(3), "xq");
    EXPECT_EQ(test::read_file("max.pun"), in_memory());  // the table shown is the one saved

    test::write_file("max.pun", table_file({90, 80, 70, 60, 50}, "FGHIJ"));
    type_name({W, kEnter});
    brin::puntuar(26);  // entered this game's table, not the one on disk now
    EXPECT_EQ(scores(), (std::vector<int>{90, 80, 70, 60, 50}));
    EXPECT_EQ(test::read_file("max.pun"), table_file({90, 80, 70, 60, 50}, "FGHIJ"));
}

// Only a table another game changed is merged: one removed meanwhile, or emptied or cut
// short of a table, gets this game's own.
TEST_F(Scores, ATableRemovedOrCutShortMeanwhileIsWrittenFromThisGamesTable) {
    for (int left : {-1, 0, 57}) {  // bytes left; -1: the file removed
        SCOPED_TRACE(left);
        table({40, 30, 20, 10, 5}, "ABCDE");
        if (left < 0)
            std::remove("max.pun");
        else
            test::write_file("max.pun", std::vector<unsigned char>(static_cast<std::size_t>(left), 9));
        type_name({E, kEnter});
        brin::puntuar(25);
        EXPECT_EQ(scores(), (std::vector<int>{40, 30, 25, 20, 10}));
        EXPECT_EQ(test::read_file("max.pun"), in_memory());
    }
}

// How many of this process's descriptors are open on the file `st` describes.
int descriptors_on(const struct stat& st) {
    int n = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        struct stat open {};
        if (fstat(fd, &open) == 0 && open.st_ino == st.st_ino && open.st_dev == st.st_dev) ++n;
    }
    return n;
}

// Where no lock file can be made the table itself is locked. Another game that held it
// renames its new table over it: this game's lock is then on a file that is no longer the
// table, and the save goes on with the new one, both scores kept.
TEST_F(Scores, WithoutALockFileASaveThatWaitedForAnotherKeepsBothScores) {
    table({40, 30, 20, 10, 5}, "ABCDE");
    ASSERT_EQ(mkdir("max.pun.lock", 0755), 0);
    int other = open("max.pun", O_RDONLY);
    ASSERT_EQ(flock(other, LOCK_EX), 0);
    struct stat locked {};
    ASSERT_EQ(fstat(other, &locked), 0);
    std::thread another([&] {
        // Until the game has opened the table and waits for its lock (a few seconds at most).
        for (int i = 0; i < 4000 && descriptors_on(locked) < 2; ++i) usleep(1000);
        test::write_file("max.pun.other", table_file({50, 40, 30, 20, 10}, "XABCD"));
        rename("max.pun.other", "max.pun");
        close(other);
    });
    type_name({Q, kEnter});
    brin::puntuar(25);
    another.join();
    EXPECT_EQ(scores(), (std::vector<int>{50, 40, 30, 25, 20}));
    EXPECT_EQ(test::read_file("max.pun"), in_memory());
}

TEST_F(Scores, ReadingTakesWhatTheFileHolds) {
    std::vector<unsigned char> file(10000, 0);
    file[0] = 0x39;
    file[1] = 0x30;  // 12345
    file[10] = 255;  // a name byte without a glyph
    test::write_file("max.pun", file);
    brin::leer_puntos();
    EXPECT_EQ(brin::puntos[0], 12345);
    EXPECT_EQ(brin::nombres[0], 255);

    std::memset(brin::puntos, 0, sizeof brin::puntos);
    test::write_file("max.pun", {0x01, 0x02, 0x03});  // short: the rest keeps its value
    brin::leer_puntos();
    EXPECT_EQ(brin::puntos[0], 0x0201);
    EXPECT_EQ(brin::puntos[1], 0x03);
}

}  // namespace
