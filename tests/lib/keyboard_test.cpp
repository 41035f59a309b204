// SPDX-License-Identifier: MIT
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support.h"

using namespace vora256;

namespace {

constexpr unsigned char kInk = 200;
constexpr unsigned char kPaper = 17;
constexpr unsigned char kBackground = 0;

constexpr int kEscape = 1, kBackspace = 14, kTab = 15, kEnter = 28;
constexpr int kLeftShift = 42, kRightShift = 54, kAltGr = 100, kCapsLock = 58, kNumLock = 69;
constexpr int kA = 30, kQ = 16, kX = 45, kMinus = 53, kEnye = 39;
constexpr int kPad8 = 72, kPadMinus = 74, kUp = 103;

int code(int high, int low) { return high << 8 | low; }

// The text as the player reads it, in the font's code page 437.
std::string cp437(const std::string& utf8) {
    static const std::vector<std::pair<std::string, unsigned char>> foreign = {
        {"ñ", 164}, {"Ñ", 165}, {"ç", 135}, {"Ç", 128}, {"¡", 173}, {"¿", 168},
        {"·", 250}, {"º", 167}, {"ª", 166}, {"┐", 191}, {"î", 140},
    };
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out += utf8[i++];
            continue;
        }
        bool known = false;
        for (const auto& [text, byte] : foreign) {
            if (utf8.compare(i, text.size(), text) == 0) {
                out += static_cast<char>(byte);
                i += text.size();
                known = true;
                break;
            }
        }
        if (!known) throw std::invalid_argument("no code page 437 byte for " + utf8);
    }
    return out;
}

void type(std::initializer_list<int> keys) {
    for (int k : keys) sim::key(k);
}

// Key numbers `first` to `last`, each pressed and released.
void type_range(int first, int last) {
    for (int k = first; k <= last; ++k) sim::key(k);
}

class Keyboard : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        sfteclado = agteclado = bmteclado = nuteclado = 0;
        glyphs = test::test_glyphs();
        std::memcpy(tabla, glyphs.data(), sizeof tabla);
        INK = kInk;
        PAPER = kPaper;
        clear(kBackground);
    }

    // Each key pressed with each of `held` down in turn (0: nothing), giving its code.
    void expect_codes(std::initializer_list<int> held, const std::vector<std::pair<int, int>>& codes) {
        for (int h : held) {
            if (h != 0) sim::press(h);
            if (h != 0) inkey2();
            for (auto [k, c] : codes) {
                sim::press(k);
                EXPECT_EQ(inkey2(), c) << "key " << k << " with " << h;
            }
            if (h != 0) sim::release(h);
            if (h != 0) inkey2();
        }
    }

    std::vector<int> flags() const { return {sfteclado, agteclado, bmteclado, nuteclado}; }

    // Keys already queued, read as a line with Enter added.
    std::string line_of_queued_keys() {
        sim::key(kEnter);
        inputc(0, 0, "");
        return VARI;
    }

    // Whether the cell at (x, y) shows `code` at magnification fx, fy.
    bool shows(int x, int y, int code, int fx = 1, int fy = 1) const {
        for (int py = 0; py < 8 * fy; ++py)
            for (int px = 0; px < 8 * fx; ++px) {
                bool ink = (glyphs[8 * code + py / fy] >> (7 - px / fx)) & 1;
                if (sim::pixel(x + px, y + py) != (ink ? kInk : kPaper)) return false;
            }
        return true;
    }

    bool untouched(int x, int y) const {
        for (int py = 0; py < 8; ++py)
            for (int px = 0; px < 8; ++px)
                if (sim::pixel(x + px, y + py) != kBackground) return false;
        return true;
    }

    std::vector<unsigned char> glyphs;
};

// ---- key codes ----

