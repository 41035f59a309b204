// SPDX-License-Identifier: MIT
// How far apart the 20 tiles of a level picture look: a player places tiles by eye, so no
// two may look alike.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "picture.h"

namespace tools {

constexpr int kTileWidth = 160;
constexpr int kTileHeight = 96;
constexpr int kTiles = 20;  // 4 across, 5 down

struct TilePair {
    int a, b;
    double difference;
};

using Levels = std::array<std::uint8_t, 768>;

// A palette as the screen shows it: 256 RGB triples of 6-bit levels.
Levels six_bit_levels(const Palette& palette);

// The mean over a tile's pixels and their three components of the absolute difference
// between tiles a and b, in the screen's 6-bit levels (0-63). `pixels` is a 640x480
// picture of palette indices, rows `stride` bytes apart; `levels` 256 RGB triples of
// 6-bit levels.
double tile_difference(const std::uint8_t* pixels, int stride, const std::uint8_t* levels, int a, int b);

// How much a tile shows besides smooth colour: the mean difference between neighbouring
// 2x2 squares (averaged, so that dithering counts for little), per component, in 6-bit
// levels.
double tile_detail(const std::uint8_t* pixels, int stride, const std::uint8_t* levels, int tile);

// The two tiles that look most alike.
TilePair closest_tiles(const std::uint8_t* pixels, int stride, const std::uint8_t* levels);

// Below these a level is hard to solve by eye. A smooth gradient, dithered, measures about
// 4.3 between its closest tiles and 0.25 of detail, and is hard; the plainest tiles of the
// shipped pictures (evening sky) measure 5.26 and 0.78, and place well.
constexpr double kConfusedBelow = 4.5;  // tile_difference of the two most alike tiles
constexpr double kPlainBelow = 0.5;     // tile_detail of the plainest tile

// The tile with the least detail.
int plainest_tile(const std::uint8_t* pixels, int stride, const std::uint8_t* levels);

// What makes the level hard or impossible to solve, in a player's words, one line each;
// none for a level that plays well. Tiles are numbered 0 to 19, row by row from the top left.
std::vector<std::string> level_faults(const std::uint8_t* pixels, int stride, const std::uint8_t* levels);

// The warning of those faults, as brin-picture and the page give it: a line saying so, a line
// each indented, and how the tiles are numbered; empty when there are none.
std::string level_warning(const std::vector<std::string>& faults);

// What makes a level unplayable, judged as a player sees the tiles: by the mean colours of
// 8x8 squares, so that dithering and grain count for nothing.
// Tiles that can't be told apart (each group holds tiles alike to one another in a chain),
// in order, and tiles that are one colour all over.
std::vector<std::vector<int>> alike_tiles(const std::uint8_t* pixels, int stride, const std::uint8_t* levels);
std::vector<int> flat_tiles(const std::uint8_t* pixels, int stride, const std::uint8_t* levels);

}  // namespace tools
