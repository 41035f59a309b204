// SPDX-License-Identifier: MIT
// The system's clocks, as the pacing's real_time hooks of the window and the browser (the
// pacing's tests bring clocks of their own).
#include <time.h>

#include "machine.h"

namespace platform::machine::real_time {
namespace {

std::int64_t clock_us(clockid_t which) {
    timespec ts{};
    clock_gettime(which, &ts);
    return std::int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}

}  // namespace

std::int64_t steady_us() { return clock_us(CLOCK_MONOTONIC); }
std::int64_t time_of_day_us() { return clock_us(CLOCK_REALTIME); }

}  // namespace platform::machine::real_time
