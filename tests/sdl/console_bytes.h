// SPDX-License-Identifier: MIT
// The key bytes waiting on the console's "standard input", taken as the library takes them.
#pragma once

#include <sys/select.h>

#include <vector>

#include "platform.h"

namespace test {

inline std::vector<int> take_bytes() {
    fd_set in;
    FD_ZERO(&in);
    FD_SET(0, &in);
    timeval none{};
    std::vector<int> bytes;
    unsigned char b = 0;
    while (platform::select(1, &in, nullptr, nullptr, &none) == 1 && platform::read(0, &b, 1) == 1) {
        bytes.push_back(b);
        FD_SET(0, &in);
    }
    return bytes;
}

}  // namespace test
