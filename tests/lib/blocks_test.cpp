// SPDX-License-Identifier: MIT
#include <cstring>
#include <vector>

#include "support.h"

using namespace vora256;
using test::differences;
using test::offset;
using test::pattern_at;
using test::snapshot;

namespace {

using Blocks = test::Machine;

int block_width(int slot) { return grafi[slot][0] | grafi[slot][1] << 8; }
std::vector<unsigned char> block_pixels(int slot, int count) { return {grafi[slot] + 4, grafi[slot] + 4 + count}; }

// The screen rectangle at (x, y) read back pixel by pixel.
std::vector<unsigned char> rectangle(int x, int y, int w, int h) {
    std::vector<unsigned char> out;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) out.push_back(sim::pixel(x + c, y + r));
    return out;
}

TEST_F(Blocks, GetblockMakesAHeaderedCopyOfTheScreenAndOfPal) {
    test::paint_pattern();
    for (int i = 0; i < 769; ++i) pal[i] = static_cast<unsigned char>(i % 64);
    getblock(1, 0, 0, 320, 200);
    ASSERT_NE(grafi[1], nullptr);
    EXPECT_EQ(std::vector<unsigned char>(grafi[1], grafi[1] + 4), (std::vector<unsigned char>{0x40, 0x01, 0xC8, 0x00}));
    EXPECT_EQ(block_pixels(1, 64000), rectangle(0, 0, 320, 200));
    EXPECT_EQ(std::memcmp(grafip[1], pal, 769), 0);
}

TEST_F(Blocks, GetzTakesRectanglesThatFitTheBlockAndRefusesOthers) {
    getblock(1, 0, 0, 320, 200);  // a black block
    test::paint_pattern();
    std::vector<unsigned char> black(64000, 0);

    getz(1, 0, 0, 1, 0, 320, 200);  // one column too wide
    getz(1, 0, 0, 0, 0, 160, 201);  // one row too tall
    getz(1, 0, 0, -1, 0, 10, 10);
    getz(1, 0, 0, 0, 0, -1, 10);
    getz(1, -1, 0, 0, 0, 10, 10);
    getz(-1, 0, 0, 0, 0, 10, 10);
    getz(16, 0, 0, 0, 0, 10, 10);
    EXPECT_EQ(block_pixels(1, 64000), black);

    getz(1, 0, 0, 0, 0, 320, 200);  // exactly the block
    EXPECT_EQ(block_pixels(1, 64000), rectangle(0, 0, 320, 200));
    EXPECT_EQ(block_width(1), 320);
}

TEST_F(Blocks, TileSwapThroughSlotOneCrossesTheBankBoundaryOfRow102) {
    test::paint_pattern();
    getblock(1, 0, 0, 320, 200);
    std::vector<unsigned char> slot_before = block_pixels(1, 64000);
    auto a = rectangle(160, 96, 160, 96);  // row 102 passes from bank 0 into bank 1 at x = 256
    auto b = rectangle(320, 288, 160, 96);
    auto screen_before = snapshot();

    getz(1, 160, 96, 0, 0, 160, 96);
    getz(1, 320, 288, 0, 100, 160, 96);
    putz(1, 320, 288, 0, 0, 160, 96);
    putz(1, 160, 96, 0, 100, 160, 96);

    EXPECT_EQ(rectangle(160, 96, 160, 96), b);
    EXPECT_EQ(rectangle(320, 288, 160, 96), a);
    for (int o : differences(screen_before, snapshot())) {
        int x = o % 640, y = o / 640;
        bool in_a = x >= 160 && x < 320 && y >= 96 && y < 192;
        bool in_b = x >= 320 && x < 480 && y >= 288 && y < 384;
        ASSERT_TRUE(in_a || in_b) << "pixel (" << x << ", " << y << ") changed";
    }
    std::vector<unsigned char> slot_after = block_pixels(1, 64000);
    for (int by = 0; by < 200; ++by)
        for (int bx = 0; bx < 320; ++bx) {
            bool used = bx < 160 && (by < 96 || (by >= 100 && by < 196));
            if (!used) {
                ASSERT_EQ(slot_after[320 * by + bx], slot_before[320 * by + bx]) << bx << ", " << by;
            }
        }
}

