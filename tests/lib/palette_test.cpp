// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>
#include <vector>

#include "support.h"

using namespace vora256;

namespace {

using Bytes = std::vector<unsigned char>;
using Palette = test::Machine;

Bytes registers() { return {sim::palette(), sim::palette() + 768}; }
Bytes pal_bytes(int n = 769) { return {pal, pal + n}; }

// Levels 0-63 in every position, neighbours different, and small ones such as 1 and 2
// that a step of 3 must take to 0 without wrapping.
Bytes levels() {
    Bytes p(769);
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<unsigned char>((i * 29 + i / 64) % 64);
    return p;
}

void set_pal(const Bytes& p) { std::memcpy(pal, p.data(), p.size()); }

TEST_F(Palette, PaletaLoadsTheSixteenStandardColoursAndTouchesNothingElse) {
    Bytes full = levels();
    set_pal(full);
    paletapal();
    paleta();
    Bytes shown = registers();
    EXPECT_EQ(Bytes(shown.begin(), shown.begin() + 48), Bytes(tleta, tleta + 48));
    EXPECT_EQ(Bytes(shown.begin() + 48, shown.end()), Bytes(full.begin() + 48, full.begin() + 768));
    EXPECT_EQ(pal_bytes(), full);
    EXPECT_EQ(Bytes(tleta + 3, tleta + 6), (Bytes{63, 63, 63}));
    EXPECT_EQ(Bytes(tleta + 15, tleta + 18), (Bytes{63, 63, 0}));
    EXPECT_EQ(Bytes(tleta + 45, tleta + 48), (Bytes{47, 0, 0}));
}

TEST_F(Palette, GetcolorsTakesTheFirstExactMatchInPalElse254) {
    set_pal(levels());
    for (int e : {1, 200}) std::memset(pal + 3 * e, 63, 3);  // white twice
    const unsigned char red[3] = {63, 0, 0};
    std::memcpy(pal + 3 * 77, red, 3);
    std::memcpy(pal + 3 * 255, tleta + 3 * 15, 3);  // dark red, last entry
    for (int e = 0; e < 256; ++e)                   // no yellow anywhere
        if (pal[3 * e] == 63 && pal[3 * e + 1] == 63 && pal[3 * e + 2] == 0) pal[3 * e + 2] = 1;
    paleta();  // the hardware now shows all standard colours; getcolors must not look there
    getcolors();
    EXPECT_EQ(COLOR[1], 1);
    EXPECT_EQ(COLOR[7], 77);
    EXPECT_EQ(COLOR[15], 255);
    EXPECT_EQ(COLOR[5], 254);
}

TEST_F(Palette, PaletablockMakesTheSlotsPaletteCurrentAllOf769Bytes) {
    set_pal(levels());
    pal[768] = 42;
    getblock(3, 0, 0, 2, 2);
    std::memset(pal, 0, 769);
    paletablock(3);
    EXPECT_EQ(pal_bytes(), Bytes(grafip[3], grafip[3] + 769));
    EXPECT_EQ(registers(), pal_bytes(768));

    long loads = sim::palette_loads();
    paletablock(4);   // empty
    paletablock(16);  // no such slot
    paletablock(-1);
    EXPECT_EQ(sim::palette_loads(), loads);
}

TEST_F(Palette, OutsideTheGraphicsModeNothingIsLoaded) {
    set_pal(levels());
    mode(0);
    paletapal();
    paleta();
    EXPECT_EQ(sim::palette_loads(), 0);
    EXPECT_EQ(registers(), Bytes(768, 0));
    mode(10);
}

// Every palette load that a fade makes, seen at the clock read after it.
struct LoadLog {
    std::vector<Bytes> shown;
    std::vector<long long> ticks;
    long seen = 0;
    bool missed = false;

