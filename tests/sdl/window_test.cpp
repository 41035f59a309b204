// SPDX-License-Identifier: MIT
// The window back-end with SDL's dummy video and audio drivers: window events in, key
// bytes and mouse states out; the picture read back from the renderer; the real clock,
// with no limit on how long anything takes (timings are measured in bench/).
#include <gtest/gtest.h>

#include <SDL.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "brin.h"
#include "console_bytes.h"
#include "platform.h"
#include "sdl.h"
#include "vora256.h"

namespace {

double seconds_now(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        setenv("SDL_VIDEODRIVER", "dummy", 0);  // a real one may be asked for, to measure it
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        vora256::mode(10);
        ASSERT_EQ(vora256::dmode(), 10);
        window = nullptr;
        for (Uint32 id = 1; window == nullptr && id < 1000; ++id) window = SDL_GetWindowFromID(id);
        ASSERT_NE(window, nullptr);
        take_bytes();  // whatever the window's opening brought
    }
    void TearDown() override { vora256::mode(0); }

    // The key bytes waiting on "standard input" after a poll.
    static std::vector<int> take_bytes() { return test::take_bytes(); }

    static void key(SDL_Scancode code, bool down, Uint16 mod = 0, Uint8 repeat = 0) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat;
        e.key.keysym.scancode = code;
        e.key.keysym.mod = mod;
        SDL_PushEvent(&e);
    }

    static void motion(int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = x;
        e.motion.y = y;
        SDL_PushEvent(&e);
    }

    static void button(Uint8 which, bool down, int x, int y) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.button = which;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.x = x;
        e.button.y = y;
        SDL_PushEvent(&e);
    }

    static void window_event(Uint8 what) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = what;
        SDL_PushEvent(&e);
    }

    static std::pair<int, int> mouse_now() {
        platform::mouse_update();
        return {platform::mouse_getx(), platform::mouse_gety()};
    }

    // The colour shown at window pixel (x, y), as 0xRRGGBB.
    Uint32 shown_at(int x, int y) {
        Uint32 pixel = 0;
        SDL_Rect one{x, y, 1, 1};
        SDL_RenderReadPixels(SDL_GetRenderer(window), &one, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
        return pixel & 0xFFFFFF;
    }

    // Keeps polling, as a game waiting on the clock does, for `ms` milliseconds.
    static void spin_ms(double ms) {
        double end = seconds_now(CLOCK_MONOTONIC) + ms / 1000;
        while (seconds_now(CLOCK_MONOTONIC) < end) vora256::Ctime();
    }

    // The colour at window pixel (x, y) once polling has shown it; however busy the machine,
    // a frame comes within seconds.
    Uint32 shown_after_polls(int x, int y, Uint32 wanted) {
        double end = seconds_now(CLOCK_MONOTONIC) + 5;
        while (shown_at(x, y) != wanted && seconds_now(CLOCK_MONOTONIC) < end) vora256::Ctime();
        return shown_at(x, y);
    }

    SDL_Window* window = nullptr;
};

TEST_F(Window, EachPhysicalKeyGivesItsConsoleNumberOnPressAndWithBit7OnRelease) {
    // clang-format off
    const std::pair<SDL_Scancode, int> keys[] = {
        {SDL_SCANCODE_ESCAPE, 1},    {SDL_SCANCODE_0, 11},        {SDL_SCANCODE_EQUALS, 13},
        {SDL_SCANCODE_Q, 16},        {SDL_SCANCODE_RETURN, 28},   {SDL_SCANCODE_A, 30},
        {SDL_SCANCODE_SEMICOLON, 39}, {SDL_SCANCODE_LSHIFT, 42},  {SDL_SCANCODE_Z, 44},
        {SDL_SCANCODE_SLASH, 53},    {SDL_SCANCODE_SPACE, 57},    {SDL_SCANCODE_F10, 68},
        {SDL_SCANCODE_KP_7, 71},     {SDL_SCANCODE_KP_PERIOD, 83}, {SDL_SCANCODE_NONUSBACKSLASH, 86},
        {SDL_SCANCODE_F12, 88},      {SDL_SCANCODE_KP_ENTER, 96}, {SDL_SCANCODE_RCTRL, 97},
        {SDL_SCANCODE_KP_DIVIDE, 98}, {SDL_SCANCODE_RALT, 100},   {SDL_SCANCODE_HOME, 102},
        {SDL_SCANCODE_UP, 103},      {SDL_SCANCODE_LEFT, 105},    {SDL_SCANCODE_RIGHT, 106},
        {SDL_SCANCODE_DOWN, 108},    {SDL_SCANCODE_DELETE, 111},
    };
    // clang-format on
    for (auto [code, number] : keys) {
        key(code, true);
        key(code, false);
        EXPECT_EQ(take_bytes(), (std::vector<int>{number, number | 0x80})) << SDL_GetScancodeName(code);
    }
    key(SDL_SCANCODE_F13, true);  // beyond the console's 127 numbers: nothing
    EXPECT_TRUE(take_bytes().empty());
}

