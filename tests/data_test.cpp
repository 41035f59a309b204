// SPDX-License-Identifier: MIT
// The game's data files, read with the game's own loaders (the tools that make them are
// tested in tests/tools/).
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it needs FILE and size_t

#include "data_files.h"
#include "imageio.h"
#include "picture.h"
#include "quantise.h"
#include "support.h"
#include "tiles.h"

using namespace vora256;
using namespace data_files;

namespace {

// ---- level pictures ----

class LevelPicture : public test::Machine, public ::testing::WithParamInterface<const char*> {};

TEST_P(LevelPicture, FillsTheScreenAndKeepsTheDrawingColoursAtTheirEntries) {
    const std::string path = data(GetParam());
    const auto file = test::read_file(path);
    ASSERT_GT(file.size(), 128u);
    EXPECT_EQ(file[8] | file[9] << 8, 639);    // xmax
    EXPECT_EQ(file[10] | file[11] << 8, 479);  // ymax
    EXPECT_LT(file.size(), 400u * 1024);

    loadpcx(path.c_str());
    const tools::Indexed written = tools::read_pcx(path);
    for (int y = 0; y < 480; ++y)
        ASSERT_EQ(
            std::memcmp(sim::vram() + test::offset(0, y), &written.pixels[static_cast<std::size_t>(y) * 640], 640), 0)
            << "row " << y;
    EXPECT_EQ(std::memcmp(sim::palette(), pal, 768), 0);

    expect_drawing_colours();
    EXPECT_EQ(rgb_at(pal, 0), 0x000000);    // the help page's paper...
    EXPECT_EQ(rgb_at(pal, 254), 0x3F3F3F);  // ...and its ink
}

TEST_P(LevelPicture, EveryTileShowsDetailAndNoTwoTilesLookAlike) {
    loadpcx(data(GetParam()).c_str());
    // Both in 6-bit levels per pixel and component. A smooth two-way gradient, dithered,
    // shows about 0.25 of detail and its closest tiles differ by about 4.3; our plainest
    // tiles (evening sky) show 0.78 and differ by 5.3, and by eye they still place well.
    for (int t = 0; t < tools::kTiles; ++t)
        EXPECT_GT(tools::tile_detail(sim::vram(), 640, sim::palette(), t), 0.5) << "tile " << t;
    const tools::TilePair closest = tools::closest_tiles(sim::vram(), 640, sim::palette());
    EXPECT_GT(closest.difference, 4.5) << "tiles " << closest.a << " and " << closest.b;
    // Nor does the converter's warning find fault with them.
    EXPECT_TRUE(tools::alike_tiles(sim::vram(), 640, sim::palette()).empty());
    EXPECT_TRUE(tools::flat_tiles(sim::vram(), 640, sim::palette()).empty());
}

INSTANTIATE_TEST_SUITE_P(Data, LevelPicture, ::testing::Values("1.pcx", "2.pcx", "3.pcx", "4.pcx"));

class Data : public test::Machine {};

// ---- title graphics ----

struct Rect {
    int left, top, width, height;
    bool contains(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }
    bool on_border(int x, int y) const {
        return contains(x, y) && (x == left || y == top || x == left + width - 1 || y == top + height - 1);
    }
};
// The studio's mark, the game's name and the game-over words, where the game cuts them.
constexpr Rect kTitleImages[] = {{218, 0, 112, 36}, {0, 0, 205, 55}, {88, 62, 244, 36}};

TEST_F(Data, TitleGraphicsHoldTheThreeImagesEachInsideItsOwnRectangle) {
    loadblock(0, data("brin.pcx").c_str());
    ASSERT_NE(grafi[0], nullptr);
    const int width = grafi[0][0] | grafi[0][1] << 8;
    const int height = grafi[0][2] | grafi[0][3] << 8;
    ASSERT_GE(width, 332);
    ASSERT_GE(height, 98);

    paletablock(0);
    getcolors();
    EXPECT_EQ(COLOR[5], tools::kYellowEntry);  // "PRESENTA" is written in yellow on black
    EXPECT_EQ(COLOR[0], tools::kBlackEntry);
    EXPECT_EQ(rgb_at(pal, 255), 0);  // the screen is filled with colour 255 under the first image

    // Around and between the images all is black, and so is each rectangle's edge: no
    // image is cut off or spills into another's place.
    const unsigned char* pixels = grafi[0] + 4;
    int ink[3] = {0, 0, 0};
    std::set<int> colours[3];
    std::vector<std::string> stray;  // inked pixels where there must be none
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int rgb = rgb_at(pal, pixels[y * width + x]);
            bool inside = false, edge = false;
            for (int i = 0; i < 3; ++i) {
                if (!kTitleImages[i].contains(x, y)) continue;
                inside = true;
                edge = edge || kTitleImages[i].on_border(x, y);
                if (rgb != 0 && !kTitleImages[i].on_border(x, y)) {
                    ++ink[i];
                    colours[i].insert(rgb);
                }
            }
            if (rgb != 0 && (!inside || edge)) stray.push_back(std::to_string(x) + "," + std::to_string(y));
        }
    EXPECT_TRUE(stray.empty()) << stray.size() << " stray pixels, the first at " << stray.front();
    for (int i = 0; i < 3; ++i) {
        const Rect& r = kTitleImages[i];
        EXPECT_GT(ink[i], r.width * r.height / 5) << "image " << i;
        EXPECT_GT(colours[i].size(), 20u) << "image " << i << " is not shaded";
    }
}

// ---- font ----

bool blank(int code) {
    for (int row = 0; row < 8; ++row)
        if (tabla[8 * code + row] != 0) return false;
    return true;
}

TEST_F(Data, FontHasADistinctGlyphForEveryCharacterTheKeyboardTypes) {
    const auto file = test::read_file(data("topaz.fon"));
    ASSERT_EQ(file.size(), 2040u);
    EXPECT_NE(file[0], 'S');  // it would be taken for a header
    loadfont(data("topaz.fon").c_str());

    EXPECT_TRUE(blank(0));  // drawn for empty name bytes
    EXPECT_TRUE(blank(' '));
    for (int code = 1; code < 255; ++code)
        if (code != ' ') {
            EXPECT_FALSE(blank(code)) << "code " << code;
        }

    // Backspace, Enter and Escape are never drawn; everything else typed is, Tab's 10 too.
    std::set<int> typed;
    for (const unsigned char* table : {m0teclado, m1teclado, m2teclado})
        for (int key = 0; key < 128; ++key)
            if (table[key] != 0 && table[key] != 8 && table[key] != 13 && table[key] != 27) typed.insert(table[key]);
    for (int code : {164, 165, 135, 128, 173, 168, 167, 166, 250, 191, 140, 10, 64, 35, 124, 123, 125, 92})
        EXPECT_TRUE(typed.count(code)) << "code " << code;
    std::set<std::uint64_t> shapes;  // a glyph's eight rows as one number
    for (int code : typed) {
        std::uint64_t rows = 0;
        for (int row = 0; row < 8; ++row) rows = rows << 8 | tabla[8 * code + row];
        shapes.insert(rows);
    }
    EXPECT_EQ(shapes.size(), typed.size()) << "two typed characters share a glyph";
}

}  // namespace