TEST_F(Keyboard, NothingWaitingGivesZeroAndLeavesEveryFlag) {
    EXPECT_EQ(inkey2(), 0);
    EXPECT_EQ(flags(), (std::vector<int>{0, 0, 0, 0}));
    sfteclado = agteclado = bmteclado = nuteclado = 1;
    EXPECT_EQ(inkey2(), 0);
    EXPECT_EQ(inkey(), 0);
    EXPECT_EQ(flags(), (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(Keyboard, PressGivesScancodeAndCharacterReleaseGivesScancodeAloneOneEventPerCall) {
    sim::key(kA);
    EXPECT_EQ(inkey2(), code(30, 'a'));
    EXPECT_EQ(inkey2(), code(158, 0));
    EXPECT_EQ(inkey2(), 0);
    sim::key(kA);
    EXPECT_EQ(inkey(), 'a');
    EXPECT_EQ(inkey(), 0);  // the release
    EXPECT_EQ(inkey2(), 0);
}

TEST_F(Keyboard, CapsLockRaisesOnlyAsciiLettersAndShiftStillGivesCapitals) {
    sim::key(kCapsLock);
    EXPECT_EQ(inkey2(), code(58, 0));
    EXPECT_EQ(inkey2(), code(186, 0));
    sim::press(kA);
    sim::press(kEnye);
    EXPECT_EQ(inkey2(), code(30, 'A'));
    EXPECT_EQ(inkey2(), code(39, 164));
    sim::press(kLeftShift);
    sim::press(kA);
    sim::press(kEnye);
    inkey2();
    EXPECT_EQ(inkey2(), code(30, 'A'));
    EXPECT_EQ(inkey2(), code(39, 165));
}

TEST_F(Keyboard, CapsLockTogglesOnPressOnlySoTwoPressesRestoreIt) {
    sim::key(kCapsLock);
    sim::press(kCapsLock);
    inkey2();
    EXPECT_EQ(bmteclado, 1);
    EXPECT_EQ(inkey2(), code(186, 0));
    EXPECT_EQ(bmteclado, 1);
    inkey2();
    EXPECT_EQ(bmteclado, 0);
    sim::press(kA);
    EXPECT_EQ(inkey2(), code(30, 'a'));
}

TEST_F(Keyboard, BothShiftKeysShareOneFlagThatEitherReleaseClears) {
    sim::press(kLeftShift);
    EXPECT_EQ(inkey2(), code(42, 0));
    EXPECT_EQ(sfteclado, 1);
    sim::press(kRightShift);
    EXPECT_EQ(inkey2(), code(54, 0));
    sim::release(kRightShift);
    EXPECT_EQ(inkey2(), code(182, 0));
    EXPECT_EQ(sfteclado, 0);  // left Shift is still down
    sim::press(kA);
    EXPECT_EQ(inkey2(), code(30, 'a'));
    sim::press(kRightShift);
    sim::release(kLeftShift);
    inkey2();
    EXPECT_EQ(sfteclado, 1);
    EXPECT_EQ(inkey2(), code(170, 0));
    EXPECT_EQ(sfteclado, 0);
}

TEST_F(Keyboard, AltGrOverridesShiftAndCapsLockAppliesAfterIt) {
    sim::press(kAltGr);
    EXPECT_EQ(inkey2(), code(100, 0));
    sim::press(3);
    EXPECT_EQ(inkey2(), code(3, '@'));
    sim::press(kLeftShift);
    sim::press(kQ);
    inkey2();
    EXPECT_EQ(inkey2(), code(16, 'q'));
    sim::key(kCapsLock);
    sim::press(kQ);
    inkey2();
    inkey2();
    EXPECT_EQ(inkey2(), code(16, 'Q'));
    sim::release(kAltGr);
    EXPECT_EQ(inkey2(), code(228, 0));
    EXPECT_EQ(agteclado, 0);
}

TEST_F(Keyboard, ArrowAndEditingKeysReportTheKeypadKeyOfTheSameFunction) {
    sim::key(kUp);
    EXPECT_EQ(inkey2(), code(72, 0));
    EXPECT_EQ(inkey2(), code(231, 0));
    // Home, Up, Page Up, Left, Right, End, Down, Page Down, Insert, Delete.
    const int pad[] = {71, 72, 73, 75, 77, 79, 80, 81, 82, 83};
    std::vector<std::pair<int, int>> codes;
    for (int k = 102; k <= 111; ++k) codes.emplace_back(k, code(pad[k - 102], 0));
    expect_codes({0, kLeftShift, kAltGr, kNumLock}, codes);
}

TEST_F(Keyboard, NumLockTurnsTheKeypadIntoMovementKeysButMinusAndPlus) {
    sim::press(kPad8);
    sim::press(kPadMinus);
    EXPECT_EQ(inkey2(), code(72, '8'));
    EXPECT_EQ(inkey2(), code(74, '-'));
    sim::key(kNumLock);
    inkey2();
    EXPECT_EQ(nuteclado, 1);
    EXPECT_EQ(inkey2(), code(197, 0));
    EXPECT_EQ(nuteclado, 1);
    sim::press(kPad8);
    sim::press(kPadMinus);
    EXPECT_EQ(inkey2(), code(72, 0));
    EXPECT_EQ(inkey2(), code(74, '-'));
}

TEST_F(Keyboard, ControlKeysGiveTheirCodeAndTheRestNoCharacterWhateverIsHeld) {
    std::vector<std::pair<int, int>> codes = {
        {kEscape, code(1, 27)}, {kBackspace, code(14, 8)}, {kTab, code(15, 10)},
        {kEnter, code(28, 13)}, {96, code(96, 13)},
    };
    std::vector<int> silent = {29, 56, 70, 84, 85, 97, 99, 101};  // Ctrl, Alt, Scroll Lock ...
    for (int k = 59; k <= 68; ++k) silent.push_back(k);           // F1-F10
    for (int k = 87; k <= 95; ++k) silent.push_back(k);           // F11, F12 ...
    for (int k = 112; k <= 127; ++k) silent.push_back(k);
    for (int k : silent) codes.emplace_back(k, code(k, 0));
    expect_codes({0, kLeftShift, kAltGr}, codes);
}

// ---- every character key through the line editor ----

struct Row {
    int first, last;
    const char* plain;
    const char* shifted;
    const char* altgr;
};

TEST_F(Keyboard, EveryCharacterKeyTypesTheSpanishLayout) {
    const Row rows[] = {
        {2, 13, "1234567890'¡", "!\"·$%&/()=?¿", "|@#45┐7890'î"},
        {16, 27, "qwertyuiop`+", "QWERTYUIOP^*", "qwertyuiop`+"},
        {30, 41, "asdfghjklñ'º", "ASDFGHJKLÑ\"ª", "asdfghjklñ{\\"},
        {43, 53, "çzxcvbnm,.-", "ÇZXCVBNM;:_", "}zxcvbnm,.-"},
        {86, 86, "<", ">", "<"},
        {55, 57, "* ", "* ", "* "},  // keypad *, left Alt, Space
        {98, 98, "/", "/", "/"},
        {71, 83, "789-456+1230.", "789-456+1230.", "-+"},
    };
    for (const Row& r : rows) {
        type_range(r.first, r.last);
        EXPECT_EQ(line_of_queued_keys(), cp437(r.plain)) << "keys " << r.first << "-" << r.last;
        sim::press(kLeftShift);
        type_range(r.first, r.last);
        sim::release(kLeftShift);
        EXPECT_EQ(line_of_queued_keys(), cp437(r.shifted)) << "keys " << r.first << "-" << r.last << " with Shift";
        sim::press(kAltGr);
        type_range(r.first, r.last);
        sim::release(kAltGr);
        EXPECT_EQ(line_of_queued_keys(), cp437(r.altgr)) << "keys " << r.first << "-" << r.last << " with AltGr";
    }
}

TEST_F(Keyboard, KeypadUnderNumLockTypesOnlyMinusAndPlusWhateverIsHeld) {
    sim::key(kNumLock);
    type_range(71, 83);
    EXPECT_EQ(line_of_queued_keys(), "-+");
    sim::press(kLeftShift);
    type_range(71, 83);
    sim::release(kLeftShift);
    EXPECT_EQ(line_of_queued_keys(), "-+");
    sim::key(kNumLock);
    type_range(71, 83);
    EXPECT_EQ(line_of_queued_keys(), "789-456+1230.");
}

// ---- the line editor ----

TEST_F(Keyboard, EachTypedCharacterIsDrawnAtItsEchoPositionAfterTheInitialText) {
    FONTX = 2;
    FONTY = 2;
    type({kQ, kA, kEnye, 2});
    EXPECT_EQ(line_of_queued_keys(),
              "qa\xa4"
              "1");
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(shows(16 * i, 0,
                          static_cast<unsigned char>("qa\xa4"
                                                     "1"[i]),
                          2, 2));
    type({kQ, kEnter});
    inputc(40, 100, "Nombre:");
    EXPECT_STREQ(VARI, "q");
    EXPECT_TRUE(shows(40, 100, 'N', 2, 2));
    EXPECT_TRUE(shows(40 + 16 * 6, 100, ':', 2, 2));
    EXPECT_TRUE(shows(40 + 16 * 7, 100, 'q', 2, 2));
}

TEST_F(Keyboard, ALineKeepsThirtyEightCharactersAndOverwritesTheCellAfterThem) {
    std::string typed;
    for (int i = 0; i < 40; ++i) {
        int k = 16 + i % 10;  // q w e r t y u i o p, again and again
        sim::key(k);
        typed += "qwertyuiop"[i % 10];
    }
    type({kEnter});
    inputc(8, 200, "");
    EXPECT_EQ(std::string(VARI), typed.substr(0, 38));
    for (int i = 0; i < 38; ++i) EXPECT_TRUE(shows(8 + 8 * i, 200, typed[i])) << "cell " << i;
    EXPECT_TRUE(shows(8 + 8 * 38, 200, typed[39]));  // the 40th over the 39th
    EXPECT_TRUE(untouched(8 + 8 * 39, 200));
}

TEST_F(Keyboard, BackspaceErasesWithASpaceAndStopsAtTheStartOfTheLine) {
    auto blank = test::snapshot();
    type({kBackspace, kEnter});
    inputc(100, 50, "");
    EXPECT_STREQ(VARI, "");
    EXPECT_TRUE(test::differences(blank, test::snapshot()).empty());

    FONTX = FONTY = 2;
    type({kA, kX, kBackspace, kBackspace, kBackspace, kQ, kEnter});
    inputc(100, 50, ">");
    EXPECT_STREQ(VARI, "q");
    EXPECT_TRUE(shows(100, 50, '>', 2, 2));
    EXPECT_TRUE(shows(116, 50, 'q', 2, 2));
    EXPECT_TRUE(shows(132, 50, ' ', 2, 2));
    FONTX = FONTY = 1;

    type({kA, kX, kBackspace, kEnter});
    inputc(100, 80, "");
    EXPECT_STREQ(VARI, "a");
    EXPECT_TRUE(shows(108, 80, ' '));
}

TEST_F(Keyboard, TabEndsTheLineAsItsLastCharacterEnterAndEscapeLeaveNoTrace) {
    type({kA, kTab, kX});
    inputc(0, 0, "");
    EXPECT_STREQ(VARI, "a\n");
    EXPECT_TRUE(shows(8, 0, '\n'));
    EXPECT_EQ(inkey(), 0);  // Tab's release, still queued
    EXPECT_EQ(inkey(), 'x');

    for (int end : {kEnter, kEscape}) {
        clear(kBackground);
        type({kA, end, kX});
        inputc(0, 0, "");
        EXPECT_STREQ(VARI, "a");
        EXPECT_TRUE(untouched(8, 0));
        EXPECT_EQ(inkey(), 0);
        EXPECT_EQ(inkey(), 'x');
        inkey();
    }

    for (int i = 0; i < 38; ++i) sim::key(kA);
    sim::key(kTab);
    inputc(0, 0, "");
    EXPECT_EQ(std::string(VARI), std::string(38, 'a'));  // no room for the Tab
    EXPECT_TRUE(shows(8 * 38, 0, '\n'));
}

TEST_F(Keyboard, LineWaitsForKeysThatComeLater) {
    sim::at(50000, [] { sim::key(kA); });
    sim::at(90000, [] { sim::key(kEnter); });
    inputc(0, 0, "");
    EXPECT_STREQ(VARI, "a");
    EXPECT_GE(sim::now_us(), 90000);
}

TEST_F(Keyboard, NumberIsReadUpToTheFirstNonDigit) {
    type({kMinus, 2, 3, kX, kEnter});
    EXPECT_EQ(inputn(0, 0, ""), -12);
    EXPECT_STREQ(VARI, "-12x");
    type({kEnter});
    EXPECT_EQ(inputn(0, 0, "7"), 0);
}

}  // namespace
