// SPDX-License-Identifier: MIT
// Behaviours of the library and the game that look like faults but are the original design's,
// kept on purpose (HACKING.md lists them). Each test fails if the behaviour is "fixed".
#include <cstring>
#include <set>
#include <utility>

#include "brin.h"
#include "support.h"

using namespace vora256;
using test::differences;
using test::offset;
using test::snapshot;

namespace {

using Quirks = test::Machine;
using Offsets = std::set<int>;

Offsets changed(const std::vector<unsigned char>& before) {
    auto d = differences(before, snapshot());
    return {d.begin(), d.end()};
}

Offsets rectangle(int x1, int y1, int x2, int y2) {
    Offsets out;
    for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x) out.insert(offset(x, y));
    return out;
}

// ---- the library ----

// A line's deltas are 16-bit: an end point 65,536 columns further on is the same line.
TEST_F(Quirks, LineDeltasAreSixteenBit) {
    INK = 9;
    auto before = snapshot();
    line(0, 0, 10, 5);
    Offsets near = changed(before);
    clear(0);
    before = snapshot();
    line(0, 0, 65536 + 10, 5);
    EXPECT_EQ(changed(before), near);
}

// The error accumulator is 16-bit too: with deltas above 32,767 the sum wraps, and the
// minor coordinate misses a step it would take in wider arithmetic.
TEST_F(Quirks, LineAccumulatorIsSixteenBitAndWraps) {
    INK = 9;
    line(0, 0, 40000, 39999);
    const std::pair<int, int> drawn[] = {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 2}};
    for (auto [x, y] : drawn) EXPECT_EQ(sim::pixel(x, y), 9) << x << ", " << y;
    EXPECT_EQ(sim::pixel(2, 1), 0);  // where a wide accumulator steps down
    EXPECT_EQ(sim::pixel(3, 2), 0);
}

// No clipping for the pointer at the bottom either: its lower rows go into the margin rows
// of screen memory, which are never shown.
TEST_F(Quirks, ThePointerAtTheBottomIsDrawnIntoTheMarginRows) {
    PMOUSE = 250;
    IMOUSE = 251;
    mouses(100, 479, 1);
    EXPECT_EQ(sim::pixel(100, 479), 250);  // row 0 of the arrow
    EXPECT_EQ(sim::pixel(101, 480), 251);  // row 1, in the first margin row
    EXPECT_EQ(sim::pixel(106, 494), 250);  // row 15, the last
}

// Text knows no control characters: every code draws its glyph in its own cell.
TEST_F(Quirks, PrintcDrawsControlCodesAsGlyphs) {
    std::memset(tabla, 0, sizeof tabla);
    tabla[8 * 10] = 0xFF;  // only the top rows of the glyphs of 10 and 13 have ink
    tabla[8 * 13] = 0xFF;
    INK = 5;
    PAPER = 6;
    printc(0, 0, "A\nB\r");
    EXPECT_EQ(sim::pixel(8, 0), 5);   // cell 1: glyph 10, no new line
    EXPECT_EQ(sim::pixel(24, 0), 5);  // cell 3: glyph 13
    EXPECT_EQ(sim::pixel(16, 0), 6);  // cell 2: 'B' drawn on the same row
    EXPECT_EQ(sim::pixel(0, 8), 0);   // nothing below the row
}

// ---- the game's board ----

class BoardQuirks : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        for (int c = 0; c < 20; ++c) brin::cuadro[c] = c;
        getblock(1, 0, 0, 320, 200);
        for (int i = 0; i < 16; ++i) COLOR[i] = static_cast<unsigned char>(240 + i);
    }
};

// negro fills the cell and the row below it: the next cell's first row, its grid line.
TEST_F(BoardQuirks, NegroBlackensTheRowBelowTheCell) {
    auto before = snapshot();
    brin::negro(5);
    EXPECT_EQ(changed(before), rectangle(160, 96, 319, 192));
    before = snapshot();
    brin::negro(17);  // the bottom row: the bar stops at the screen's last row
    EXPECT_EQ(changed(before), rectangle(160, 384, 319, 479));
}

// The frames remember where they were last drawn from program start, as cell 0: the first
// frame ever drawn first paints cell 0's frame lines in grid colour, the screen's top and
// left edges included. A frame on the bottom row has its bottom edge in the margin row 480.
TEST_F(BoardQuirks, TheFirstFrameErasesCellZerosAndTheBottomRowsEdgeLiesInTheMargin) {
    brin::z1 = brin::zz1 = 0;
    brin::recuadro(17);
    EXPECT_EQ(sim::pixel(50, 0), COLOR[1]);
    EXPECT_EQ(sim::pixel(0, 50), COLOR[1]);
    EXPECT_EQ(sim::pixel(50, 96), COLOR[1]);
    EXPECT_EQ(sim::pixel(160, 50), COLOR[1]);
    EXPECT_EQ(sim::pixel(200, 480), COLOR[7]);  // bottom edge of cell 17, never shown
    EXPECT_EQ(sim::pixel(200, 384), COLOR[7]);
}

// A swap takes the pointer off the screen and saves the background again without drawing
// the pointer back: it stays off until the mouse next changes.
TEST_F(BoardQuirks, ASwapLeavesThePointerOffTheScreen) {
    brin::xm = 400;
    brin::ym = 300;
    PMOUSE = 250;
    IMOUSE = 251;
    mouses(400, 300, 2);
    mouses(400, 300, 1);
    ASSERT_EQ(sim::pixel(401, 302), 251);
    auto under = std::vector<unsigned char>(xmouse, xmouse + 160);
    brin::mover(0, 1);
    EXPECT_EQ(sim::pixel(400, 300), under[0]);
    EXPECT_EQ(sim::pixel(401, 302), under[21]);
}

}  // namespace
