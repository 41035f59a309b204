// SPDX-License-Identifier: MIT
// The program's own files (the settings, the recordings) written whole, at once or as they
// grow: whatever lies at the name, the file is the old one or the new one, a link's target
// is never written, and nothing is left beside it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "store.h"

namespace {

namespace fs = std::filesystem;
namespace store = platform::store;

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

const unsigned char* bytes_of(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

class WholeFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("brin-whole-" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        file = folder / "last.brinrec";
    }
    void TearDown() override { fs::remove_all(folder); }

    // The names in the folder but `file`, sorted.
    std::vector<std::string> others() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path() != file) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder, file;
};

// The two ways in: all at once, and a file grown in two parts.
using Writer = std::function<bool(const std::string&, const std::string&)>;
const std::vector<std::pair<const char*, Writer>> kWriters = {
    {"whole", [](const std::string& path,
                 const std::string& text) { return store::write_whole(path, bytes_of(text), text.size()); }},
    {"grown",
     [](const std::string& path, const std::string& text) {
         store::Growing g;
         std::size_t half = text.size() / 2;
         bool done = store::start_growing(path, g) && store::grow(g, bytes_of(text), half) &&
                     store::grow(g, bytes_of(text) + half, text.size() - half) && store::finish_growing(g);
         int error = errno;
         store::abandon_growing(g);
         errno = error;
         return done;
     }},
};

TEST_F(WholeFiles, WhatLiesAtTheNameDecidesWhetherItIsWrittenAndTheRestIsLeftAlone) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& file, const fs::path& folder)> make;
        bool written;
        std::vector<std::string> left;  // the folder's other names afterwards
    };
    const std::vector<Case> cases = {
        {"nothing", [](const fs::path&, const fs::path&) {}, true, {}},
        {"a file of its own, whose mode is kept",
         [](const fs::path& f, const fs::path&) {
             write(f, "old");
             chmod(f.c_str(), 0604);
         },
         true,
         {}},
        // Its other name keeps the old bytes: the file itself is never rewritten.
        {"a file with another name",
         [](const fs::path& f, const fs::path& d) {
             write(d / "notes.txt", "old");
             fs::create_hard_link(d / "notes.txt", f);
         },
         true,
         {"notes.txt"}},
        {"a link to a file",
         [](const fs::path& f, const fs::path& d) {
             write(d / "notes.txt", "old");
             fs::create_symlink("notes.txt", f);
         },
         false,
         {"notes.txt"}},
        {"a link to nothing", [](const fs::path& f, const fs::path&) { fs::create_symlink("absent", f); }, false, {}},
        {"a FIFO", [](const fs::path& f, const fs::path&) { mkfifo(f.c_str(), 0644); }, false, {}},
    };
    for (const auto& [how, writer] : kWriters)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(how) + ", over " + c.what);
            TearDown();
            SetUp();
            c.make(file, folder);
            struct stat before {};
            bool existed = lstat(file.c_str(), &before) == 0;
            errno = 0;
            EXPECT_EQ(writer(file, "the new bytes"), c.written);
            EXPECT_EQ(others(), c.left);
            struct stat after {};
            ASSERT_EQ(lstat(file.c_str(), &after) == 0, existed || c.written);
            if (existed) {
                EXPECT_EQ(after.st_mode, before.st_mode);
            }
            if (c.written) {
                EXPECT_EQ(read(file), "the new bytes");
            } else if (existed) {
                EXPECT_EQ(after.st_ino, before.st_ino);
            }
            if (!c.left.empty()) {
                EXPECT_EQ(read(folder / "notes.txt"), "old");
            }
            if (S_ISLNK(before.st_mode)) {
                EXPECT_EQ(errno, ELOOP);
                EXPECT_EQ(store::why_not_written(errno), "it is a symbolic link, and brin writes no file through one");
            }
        }
}

// A level picture takes the place of the launcher's link to the shipped one: the link is
// replaced, whether it leads to a file or to nothing, and what it led to is left alone.
TEST_F(WholeFiles, AFileThatReplacesLinksTakesTheirPlaceAndLeavesTheirTargets) {
    write(folder / "shipped.pcx", "shipped");
    for (const char* target : {"shipped.pcx", "absent.pcx"}) {
        SCOPED_TRACE(target);
        fs::remove(file);
        fs::create_symlink(target, file);
        ASSERT_TRUE(store::write_whole(file, bytes_of("mine"), 4, store::Link::replaced));
        EXPECT_FALSE(fs::is_symlink(file));
        EXPECT_EQ(read(file), "mine");
        EXPECT_EQ(others(), std::vector<std::string>{"shipped.pcx"});
        EXPECT_EQ(read(folder / "shipped.pcx"), "shipped");
    }
}

// A growing file is its own until it is finished; one left by a crashed game is not taken
// for a save's leftover, so the recorder can still find it.
TEST_F(WholeFiles, AGrowingFileLeavesTheNameAloneUntilItIsFinished) {
    write(file, "old");
    store::Growing g;
    ASSERT_TRUE(store::start_growing(file, g));
    ASSERT_TRUE(store::grow(g, bytes_of("abc"), 3));
    EXPECT_EQ(read(g.name), "abc");  // already handed to the system
    EXPECT_EQ(read(file), "old");
    ASSERT_TRUE(store::grow(g, bytes_of("def"), 3));
    ASSERT_TRUE(store::finish_growing(g));
    EXPECT_EQ(read(file), "abcdef");
    EXPECT_TRUE(others().empty());

    ASSERT_TRUE(store::start_growing(file, g));
    ASSERT_TRUE(store::grow(g, bytes_of("abandoned"), 9));
    store::abandon_growing(g);
    EXPECT_EQ(read(file), "abcdef");
    EXPECT_TRUE(others().empty());

    // Two games gone: one killed while growing its recording, one while writing the file.
    std::string crashed = file.string() + ".growing.999999999.0";
    write(crashed, "a crashed game");
    write(file.string() + ".new.999999999.0", "a killed write");
    ASSERT_TRUE(store::write_whole(file, bytes_of("next"), 4));
    EXPECT_EQ(others(), std::vector<std::string>{"last.brinrec.growing.999999999.0"});
}

TEST_F(WholeFiles, ALinkPutInTheNamesPlaceWhileGrowingIsLeftAlone) {
    store::Growing g;
    ASSERT_TRUE(store::start_growing(file, g));
    ASSERT_TRUE(store::grow(g, bytes_of("recorded"), 8));
    write(folder / "notes.txt", "mine");
    fs::create_symlink("notes.txt", file);
    EXPECT_FALSE(store::finish_growing(g));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(read(folder / "notes.txt"), "mine");
    EXPECT_EQ(read(g.name), "recorded");  // still there for the caller to keep or remove
    store::abandon_growing(g);
    EXPECT_EQ(others(), std::vector<std::string>{"notes.txt"});
}

}  // namespace