TEST_F(Window, KeyRepeatIsMorePressesAndTheLibraryReadsThem) {
    key(SDL_SCANCODE_A, true);
    key(SDL_SCANCODE_A, true, 0, 1);
    key(SDL_SCANCODE_A, true, 0, 1);
    key(SDL_SCANCODE_A, false);
    EXPECT_EQ(vora256::inkey2(), 30 << 8 | 'a');
    EXPECT_EQ(vora256::inkey2(), 30 << 8 | 'a');
    EXPECT_EQ(vora256::inkey2(), 30 << 8 | 'a');
    EXPECT_EQ(vora256::inkey2(), (30 | 0x80) << 8);
    EXPECT_EQ(vora256::inkey2(), 0);
}

TEST_F(Window, AltEnterIsKeptFromTheGameAndLosingFocusReleasesHeldKeys) {
    key(SDL_SCANCODE_RETURN, true, KMOD_LALT);
    key(SDL_SCANCODE_RETURN, false, KMOD_LALT);
    EXPECT_TRUE(take_bytes().empty());
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    // AltGr+Enter is the game's Enter, as on the console.
    key(SDL_SCANCODE_RETURN, true, KMOD_RALT);
    key(SDL_SCANCODE_RETURN, false, KMOD_RALT);
    EXPECT_EQ(take_bytes(), (std::vector<int>{28, 28 | 0x80}));
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);

    key(SDL_SCANCODE_LSHIFT, true);
    key(SDL_SCANCODE_O, true);
    window_event(SDL_WINDOWEVENT_FOCUS_LOST);
    key(SDL_SCANCODE_LSHIFT, false);  // the release the window may yet deliver counts once
    std::vector<int> bytes = take_bytes();
    ASSERT_EQ(bytes.size(), 4u);
    EXPECT_EQ(std::vector<int>(bytes.begin(), bytes.begin() + 2), (std::vector<int>{42, 24}));
    EXPECT_EQ(std::vector<int>(bytes.begin() + 2, bytes.end()), (std::vector<int>{24 | 0x80, 42 | 0x80}));
}

TEST_F(Window, MouseIsInPictureCoordinatesWhateverTheWindowSize) {
    SDL_SetWindowSize(window, 1280, 960);  // twice over
    motion(640, 480);
    EXPECT_EQ(mouse_now(), std::make_pair(320, 240));
    motion(1279, 959);
    EXPECT_EQ(mouse_now(), std::make_pair(639, 479));

    SDL_SetWindowSize(window, 1366, 768);  // a laptop's screen: 1.6 times, 1024x768 from x = 171
    motion(171, 0);
    EXPECT_EQ(mouse_now(), std::make_pair(0, 0));
    motion(171 + 1023, 767);
    EXPECT_EQ(mouse_now(), std::make_pair(639, 479));
    motion(171 + 8, 8);  // window pixels 8 to 9 of 1.6 are picture pixel 5
    EXPECT_EQ(mouse_now(), std::make_pair(5, 5));
    motion(170, 400);  // on a bar: held at the edge
    EXPECT_EQ(mouse_now(), std::make_pair(0, 250));
    // Every window column over the picture reaches the picture column under its left edge.
    for (int x = 171; x < 171 + 1024; x += 7) {
        motion(x, 384);
        EXPECT_EQ(mouse_now().first, (x - 171) * 640 / 1024) << "window column " << x;
    }

    sdl::settings().scale = sdl::Scale::integer;
    SDL_SetWindowSize(window, 800, 500);  // once, with bars all round
    motion(80, 10);
    EXPECT_EQ(mouse_now(), std::make_pair(0, 0));
    motion(20, 499);
    EXPECT_EQ(mouse_now(), std::make_pair(0, 479));
    sdl::settings().scale = sdl::Scale::fill;

    SDL_SetWindowSize(window, 320, 300);  // smaller: half size, bars above and below
    motion(160, 150);
    EXPECT_EQ(mouse_now(), std::make_pair(320, 240));

    platform::mouse_setxrange(100, 200);
    motion(0, 150);
    EXPECT_EQ(mouse_now(), std::make_pair(100, 240));
    platform::mouse_setxrange(0, 639);
    platform::mouse_setposition(10, 20);
    EXPECT_EQ(mouse_now(), std::make_pair(10, 20));
}

