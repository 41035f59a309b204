// SPDX-License-Identifier: MIT
#include "tiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace tools {

namespace {

const std::uint8_t* tile_start(const std::uint8_t* pixels, int stride, int tile) {
    return pixels + (tile / 4) * kTileHeight * stride + (tile % 4) * kTileWidth;
}

constexpr int kSquare = 8;
constexpr int kSquares = (kTileWidth / kSquare) * (kTileHeight / kSquare);

// Below these, in 6-bit levels, tiles are told apart or seen to hold something only by
// hunting pixel by pixel.
constexpr double kAlikeBelow = 1.0;  // mean difference of two tiles' squares
constexpr double kFlatBelow = 2.0;   // spread of one tile's squares in any component

// Mean levels of each 8x8 square of a tile, three components each.
using Sketch = std::vector<double>;

Sketch sketch(const std::uint8_t* pixels, int stride, const std::uint8_t* levels, int tile) {
    constexpr int kAcross = kTileWidth / kSquare;
    const std::uint8_t* t = tile_start(pixels, stride, tile);
    Sketch s(kSquares * 3);
    for (int y = 0; y < kTileHeight; ++y)
        for (int x = 0; x < kTileWidth; ++x)
            for (int k = 0; k < 3; ++k)
                s[static_cast<std::size_t>(((y / kSquare) * kAcross + x / kSquare) * 3 + k)] +=
                    levels[3 * t[y * stride + x] + k];
    for (double& v : s) v /= kSquare * kSquare;
    return s;
}

std::vector<Sketch> sketches(const std::uint8_t* pixels, int stride, const std::uint8_t* levels) {
    std::vector<Sketch> all;
    for (int t = 0; t < kTiles; ++t) all.push_back(sketch(pixels, stride, levels, t));
    return all;
}

bool alike(const Sketch& a, const Sketch& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
    return sum / static_cast<double>(a.size()) < kAlikeBelow;
}

bool flat(const Sketch& s) {
    for (std::size_t k = 0; k < 3; ++k) {
        double lo = s[k], hi = s[k];
        for (std::size_t i = k; i < s.size(); i += 3) {
            lo = std::min(lo, s[i]);
            hi = std::max(hi, s[i]);
        }
        if (hi - lo >= kFlatBelow) return false;
    }
    return true;
}

}  // namespace

Levels six_bit_levels(const Palette& palette) {
    Levels levels{};
    for (std::size_t i = 0; i < palette.size(); ++i) {
        levels[3 * i] = palette[i].r >> 2;
        levels[3 * i + 1] = palette[i].g >> 2;
        levels[3 * i + 2] = palette[i].b >> 2;
    }
    return levels;
}

std::vector<std::vector<int>> alike_tiles(const std::uint8_t* pixels, int stride, const std::uint8_t* levels) {
    const std::vector<Sketch> all = sketches(pixels, stride, levels);
    std::vector<int> group(kTiles, -1);
    std::vector<std::vector<int>> groups;
    for (int first = 0; first < kTiles; ++first) {
        if (group[first] >= 0) continue;
        std::vector<int> members{first};
        group[first] = static_cast<int>(groups.size());
        for (std::size_t m = 0; m < members.size(); ++m)  // grows as alike tiles are found
            for (int t = first + 1; t < kTiles; ++t)
                if (group[t] < 0 && alike(all[members[m]], all[t])) {
                    group[t] = group[first];
                    members.push_back(t);
                }
        std::sort(members.begin(), members.end());
        groups.push_back(members);
    }
    std::erase_if(groups, [](const std::vector<int>& g) { return g.size() < 2; });
    return groups;
}

std::vector<int> flat_tiles(const std::uint8_t* pixels, int stride, const std::uint8_t* levels) {
    std::vector<int> found;
    for (int t = 0; t < kTiles; ++t)
        if (flat(sketch(pixels, stride, levels, t))) found.push_back(t);
    return found;
}

double tile_detail(const std::uint8_t* pixels, int stride, const std::uint8_t* levels, int tile) {
    constexpr int kAcross = kTileWidth / 2, kDown = kTileHeight / 2;
    const std::uint8_t* t = tile_start(pixels, stride, tile);
    std::vector<int> squares(static_cast<std::size_t>(kAcross) * kDown * 3);  // sums of four pixels
    for (int y = 0; y < kTileHeight; ++y)
        for (int x = 0; x < kTileWidth; ++x)
            for (int k = 0; k < 3; ++k)
                squares[((y / 2) * kAcross + x / 2) * 3 + static_cast<std::size_t>(k)] +=
                    levels[3 * t[y * stride + x] + k];
    long sum = 0;
    auto at = [&](int x, int y, int k) { return squares[(static_cast<std::size_t>(y) * kAcross + x) * 3 + k]; };
    for (int y = 0; y + 1 < kDown; ++y)
        for (int x = 0; x + 1 < kAcross; ++x)
            for (int k = 0; k < 3; ++k)
                sum += std::abs(at(x + 1, y, k) - at(x, y, k)) + std::abs(at(x, y + 1, k) - at(x, y, k));
    return static_cast<double>(sum) / 4 / ((kAcross - 1) * (kDown - 1) * 3 * 2);
}