    void look() {
        long n = sim::palette_loads();
        if (n == seen) return;
        missed = missed || n != seen + 1;
        seen = n;
        shown.push_back(registers());
        ticks.push_back(tick_now());
    }
    void watch() {
        look();
        sim::at(sim::now_us() + 1, [this] { watch(); });
    }
    // The centisecond clock over 6, from the virtual time (1.7e9 s is 256 s past 4096 s).
    static long long tick_now() {
        long long us = sim::now_us();
        long long centis = (256 + us / 1000000) * 100 + us % 1000000 / 10000;
        return centis / 6;
    }
};

// The palette of a fade-out's i-th load (from 1) and of a fade-in's load at k.
Bytes lowered(const Bytes& full, int by) {
    Bytes out(full.begin(), full.begin() + 768);
    for (auto& v : out) v = static_cast<unsigned char>(std::max(0, v - by));
    return out;
}

struct FadeCase {
    int step;
    std::vector<int> lowered_by;  // what each load before the final one takes off
};

class Fade : public test::Machine, public ::testing::WithParamInterface<FadeCase> {};

TEST_P(Fade, MakesTheLoadsOfTheTableOnePerTickAndKeepsPal) {
    const FadeCase& c = GetParam();
    Bytes full = levels();
    set_pal(full);
    paletapal();
    LoadLog log;
    log.seen = sim::palette_loads();
    log.watch();
    fade(c.step);
    log.look();

    ASSERT_FALSE(log.missed);
    ASSERT_EQ(log.shown.size(), c.lowered_by.size() + 1);
    for (std::size_t i = 0; i < c.lowered_by.size(); ++i)
        EXPECT_EQ(log.shown[i], lowered(full, c.lowered_by[i])) << "load " << i;
    Bytes final_load = c.step > 0 ? Bytes(768, 0) : Bytes(full.begin(), full.begin() + 768);
    EXPECT_EQ(log.shown.back(), final_load);
    for (std::size_t i = 1; i < log.ticks.size(); ++i) EXPECT_EQ(log.ticks[i], log.ticks[i - 1] + 1) << "load " << i;
    EXPECT_EQ(pal_bytes(), full);
}

std::vector<int> by_steps(int from, int to, int step) {
    std::vector<int> out;
    for (int v = from; step > 0 ? v <= to : v >= to; v += step) out.push_back(v);
    return out;
}

INSTANTIATE_TEST_SUITE_P(GamesSteps, Fade,
                         ::testing::Values(FadeCase{3, by_steps(3, 93, 3)},       // 31 loads, then black
                                           FadeCase{1, by_steps(1, 57, 1)},       // 57 loads
                                           FadeCase{-3, by_steps(70, 13, -3)},    // k = 70, 67, ..., 13
                                           FadeCase{-10, by_steps(70, 20, -10)},  // k = 70, 60, ..., 20
                                           FadeCase{6, {}},                       // black at once
                                           FadeCase{5, by_steps(5, 25, 5)}, FadeCase{-60, {70}}));

TEST_F(Palette, FadeOutThenInShowsExactlyThePaletteOfBefore) {
    Bytes full = levels();
    set_pal(full);
    paletapal();
    std::int64_t start = sim::now_us();
    fade(3);
    EXPECT_NEAR((sim::now_us() - start) / 1e6, 31 * 0.06, 0.061);
    EXPECT_EQ(registers(), Bytes(768, 0));
    EXPECT_EQ(pal_bytes(), full);
    fade(-3);
    EXPECT_EQ(registers(), Bytes(full.begin(), full.begin() + 768));
    EXPECT_EQ(pal_bytes(), full);
}

TEST_F(Palette, FadesThatNeverWaitAndAStepOfZero) {
    Bytes full = levels();
    set_pal(full);
    paletapal();
    long loads = sim::palette_loads();
    std::int64_t start = sim::now_us();
    fade(0);
    EXPECT_EQ(sim::palette_loads(), loads);
    fade(100);
    EXPECT_EQ(sim::palette_loads(), loads + 1);
    EXPECT_LT(sim::now_us() - start, 1000);
    EXPECT_EQ(registers(), Bytes(768, 0));
    EXPECT_EQ(pal_bytes(), full);
    fade(-2147483647 - 1);  // the most negative step: one black load, one tick, the palette
    EXPECT_EQ(registers(), Bytes(full.begin(), full.begin() + 768));
}

}  // namespace