// Columns of one pixel, black and white by turns: after a scale of 2.25 they stay black or
// white through most of their width only if the picture went up twice pixel for pixel first
// (smoothing straight from 640 columns would leave hardly a pure column).
TEST_F(Window, FullScreenFillsTheHeightAndStaysSharp) {
    int palette[6] = {0, 0, 0, 63, 63, 63};
    platform::vga_setpalvec(0, 2, palette);
    vora256::clear(0);
    vora256::INK = 1;
    for (int x = 1; x < 640; x += 2) vora256::bar(x, 0, x, 479);
    SDL_SetWindowSize(window, 1920, 1080);
    spin_ms(40);
    EXPECT_EQ(shown_at(239, 540), 0x000000u);  // the bars: 1440x1080 from x = 240
    EXPECT_EQ(shown_at(1680, 540), 0x000000u);
    int pure = 0, columns = 0;
    for (int x = 400; x < 1500; ++x, ++columns) {
        Uint32 c = shown_at(x, 540) & 0xFF;
        pure += c < 8 || c > 247;
    }
    EXPECT_GT(pure, columns / 4) << pure << " of " << columns << " columns black or white";
    EXPECT_EQ(shown_at(240 + 1440 - 1, 0) & 0xFF, 0xFFu);  // the last column is white, and reaches the top

    sdl::settings().scale = sdl::Scale::integer;  // whole multiples: 1280x960, every column pure
    SDL_SetWindowSize(window, 1921, 1080);        // a new size, so that the window is drawn again
    spin_ms(40);
    EXPECT_EQ(shown_at(320, 59), 0x000000u);
    for (int x = 320; x < 320 + 1280; ++x) {
        Uint32 c = shown_at(x, 60);
        ASSERT_EQ(c, (x - 320) / 2 % 2 == 0 ? 0x000000u : 0xFFFFFFu) << "window column " << x;
    }
    sdl::settings().scale = sdl::Scale::fill;
}

TEST_F(Window, ButtonsAreFourLeftTwoMiddleOneRightAndEveryChangeReachesAMousePoll) {
    // xdotool's clicks, like a quick finger, press and release between two polls.
    for (Uint8 b : {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE}) {
        button(b, true, 100, 100);
        button(b, false, 100, 100);
    }
    std::vector<int> seen;
    for (int i = 0; i < 6; ++i) {
        platform::mouse_update();
        seen.push_back(platform::mouse_getbutton());
    }
    EXPECT_EQ(seen, (std::vector<int>{4, 0, 1, 0, 2, 0}));
}

TEST_F(Window, KeysPassAClickThatWaitsForAMousePollAndAnUnpolledClickLapses) {
    button(SDL_BUTTON_LEFT, true, 100, 100);
    button(SDL_BUTTON_LEFT, false, 100, 100);
    key(SDL_SCANCODE_A, true);
    EXPECT_EQ(take_bytes(), std::vector<int>{30});
    spin_ms(300);  // no mouse poll: as on the console, only the latest state is read
    platform::mouse_update();
    EXPECT_EQ(platform::mouse_getbutton(), 0);
}

