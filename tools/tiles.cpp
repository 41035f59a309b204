#include "tiles.h"

#include <cstdlib>

namespace tools {

double tile_difference(const std::uint8_t* pixels, int stride, const std::uint8_t* levels, int a, int b) {
    const std::uint8_t* ta = pixels + (a / 4) * kTileHeight * stride + (a % 4) * kTileWidth;
    const std::uint8_t* tb = pixels + (b / 4) * kTileHeight * stride + (b % 4) * kTileWidth;
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
