// SPDX-License-Identifier: MIT
#include <algorithm>
#include <set>
#include <utility>

#include "support.h"

using namespace vora256;
using test::differences;
using test::offset;
using test::snapshot;

namespace {

using Screen = test::Machine;
using Pixels = std::set<std::pair<int, int>>;

// The screen positions (x, y) of the linear offsets that changed.
Pixels changed_pixels(const std::vector<unsigned char>& before) {
    Pixels out;
    for (int o : differences(before, snapshot())) out.insert({o % 640, o / 640});
    return out;
}

Pixels rectangle(int x1, int y1, int x2, int y2) {
    Pixels out;
    for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x) out.insert({x, y});
    return out;
}

TEST_F(Screen, PixelsFollowTheLinearOffsetPastTheRightEdge) {
    INK = 33;
    auto before = snapshot();
    plot(640, 10);
    EXPECT_EQ(changed_pixels(before), (Pixels{{0, 11}}));
    INK = 44;
    plot(5, 11);
    EXPECT_EQ(point(645, 10), 44);
}

TEST_F(Screen, EveryBankIsReachedThroughTheWindow) {
    for (int bank = 0; bank < 8; ++bank) {
        newbank(static_cast<signed char>(bank));
        pvx[0] = static_cast<unsigned char>(bank + 1);
        pvm[0] = static_cast<unsigned char>(bank + 101);
    }
    for (int bank = 0; bank < 8; ++bank) {
        EXPECT_EQ(sim::vram()[bank * 65536], bank + 1);
        EXPECT_EQ(sim::vram()[bank * 65536 + 65535], bank + 101);
    }
    EXPECT_EQ(BANCO, 7);
}

