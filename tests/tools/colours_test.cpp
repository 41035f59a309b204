// SPDX-License-Identifier: MIT
// The palette rules any quantiser's result is brought under, and the measure of its error.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "colours.h"

namespace {

const std::vector<tools::Rgb> kFound = {{10, 200, 30}, {255, 0, 0},   {0, 0, 0},      {253, 254, 255},
                                        {0, 255, 255}, {255, 255, 0}, {100, 101, 102}};

TEST(LevelPalette, PutsTheStandardColoursAtTheirEntriesAndTheRestAfter) {
    const tools::Indexed level = tools::level_picture(kFound, {0, 1, 2, 3, 4, 5, 6}, 7, 1, false);
    // Near white counts as white; the others fill entries 5 on, past the standard ones.
    const std::vector<std::uint8_t> want = {
        5, tools::kRedEntry, tools::kBlackEntry, tools::kWhiteEntry, tools::kCyanEntry, tools::kYellowEntry, 6};
    EXPECT_EQ(level.pixels, want);
    EXPECT_EQ(level.palette[tools::kWhiteEntry], (tools::Rgb{255, 255, 255}));
    EXPECT_EQ(level.palette[tools::kHelpInkEntry], (tools::Rgb{255, 255, 255}));
    EXPECT_EQ(level.palette[5], (tools::Rgb{8, 199, 28})) << "at the screen's 6-bit levels";

    std::vector<tools::Rgb> no_red = kFound;
    no_red[1] = {250, 10, 10};
    EXPECT_THROW(tools::level_picture(no_red, {0}, 1, 1, false), std::runtime_error);
    std::vector<tools::Rgb> full = kFound;
    full.resize(tools::kMostColours, {9, 9, 9});
    EXPECT_THROW(tools::level_picture(full, {0}, 1, 1, true), std::runtime_error) << "entry 255 taken";
}

TEST(MeanColourError, IsTheMeanDistanceInEightBitRgb) {
    tools::Image before(2, 1);
    before.at(0, 0) = {0, 0, 0};
    before.at(1, 0) = {10, 20, 30};
    tools::Indexed after;
    after.width = 2;
    after.height = 1;
    after.pixels = {7, 8};
    after.palette[7] = {3, 4, 0};     // 5 away
    after.palette[8] = {10, 20, 30};  // exact
    EXPECT_DOUBLE_EQ(tools::mean_colour_error(before, after), 2.5);
    after.width = 1;
    EXPECT_THROW(tools::mean_colour_error(before, after), std::runtime_error);
}

}  // namespace