double tile_difference(const std::uint8_t* pixels, int stride, const std::uint8_t* levels, int a, int b) {
    const std::uint8_t* ta = tile_start(pixels, stride, a);
    const std::uint8_t* tb = tile_start(pixels, stride, b);
    long sum = 0;
    for (int y = 0; y < kTileHeight; ++y)
        for (int x = 0; x < kTileWidth; ++x) {
            const std::uint8_t* ca = levels + 3 * ta[y * stride + x];
            const std::uint8_t* cb = levels + 3 * tb[y * stride + x];
            for (int k = 0; k < 3; ++k) sum += std::abs(ca[k] - cb[k]);
        }
    return static_cast<double>(sum) / (kTileWidth * kTileHeight * 3);
}

TilePair closest_tiles(const std::uint8_t* pixels, int stride, const std::uint8_t* levels) {
    TilePair closest{0, 1, tile_difference(pixels, stride, levels, 0, 1)};
    for (int a = 0; a < kTiles; ++a)
        for (int b = a + 1; b < kTiles; ++b) {
            const double d = tile_difference(pixels, stride, levels, a, b);
            if (d < closest.difference) closest = {a, b, d};
        }
    return closest;
}

int plainest_tile(const std::uint8_t* pixels, int stride, const std::uint8_t* levels) {
    int plainest = 0;
    double least = tile_detail(pixels, stride, levels, 0);
    for (int t = 1; t < kTiles; ++t)
        if (const double detail = tile_detail(pixels, stride, levels, t); detail < least) {
            plainest = t;
            least = detail;
        }
    return plainest;
}

namespace {

std::string listed(const std::vector<int>& tiles) {
    std::string text;
    for (std::size_t i = 0; i < tiles.size(); ++i)
        text += (i == 0 ? "" : i + 1 == tiles.size() ? " and " : ", ") + std::to_string(tiles[i]);
    return text;
}

bool grouped_together(const std::vector<std::vector<int>>& groups, int a, int b) {
    for (const std::vector<int>& g : groups)
        if (std::find(g.begin(), g.end(), a) != g.end() && std::find(g.begin(), g.end(), b) != g.end()) return true;
    return false;
}

// A measure (never below 0) to two places. Not printf: the page's converter would carry all
// of its formatting for this.
std::string two_places(double value) {
    const long hundredths = std::lround(value * 100);
    const long cents = hundredths % 100;
    return std::to_string(hundredths / 100) + (cents < 10 ? ".0" : ".") + std::to_string(cents);
}

}  // namespace

std::vector<std::string> level_faults(const std::uint8_t* pixels, int stride, const std::uint8_t* levels) {
    std::vector<std::string> faults;
    const std::vector<std::vector<int>> alike = alike_tiles(pixels, stride, levels);
    for (const std::vector<int>& group : alike) faults.push_back("tiles " + listed(group) + " look alike");
    const std::vector<int> flat = flat_tiles(pixels, stride, levels);
    if (!flat.empty())
        faults.push_back((flat.size() == 1 ? "tile " : "tiles ") + listed(flat) + " show nothing but one colour");
    // The finer measures name one more tile or pair, when the coarse ones left it out.
    const TilePair closest = closest_tiles(pixels, stride, levels);
    if (closest.difference < kConfusedBelow && !grouped_together(alike, closest.a, closest.b))
        faults.push_back("tiles " + std::to_string(closest.a) + " and " + std::to_string(closest.b) +
                         " are easily taken for each other (they differ by " + two_places(closest.difference) +
                         ", less than " + two_places(kConfusedBelow) + ")");
    const int plainest = plainest_tile(pixels, stride, levels);
    const double detail = tile_detail(pixels, stride, levels, plainest);
    if (detail < kPlainBelow && std::find(flat.begin(), flat.end(), plainest) == flat.end())
        faults.push_back("tile " + std::to_string(plainest) + " shows little to place it by (detail " +
                         two_places(detail) + ", less than " + two_places(kPlainBelow) + ")");
    return faults;
}

std::string level_warning(const std::vector<std::string>& faults) {
    if (faults.empty()) return "";
    std::string text = "this picture makes a level that is hard or impossible to solve:\n";
    for (const std::string& f : faults) text += "  " + f + "\n";
    return text + "  (tiles numbered 0 to 19 row by row from the top left)\n";
}

}  // namespace tools