TEST_F(Screen, ClearFillsTheFiveBanksAndLeavesTheLastSelected) {
    clear(0x1AB);  // only the low byte counts
    const unsigned char* v = sim::vram();
    EXPECT_TRUE(std::all_of(v, v + test::kScreenBytes, [](unsigned char b) { return b == 0xAB; }));
    EXPECT_TRUE(std::all_of(v + test::kScreenBytes, v + test::kAllBytes, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(BANCO, 4);
}

// Rows 102, 204, 307 and 409 cross from one bank into the next part-way along.
class BankBoundary : public test::Machine, public ::testing::WithParamInterface<int> {};

TEST_P(BankBoundary, FullWidthLineColoursTheWholeRowAndNothingElse) {
    int row = GetParam();
    auto before = snapshot();
    INK = 7;
    line(0, row, 639, row);
    EXPECT_EQ(changed_pixels(before), rectangle(0, row, 639, row));
}

TEST_P(BankBoundary, BarAcrossTheBoundaryIsExact) {
    int row = GetParam();
    auto before = snapshot();
    INK = 12;
    bar(100, row - 2, 600, row + 2);
    EXPECT_EQ(changed_pixels(before), rectangle(100, row - 2, 600, row + 2));
}

INSTANTIATE_TEST_SUITE_P(Rows, BankBoundary, ::testing::Values(102, 204, 307, 409));

TEST_F(Screen, BarTakesCornersInAnyOrderAndClampsEachToTheScreen) {
    INK = 5;
    auto before = snapshot();
    bar(100, 50, 10, 5);
    EXPECT_EQ(changed_pixels(before), rectangle(10, 5, 100, 50));

    before = snapshot();
    bar(700, 10, 800, 20);
    EXPECT_EQ(changed_pixels(before), rectangle(639, 10, 639, 20));

    before = snapshot();
    bar(-20, 470, 5, 600);
    EXPECT_EQ(changed_pixels(before), rectangle(0, 470, 5, 479));
}

TEST_F(Screen, StraightLinesClampOnlyAlongTheirLength) {
    INK = 3;
    auto before = snapshot();
    line(50, 470, 50, 500);
    EXPECT_EQ(changed_pixels(before), rectangle(50, 470, 50, 479));

    before = snapshot();
    line(60, -5, 60, 3);
    EXPECT_EQ(changed_pixels(before), rectangle(60, 0, 60, 3));

    before = snapshot();
    line(-30, 200, 900, 200);
    EXPECT_EQ(changed_pixels(before), rectangle(0, 200, 639, 200));

    before = snapshot();
    line(0, 480, 639, 480);  // the first margin row: drawn, never shown
    EXPECT_EQ(changed_pixels(before), rectangle(0, 480, 639, 480));

    before = snapshot();
    line(640, 96, 640, 191);  // lands one row lower at the left edge
    EXPECT_EQ(changed_pixels(before), rectangle(0, 97, 0, 192));

    before = snapshot();
    line(700, 300, 650, 300);  // wholly right of the screen: nothing
    EXPECT_TRUE(changed_pixels(before).empty());
}

TEST_F(Screen, GeneralLineMovesTheMinorCoordinateLateAndIsTheSameBothWays) {
    INK = 9;
    const Pixels expected{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {7, 3}, {8, 4}, {9, 4}, {10, 5}};
    auto before = snapshot();
    line(0, 0, 10, 5);
    EXPECT_EQ(changed_pixels(before), expected);
    clear(0);
    before = snapshot();
    line(10, 5, 0, 0);
    EXPECT_EQ(changed_pixels(before), expected);

    clear(0);
    before = snapshot();
    line(0, 0, 5, 5);
    EXPECT_EQ(changed_pixels(before), (Pixels{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}));

    clear(0);
    before = snapshot();
    line(3, 7, 3, 7);
    EXPECT_EQ(changed_pixels(before), (Pixels{{3, 7}}));

    // Steep and leftward: from the upper end, x steps late.
    clear(0);
    before = snapshot();
    line(12, 0, 10, 4);
    EXPECT_EQ(changed_pixels(before), (Pixels{{12, 0}, {12, 1}, {11, 2}, {11, 3}, {10, 4}}));
}

TEST_F(Screen, BoxDrawsFourSidesWithTheirCorners) {
    INK = 2;
    auto before = snapshot();
    box(20, 20, 600, 360);
    Pixels expected = rectangle(20, 20, 600, 20);
    expected.merge(rectangle(20, 360, 600, 360));
    expected.merge(rectangle(20, 20, 20, 360));
    expected.merge(rectangle(600, 20, 600, 360));
    EXPECT_EQ(changed_pixels(before), expected);
}

TEST_F(Screen, ModeOpensTheMouseAndHoldsTheScratchBuffer) {
    EXPECT_EQ(dmode(), 10);
    EXPECT_NE(VARI0, nullptr);
    EXPECT_EQ(pvm - pvx, 65535);
    mode(2);
    EXPECT_NE(dmode(), 10);
    EXPECT_EQ(VARI0, nullptr);
    mode(10);
}

TEST(ScreenMode, WithoutADisplayTheModeIsNotInForce) {
    sim::Options no_display;
    no_display.display = false;
    sim::reset(no_display);
    vora256::mode(10);
    EXPECT_NE(vora256::dmode(), 10);
    vora256::mode(2);
}

// The line's oddities kept from the original design: its deltas and its error accumulator are
// 16-bit.
using Quirks = test::Machine;

// An end point 65,536 columns further on is the same line.
TEST_F(Quirks, LineDeltasAreSixteenBit) {
    INK = 9;
    auto before = snapshot();
    line(0, 0, 10, 5);
    Pixels near = changed_pixels(before);
    clear(0);
    before = snapshot();
    line(0, 0, 65536 + 10, 5);
    EXPECT_EQ(changed_pixels(before), near);
}

// With deltas above 32,767 the sum wraps, and the minor coordinate misses a step it would
// take in wider arithmetic.
TEST_F(Quirks, LineAccumulatorIsSixteenBitAndWraps) {
    INK = 9;
    line(0, 0, 40000, 39999);
    const std::pair<int, int> drawn[] = {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 2}};
    for (auto [x, y] : drawn) EXPECT_EQ(sim::pixel(x, y), 9) << x << ", " << y;
    EXPECT_EQ(sim::pixel(2, 1), 0);  // where a wide accumulator steps down
    EXPECT_EQ(sim::pixel(3, 2), 0);
}

}  // namespace
