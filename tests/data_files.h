// SPDX-License-Identifier: MIT
// What the data files' tests and the tools' tests share: where the data files are, and the
// palette entries the game draws with.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "quantise.h"
#include "vora256.h"

namespace data_files {

inline std::string data(const std::string& name) { return std::string(BRIN_DATA) + "/" + name; }

// Where getcolors must find the colours the game draws with; never 254, the "missing" answer.
struct Expected {
    int standard;  // index into tleta
    int entry;
};
constexpr Expected kDrawingColours[] = {
    {0, tools::kBlackEntry},  {1, tools::kWhiteEntry}, {2, tools::kCyanEntry},
    {5, tools::kYellowEntry}, {7, tools::kRedEntry},
};

inline void expect_drawing_colours() {
    vora256::getcolors();
    for (const Expected& e : kDrawingColours)
        EXPECT_EQ(vora256::COLOR[e.standard], e.entry) << "standard colour " << e.standard;
}

inline int rgb_at(const unsigned char* palette, int entry) {
    return palette[3 * entry] << 16 | palette[3 * entry + 1] << 8 | palette[3 * entry + 2];
}

}  // namespace data_files
