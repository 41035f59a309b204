// SPDX-License-Identifier: MIT
// The console's key numbers by physical key, as a PC keyboard sends them whatever the
// desktop's layout, for every back-end: each key's USB HID keyboard usage (which SDL's
// scancodes are) and its KeyboardEvent.code (which names the same places in a browser).
// "Semicolon" is the key right of L (Ñ on a Spanish keyboard), "IntlBackslash" the one left
// of Z (<).
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

struct Key {
    std::uint8_t number;    // the console's key number
    std::uint16_t usage;    // USB HID usage
    std::string_view code;  // KeyboardEvent.code; empty when browsers give the key no name
    // The usage of the key left of Enter on ISO keyboards (# on a British one), which
    // browsers name as the backslash key of ANSI ones; 0 for the others.
    std::uint16_t also = 0;
};

// SDL's own scancode for the mode switch key, beyond the HID usages.
constexpr std::uint16_t kSdlModeSwitch = 257;

// clang-format off
constexpr Key kKeys[] = {
    {1, 0x29, "Escape"},       {2, 0x1E, "Digit1"},       {3, 0x1F, "Digit2"},       {4, 0x20, "Digit3"},
    {5, 0x21, "Digit4"},       {6, 0x22, "Digit5"},       {7, 0x23, "Digit6"},       {8, 0x24, "Digit7"},
    {9, 0x25, "Digit8"},       {10, 0x26, "Digit9"},      {11, 0x27, "Digit0"},      {12, 0x2D, "Minus"},
    {13, 0x2E, "Equal"},       {14, 0x2A, "Backspace"},   {15, 0x2B, "Tab"},         {16, 0x14, "KeyQ"},
    {17, 0x1A, "KeyW"},        {18, 0x08, "KeyE"},        {19, 0x15, "KeyR"},        {20, 0x17, "KeyT"},
    {21, 0x1C, "KeyY"},        {22, 0x18, "KeyU"},        {23, 0x0C, "KeyI"},        {24, 0x12, "KeyO"},
    {25, 0x13, "KeyP"},        {26, 0x2F, "BracketLeft"}, {27, 0x30, "BracketRight"}, {28, 0x28, "Enter"},
    {29, 0xE0, "ControlLeft"}, {30, 0x04, "KeyA"},        {31, 0x16, "KeyS"},        {32, 0x07, "KeyD"},
    {33, 0x09, "KeyF"},        {34, 0x0A, "KeyG"},        {35, 0x0B, "KeyH"},        {36, 0x0D, "KeyJ"},
    {37, 0x0E, "KeyK"},        {38, 0x0F, "KeyL"},        {39, 0x33, "Semicolon"},   {40, 0x34, "Quote"},
    {41, 0x35, "Backquote"},   {42, 0xE1, "ShiftLeft"},   {43, 0x31, "Backslash", 0x32}, {44, 0x1D, "KeyZ"},
    {45, 0x1B, "KeyX"},        {46, 0x06, "KeyC"},        {47, 0x19, "KeyV"},        {48, 0x05, "KeyB"},
    {49, 0x11, "KeyN"},        {50, 0x10, "KeyM"},        {51, 0x36, "Comma"},       {52, 0x37, "Period"},
    {53, 0x38, "Slash"},       {54, 0xE5, "ShiftRight"},  {55, 0x55, "NumpadMultiply"}, {56, 0xE2, "AltLeft"},
    {57, 0x2C, "Space"},       {58, 0x39, "CapsLock"},    {59, 0x3A, "F1"},          {60, 0x3B, "F2"},
    {61, 0x3C, "F3"},          {62, 0x3D, "F4"},          {63, 0x3E, "F5"},          {64, 0x3F, "F6"},
    {65, 0x40, "F7"},          {66, 0x41, "F8"},          {67, 0x42, "F9"},          {68, 0x43, "F10"},
    {69, 0x53, "NumLock"},     {70, 0x47, "ScrollLock"},  {71, 0x5F, "Numpad7"},     {72, 0x60, "Numpad8"},
    {73, 0x61, "Numpad9"},     {74, 0x56, "NumpadSubtract"}, {75, 0x5C, "Numpad4"},     {76, 0x5D, "Numpad5"},
    {77, 0x5E, "Numpad6"},     {78, 0x57, "NumpadAdd"},   {79, 0x59, "Numpad1"},     {80, 0x5A, "Numpad2"},
    {81, 0x5B, "Numpad3"},     {82, 0x62, "Numpad0"},     {83, 0x63, "NumpadDecimal"}, {85, kSdlModeSwitch, ""},
    {86, 0x64, "IntlBackslash"}, {87, 0x44, "F11"},         {88, 0x45, "F12"},         {89, 0x87, "IntlRo"},
    {90, 0x92, "Lang3"},       {91, 0x93, "Lang4"},       {92, 0x8A, "Convert"},     {93, 0x88, "KanaMode"},
    {94, 0x8B, "NonConvert"},  {96, 0x58, "NumpadEnter"}, {97, 0xE4, "ControlRight"}, {98, 0x54, "NumpadDivide"},
    {99, 0x46, "PrintScreen"}, {100, 0xE6, "AltRight"},   {102, 0x4A, "Home"},       {103, 0x52, "ArrowUp"},
    {104, 0x4B, "PageUp"},     {105, 0x50, "ArrowLeft"},  {106, 0x4F, "ArrowRight"}, {107, 0x4D, "End"},
    {108, 0x51, "ArrowDown"},  {109, 0x4E, "PageDown"},   {110, 0x49, "Insert"},     {111, 0x4C, "Delete"},
    {113, 0x7F, "AudioVolumeMute"}, {114, 0x81, "AudioVolumeDown"}, {115, 0x80, "AudioVolumeUp"}, {116, 0x66, "Power"},
    {117, 0x67, "NumpadEqual"}, {118, 0xD7, ""},           {119, 0x48, "Pause"},      {122, 0x90, "Lang1"},
    {123, 0x91, "Lang2"},      {124, 0x89, "IntlYen"},    {125, 0xE3, "MetaLeft"},   {126, 0xE7, "MetaRight"},
    {127, 0x65, "ContextMenu"},
};
// clang-format on

// The console number of a key by its HID usage (an SDL scancode), 0 for a key without one.
constexpr int number_of_usage(int usage) {
    for (const Key& k : kKeys)
        if (k.usage == usage || (k.also != 0 && k.also == usage)) return k.number;
    return 0;
}

// The console number of a key by its KeyboardEvent.code, 0 for a key without one.
constexpr int number_of_code(std::string_view code) {
    for (const Key& k : kKeys)
        if (!k.code.empty() && k.code == code) return k.number;
    return 0;
}

}  // namespace platform
