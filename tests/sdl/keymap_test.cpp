// SPDX-License-Identifier: MIT
// The window's key map against SDL's own: in a real X display every key a Linux keyboard can
// send (X keycode = console key number + 8) is pressed and released through XTest, and what
// SDL makes of it decides what the game must read. A key SDL knows by a scancode gives its
// console number on press and with bit 7 on release; a key SDL does not know gives nothing.
// Run by with_xvfb.sh, which gives it a display of its own.
#include <gtest/gtest.h>

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <sys/time.h>

#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "console_bytes.h"
#include "platform.h"
#include "vora256.h"

namespace {

constexpr int kXKeycodeOffset = 8;
constexpr int kSentinel = 183;  // F13: SDL knows it, the console numbers stop at 127

struct Seen {
    std::vector<SDL_Scancode> pressed;
    bool sentinel_released = false;
};
Seen seen;

int watch(void*, SDL_Event* e) {
    if (e->type == SDL_KEYDOWN && e->key.keysym.scancode != SDL_SCANCODE_F13)
        seen.pressed.push_back(e->key.keysym.scancode);
    if (e->type == SDL_KEYUP && e->key.keysym.scancode == SDL_SCANCODE_F13) seen.sentinel_released = true;
    return 1;
}

using test::take_bytes;

void tap(Display* x, int console_key) {
    XTestFakeKeyEvent(x, static_cast<unsigned>(console_key + kXKeycodeOffset), True, 0);
    XTestFakeKeyEvent(x, static_cast<unsigned>(console_key + kXKeycodeOffset), False, 0);
}

// Polls as the game does until SDL has seen the sentinel go up behind the key under test.
bool wait_for_sentinel() {
    for (int i = 0; i < 200000 && !seen.sentinel_released; ++i) vora256::Ctime();
    return seen.sentinel_released;
}

TEST(KeyMap, EveryKeySdlKnowsGivesItsConsoleNumber) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through with_xvfb.sh";
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    vora256::mode(10);
    ASSERT_EQ(vora256::dmode(), 10);
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    SDL_Window* window = SDL_GetWindowFromID(1);
    ASSERT_NE(window, nullptr);
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(window, &wx, &wy);
    XTestFakeMotionEvent(x, -1, wx + 20, wy + 20, 0);  // the keyboard follows the pointer
    XSync(x, False);
    SDL_AddEventWatch(watch, nullptr);

    // What SDL makes of each key, and what the game reads of it.
    std::map<int, SDL_Scancode> scancode;
    std::map<int, std::vector<int>> bytes;
    for (int key = 1; key < 128; ++key) {
        seen = {};
        tap(x, key);
        tap(x, kSentinel);
        XSync(x, False);
        ASSERT_TRUE(wait_for_sentinel()) << "the X server never delivered key " << key;
        scancode[key] = seen.pressed.empty() ? SDL_SCANCODE_UNKNOWN : seen.pressed.front();
        bytes[key] = take_bytes();
    }
    // A few keys reach SDL as another key's scancode (the X server's third-level key as
    // AltGr, the keypad's comma as its point): any one of them may own the number.
    std::map<SDL_Scancode, std::set<int>> keys_of;
    for (auto [key, code] : scancode) keys_of[code].insert(key);
    std::set<int> numbered;
    for (auto [key, code] : scancode) {
        const char* name = SDL_GetScancodeName(code);
        if (code == SDL_SCANCODE_UNKNOWN) {
            EXPECT_TRUE(bytes[key].empty()) << "console key " << key << " is unknown to SDL";
            continue;
        }
        ASSERT_EQ(bytes[key].size(), 2u) << "console key " << key << ", SDL's " << code << " " << name;
        int n = bytes[key][0];
        EXPECT_EQ(bytes[key][1], n | 0x80) << "console key " << key;
        EXPECT_TRUE(keys_of[code].count(n))
            << "console key " << key << ", SDL's " << code << " " << name << ", read as " << n;
        numbered.insert(n);
    }
    // The keys of a Spanish PC keyboard are all among them.
    for (int key : {1, 12, 26, 28, 39, 41, 43, 56, 57, 86, 96, 97, 99, 100, 103, 111, 119, 125, 126, 127})
        EXPECT_TRUE(numbered.count(key)) << "console key " << key;
    XCloseDisplay(x);
    vora256::mode(0);
}

}  // namespace
