// SPDX-License-Identifier: MIT
// The game's board, called directly on the simulator: the random numbers, the shuffle and
// swaps, the frames, and the board's oddities kept from the original design.
#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <set>

#include "brin.h"
#include "support.h"

using namespace vora256;

namespace {

class Board : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        // A picture whose pixels tell every piece and position apart.
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                INK = (x / 160 + 4 * (y / 96)) * 12 + (x + y) % 7;
                plot(x, y);
            }
        original = test::snapshot();
        for (int c = 0; c < 20; ++c) brin::cuadro[c] = c;
        getblock(1, 0, 0, 320, 200);
        for (int i = 0; i < 16; ++i) COLOR[i] = static_cast<unsigned char>(240 + i);
        brin::xm = brin::ym = 0;
        mouses(0, 0, 2);
    }

    // Cell c shows the pixels of piece cuadro[c] (grid lines apart: the cell's first row
    // and column carry whatever line travelled with the piece).
    void expect_pieces_in_place() {
        for (int c = 0; c < 20; ++c) {
            int p = brin::cuadro[c];
            for (int y = 1; y < 96; ++y)
                for (int x = 1; x < 160; ++x) {
                    int at = test::offset(brin::celda_x(c) + x, brin::celda_y(c) + y);
                    int home = test::offset(brin::celda_x(p) + x, brin::celda_y(p) + y);
                    ASSERT_EQ(sim::vram()[at], original[home])
                        << "cell " << c << " piece " << p << " at " << x << "," << y;
                }
        }
    }

    std::vector<unsigned char> original;
};

// The game's generator against the C library's own (glibc here): the same numbers from the
// same seed, whichever C library the game is built with.
TEST(Rnd, DrawsGlibcsNumbersFromEachSeed) {
    for (unsigned seed : {0u, 1u, 77u, 409599u, 0x80000000u, 0xFFFFFFFFu}) {
        ::srandom(seed);
        brin::srandom(seed);
        for (int i = 0; i < 1000; ++i) ASSERT_EQ(brin::random(), ::random()) << "seed " << seed << " draw " << i;
    }
}

TEST(Rnd, DrawsAgainOnlyForTheTopValuesAndStaysInRange) {
    ::srandom(77);
    std::vector<int> draws(20000);
    for (int& r : draws) r = static_cast<int>(::random() & 0xFFFF);
    brin::srandom(77);
    std::vector<int> seen(20, 0);
    std::size_t next = 0;
    for (int i = 0; i < 5000; ++i) {
        int v = brin::rnd(19);
        while (draws[next] / 3276 > 19) ++next;  // the draws that must be thrown away
        ASSERT_EQ(v, draws[next++] / 3276);
        ++seen[v];
    }
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n > 150; }));
}

TEST_F(Board, ShuffleAndSwapsKeepAPermutationWithThePixelsOfEachPiece) {
    brin::srandom(5);
    brin::desordena(10);
    mouses(brin::xm, brin::ym, 2);  // as a level does once its shuffle is done
    std::vector<int> sorted(brin::cuadro, brin::cuadro + 20);
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> identity(20);
    std::iota(identity.begin(), identity.end(), 0);
    EXPECT_EQ(sorted, identity);
    EXPECT_NE(std::vector<int>(brin::cuadro, brin::cuadro + 20), identity);
    expect_pieces_in_place();
    brin::mover(0, 19);
    brin::mover(6, 2);
    expect_pieces_in_place();
    // Nothing outside the five banks of the picture was touched.
    auto now = test::snapshot();
    EXPECT_TRUE(std::equal(now.begin() + test::kScreenBytes, now.end(), original.begin() + test::kScreenBytes));
}

TEST_F(Board, ShuffleTonesLengthenByGroupsOfFour) {
    brin::srandom(9);
    std::int64_t start = sim::now_us();
    brin::desordena(10);
    // (0 + 4 + 8 + 12 + 16) x 4 centiseconds of tones or rests, give or take the clock's steps.
    EXPECT_NEAR(static_cast<double>(sim::now_us() - start) / 1000.0, 1600, 30);
}

TEST_F(Board, SwappingACellWithItselfOnlyRedrawsTheGrid) {
    brin::mover(7, 7);
    for (int c = 0; c < 20; ++c) EXPECT_EQ(brin::cuadro[c], c);
    expect_pieces_in_place();
    for (int x : {0, 160, 320, 480}) EXPECT_EQ(sim::pixel(x, 300), COLOR[1]);
    for (int y : {0, 96, 192, 288, 384}) EXPECT_EQ(sim::pixel(333, y), COLOR[1]);
}

TEST_F(Board, FramesEraseInGridColourAndTheRightEdgeWrapsToTheNextRow) {
    brin::z1 = brin::zz1 = 0;
    brin::recuadro(3);  // right edge at x = 640 lands at x = 0, rows 1-96
    EXPECT_EQ(sim::pixel(0, 1), COLOR[7]);
    EXPECT_EQ(sim::pixel(0, 96), COLOR[7]);
    EXPECT_EQ(sim::pixel(480, 0), COLOR[7]);
    EXPECT_EQ(sim::pixel(639, 96), COLOR[7]);
    brin::recuadro1(3);
    brin::recuadro(4);  // the cursor leaves: its old frame is painted in grid colour
    EXPECT_EQ(sim::pixel(500, 0), COLOR[1]);
    EXPECT_EQ(sim::pixel(0, 100), COLOR[7]);
}

// ---- the board's oddities, kept from the original design ----

class BoardQuirks : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        for (int c = 0; c < 20; ++c) brin::cuadro[c] = c;
        getblock(1, 0, 0, 320, 200);
        for (int i = 0; i < 16; ++i) COLOR[i] = static_cast<unsigned char>(240 + i);
    }
};

using Offsets = std::set<int>;

Offsets changed(const std::vector<unsigned char>& before) {
    auto d = test::differences(before, test::snapshot());
    return {d.begin(), d.end()};
}

Offsets rectangle(int x1, int y1, int x2, int y2) {
    Offsets out;
    for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x) out.insert(test::offset(x, y));
    return out;
}

// negro fills the cell and the row below it: the next cell's first row, its grid line. All
// twenty blacken the whole picture.
TEST_F(BoardQuirks, NegroBlackensTheRowBelowTheCell) {
    auto before = test::snapshot();
    brin::negro(5);
    EXPECT_EQ(changed(before), rectangle(160, 96, 319, 192));
    before = test::snapshot();
    brin::negro(17);  // the bottom row: the bar stops at the screen's last row
    EXPECT_EQ(changed(before), rectangle(160, 384, 319, 479));
    for (int c = 0; c < 20; ++c) brin::negro(c);
    const unsigned char* v = sim::vram();
    EXPECT_TRUE(std::all_of(v, v + 640 * 480, [](unsigned char b) { return b == 240; }));
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
