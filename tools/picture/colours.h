// SPDX-License-Identifier: MIT
// The rules every level palette keeps, whatever quantiser made it: the colours the game
// draws its grid, frames, texts and pointer with stay at the same entries, at exact full
// levels, ahead of any look-alike; the help page's text colour (entry 254) is white too; and
// every colour is one the screen shows, 6 bits a component. Free of any quantiser, so that
// another build (the browser's) can keep the same rules with a quantiser of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "picture.h"

namespace tools {

constexpr int kMostColours = 255;  // all entries but the help ink, which repeats white
constexpr int kBlackEntry = 0;
constexpr int kWhiteEntry = 1;
constexpr int kCyanEntry = 2;
constexpr int kYellowEntry = 3;
constexpr int kRedEntry = 4;
constexpr int kHelpInkEntry = 254;

struct Standard {
    int entry;
    Rgb colour;
};
constexpr Standard kStandardColours[] = {
    {kBlackEntry, {0, 0, 0}},      {kWhiteEntry, {255, 255, 255}}, {kCyanEntry, {0, 255, 255}},
    {kYellowEntry, {255, 255, 0}}, {kRedEntry, {255, 0, 0}},
};

// A component moved to the nearest of the 64 levels the screen shows, as an 8-bit value
// whose top six bits are that level.
std::uint8_t screen_level(std::uint8_t component);

// A level picture from a quantiser's result: its colours (at most 255, the standard ones
// among them) and each pixel as an index into them. The standard colours go to their
// entries, the rest in order to the entries left over, all at screen levels; with
// `keep_last_black` entry 255 stays black. Throws std::runtime_error when a standard colour
// is missing or entry 255 is taken.
Indexed level_picture(const std::vector<Rgb>& colours, const std::vector<std::uint8_t>& pixels, int width, int height,
                      bool keep_last_black);

// How far a level's colours are from the picture they were made of (the same size): the
// mean over pixels of the distance between the two colours in 8-bit RGB, sqrt(dr² + dg² + db²).
double mean_colour_error(const Image& before, const Indexed& after);

}  // namespace tools
