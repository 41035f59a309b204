// The game's data files, read with the game's own loaders, and the tools that make them.
#include <sys/wait.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it needs FILE and size_t

#include "support.h"
#include "imageio.h"
#include "picture.h"
#include "quantise.h"
#include "tiles.h"

using namespace vora256;

namespace {

std::string data(const std::string& name) { return std::string(BRIN_DATA) + "/" + name; }

// Where getcolors must find the colours the game draws with; never 254, the "missing" answer.
struct Expected {
    int standard;  // index into tleta
    int entry;
};
constexpr Expected kDrawingColours[] = {
    {0, tools::kBlackEntry}, {1, tools::kWhiteEntry}, {2, tools::kCyanEntry}, {5, tools::kYellowEntry}, {7, tools::kRedEntry},
};

void expect_drawing_colours() {
    getcolors();
    for (const Expected& e : kDrawingColours) EXPECT_EQ(COLOR[e.standard], e.entry) << "standard colour " << e.standard;
}

int rgb_at(const unsigned char* palette, int entry) {
    return palette[3 * entry] << 16 | palette[3 * entry + 1] << 8 | palette[3 * entry + 2];
}

// ---- level pictures ----

class LevelPicture : public test::Machine, public ::testing::WithParamInterface<const char*> {};

TEST_P(LevelPicture, FillsTheScreenAndKeepsTheDrawingColoursAtTheirEntries) {
    const std::string path = data(GetParam());
    const auto file = test::read_file(path);
    ASSERT_GT(file.size(), 128u);
    EXPECT_EQ(file[8] | file[9] << 8, 639);  // xmax
    EXPECT_EQ(file[10] | file[11] << 8, 479);  // ymax
    EXPECT_LT(file.size(), 400u * 1024);

    loadpcx(path.c_str());
    const tools::Indexed written = tools::read_pcx(path);
    for (int y = 0; y < 480; ++y)
        ASSERT_EQ(std::memcmp(sim::vram() + test::offset(0, y), &written.pixels[static_cast<std::size_t>(y) * 640], 640), 0)
            << "row " << y;
    EXPECT_EQ(std::memcmp(sim::palette(), pal, 768), 0);

    expect_drawing_colours();
    EXPECT_EQ(rgb_at(pal, 0), 0x000000);       // the help page's paper...
    EXPECT_EQ(rgb_at(pal, 254), 0x3F3F3F);     // ...and its ink
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

// ---- the PCX writer and the quantiser behind every tool ----

TEST_F(Data, WrittenPicturesReadBackThroughTheGamesLoader) {
    tools::Indexed p;
    p.width = 101;  // odd: rows are padded to an even length
    p.height = 7;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)  // runs longer than 63, lone values above 192, 192 itself
            p.pixels.push_back(static_cast<std::uint8_t>(x < 70 ? y : x % 3 ? 192 + x % 64 : x));
    for (int i = 0; i < 256; ++i) p.palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 7)};
    const std::string path = test::temp_dir() + "w.pcx";
    tools::write_pcx(path, p);

    loadblock(3, path.c_str());
    ASSERT_NE(grafi[3], nullptr);
    ASSERT_EQ(grafi[3][0] | grafi[3][1] << 8, 102);
    ASSERT_EQ(grafi[3][2] | grafi[3][3] << 8, 7);
    for (int y = 0; y < p.height; ++y)
        EXPECT_EQ(std::memcmp(grafi[3] + 4 + y * 102, &p.pixels[static_cast<std::size_t>(y) * 101], 101), 0) << "row " << y;
    for (int i = 0; i < 256; ++i) EXPECT_EQ(rgb_at(grafip[3], i), (i >> 2) << 16 | ((255 - i) >> 2) << 8 | ((i * 7 & 255) >> 2));
}

TEST_F(Data, QuantisedPalettesFindTheDrawingColoursFirstEvenAmongLookAlikes) {
    // Pure colours next to near ones that land on the same 6-bit levels.
    const tools::Rgb shades[] = {{0, 0, 0},   {255, 255, 255}, {0, 255, 255},   {255, 255, 0},  {255, 0, 0},
                                 {2, 1, 3},   {253, 254, 252}, {3, 252, 254},   {252, 253, 2},  {254, 3, 1},
                                 {90, 30, 200}, {10, 160, 40}, {240, 120, 10}, {128, 128, 128}};
    tools::Image image(140, 60);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const tools::Rgb s = shades[x / 10];
            image.at(x, y) = {static_cast<std::uint8_t>(s.r ^ (y & 1)), s.g, static_cast<std::uint8_t>(s.b ^ (y / 30))};
            if (x / 10 < 5) image.at(x, y) = s;
        }
    const tools::Indexed q = tools::quantise(image, 1.0f);
    for (int i = 0; i < 768; ++i) pal[i] = reinterpret_cast<const std::uint8_t*>(q.palette.data())[i] >> 2;
    expect_drawing_colours();
    EXPECT_EQ(rgb_at(pal, 254), 0x3F3F3F);
    for (const Expected& e : kDrawingColours) {
        const int column = e.entry * 10 + 5;  // the pure colours were laid out in entry order
        EXPECT_EQ(q.at(column, 20), e.entry);
    }
}