TEST_F(Blocks, PutblockRunsOnIntoTheNextRowPastTheRightEdge) {
    test::paint_pattern();
    getblock(2, 10, 10, 3, 2);
    auto before = snapshot();
    putblock(2, 638, 0);
    EXPECT_EQ(differences(before, snapshot()), (std::vector<int>{offset(638, 0), offset(639, 0), offset(0, 1),
                                                                 offset(638, 1), offset(639, 1), offset(0, 2)}));
    EXPECT_EQ(sim::pixel(638, 0), pattern_at(offset(10, 10)));
    EXPECT_EQ(sim::pixel(0, 1), pattern_at(offset(12, 10)));
    EXPECT_EQ(sim::pixel(0, 2), pattern_at(offset(12, 11)));
}

TEST_F(Blocks, SetimPastesOpaqueUpTo255AndLeavesItsLowByteTransparentFrom256) {
    // A 300 x 3 block of colours 1 and 7, pasted across the bank boundary of row 102.
    INK = 1;
    bar(0, 0, 299, 2);
    INK = 7;
    for (int x = 0; x < 300; x += 3) line(x, 0, x, 2);
    getblock(3, 0, 0, 300, 3);
    auto paste = [](int setim) {
        clear(200);
        SETIM = setim;
        putz(3, 100, 101, 0, 0, 300, 3);
        return rectangle(100, 101, 300, 3);
    };
    std::vector<unsigned char> block = block_pixels(3, 900);
    EXPECT_EQ(paste(1), block);
    EXPECT_EQ(paste(7), block);
    EXPECT_EQ(paste(-5), block);
    std::vector<unsigned char> without_1 = block;
    for (auto& p : without_1)
        if (p == 1) p = 200;
    EXPECT_EQ(paste(257), without_1);
    std::vector<unsigned char> without_7 = block;
    for (auto& p : without_7)
        if (p == 7) p = 200;
    EXPECT_EQ(paste(256 + 7), without_7);
    EXPECT_EQ(paste(512 + 7), without_7);  // only the low byte counts
}

TEST_F(Blocks, PutzRefusesWhatGetzRefusesAndEmptySlotsDoNothing) {
    test::paint_pattern();
    getblock(4, 0, 0, 20, 10);
    clear(0);
    auto before = snapshot();
    putz(4, 0, 0, 1, 0, 20, 10);
    putz(4, 0, 0, 0, 5, 20, 6);
    putz(4, 0, 0, 0, 0, 20, -1);
    putz(4, 0, -3, 0, 0, 20, 10);
    putz(4, 0, 0, 2147483647, 0, 2, 1);  // no overflow into a "fitting" sum
    putz(5, 0, 0, 0, 0, 1, 1);           // empty
    putz(16, 0, 0, 0, 0, 1, 1);
    putblock(5, 0, 0);
    putblock(-1, 0, 0);
    putblock(4, -1, 0);
    getblock(16, 0, 0, 4, 4);
    getblock(6, 0, 0, -4, 4);
    getblock(6, 0, -1, 4, 4);
    EXPECT_TRUE(differences(before, snapshot()).empty());
    EXPECT_EQ(grafi[6], nullptr);

    putz(4, 300, 100, 19, 9, 1, 1);  // the last pixel alone fits
    EXPECT_EQ(sim::pixel(300, 100), pattern_at(offset(19, 9)));
}

TEST_F(Blocks, ABlockTooLargeIsRefusedAsMemoryThatCannotBeHadAndEmptiesTheSlot) {
    std::memset(tabla, 0xFF, sizeof tabla);  // every glyph solid, so text shows
    INK = 9;
    getblock(7, 0, 0, 4, 4);
    unsigned char* palette_copy = grafip[7];
    auto before = snapshot();
    getblock(7, 0, 0, 65536, 1);  // wider than the header can say
    EXPECT_EQ(grafi[7], nullptr);
    EXPECT_EQ(grafip[7], palette_copy);
    EXPECT_FALSE(differences(before, snapshot()).empty());  // "sin memoria" at the corner
    EXPECT_EQ(sim::pixel(0, 0), 9);

    getblock(7, 0, 0, 4097, 4096);  // over 16 Mi pixels
    EXPECT_EQ(grafi[7], nullptr);
    getblock(7, 0, 0, 4096, 4096);  // exactly 16 Mi
    ASSERT_NE(grafi[7], nullptr);
    EXPECT_EQ(grafi[7][1], 0x10);
}

}  // namespace
