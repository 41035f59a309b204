// SPDX-License-Identifier: MIT
// Keyboard and line input: raw console key bytes turned into key codes and characters of
// a Spanish PC keyboard, and a small line editor on the graphics screen.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform.h"
#include "vora256.h"

namespace vora256 {

char VARI[80] = {};

// Never reset: the console's own lights are not driven, so they may disagree.
unsigned char sfteclado = 0;
unsigned char agteclado = 0;
unsigned char bmteclado = 0;
unsigned char nuteclado = 0;

// Characters are code page 437 bytes, indexed by the console's key number.
extern const unsigned char m0teclado[128] = {
    0, 27,                                                         // -, Escape
    '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '\'', 173,   // digit row (173 inverted !)
    8, 10,                                                         // Backspace, Tab
    'q', 'w', 'e', 'r', 't', 'y', 'u', 'i', 'o', 'p', '`', '+',    // top letter row
    13, 0,                                                         // Enter, left Ctrl
    'a', 's', 'd', 'f', 'g', 'h', 'j', 'k', 'l', 164, '\'', 167,   // middle row (ñ, º)
    0,                                                             // left Shift
    135, 'z', 'x', 'c', 'v', 'b', 'n', 'm', ',', '.', '-',         // bottom row (ç)
    0, '*', 0, ' ',                                                // right Shift, pad *, Alt, Space
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                         // Caps, F1-F10, Num, Scroll
    '7', '8', '9', '-', '4', '5', '6', '+', '1', '2', '3', '0', '.',  // keypad
    0, 0, '<',                                                     // -, -, key left of Z
    0, 0, 0, 0, 0, 0, 0, 0, 0,                                     // F11, F12, -
    13, 0, '/', 0, 0, 0,                                           // pad Enter, right Ctrl, pad /
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                  // arrow and editing keys
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

extern const unsigned char m1teclado[128] = {
    0, 27,
    '!', '"', 250, '$', '%', '&', '/', '(', ')', '=', '?', 168,    // (250 middle dot, 168 inverted ?)
    8, 10,
    'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', '^', '*',
    13, 0,
    'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', 165, '"', 166,    // (Ñ, ª)
    0,
    128, 'Z', 'X', 'C', 'V', 'B', 'N', 'M', ';', ':', '_',         // (Ç)
    0, '*', 0, ' ',
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    '7', '8', '9', '-', '4', '5', '6', '+', '1', '2', '3', '0', '.',
    0, 0, '>',
    0, 0, 0, 0, 0, 0, 0, 0, 0,
    13, 0, '/', 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

// AltGr; also the keypad under num lock, and the arrow and editing keys, which stand for
// the keypad keys of the same function.
extern const unsigned char m2teclado[128] = {
    0, 27,
    '|', '@', '#', '4', '5', 191, '7', '8', '9', '0', '\'', 140,
    8, 10,
    'q', 'w', 'e', 'r', 't', 'y', 'u', 'i', 'o', 'p', '`', '+',
    13, 0,
    'a', 's', 'd', 'f', 'g', 'h', 'j', 'k', 'l', 164, '{', '\\',
    0,
    '}', 'z', 'x', 'c', 'v', 'b', 'n', 'm', ',', '.', '-',
    0, '*', 0, ' ',
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, '-', 0, 0, 0, '+', 0, 0, 0, 0, 0,
    0, 0, '<',
    0, 0, 0, 0, 0, 0, 0, 0, 0,
    13, 0, '/', 0, 0, 0,
    71, 72, 73, 75, 77, 79, 80, 81, 82, 83,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

namespace {

constexpr unsigned char kReleased = 0x80;
constexpr int kFirstEditingKey = 102;  // Home ... Delete
constexpr int kLastEditingKey = 111;
constexpr int kFirstPadKey = 71;  // keypad 7 ... keypad period
constexpr int kLastPadKey = 83;
constexpr int kLineMax = 38;
constexpr int kPromptMax = 79;

void follow_modifiers(unsigned char b) {
    switch (b) {
    case 42: case 54: sfteclado = 1; break;    // either Shift pressed
    case 170: case 182: sfteclado = 0; break;  // either released
    case 100: agteclado = 1; break;
    case 228: agteclado = 0; break;
    case 58: bmteclado = static_cast<unsigned char>(1 - bmteclado); break;
    case 69: nuteclado = static_cast<unsigned char>(1 - nuteclado); break;
    default: break;
    }
}

unsigned char character_of(unsigned char b) {
    unsigned char c = sfteclado != 0 ? m1teclado[b] : m0teclado[b];
    if (agteclado == 1) c = m2teclado[b];
    if (nuteclado == 1 && b >= kFirstPadKey && b <= kLastPadKey) c = m2teclado[b];
    if (bmteclado == 1 && c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
    return c;
}

// The modifier keys need no case of their own: every table holds 0 for them.
int key_code(unsigned char b) {
    if (b & kReleased) return b << 8;
    if (b >= kFirstEditingKey && b <= kLastEditingKey) return m2teclado[b] << 8;
    return b << 8 | character_of(b);
}

// One byte from the console, or -1 when none waits or it cannot be read.
int next_byte() {
    fd_set waiting;
    FD_ZERO(&waiting);
    FD_SET(0, &waiting);
    timeval no_wait{0, 0};
    if (platform::select(1, &waiting, nullptr, nullptr, &no_wait) <= 0) return -1;
    unsigned char b = 0;
    if (platform::read(0, &b, 1) != 1) return -1;
    return b;
}

}  // namespace

int inkey2() {
    int b = next_byte();
    if (b < 0) return 0;
    auto byte = static_cast<unsigned char>(b);
    follow_modifiers(byte);
    return static_cast<std::uint16_t>(key_code(byte));
}

int inkey() { return inkey2() & 0xFF; }

void inputc(int x, int y, const char* text) {
    printc(x, y, text);
    int cell = 8 * FONTX;
    int px = x + cell * static_cast<int>(strnlen(text, kPromptMax));
    int n = 0;
    int last = 0;
    platform::line_input(true);
    while (last != '\n') {  // Tab ends the line once it is drawn and stored
        int c = inkey();
        if (c == '\r' || c == 27) break;
        if (c == 0) continue;
        if (c == '\b') {
            if (n > 0) {
                px -= cell;
                --n;
                impri(px, y, ' ');
            }
        } else {
            // Past the limit each character replaces the last in the cell after the line.
            impri(px, y, c);
            if (n < kLineMax) {
                VARI[n++] = static_cast<char>(c);
                px += cell;
            }
        }
        last = c;
    }
    VARI[n] = 0;
    platform::line_input(false);
}

long inputn(int x, int y, const char* text) {
    inputc(x, y, text);
    return std::atol(VARI);
}

}  // namespace vora256
