// SPDX-License-Identifier: MIT
// The one key table both the window and the page read: its usages are SDL's scancodes, and
// each key, number and name is in it once.
#include <gtest/gtest.h>

#include <SDL.h>

#include <set>
#include <string_view>

#include "keys.h"

namespace {

struct ByPlace {
    SDL_Scancode scancode;
    std::string_view code;  // empty: browsers give the key no name
    int number;
};

// The keys a Spanish or British layout moves, and those SDL reports under a scancode of
// its own, keep their places.
constexpr ByPlace kByPlace[] = {
    {SDL_SCANCODE_ESCAPE, "Escape", 1},
    {SDL_SCANCODE_SEMICOLON, "Semicolon", 39},  // Ñ
    {SDL_SCANCODE_NONUSBACKSLASH, "IntlBackslash", 86},
    {SDL_SCANCODE_RALT, "AltRight", 100},  // <, AltGr
    {SDL_SCANCODE_BACKSLASH, "Backslash", 43},
    {SDL_SCANCODE_NONUSHASH, "", 43},  // # left of Enter
    {SDL_SCANCODE_MODE, "", 85},
    {SDL_SCANCODE_KP_PLUSMINUS, "", 118},
    {SDL_SCANCODE_UP, "ArrowUp", 103},
    {SDL_SCANCODE_KP_ENTER, "NumpadEnter", 96},
    {SDL_SCANCODE_APPLICATION, "ContextMenu", 127},
    {SDL_SCANCODE_AC_BACK, "BrowserBack", 0},
};

TEST(Keys, GiveEachPlaceItsNumberInTheWindowAndThePage) {
    for (const ByPlace& k : kByPlace) {
        EXPECT_EQ(platform::number_of_usage(k.scancode), k.number) << SDL_GetScancodeName(k.scancode);
        if (!k.code.empty()) {
            EXPECT_EQ(platform::number_of_code(k.code), k.number) << k.code;
        }
    }
}

TEST(Keys, NameEachKeyOnce) {
    std::set<int> numbers, usages;
    std::set<std::string_view> codes;
    for (const platform::Key& k : platform::kKeys) {
        EXPECT_TRUE(numbers.insert(k.number).second) << int{k.number};
        EXPECT_TRUE(usages.insert(k.usage).second) << int{k.number};
        if (k.also != 0) {
            EXPECT_TRUE(usages.insert(k.also).second) << int{k.number};
        }
        if (!k.code.empty()) {
            EXPECT_TRUE(codes.insert(k.code).second) << k.code;
        }
        EXPECT_GT(k.number, 0);
        EXPECT_LT(k.number, 128);
    }
}

}  // namespace