TEST_F(Window, ThePictureShowsThroughThePalette) {
    SDL_SetWindowSize(window, 1280, 960);
    int palette[3 * 3] = {0, 0, 0, 63, 0, 0, 10, 20, 63};
    platform::vga_setpalvec(0, 3, palette);
    vora256::clear(0);
    vora256::INK = 1;
    vora256::bar(100, 100, 199, 149);
    EXPECT_EQ(shown_after_polls(2 * 150, 2 * 120, 0xFF0000u), 0xFF0000u);
    EXPECT_EQ(shown_at(2 * 99, 2 * 120), 0x000000u);
    // A palette change alone (a fade step) shows too; 6-bit levels reach 255 at 63.
    palette[3] = 10;
    palette[4] = 20;
    palette[5] = 63;
    platform::vga_setpalvec(1, 1, palette + 3);
    EXPECT_EQ(shown_after_polls(2 * 150, 2 * 120, 0x2851FFu), 0x2851FFu);
}

TEST_F(Window, CloseButtonAndTerminationSignalsEndWithStatusZeroAtTheNextPoll) {
    EXPECT_EXIT(
        {
            SDL_Event e{};
            e.type = SDL_QUIT;
            SDL_PushEvent(&e);
            vora256::Ctime();
            std::abort();  // not reached
        },
        ::testing::ExitedWithCode(0), "");
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        EXPECT_EXIT(
            {
                std::raise(signal);
                std::fputs("still running\n", stderr);  // only a poll may end the program
                vora256::Ctime();
                std::abort();
            },
            ::testing::ExitedWithCode(0), "still running");
    }
}

// How a player asks the game to end: the window's close button (0) or a signal.
void ask_to_end(int how) {
    if (how != 0) {
        std::raise(how);
        return;
    }
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
}

// A request to end while a line is typed (a high score's name) ends the line as Enter would,
// keeping what was typed; the program ends at the first poll after the line.
TEST_F(Window, ARequestToEndWhileALineIsTypedEndsTheLineFirst) {
    for (int how : {0, SIGINT, SIGTERM, SIGHUP}) {
        EXPECT_EXIT(
            {
                key(SDL_SCANCODE_Q, true);
                key(SDL_SCANCODE_Q, false);
                ask_to_end(how);
                vora256::inputc(0, 0, "");
                std::fprintf(stderr, "line '%s'\n", vora256::VARI);
                vora256::Ctime();
                std::abort();
            },
            ::testing::ExitedWithCode(0), "line 'q'")
            << "asked by " << how;
    }
}

// The same in the game: the score with the name typed so far is saved, then the game ends.
TEST_F(Window, ARequestToEndAtTheHighScoresNamePromptSavesTheScoreThenEnds) {
    // The death test's child runs this test again; it finds the folder in its environment.
    if (std::getenv("BRIN_NAME_PROMPT_FOLDER") == nullptr) {
        std::string pattern = ::testing::TempDir() + "brin-promptXXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        setenv("BRIN_NAME_PROMPT_FOLDER", pattern.c_str(), 1);
    }
    const std::string table = std::string(std::getenv("BRIN_NAME_PROMPT_FOLDER")) + "/max.pun";
    std::vector<unsigned char> old = {40, 0, 30, 0, 20, 0, 10, 0, 5, 0, 'a', 'b', 'c', 'd', 'e'};  // one-letter names
    old.resize(58);
    for (int how : {0, SIGTERM}) {
        std::ofstream(table, std::ios::binary).write(reinterpret_cast<const char*>(old.data()), 58);
        EXPECT_EXIT(
            {
                if (chdir(std::getenv("BRIN_NAME_PROMPT_FOLDER")) != 0) std::abort();
                brin::leer_puntos();
                key(SDL_SCANCODE_Q, true);
                key(SDL_SCANCODE_Q, false);
                ask_to_end(how);
                brin::puntuar(500);
                std::abort();  // the table is shown for five seconds, polling: it ends there
            },
            ::testing::ExitedWithCode(0), "")
            << "asked by " << how;
        std::ifstream in(table, std::ios::binary);
        std::vector<unsigned char> saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_EQ(saved.size(), 58u) << "asked by " << how;
        EXPECT_EQ(saved[0] | saved[1] << 8, 500);
        EXPECT_EQ(saved[2] | saved[3] << 8, 40);
        EXPECT_EQ(saved[10], 'q');  // the new first entry's name
        EXPECT_EQ(saved[16], 0);
        EXPECT_EQ(saved[11], 'a');  // the old first, one down
    }
}

}  // namespace
