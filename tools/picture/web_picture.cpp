// SPDX-License-Identifier: MIT
// The page's converter of players' photos into level pictures: compiled to a WebAssembly
// module of its own that the page loads only when "your pictures" is opened. The browser
// decodes the photo; this frames and quantises it as brin-picture does, and judges its tiles.
#include <string>
#include <vector>

#include "frame.h"
#include "median_cut.h"
#include "tiles.h"

namespace {

tools::Image photo;
std::vector<std::uint8_t> rgba;
std::vector<std::uint8_t> level;
std::string warning;

}  // namespace

extern "C" {

// Room for a decoded photo of width x height pixels, RGBA, laid over black already.
__attribute__((used)) std::uint8_t* photo_pixels(int width, int height) {
    photo = tools::Image(width, height);
    rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
    return rgba.data();
}

// Frames the photo to the screen, quantises it and makes the level's PCX file; its size.
__attribute__((used)) int photo_convert(float dithering) {
    for (std::size_t i = 0; i < photo.pixels.size(); ++i)
        photo.pixels[i] = {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]};
    rgba = {};
    const tools::Indexed picture =
        tools::quantise_median_cut(tools::frame(photo, 640, 480, tools::Framing::crop), dithering);
    photo = {};
    level = tools::pcx_bytes(picture);
    const tools::Levels levels = tools::six_bit_levels(picture.palette);
    warning = tools::level_warning(tools::level_faults(picture.pixels.data(), picture.width, levels.data()));
    return static_cast<int>(level.size());
}

__attribute__((used)) const std::uint8_t* photo_level() { return level.data(); }

// The warning of what makes the level hard to solve, in brin-picture's words; empty if nothing.
__attribute__((used)) const char* photo_warning() { return warning.c_str(); }
}
