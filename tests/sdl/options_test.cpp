// SPDX-License-Identifier: MIT
// brin's command line and brin.conf: the arguments over the remembered settings, a damaged
// file ignored, and the window's state written back when the game ends, on SDL's dummy driver.
#include <gtest/gtest.h>

#include <SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "sdl.h"
#include "vora256.h"

namespace {

namespace fs = std::filesystem;

class Options : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        home = fs::temp_directory_path() / ("brin-options-" + std::to_string(getpid()));
        fs::remove_all(home);
        fs::create_directories(home);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        conf = home / "config" / "brin" / "brin.conf";
    }
    void TearDown() override { fs::remove_all(home); }

    static int command_line(std::vector<std::string> args) {
        args.insert(args.begin(), "brin");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        return sdl::take_command_line(static_cast<int>(argv.size()), argv.data());
    }

    void write_conf(const std::string& text) {
        fs::create_directories(conf.parent_path());
        std::ofstream(conf) << text;
    }

    std::string read_conf() const {
        std::ifstream in(conf);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The game's window opened and closed, as a run of the game does.
    static SDL_Window* open_window() {
        vora256::mode(10);
        SDL_Window* window = nullptr;
        for (Uint32 id = 1; window == nullptr && id < 1000; ++id) window = SDL_GetWindowFromID(id);
        return window;
    }

    fs::path home, conf;
};

TEST_F(Options, ArgumentsGoOverTheRememberedSettingsAndAWrongOneIsStatusTwo) {
    write_conf("width=800\nheight=600\nfullscreen=1\nscale=integer\nvolume=30\n");
    EXPECT_EQ(command_line({"--window", "--volume", "70"}), -1);
    const sdl::Settings& s = sdl::settings();
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 600);
    EXPECT_FALSE(s.full_screen);
    EXPECT_EQ(s.scale, sdl::Scale::integer);
    EXPECT_EQ(s.volume, 70);
    EXPECT_FALSE(s.mute);

    EXPECT_EQ(command_line({"--scale=fill", "--fullscreen", "--mute"}), -1);
    EXPECT_EQ(s.scale, sdl::Scale::fill);
    EXPECT_TRUE(s.full_screen);
    EXPECT_TRUE(s.mute);
    EXPECT_EQ(s.volume, 30);

    for (auto wrong : std::vector<std::vector<std::string>>{{"--volume", "101"},
                                                            {"--volume", "-1"},
                                                            {"--volume"},
                                                            {"--scale", "half"},
                                                            {"--loud"},
                                                            {"-f"},
                                                            {"--mute=1"},
                                                            {"level2"}}) {
        EXPECT_EQ(command_line(wrong), 2) << wrong[0];
    }
    EXPECT_EQ(command_line({"--help", "--loud"}), 0);  // answered before what follows
    const struct {
        const char* option;
        const char* starts;
    } answers[] = {{"-h", "usage: brin"}, {"--help", "usage: brin"}, {"-V", "brin "}, {"--version", "brin "}};
    for (const auto& a : answers) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(command_line({a.option}), 0) << a.option;
        EXPECT_EQ(::testing::internal::GetCapturedStdout().rfind(a.starts, 0), 0u) << a.option;
    }
}

TEST_F(Options, ADamagedFileIsIgnoredWhole) {
    for (const char* damaged : {"width=800\nheight=6x0\n", "width=800\nvolume=1000\n", "width=800\nloud=1\n",
                                "width=800\nfullscreen=yes\n", "width=800\n\x01\x02\n", "width=99999999\n"}) {
        write_conf(damaged);
        ASSERT_EQ(command_line({}), -1);
        EXPECT_EQ(sdl::settings().width, 0) << damaged;
        EXPECT_EQ(sdl::settings().volume, 100) << damaged;
    }
    write_conf("# a comment\n\nwidth=800\n");
    ASSERT_EQ(command_line({}), -1);
    EXPECT_EQ(sdl::settings().width, 800);
}

