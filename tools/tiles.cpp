#include "tiles.h"

#include <cstdlib>
#include <vector>

namespace tools {

namespace {

const std::uint8_t* tile_start(const std::uint8_t* pixels, int stride, int tile) {
    return pixels + (tile / 4) * kTileHeight * stride + (tile % 4) * kTileWidth;
}

}  // namespace

double tile_detail(const std::uint8_t* pixels, int stride, const std::uint8_t* levels, int tile) {
    constexpr int kAcross = kTileWidth / 2, kDown = kTileHeight / 2;
    const std::uint8_t* t = tile_start(pixels, stride, tile);
    std::vector<int> squares(static_cast<std::size_t>(kAcross) * kDown * 3);  // sums of four pixels
    for (int y = 0; y < kTileHeight; ++y)
        for (int x = 0; x < kTileWidth; ++x)
            for (int k = 0; k < 3; ++k)
                squares[((y / 2) * kAcross + x / 2) * 3 + static_cast<std::size_t>(k)] += levels[3 * t[y * stride + x] + k];
    long sum = 0;
    auto at = [&](int x, int y, int k) { return squares[(static_cast<std::size_t>(y) * kAcross + x) * 3 + k]; };
    for (int y = 0; y + 1 < kDown; ++y)
        for (int x = 0; x + 1 < kAcross; ++x)
            for (int k = 0; k < 3; ++k) sum += std::abs(at(x + 1, y, k) - at(x, y, k)) + std::abs(at(x, y + 1, k) - at(x, y, k));
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

}  // namespace tools
