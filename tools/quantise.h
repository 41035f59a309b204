// SPDX-License-Identifier: MIT
// From true colour to the game's 256 colours. Every picture of ours keeps the colours the
// game draws its grid, frames, texts and pointer with at the same entries, at exact full
// levels, ahead of any look-alike; the help page's text colour (entry 254) is white too.
#pragma once

#include "picture.h"

namespace tools {

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

// `dithering` from 0 (none) to 1 (full Floyd-Steinberg). The same image always gives
// the same bytes. Throws std::runtime_error if the quantiser fails. With `keep_last_black`
// entry 255 is left black: the game fills the screen with colour 255 before the title
// palette comes into force.
Indexed quantise(const Image& image, float dithering, bool keep_last_black = false);

// A component moved to the nearest of the 64 levels the screen shows, as an 8-bit value
// whose top six bits are that level.
inline std::uint8_t screen_level(std::uint8_t component) {
    const int level = (component * 63 + 127) / 255;
    return static_cast<std::uint8_t>((level << 2) | (level >> 4));
}

}  // namespace tools
