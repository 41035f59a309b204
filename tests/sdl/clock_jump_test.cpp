// SPDX-License-Identifier: MIT
// The window back-end's clock while the system's wall clock is set back or forward. This
// program stands in for the C library's wall clock (clock_gettime of CLOCK_REALTIME,
// gettimeofday, time), running it at a distance from the real one that a test sets; the
// monotonic clocks go on untouched.
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform.h"
#include "vora256.h"

namespace {

std::atomic<std::int64_t> wall_shift_us{0};

timespec shifted(timespec ts) {
    std::int64_t us = std::int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000 + wall_shift_us.load();
    return {static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
}

bool is_wall(clockid_t clock) {
    return clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE || clock == CLOCK_TAI;
}

}  // namespace

extern "C" {

int clock_gettime(clockid_t clock, timespec* ts) {
    int result = static_cast<int>(syscall(SYS_clock_gettime, clock, ts));
    if (result == 0 && is_wall(clock)) *ts = shifted(*ts);
    return result;
}

int gettimeofday(timeval* tv, void*) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    *tv = {ts.tv_sec, static_cast<suseconds_t>(ts.tv_nsec / 1000)};
    return 0;
}

time_t time(time_t* t) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    if (t != nullptr) *t = ts.tv_sec;
    return ts.tv_sec;
}

}  // extern "C"

namespace {

constexpr std::int64_t kHour = 3600LL * 1000000;

std::int64_t game_us() {
    timeval tv{};
    platform::gettimeofday(&tv, nullptr);
    return std::int64_t{tv.tv_sec} * 1000000 + tv.tv_usec;
}

class ClockJump : public ::testing::Test {
protected:
    void TearDown() override { wall_shift_us = 0; }
};

TEST_F(ClockJump, TheStandInMovesTheWallClockOnly) {
    timespec before{}, after{}, steady_before{}, steady_after{};
    ::clock_gettime(CLOCK_REALTIME, &before);
    ::clock_gettime(CLOCK_MONOTONIC, &steady_before);
    wall_shift_us = -kHour;
    ::clock_gettime(CLOCK_REALTIME, &after);
    ::clock_gettime(CLOCK_MONOTONIC, &steady_after);
    EXPECT_NEAR(static_cast<double>(after.tv_sec - before.tv_sec), -3600, 1);
    EXPECT_NEAR(static_cast<double>(steady_after.tv_sec - steady_before.tv_sec), 0, 1);
    EXPECT_NEAR(static_cast<double>(::time(nullptr) - before.tv_sec), -3600, 1);
}

TEST_F(ClockJump, TheGamesClockStartsAtTheTimeOfDayAndIgnoresTheWallClockAfterwards) {
    timespec wall{};
    ::clock_gettime(CLOCK_REALTIME, &wall);
    std::int64_t start = game_us();
    EXPECT_NEAR(static_cast<double>(start / 1000000 - wall.tv_sec), 0, 2);
    for (std::int64_t shift : {-kHour, 9 * kHour, -9 * kHour, std::int64_t{0}}) {
        std::int64_t before = game_us();
        wall_shift_us = shift;
        std::int64_t after = game_us();
        EXPECT_GE(after, before) << shift;
        EXPECT_LT(after - before, 1000000) << shift;
    }
}

// As the level loop counts down: a deadline in seconds of the time of day, and what is
// left of it read at every pass.
TEST_F(ClockJump, ALevelsCountdownIsNotMovedBySettingTheClock) {
    long deadline = vora256::time(nullptr) + 60;
    wall_shift_us = -kHour;
    long left = deadline - vora256::time(nullptr);
    EXPECT_GE(left, 59);
    EXPECT_LE(left, 60);
    wall_shift_us = 9 * kHour;
    left = deadline - vora256::time(nullptr);
    EXPECT_GE(left, 59);
    EXPECT_LE(left, 60);
}

// A pause counts centiseconds of the game's clock: with the clock set back an hour while it
// runs, it still lasts its length rather than ending at once.
TEST_F(ClockJump, APauseKeepsItsLengthWhenTheClockIsSetMeanwhile) {
    timespec start{}, end{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    std::thread setter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        wall_shift_us = -kHour;
    });
    vora256::espera(10);  // 40 centiseconds
    setter.join();
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    double ms = 1000.0 * static_cast<double>(end.tv_sec - start.tv_sec) +
                static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e6;
    EXPECT_GE(ms, 390);  // up to a centisecond short, as any pause
}

}  // namespace
