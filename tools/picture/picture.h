// SPDX-License-Identifier: MIT
// Pictures as the tools handle them: true colour while they are drawn or read, indexed
// with a 256-colour palette once they are ready for the game, and the PCX files the game
// reads them from.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;  // row by row

    Image() = default;
    Image(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {}
    Rgb& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const Rgb& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

using Palette = std::array<Rgb, 256>;  // 8-bit components, as a PCX file holds them

struct Indexed {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // palette indices, row by row
    Palette palette{};

    std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// 8 bits, one plane, run-length encoded, the 256-colour palette at the end, as bytes; throws
// std::runtime_error for a picture of a size PCX can't hold. (write_pcx in imageio.h writes
// them to a file.)
std::vector<std::uint8_t> pcx_bytes(const Indexed& picture);

// Reads back exactly that kind of file; throws std::runtime_error naming what is wrong.
Indexed read_pcx(const std::string& path);

}  // namespace tools
