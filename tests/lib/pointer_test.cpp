// SPDX-License-Identifier: MIT
#include <cstring>
#include <utility>
#include <vector>

#include "support.h"

using namespace vora256;
using test::differences;
using test::offset;
using test::pattern_at;
using test::snapshot;

namespace {

using Pointer = test::Machine;

struct Poll {
    int x, y, k, c;
    bool operator==(const Poll&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Poll& p) {
    return out << "(" << p.x << ", " << p.y << ", K " << p.k << ", C " << p.c << ")";
}

Poll poll() {
    mouse(3);
    return {XMOUSE, YMOUSE, KMOUSE, CMOUSE};
}

TEST_F(Pointer, TheFirstPollAfterTheModeSwitchSeesAChangeAndTheNextDoesNot) {
    // Whatever an earlier poll saw, mode(10) puts the mouse at (320, 200) with no button.
    sim::mouse(17, 3, 4);
    poll();
    mode(0);
    sim::reset();
    mode(10);
    EXPECT_EQ(poll(), (Poll{320, 200, 0, 1}));
    EXPECT_EQ(poll(), (Poll{320, 200, 0, 0}));
    sim::mouse(321, 200, 0);
    EXPECT_EQ(poll(), (Poll{321, 200, 0, 1}));
}

TEST_F(Pointer, ButtonsAreRenumberedAndChangeIsALevel) {
    poll();
    sim::mouse(320, 200, 4);  // left, without moving
    EXPECT_EQ(poll(), (Poll{320, 200, 1, 1}));
    EXPECT_EQ(poll(), (Poll{320, 200, 1, 0}));  // held
    sim::mouse(320, 200, 0);
    EXPECT_EQ(poll(), (Poll{320, 200, 0, 1}));
    const std::pair<int, int> renumbering[] = {{1, 2}, {5, 5}, {2, 2}, {3, 3}, {6, 6}, {7, 7}, {4, 1}};
    for (auto [buttons, k] : renumbering) {
        sim::mouse(320, 200, buttons);
        EXPECT_EQ(poll(), (Poll{320, 200, k, 1})) << "buttons " << buttons;
    }
    sim::mouse(0, 479, 4);  // the left button still held: only the position moved
    EXPECT_EQ(poll(), (Poll{0, 479, 1, 1}));
    sim::mouse(0, 479, 4);
    mouse(9);  // the same as 3
    EXPECT_EQ(CMOUSE, 0);
}

TEST_F(Pointer, OtherPollTypesChangeNothing) {
    poll();
    poll();
    sim::mouse(100, 50, 1);
    mouse(0);
    mouse(4);
    EXPECT_EQ((Poll{XMOUSE, YMOUSE, KMOUSE, CMOUSE}), (Poll{320, 200, 0, 0}));
    EXPECT_EQ(poll(), (Poll{100, 50, 2, 1}));
}

// The screen position of pointer pixel j when the pointer is at (x, y): linear offsets, so
// columns past 639 show at the left of the next row.
int pixel_offset(int x, int y, int j) { return offset(x, y) + 640 * (j / 10) + j % 10; }

class Sweep : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        test::paint_pattern();
        PMOUSE = 0x100 + 250;  // only the low bytes are drawn
        IMOUSE = 251;
    }

    // Saves, draws and restores at (x, y), checking what each step leaves.
    void cycle(int x, int y) {
        mouses(x, y, 2);
        for (int j = 0; j < 160; ++j)
            ASSERT_EQ(xmouse[j], pattern_at(pixel_offset(x, y, j))) << x << ", " << y << " j " << j;
        mouses(x, y, 1);
        const unsigned char* v = sim::vram();
        for (int j = 0; j < 160; ++j) {
            int o = pixel_offset(x, y, j);
            unsigned char want = tmouse[j] == 3 ? pattern_at(o) : tmouse[j] == 0 ? 250 : 251;
            ASSERT_EQ(v[o], want) << x << ", " << y << " j " << j;
        }
        ASSERT_EQ(BANCO, pixel_offset(x, y, 159) >> 16);
        mouses(x, y, 3);
    }
};

TEST_F(Sweep, SaveDrawRestoreLeavesScreenMemoryAsItWas) {
    auto before = snapshot();
    const std::pair<int, int> corners[] = {{0, 0}, {0, 102}, {250, 102}, {631, 0}, {639, 479}, {639, 0}, {0, 479}};
    for (auto [x, y] : corners) {
        cycle(x, y);
        ASSERT_TRUE(differences(before, snapshot()).empty()) << x << ", " << y;
    }
    // Every column along the rows whose pointer crosses a bank boundary, every row along
    // the edges, and a grid over the rest.
    for (int y : {86, 95, 101, 102, 188, 204, 290, 307, 394, 409, 479})
        for (int x = 0; x < 640; ++x) cycle(x, y);
    for (int x : {0, 255, 256, 630, 631, 639})
        for (int y = 0; y < 480; ++y) cycle(x, y);
    for (int y = 0; y < 480; y += 7)
        for (int x = 0; x < 640; x += 11) cycle(x, y);
    EXPECT_TRUE(differences(before, snapshot()).empty());
}

TEST_F(Sweep, APointerAtTheRightEdgeWrapsItsLastColumnToTheNextRow) {
    auto before = snapshot();
    mouses(631, 0, 1);
    for (int r = 0; r < 16; ++r) {
        unsigned char shape = tmouse[10 * r + 9];
        unsigned char want = shape == 3 ? pattern_at(offset(0, r + 1)) : shape == 0 ? 250 : 251;
        EXPECT_EQ(sim::pixel(0, r + 1), want) << "row " << r;
    }
    for (int o : differences(before, snapshot())) EXPECT_TRUE(o % 640 >= 631 || o % 640 == 0) << o;
}

TEST_F(Sweep, OtherModesOnlySelectTheBankAndMouseZeroDoesNothingAtAll) {
    auto before = snapshot();
    std::vector<unsigned char> saved(xmouse, xmouse + 160);
    newbank(0);
    mouses(300, 300, 0);
    mouses(300, 300, 4);
    EXPECT_EQ(BANCO, offset(300, 300) >> 16);
    MOUSE = 0;
    newbank(0);
    for (int m : {1, 2, 3}) mouses(300, 300, m);
    EXPECT_EQ(BANCO, 0);
    EXPECT_TRUE(differences(before, snapshot()).empty());
    EXPECT_EQ(std::vector<unsigned char>(xmouse, xmouse + 160), saved);
}

// No clipping for the pointer at the bottom either, as in the original design: its lower
// rows go into the margin rows of screen memory, which are never shown.
using Quirks = test::Machine;

TEST_F(Quirks, ThePointerAtTheBottomIsDrawnIntoTheMarginRows) {
    PMOUSE = 250;
    IMOUSE = 251;
    mouses(100, 479, 1);
    EXPECT_EQ(sim::pixel(100, 479), 250);  // row 0 of the arrow
    EXPECT_EQ(sim::pixel(101, 480), 251);  // row 1, in the first margin row
    EXPECT_EQ(sim::pixel(106, 494), 250);  // row 15, the last
}

}  // namespace
