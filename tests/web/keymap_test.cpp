// SPDX-License-Identifier: MIT
// The page and the window must give every key the same console number: the browser's key
// names (KeyboardEvent.code) and SDL's scancodes both name USB keyboard positions, paired here.
#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "platform/sdl/keymap.h"
#include "platform/web/keymap.h"

namespace {

struct SamePlace {
    std::string_view code;
    SDL_Scancode scancode;
};

// clang-format off
constexpr SamePlace kSamePlace[] = {
    {"Escape", SDL_SCANCODE_ESCAPE}, {"Digit1", SDL_SCANCODE_1}, {"Digit2", SDL_SCANCODE_2},
    {"Digit3", SDL_SCANCODE_3}, {"Digit4", SDL_SCANCODE_4}, {"Digit5", SDL_SCANCODE_5},
    {"Digit6", SDL_SCANCODE_6}, {"Digit7", SDL_SCANCODE_7}, {"Digit8", SDL_SCANCODE_8},
    {"Digit9", SDL_SCANCODE_9}, {"Digit0", SDL_SCANCODE_0}, {"Minus", SDL_SCANCODE_MINUS},
    {"Equal", SDL_SCANCODE_EQUALS}, {"Backspace", SDL_SCANCODE_BACKSPACE}, {"Tab", SDL_SCANCODE_TAB},
    {"KeyQ", SDL_SCANCODE_Q}, {"KeyW", SDL_SCANCODE_W}, {"KeyE", SDL_SCANCODE_E},
    {"KeyR", SDL_SCANCODE_R}, {"KeyT", SDL_SCANCODE_T}, {"KeyY", SDL_SCANCODE_Y},
    {"KeyU", SDL_SCANCODE_U}, {"KeyI", SDL_SCANCODE_I}, {"KeyO", SDL_SCANCODE_O},
    {"KeyP", SDL_SCANCODE_P}, {"BracketLeft", SDL_SCANCODE_LEFTBRACKET},
    {"BracketRight", SDL_SCANCODE_RIGHTBRACKET}, {"Enter", SDL_SCANCODE_RETURN},
    {"ControlLeft", SDL_SCANCODE_LCTRL}, {"KeyA", SDL_SCANCODE_A}, {"KeyS", SDL_SCANCODE_S},
    {"KeyD", SDL_SCANCODE_D}, {"KeyF", SDL_SCANCODE_F}, {"KeyG", SDL_SCANCODE_G},
    {"KeyH", SDL_SCANCODE_H}, {"KeyJ", SDL_SCANCODE_J}, {"KeyK", SDL_SCANCODE_K},
    {"KeyL", SDL_SCANCODE_L}, {"Semicolon", SDL_SCANCODE_SEMICOLON}, {"Quote", SDL_SCANCODE_APOSTROPHE},
    {"Backquote", SDL_SCANCODE_GRAVE}, {"ShiftLeft", SDL_SCANCODE_LSHIFT},
    // Browsers name the key left of Enter on ISO keyboards (# on a British one) as the
    // backslash key of ANSI ones; SDL tells the two apart.
    {"Backslash", SDL_SCANCODE_BACKSLASH}, {"Backslash", SDL_SCANCODE_NONUSHASH},
    {"KeyZ", SDL_SCANCODE_Z}, {"KeyX", SDL_SCANCODE_X}, {"KeyC", SDL_SCANCODE_C},
    {"KeyV", SDL_SCANCODE_V}, {"KeyB", SDL_SCANCODE_B}, {"KeyN", SDL_SCANCODE_N},
    {"KeyM", SDL_SCANCODE_M}, {"Comma", SDL_SCANCODE_COMMA}, {"Period", SDL_SCANCODE_PERIOD},
    {"Slash", SDL_SCANCODE_SLASH}, {"ShiftRight", SDL_SCANCODE_RSHIFT},
    {"NumpadMultiply", SDL_SCANCODE_KP_MULTIPLY}, {"AltLeft", SDL_SCANCODE_LALT},
    {"Space", SDL_SCANCODE_SPACE}, {"CapsLock", SDL_SCANCODE_CAPSLOCK}, {"F1", SDL_SCANCODE_F1},
    {"F2", SDL_SCANCODE_F2}, {"F3", SDL_SCANCODE_F3}, {"F4", SDL_SCANCODE_F4}, {"F5", SDL_SCANCODE_F5},
    {"F6", SDL_SCANCODE_F6}, {"F7", SDL_SCANCODE_F7}, {"F8", SDL_SCANCODE_F8}, {"F9", SDL_SCANCODE_F9},
    {"F10", SDL_SCANCODE_F10}, {"NumLock", SDL_SCANCODE_NUMLOCKCLEAR},
    {"ScrollLock", SDL_SCANCODE_SCROLLLOCK}, {"Numpad7", SDL_SCANCODE_KP_7},
    {"Numpad8", SDL_SCANCODE_KP_8}, {"Numpad9", SDL_SCANCODE_KP_9},
    {"NumpadSubtract", SDL_SCANCODE_KP_MINUS}, {"Numpad4", SDL_SCANCODE_KP_4},
    {"Numpad5", SDL_SCANCODE_KP_5}, {"Numpad6", SDL_SCANCODE_KP_6}, {"NumpadAdd", SDL_SCANCODE_KP_PLUS},
    {"Numpad1", SDL_SCANCODE_KP_1}, {"Numpad2", SDL_SCANCODE_KP_2}, {"Numpad3", SDL_SCANCODE_KP_3},
    {"Numpad0", SDL_SCANCODE_KP_0}, {"NumpadDecimal", SDL_SCANCODE_KP_PERIOD},
    {"IntlBackslash", SDL_SCANCODE_NONUSBACKSLASH}, {"F11", SDL_SCANCODE_F11}, {"F12", SDL_SCANCODE_F12},
    {"IntlRo", SDL_SCANCODE_INTERNATIONAL1}, {"Lang3", SDL_SCANCODE_LANG3}, {"Lang4", SDL_SCANCODE_LANG4},
    {"Convert", SDL_SCANCODE_INTERNATIONAL4}, {"KanaMode", SDL_SCANCODE_INTERNATIONAL2},
    {"NonConvert", SDL_SCANCODE_INTERNATIONAL5},
    {"NumpadEnter", SDL_SCANCODE_KP_ENTER}, {"ControlRight", SDL_SCANCODE_RCTRL},
    {"NumpadDivide", SDL_SCANCODE_KP_DIVIDE}, {"PrintScreen", SDL_SCANCODE_PRINTSCREEN},
    {"AltRight", SDL_SCANCODE_RALT}, {"Home", SDL_SCANCODE_HOME}, {"ArrowUp", SDL_SCANCODE_UP},
    {"PageUp", SDL_SCANCODE_PAGEUP}, {"ArrowLeft", SDL_SCANCODE_LEFT}, {"ArrowRight", SDL_SCANCODE_RIGHT},
    {"End", SDL_SCANCODE_END}, {"ArrowDown", SDL_SCANCODE_DOWN}, {"PageDown", SDL_SCANCODE_PAGEDOWN},
    {"Insert", SDL_SCANCODE_INSERT}, {"Delete", SDL_SCANCODE_DELETE},
    {"AudioVolumeMute", SDL_SCANCODE_MUTE}, {"AudioVolumeDown", SDL_SCANCODE_VOLUMEDOWN},
    {"AudioVolumeUp", SDL_SCANCODE_VOLUMEUP}, {"Power", SDL_SCANCODE_POWER},
    {"NumpadEqual", SDL_SCANCODE_KP_EQUALS}, {"Pause", SDL_SCANCODE_PAUSE}, {"Lang1", SDL_SCANCODE_LANG1},
    {"Lang2", SDL_SCANCODE_LANG2}, {"IntlYen", SDL_SCANCODE_INTERNATIONAL3}, {"MetaLeft", SDL_SCANCODE_LGUI},
    {"MetaRight", SDL_SCANCODE_RGUI}, {"ContextMenu", SDL_SCANCODE_APPLICATION},
};
// clang-format on

// Keys SDL numbers that have no KeyboardEvent.code: the mode switch is no key of its own
// place, and browsers give the keypad's plus-minus no name.
constexpr SDL_Scancode kNoBrowserName[] = {SDL_SCANCODE_MODE, SDL_SCANCODE_KP_PLUSMINUS};

TEST(WebKeyMap, GivesEachKeyTheWindowsNumber) {
    for (const SamePlace& k : kSamePlace) {
        EXPECT_NE(sdl::key_number(k.scancode), 0) << k.code;
        EXPECT_EQ(web::key_number(k.code), sdl::key_number(k.scancode)) << k.code;
    }
}

TEST(WebKeyMap, HasNoKeyTheWindowLacksNorLacksOne) {
    auto paired_code = [](std::string_view code) {
        return std::any_of(std::begin(kSamePlace), std::end(kSamePlace),
                           [&](const SamePlace& k) { return k.code == code; });
    };
    auto paired_scancode = [](SDL_Scancode s) {
        return std::any_of(std::begin(kSamePlace), std::end(kSamePlace),
                           [&](const SamePlace& k) { return k.scancode == s; }) ||
               std::find(std::begin(kNoBrowserName), std::end(kNoBrowserName), s) != std::end(kNoBrowserName);
    };
    for (const web::CodeNumber& k : web::kCodeNumbers) EXPECT_TRUE(paired_code(k.code)) << k.code;
    for (const sdl::KeyNumber& k : sdl::kKeyNumbers) EXPECT_TRUE(paired_scancode(k.scancode)) << k.scancode;
}

TEST(WebKeyMap, ReadsTheSpanishKeysByPlace) {
    EXPECT_EQ(web::key_number("Semicolon"), 39);      // Ñ, right of L
    EXPECT_EQ(web::key_number("IntlBackslash"), 86);  // <, left of Z
    EXPECT_EQ(web::key_number("AltRight"), 100);      // AltGr
    EXPECT_EQ(web::key_number("BrowserBack"), 0);     // no console number
}

}  // namespace
