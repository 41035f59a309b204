// SPDX-License-Identifier: MIT
#include <vector>

#include "support.h"

using namespace vora256;

namespace {

constexpr std::int64_t kWrapBase = 4096LL * 415000;  // a multiple of 4096 seconds

// A machine whose first clock reading is `seconds` + `micros` past a multiple of 4096
// seconds; later readings move 100 us each.
void start_clock(std::int64_t seconds, int micros) {
    mode(0);
    sim::Options o;
    o.start_seconds = kWrapBase + seconds;
    o.quantum_us = micros;
    sim::reset(o);
    BANCO = 0;
    mode(10);
    Ctime();
    sim::set_quantum_us(100);
}

using Clock = test::Machine;

// Virtual milliseconds that `wait` takes.
template <typename Wait>
double millis(Wait wait) {
    std::int64_t before = sim::now_us();
    wait();
    return static_cast<double>(sim::now_us() - before) / 1000.0;
}

TEST_F(Clock, CentisecondsFollowTheTimeOfDayAndDropToZeroEvery4096Seconds) {
    start_clock(4095, 999899);
    EXPECT_EQ(Ctime(), 409599u);  // 4095 s + 999,999 us
    sim::set_quantum_us(1);
    EXPECT_EQ(Ctime(), 0u);

    start_clock(1, 4900);
    EXPECT_EQ(Ctime(), 100u);  // 1 s + 5,000 us
    sim::set_quantum_us(994999);
    EXPECT_EQ(Ctime(), 199u);
}

TEST_F(Clock, EsperaCountsFourCentisecondsAndGivesUpAbove250) {
    EXPECT_NEAR(millis([] { espera(62); }), 2480, 10);
    EXPECT_LT(millis([] { espera(63); }), 1);
    EXPECT_LT(millis([] { espera(100); }), 1);
    EXPECT_LT(millis([] { espera(-1); }), 1);
    EXPECT_LT(millis([] { espera(0); }), 1);
    EXPECT_NEAR(millis([] { espera(20); }), 800, 10);
}

TEST_F(Clock, WaitsCountsWholeSecondsAndIgnoresNegativeCounts) {
    EXPECT_NEAR(millis([] { waits(2); }), 2000, 10);
    EXPECT_LT(millis([] { waits(0); }), 1);
    EXPECT_LT(millis([] { waits(-3); }), 1);
}

// Every clock reading moves the virtual clock one quantum, so a delay's length in quanta is
// its number of readings: espera reads the clock twice, then at least once more; waits once,
// then at least once more; a count it gives up on takes only the first two readings.
TEST_F(Clock, DelaysReadTheClockAtLeastOnceAfterTheirDeadlineIsSet) {
    EXPECT_EQ(millis([] { espera(0); }), 0.3);
    EXPECT_EQ(millis([] { waits(0); }), 0.2);
    EXPECT_EQ(millis([] { espera(63); }), 0.2);
    EXPECT_EQ(millis([] { sonido(1500, 0); }), 0.3);
}

TEST_F(Clock, DelaysKeepTheirLengthWhenTheClockDropsToZero) {
    start_clock(4095, 500000);  // half a second before the drop
    EXPECT_NEAR(millis([] { waits(2); }), 2000, 10);
    start_clock(4095, 900000);
    EXPECT_NEAR(millis([] { espera(20); }), 800, 10);
    start_clock(4095, 999000);
    EXPECT_NEAR(millis([] { espera(62); }), 2480, 10);
}

TEST_F(Clock, LongWaitsOutlastTheClocksSpan) {
    sim::on_limit([] {});
    sim::set_quantum_us(10000);
    EXPECT_NEAR(millis([] { waits(5000); }), 5000000, 20);
}

TEST_F(Clock, SbeepConnectsTheSpeakerThenProgramsTheCounter) {
    outportb(0x61, 0xA4);
    sim::record_ports(true);
    Sbeep(1500);
    std::vector<sim::PortAccess> on{
        {0x61, 0xA4, false}, {0x61, 0xA7, true}, {0x43, 0xB6, true}, {0x42, 0xDC, true}, {0x42, 0x05, true}};
    EXPECT_EQ(sim::port_log(), on);

    sim::record_ports(true);
    Sbeep(0);
    std::vector<sim::PortAccess> off{{0x61, 0xA7, false}, {0x61, 0xA4, true}};
    EXPECT_EQ(sim::port_log(), off);

    sim::record_ports(true);
    Sbeep(0x10000 + 1500);
    on[0].value = 0xA4;
    EXPECT_EQ(sim::port_log(), on);
}

TEST_F(Clock, SonidoSoundsForItsLengthAndLeavesTheOtherBitsAlone) {
    outportb(0x61, 0xF0);
    std::int64_t start = sim::now_us();
    sonido(1500, 1);
    const auto& tones = sim::tones();
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_EQ(tones[0].second, 1500);
    EXPECT_EQ(tones[1].second, 0);
    EXPECT_NEAR(static_cast<double>(tones[1].first - tones[0].first) / 1000.0, 40, 10);
    EXPECT_GE(tones[0].first, start);
    EXPECT_EQ(inportb(0x61), 0xF0);
}

TEST_F(Clock, SilentDivisorsStillPauseAndLongCountsOnlyClick) {
    EXPECT_NEAR(millis([] { sonido(0, 5); }), 200, 10);
    EXPECT_NEAR(millis([] { sonido(65536, 5); }), 200, 10);
    EXPECT_TRUE(sim::tones().empty());

    sonido(1500, 63);
    const auto& tones = sim::tones();
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_LT(tones[1].first - tones[0].first, 1000);
}

TEST_F(Clock, VelocidadCountsTimeCallsOverOneWholeSecond) {
    FONTX = FONTY = 1;
    velocidad();
    // 100 us per call: after the call that takes the second, 9,998 more return it.
    EXPECT_EQ(SPEED, 9);
    sim::set_quantum_us(2000);
    velocidad();
    EXPECT_EQ(SPEED, 0);  // 500 calls, fewer than 1000
}

}  // namespace
