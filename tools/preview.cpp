// SPDX-License-Identifier: MIT
// brin-preview: PNG pictures of a PCX file as the game shows it, for looking at by eye.
//   brin-preview PICTURE.pcx OUT_PREFIX
// A level picture (640x480) gives OUT_PREFIX.png, OUT_PREFIX-grid.png (the 4x5 grid drawn)
// and OUT_PREFIX-shuffled.png (the tiles in another order, as at the start of a level),
// and whether the level will be hard to solve is said, with the tiles that make it so. Any other picture gives
// OUT_PREFIX.png at twice its size.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli.h"
#include "colours.h"
#include "frame.h"
#include "imageio.h"
#include "tiles.h"

namespace {

constexpr tools::Rgb kGridColour{255, 255, 255};

void draw_grid(tools::Image& image) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (x % tools::kTileWidth == 0 || y % tools::kTileHeight == 0) image.at(x, y) = kGridColour;
}

// Tile c shows piece (7 c + 3) mod 20: every tile away from its place.
tools::Image shuffled(const tools::Image& image) {
    tools::Image out(image.width, image.height);
    for (int c = 0; c < tools::kTiles; ++c) {
        const int piece = (7 * c + 3) % tools::kTiles;
        for (int y = 0; y < tools::kTileHeight; ++y)
            for (int x = 0; x < tools::kTileWidth; ++x)
                out.at((c % 4) * tools::kTileWidth + x, (c / 4) * tools::kTileHeight + y) =
                    image.at((piece % 4) * tools::kTileWidth + x, (piece / 4) * tools::kTileHeight + y);
    }
    draw_grid(out);
    return out;
}

tools::Image doubled(const tools::Image& image) {
    tools::Image out(image.width * 2, image.height * 2);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) out.at(x, y) = image.at(x / 2, y / 2);
    return out;
}

}  // namespace

constexpr const char* kUsage =
    "usage: brin-preview PICTURE.pcx OUT_PREFIX\n"
    "       brin-preview --error [--fit] PHOTO PICTURE.pcx";

// The photo cropped (or fitted) and scaled exactly as brin-picture does before it brings
// the colours down, against the level.
void print_colour_error(int argc, char** argv) {
    tools::Framing framing = tools::Framing::crop;
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--fit")
            framing = tools::Framing::fit;
        else
            files.push_back(argv[i]);
    }
    if (files.size() != 2) throw std::runtime_error(kUsage);
    const tools::Image before = tools::frame(tools::read_picture(files[0], 640, 480), 640, 480, framing);
    std::printf("%s: mean colour error %.2f (the mean distance per pixel in 8-bit RGB from %s, %s to 640x480)\n",
                files[1].c_str(), tools::mean_colour_error(before, tools::read_pcx(files[1])), files[0].c_str(),
                framing == tools::Framing::crop ? "cropped and scaled" : "fitted");
}

int main(int argc, char** argv) {
    return tools::run("brin-preview", [&] {
        if (argc > 1 && std::string(argv[1]) == "--error") {
            print_colour_error(argc, argv);
            return;
        }
        if (argc != 3) throw std::runtime_error(kUsage);
        const std::string prefix = argv[2];
        const tools::Indexed picture = tools::read_pcx(argv[1]);
        const tools::Image image = tools::shown(picture);
        if (picture.width != 640 || picture.height != 480) {
            tools::write_png(prefix + ".png", doubled(image));
            return;
        }
        tools::write_png(prefix + ".png", image);
        tools::Image grid = image;
        draw_grid(grid);
        tools::write_png(prefix + "-grid.png", grid);
        tools::write_png(prefix + "-shuffled.png", shuffled(image));

        const tools::Levels levels = tools::six_bit_levels(picture.palette);
        const std::uint8_t* pixels = picture.pixels.data();
        const std::vector<std::string> faults = tools::level_faults(pixels, picture.width, levels.data());
        if (faults.empty())
            std::printf(
                "%s: this level should play well: no two tiles look alike, and every tile shows enough to "
                "place it by.\n",
                argv[1]);
        else
            std::printf("%s: this level will be hard to solve:\n", argv[1]);
        for (const std::string& f : faults) std::printf("  %s\n", f.c_str());
        const tools::TilePair closest = tools::closest_tiles(pixels, picture.width, levels.data());
        const int plainest = tools::plainest_tile(pixels, picture.width, levels.data());
        std::printf(
            "  (the two most alike tiles, %d and %d, differ by %.2f and the plainest, tile %d, shows %.2f of "
            "detail;\n"
            "  below %.2f and %.2f a level is hard; tiles are numbered 0 to 19 row by row from the top left)\n",
            closest.a, closest.b, closest.difference, plainest,
            tools::tile_detail(pixels, picture.width, levels.data(), plainest), tools::kConfusedBelow,
            tools::kPlainBelow);
    });
}