// ---- brin-picture ----

class Converter : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        dir_ = test::temp_dir();
    }
    std::string path(const std::string& name) const { return dir_ + name; }
    // Runs the converter; returns its exit status and leaves what it said in `said`.
    int convert(const std::string& arguments) {
        const std::string command = std::string(BRIN_PICTURE) + " " + arguments + " 2>" + path("said");
        const int status = std::system(command.c_str());
        const auto bytes = test::read_file(path("said"));
        said.assign(bytes.begin(), bytes.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Loads a converted picture as a level and checks what every level must be.
    void load_level(const std::string& name) {
        const auto file = test::read_file(path(name));
        ASSERT_GT(file.size(), 128u + 769u);
        ASSERT_EQ(file[8] | file[9] << 8, 639);
        ASSERT_EQ(file[10] | file[11] << 8, 479);
        loadpcx(path(name).c_str());
        expect_drawing_colours();
    }
    tools::Rgb shown(int x, int y) const {
        const unsigned char* c = sim::palette() + 3 * sim::pixel(x, y);
        return {static_cast<std::uint8_t>(c[0] << 2), static_cast<std::uint8_t>(c[1] << 2), static_cast<std::uint8_t>(c[2] << 2)};
    }
    void expect_near(tools::Rgb got, tools::Rgb want, const char* where) {
        EXPECT_NEAR(got.r, want.r, 40) << where;
        EXPECT_NEAR(got.g, want.g, 40) << where;
        EXPECT_NEAR(got.b, want.b, 40) << where;
    }

    std::string said;

private:
    std::string dir_;
};

constexpr tools::Rgb kLeft{200, 40, 40};
constexpr tools::Rgb kRight{30, 60, 190};

// Twice as wide as high: red on the left, blue on the right.
tools::Image wide_picture() {
    tools::Image image(200, 100);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) image.at(x, y) = x < 100 ? kLeft : kRight;
    return image;
}

void write_jpeg(const std::string& path, const tools::Image& image) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(&image.at(0, static_cast<int>(info.next_scanline))));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
}

TEST_F(Converter, CropsAPngToFillTheScreen) {
    tools::write_png(path("wide.png"), wide_picture());
    ASSERT_EQ(convert(path("wide.png") + " " + path("level.pcx")), 0) << said;
    load_level("level.pcx");
    // 200x100 scaled by 4.8 is 960 wide: 160 columns are cut on each side.
    expect_near(shown(0, 0), kLeft, "top left");
    expect_near(shown(310, 479), kLeft, "left of the middle");
    expect_near(shown(330, 0), kRight, "right of the middle");
    expect_near(shown(639, 479), kRight, "bottom right");
}

TEST_F(Converter, FitsAJpegWithBlackBars) {
    write_jpeg(path("wide.jpg"), wide_picture());
    ASSERT_EQ(convert("--fit " + path("wide.jpg") + " " + path("level.pcx")), 0) << said;
    load_level("level.pcx");
    // 200x100 scaled by 3.2 is 640x320, centred: 80 black rows above and below.
    for (int y : {0, 79, 401, 479}) EXPECT_EQ(sim::pixel(320, y), tools::kBlackEntry) << "row " << y;
    expect_near(shown(100, 90), kLeft, "left");
    expect_near(shown(540, 390), kRight, "right");
}

TEST_F(Converter, RefusesWhatItCannotReadWithAMessageAndNoOutput) {
    test::write_file(path("notes.txt"), {'h', 'e', 'l', 'l', 'o', '\n'});
    tools::write_png(path("whole.png"), wide_picture());
    auto png = test::read_file(path("whole.png"));
    png.resize(png.size() / 2);
    test::write_file(path("cut.png"), png);
    write_jpeg(path("whole.jpg"), wide_picture());
    auto jpeg = test::read_file(path("whole.jpg"));
    jpeg.resize(jpeg.size() / 2);
    test::write_file(path("cut.jpg"), jpeg);

    const struct {
        std::string arguments, message;
    } cases[] = {
        {path("missing.png") + " " + path("out.pcx"), "can't be opened"},
        {path("notes.txt") + " " + path("out.pcx"), "neither a PNG nor a JPEG"},
        {path("cut.png") + " " + path("out.pcx"), "bad PNG"},
        {path("cut.jpg") + " " + path("out.pcx"), "bad JPEG"},
        {"--stretch " + path("whole.png") + " " + path("out.pcx"), "unknown option --stretch"},
        {"--dither 2 " + path("whole.png") + " " + path("out.pcx"), "--dither wants a number from 0 to 1"},
        {path("whole.png"), "usage: brin-picture"},
        {path("whole.png") + " " + path("no/such/folder.pcx"), "can't be written"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(convert(c.arguments), 1) << c.arguments;
        EXPECT_NE(said.find("brin-picture: "), std::string::npos) << said;
        EXPECT_NE(said.find(c.message), std::string::npos) << c.arguments << " said: " << said;
        EXPECT_TRUE(test::read_file(path("out.pcx")).empty()) << c.arguments;
    }
}

}  // namespace