TEST_F(Options, ARelativeConfigHomeIsIgnored) {
    setenv("XDG_CONFIG_HOME", "config", 1);
    EXPECT_EQ(sdl::settings_path(), (home / ".config" / "brin" / "brin.conf").string());
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(sdl::settings_path(), (home / ".config" / "brin" / "brin.conf").string());
}

TEST_F(Options, TheWindowIsRememberedWhenTheGameEndsAndComesBackAsItWasLeft) {
    ASSERT_EQ(command_line({"--scale", "integer", "--volume", "40", "--mute"}), -1);
    SDL_Window* window = open_window();
    ASSERT_NE(window, nullptr);
    SDL_SetWindowSize(window, 700, 500);
    vora256::mode(0);
    EXPECT_EQ(read_conf(),
              "# brin's window, as it was last left. A damaged file is ignored.\n"
              "width=700\nheight=500\nfullscreen=0\nscale=integer\nvolume=40\n");
    for (const auto& entry : fs::directory_iterator(conf.parent_path()))
        EXPECT_EQ(entry.path().filename(), "brin.conf") << "left behind";

    ASSERT_EQ(command_line({}), -1);
    window = open_window();
    ASSERT_NE(window, nullptr);
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 700);
    EXPECT_EQ(h, 500);
    vora256::mode(0);

    // Full screen is remembered, and the window's size under it stays the one to go back to.
    ASSERT_EQ(command_line({"--fullscreen"}), -1);
    window = open_window();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    vora256::mode(0);
    EXPECT_NE(read_conf().find("width=700\nheight=500\nfullscreen=1\n"), std::string::npos) << read_conf();
}

// brin.conf is read as the data files are, and written as the high scores are: a FIFO in
// its place is no settings and keeps nothing waiting, links planted beside it are left alone.
TEST_F(Options, AFifoIsNotWaitedOnAndPlantedLinksAreNotFollowed) {
    fs::create_directories(conf.parent_path());
    ASSERT_EQ(mkfifo(conf.c_str(), 0644), 0);
    ASSERT_EQ(command_line({"--volume", "30"}), -1);
    EXPECT_EQ(sdl::settings().volume, 30);
    fs::remove(conf);
    std::ofstream(home / "victim") << "mine";
    std::string pid = std::to_string(getpid());
    for (const std::string& name : {"brin.conf.tmp" + pid, "brin.conf.new." + pid + ".0"})
        fs::create_symlink(home / "victim", conf.parent_path() / name);
    sdl::save_settings();
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(conf)));
    EXPECT_NE(read_conf().find("volume=30\n"), std::string::npos) << read_conf();
    std::ifstream victim(home / "victim");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "mine");
}

// A link in brin.conf's place may lead anywhere (the player's notes): it is read, but
// never written through, and the settings not saved are said.
TEST_F(Options, ALinkAsTheSettingsIsLeftAloneAndTheSettingsNotSavedAreSaid) {
    fs::create_directories(conf.parent_path());
    std::ofstream(home / "notes.txt") << "my notes\n";
    fs::create_symlink(home / "notes.txt", conf);
    testing::internal::CaptureStderr();
    ASSERT_EQ(command_line({"--volume", "30"}), -1);
    sdl::save_settings();
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("could not save the settings in " + conf.string() + ": it is a symbolic link"),
              std::string::npos)
        << said;
    EXPECT_TRUE(fs::is_symlink(conf));
    std::ifstream notes(home / "notes.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(notes), {}), "my notes\n");
}

TEST_F(Options, SettingsThatCannotBeSavedAreSaidAndLeaveWhatIsThere) {
    fs::create_directories(conf.parent_path().parent_path());
    std::ofstream(conf.parent_path()) << "a file where the folder would go\n";
    ASSERT_EQ(command_line({"--volume", "10"}), -1);
    testing::internal::CaptureStderr();
    sdl::save_settings();
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("could not save the settings"), std::string::npos) << said;
    std::ifstream in(conf.parent_path());
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "a file where the folder would go");
}

}  // namespace
