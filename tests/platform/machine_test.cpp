// SPDX-License-Identifier: MIT
// The shared machine's own rules, called as the library calls it, on the simulator: the banks
// behind the window, the palette registers, and which changes count as a change of the
// picture shown.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <vector>

#include "machine.h"
#include "platform.h"
#include "sim.h"

namespace machine = platform::machine;

namespace {

class Machine : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        ASSERT_EQ(platform::vga_setmode(platform::G640x480x256), 0);
        ASSERT_EQ(platform::gl_setcontextvga(platform::G640x480x256), 0);
        window = platform::currentcontext.vbuf;
    }
    void TearDown() override { platform::vga_setmode(platform::TEXT); }

    unsigned char* window = nullptr;
};

constexpr int kBank = machine::kBankSize;

TEST_F(Machine, TheWindowStaysInPlaceAndShowsTheBankLastSelected) {
    for (int page = 0; page < machine::kBanks; ++page) {
        platform::vga_setpage(page);
        ASSERT_EQ(platform::currentcontext.vbuf, window);
        window[0] = static_cast<unsigned char>(10 + page);
        window[kBank - 1] = static_cast<unsigned char>(20 + page);
    }
    const unsigned char* memory = machine::screen_memory();
    for (int page = 0; page < machine::kBanks; ++page) {
        EXPECT_EQ(memory[page * kBank], 10 + page) << "bank " << page;
        EXPECT_EQ(memory[page * kBank + kBank - 1], 20 + page) << "bank " << page;
    }
    platform::vga_setpage(3);
    EXPECT_EQ(window[0], 13);
    platform::vga_setpage(9);  // only the bank bits count
    EXPECT_EQ(window[0], 11);
    window[5] = 77;  // not yet written back, but screen memory shows it
    EXPECT_EQ(machine::screen_memory()[kBank + 5], 77);
}

TEST_F(Machine, PaletteRegistersKeepSixBitLevelsAndNothingOutsideTheTable) {
    const int levels[] = {63, 65, 255, 0, 32, 135};
    platform::vga_setpalvec(0, 2, levels);
    const unsigned char* r = machine::palette_registers();
    EXPECT_EQ(std::vector<int>(r, r + 6), (std::vector<int>{63, 1, 63, 0, 32, 7}));
    EXPECT_EQ(machine::rgb_of(0), 0xFF04FFu);
    EXPECT_EQ(machine::rgb_of(1), 0x00821Cu);

    const int white[] = {63, 63, 63, 63, 63, 63};
    platform::vga_setpalvec(255, 2, white);  // entry 256 does not exist
    platform::vga_setpalvec(-1, 1, white);
    EXPECT_EQ(machine::rgb_of(255), 0xFFFFFFu);
    EXPECT_EQ(std::vector<int>(r, r + 6), (std::vector<int>{63, 1, 63, 0, 32, 7}));
    EXPECT_EQ(machine::palette_loads(), 3);
}

// Only what the picture shows counts: its 640x480 pixels, through whichever bank they were
// written, and the palette registers when a level changes.
TEST_F(Machine, AChangeCountsOnlyWhenThePictureShownChanges) {
    constexpr int kLastShown = machine::kWidth * machine::kHeight - 1;
    auto write = [this](int offset, unsigned char value) {
        return [=, this] {
            platform::vga_setpage(offset / kBank);
            window[offset % kBank] = value;
        };
    };
    auto load = [](int level) {
        return [=] {
            const int rgb[] = {level, level, level};
            platform::vga_setpalvec(7, 1, rgb);
        };
    };
    struct Case {
        const char* what;
        std::function<void()> act;
        bool counts;
        int bank;  // whose count moves, -1 for none
    } cases[] = {
        {"a pixel in bank 0", write(100, 5), true, 0},
        {"the same value again", write(100, 5), false, -1},
        {"the last pixel shown", write(kLastShown, 9), true, 4},
        {"the first margin row", write(kLastShown + 1, 9), false, -1},
        {"a bank beyond the picture", write(6 * kBank + 3, 9), false, -1},
        {"a palette level", load(40), true, -1},
        {"the same level again", load(40), false, -1},
    };
    for (const auto& c : cases) {
        long before = machine::screen_changes();
        std::vector<long> banks_before;
        for (int b = 0; b < machine::kBanks; ++b) banks_before.push_back(machine::bank_changes(b));
        c.act();
        EXPECT_EQ(machine::screen_changes() > before, c.counts) << c.what;
        for (int b = 0; b < machine::kBanks; ++b)
            EXPECT_EQ(machine::bank_changes(b) - banks_before[b], b == c.bank ? 1 : 0) << c.what << ", bank " << b;
    }
}

// A frame's digest, made of each bank's kept until it changes, is the CRC-32 of the whole
// picture and the palette, whichever banks changed since the last.
TEST_F(Machine, AFramesDigestIsTheCrcOfThePictureAndThePalette) {
    auto whole = [] {
        uLong c = crc32(0, machine::screen_memory(), machine::kWidth * machine::kHeight);
        return static_cast<std::uint32_t>(crc32(c, machine::palette_registers(), machine::kPaletteBytes));
    };
    auto write = [this](int page, int at, unsigned char value) {
        return [=, this] {
            platform::vga_setpage(page);
            window[at] = value;
        };
    };
    const int grey[] = {30, 30, 30};
    const std::function<void()> changes[] = {
        [] {},
        [this] {
            for (int page = 0; page < machine::kScreenBanks; ++page) {
                platform::vga_setpage(page);
                for (int i = 0; i < kBank; ++i) window[i] = static_cast<unsigned char>(i * 7 + page);
            }
        },
        write(3, 100, 1),
        write(0, 0, 2),
        write(4, kBank - 1, 3),  // beyond the picture: no change
        [&] { platform::vga_setpalvec(9, 1, grey); },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        changes[i]();
        EXPECT_EQ(machine::frame_crc(), whole()) << "after change " << i;
    }
}

}  // namespace
