// SPDX-License-Identifier: MIT
// The tools: the PCX writer and the quantiser behind them all, and brin-picture.
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
#include "frame.h"
#include "imageio.h"
#include "median_cut.h"
#include "picture.h"
#include "quantise.h"
#include "support.h"
#include "tiles.h"

using namespace vora256;
using namespace data_files;

namespace {

class Tools : public test::Machine {};

// ---- the PCX writer and the quantiser behind every tool ----

TEST_F(Tools, WrittenPicturesReadBackThroughTheGamesLoader) {
    tools::Indexed p;
    p.width = 101;  // odd: rows are padded to an even length
    p.height = 7;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)  // runs longer than 63, lone values above 192, 192 itself
            p.pixels.push_back(static_cast<std::uint8_t>(x < 70 ? y : x % 3 ? 192 + x % 64 : x));
    for (int i = 0; i < 256; ++i)
        p.palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                                  static_cast<std::uint8_t>(i * 7)};
    const std::string path = test::temp_dir() + "w.pcx";
    tools::write_pcx(path, p);

    loadblock(3, path.c_str());
    ASSERT_NE(grafi[3], nullptr);
    ASSERT_EQ(grafi[3][0] | grafi[3][1] << 8, 102);
    ASSERT_EQ(grafi[3][2] | grafi[3][3] << 8, 7);
    for (int y = 0; y < p.height; ++y)
        EXPECT_EQ(std::memcmp(grafi[3] + 4 + y * 102, &p.pixels[static_cast<std::size_t>(y) * 101], 101), 0)
            << "row " << y;
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(rgb_at(grafip[3], i), (i >> 2) << 16 | ((255 - i) >> 2) << 8 | ((i * 7 & 255) >> 2));
}

// Both quantisers: the tools' and the page's own.
class Quantisers : public Tools, public ::testing::WithParamInterface<bool> {
protected:
    static tools::Indexed quantise(const tools::Image& image) {
        return GetParam() ? tools::quantise_median_cut(image, 1.0f) : tools::quantise(image, 1.0f);
    }
};
INSTANTIATE_TEST_SUITE_P(Tools, Quantisers, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "MedianCut" : "Imagequant"; });

TEST_P(Quantisers, QuantisedPalettesFindTheDrawingColoursFirstEvenAmongLookAlikes) {
    // Pure colours next to near ones that land on the same 6-bit levels.
    const tools::Rgb shades[] = {{0, 0, 0},     {255, 255, 255}, {0, 255, 255},  {255, 255, 0},  {255, 0, 0},
                                 {2, 1, 3},     {253, 254, 252}, {3, 252, 254},  {252, 253, 2},  {254, 3, 1},
                                 {90, 30, 200}, {10, 160, 40},   {240, 120, 10}, {128, 128, 128}};
    tools::Image image(140, 60);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const tools::Rgb s = shades[x / 10];
            image.at(x, y) = {static_cast<std::uint8_t>(s.r ^ (y & 1)), s.g, static_cast<std::uint8_t>(s.b ^ (y / 30))};
            if (x / 10 < 5) image.at(x, y) = s;
        }
    const tools::Indexed q = quantise(image);
    for (int i = 0; i < 768; ++i) pal[i] = reinterpret_cast<const std::uint8_t*>(q.palette.data())[i] >> 2;
    expect_drawing_colours();
    EXPECT_EQ(rgb_at(pal, 254), 0x3F3F3F);
    for (const Expected& e : kDrawingColours) {
        const int column = e.entry * 10 + 5;  // the pure colours were laid out in entry order
        EXPECT_EQ(q.at(column, 20), e.entry);
    }
}

// The page's quantiser is as good as the tools': its colours lie on average no further from
// the framed picture than 10 % beyond the tools' own, on the same pictures.
TEST_F(Tools, MedianCutIsAsCloseToThePictureAsTheToolsQuantiser) {
    for (const char* name : {"cmyk.jpg", "gradient16.png", "transparent.png", "turned.jpg"}) {
        const tools::Image framed =
            tools::frame(tools::read_picture(std::string(BRIN_PICTURES "/") + name), 640, 480, tools::Framing::crop);
        const double ours = tools::mean_colour_error(framed, tools::quantise_median_cut(framed, 1.0f));
        const double theirs = tools::mean_colour_error(framed, tools::quantise(framed, 1.0f));
        std::printf("%s: mean colour error %.3f, libimagequant %.3f\n", name, ours, theirs);
        EXPECT_LE(ours, theirs * 1.1) << name;
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
    // Runs the converter, with `environment` (such as "env HOME=/x") in front; returns its
    // exit status and leaves what it said on either output in `said`.
    int convert(const std::string& arguments, const std::string& environment = "") {
        const std::string command = environment + " " + BRIN_PICTURE + " " + arguments + " >" + path("said") + " 2>&1";
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
        return {static_cast<std::uint8_t>(c[0] << 2), static_cast<std::uint8_t>(c[1] << 2),
                static_cast<std::uint8_t>(c[2] << 2)};
    }
    void expect_near(tools::Rgb got, tools::Rgb want, const char* where, int tolerance = 40) {
        EXPECT_NEAR(got.r, want.r, tolerance) << where;
        EXPECT_NEAR(got.g, want.g, tolerance) << where;
        EXPECT_NEAR(got.b, want.b, tolerance) << where;
    }
    // The colour the eye sees in a 20x20 square centred on (x, y): dithering averaged out.
    tools::Rgb seen(int x, int y) const {
        int sum[3] = {};
        for (int dy = -10; dy < 10; ++dy)
            for (int dx = -10; dx < 10; ++dx) {
                const tools::Rgb c = shown(x + dx, y + dy);
                sum[0] += c.r, sum[1] += c.g, sum[2] += c.b;
            }
        auto mean = [](int total) { return static_cast<std::uint8_t>((total + 200) / 400); };
        return {mean(sum[0]), mean(sum[1]), mean(sum[2])};
    }
    // The colours seen in the middle of the picture's quarters, the picture lying between
    // columns `left` and `right` of their middles: top left, top right, bottom left, bottom right.
    void expect_quadrants(int left, int right, const std::array<tools::Rgb, 4>& colours, int tolerance) {
        const char* names[] = {"top left", "top right", "bottom left", "bottom right"};
        for (int q = 0; q < 4; ++q)
            expect_near(seen(q % 2 ? right : left, q < 2 ? 120 : 360), colours[static_cast<std::size_t>(q)], names[q],
                        tolerance);
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

// A JPEG of `components` samples a pixel in `space`, at quality 95; `setup` changes the
// encoder's defaults, `row(y)` gives row y's samples.
template <typename Setup, typename Row>
void write_jpeg_of(const std::string& path, int width, int height, int components, J_COLOR_SPACE space, Setup setup,
                   Row row) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    setup(info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW samples = const_cast<JSAMPROW>(row(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &samples, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
}

void write_jpeg(const std::string& path, const tools::Image& image) {
    write_jpeg_of(
        path, image.width, image.height, 3, JCS_RGB, [](jpeg_compress_struct&) {},
        [&](int y) { return reinterpret_cast<const JSAMPLE*>(&image.at(0, y)); });
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

TEST_F(Converter, RefusesWhatItCannotReadInPlainWordsAndWritesNothing) {
    test::write_file(path("notes.txt"), {'h', 'e', 'l', 'l', 'o', '\n'});
    tools::write_png(path("whole.png"), wide_picture());
    auto png = test::read_file(path("whole.png"));
    png.resize(png.size() / 2);
    test::write_file(path("cut.png"), png);
    png = test::read_file(path("whole.png"));
    png[png.size() - 20] ^= 0xFF;  // inside the picture's data: its checksum no longer fits
    test::write_file(path("flipped.png"), png);
    write_jpeg(path("whole.jpg"), wide_picture());
    auto jpeg = test::read_file(path("whole.jpg"));
    jpeg.resize(jpeg.size() / 2);
    test::write_file(path("cut.jpg"), jpeg);
    ASSERT_EQ(std::system(("mkdir " + path("folder.png")).c_str()), 0);

    const struct {
        std::string arguments, message;
    } cases[] = {
        {path("missing.png") + " " + path("out.pcx"), "missing.png: cannot be read: No such file or directory"},
        {path("folder.png") + " " + path("out.pcx"), "folder.png: is a folder"},
        {path("notes.txt") + " " + path("out.pcx"), "notes.txt: is not a PNG or JPEG picture"},
        {path("cut.png") + " " + path("out.pcx"), "cut.png: is damaged"},
        {path("flipped.png") + " " + path("out.pcx"), "flipped.png: is damaged"},
        {path("cut.jpg") + " " + path("out.pcx"), "cut.jpg: is damaged"},
        {"--stretch " + path("whole.png") + " " + path("out.pcx"), "unknown option --stretch"},
        {"--dither 2 " + path("whole.png") + " " + path("out.pcx"), "--dither wants a number from 0 to 1"},
        {"--level 0 " + path("whole.png"), "--level wants a level from 1 to 4, not \"0\""},
        {"--level 5 " + path("whole.png"), "--level wants a level from 1 to 4, not \"5\""},
        {"--level 12 " + path("whole.png"), "--level wants a level from 1 to 4"},
        {path("whole.png") + " --level", "--level wants a value"},
        {"--level 2 " + path("whole.png") + " " + path("out.pcx"), "usage: brin-picture"},
        {path("whole.png"), "usage: brin-picture"},
        {path("whole.png") + " " + path("no/such/folder.pcx"),
         "folder.pcx: cannot be written: No such file or directory"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(convert(c.arguments, "env HOME=" + path("home")), 1) << c.arguments;
        EXPECT_NE(said.find("brin-picture: "), std::string::npos) << said;
        EXPECT_NE(said.find(c.message), std::string::npos) << c.arguments << " said: " << said;
        EXPECT_EQ(said.find("libpng"), std::string::npos) << said;
        EXPECT_TRUE(test::read_file(path("out.pcx")).empty()) << c.arguments;
        EXPECT_NE(std::system(("test -e " + path("home")).c_str()), 0) << "the player's folder was made";
    }
}

TEST_F(Converter, HelpShowsTheUsageAndSaysWhereTransparencyGoes) {
    ASSERT_EQ(convert("--help"), 0);
    EXPECT_EQ(said.rfind("usage: brin-picture", 0), 0u) << said;
    for (const char* words : {"--level N", "--fit", "--crop", "--dither", "Transparent parts are laid over black"})
        EXPECT_NE(said.find(words), std::string::npos) << words << " missing from: " << said;
}

// ---- the player's folder ----

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t current_umask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

TEST_F(Converter, LevelGoesIntoThePlayersFolderWhichIsMadeIfMissing) {
    tools::write_png(path("wide.png"), wide_picture());
    const std::string home = path("home"), data = path("data");
    const struct {
        std::string environment, folder;
    } cases[] = {
        {"env -u XDG_DATA_HOME HOME=" + home, home + "/.local/share/brin/"},
        {"env XDG_DATA_HOME= HOME=" + home, home + "/.local/share/brin/"},
        {"env XDG_DATA_HOME=relative/data HOME=" + home, home + "/.local/share/brin/"},
        {"env XDG_DATA_HOME=" + data + " HOME=" + home, data + "/brin/"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(std::system(("rm -rf " + home + " " + data).c_str()), 0);
        ASSERT_EQ(convert("--level 3 " + path("wide.png"), c.environment), 0) << c.environment << ": " << said;
        EXPECT_EQ(files_in(c.folder), std::vector<std::string>{"3.pcx"}) << c.environment;
        const tools::Indexed level = tools::read_pcx(c.folder + "3.pcx");
        EXPECT_EQ(level.width, 640);
        EXPECT_EQ(level.height, 480);
    }
    EXPECT_NE(std::system("test -e relative"), 0) << "a relative XDG_DATA_HOME was used";
}

TEST_F(Converter, ReplacesALevelWholeOrNotAtAll) {
    const std::string folder = path("home") + "/.local/share/brin/";
    const std::string environment = "env -u XDG_DATA_HOME HOME=" + path("home");
    tools::write_png(path("wide.png"), wide_picture());
    ASSERT_EQ(convert("--level 1 " + path("wide.png"), environment), 0) << said;
    const auto first = test::read_file(folder + "1.pcx");

    write_jpeg(path("whole.jpg"), wide_picture());
    auto jpeg = test::read_file(path("whole.jpg"));
    jpeg.resize(jpeg.size() - 100);
    test::write_file(path("cut.jpg"), jpeg);
    EXPECT_EQ(convert("--level 1 " + path("cut.jpg"), environment), 1);
    EXPECT_EQ(test::read_file(folder + "1.pcx"), first) << "a failed conversion touched the level";

    ASSERT_EQ(convert("--fit --level 1 " + path("wide.png"), environment), 0) << said;
    EXPECT_NE(test::read_file(folder + "1.pcx"), first);
    EXPECT_EQ(tools::read_pcx(folder + "1.pcx").at(320, 10), tools::kBlackEntry);  // the bar of --fit
    EXPECT_EQ(files_in(folder), std::vector<std::string>{"1.pcx"}) << "a temporary file was left behind";
    struct stat about {};
    ASSERT_EQ(stat((folder + "1.pcx").c_str(), &about), 0);
    EXPECT_EQ(about.st_mode & 0777, 0666u & ~current_umask()) << "readable as any other file";

    // A level that is a link to the installed picture: the link gives way, the picture stays.
    test::write_file(path("installed.pcx"), first);
    ASSERT_EQ(symlink(path("installed.pcx").c_str(), (folder + "2.pcx").c_str()), 0);
    ASSERT_EQ(convert("--fit --level 2 " + path("wide.png"), environment), 0) << said;
    EXPECT_EQ(test::read_file(path("installed.pcx")), first);
    ASSERT_EQ(lstat((folder + "2.pcx").c_str(), &about), 0);
    EXPECT_TRUE(S_ISREG(about.st_mode));
}

// ---- pictures as cameras, editors and printers write them ----

TEST_F(Converter, TakesA16BitPngThatNamesNoGammaAsSrgb) {
    // Black at the top to white at the bottom in even steps. Taken as linear light, the
    // mean would come out near 168.
    ASSERT_EQ(convert(test::fixture("pictures/gradient16.png") + " " + path("level.pcx")), 0) << said;
    load_level("level.pcx");
    double sum = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) sum += shown(x, y).g;
    EXPECT_NEAR(sum / (640 * 480), 127.5, 3.0);
    EXPECT_NEAR(seen(320, 240).g, 128, 6);
    EXPECT_NEAR(seen(320, 120).g, 64, 6);
    expect_near(seen(100, 360), {191, 191, 191}, "three quarters down", 6);
}

TEST_F(Converter, TurnsAPhonePictureUprightByItsExifOrientation) {
    // Stored sideways, 80x60, with red and green above blue and yellow, and orientation 6:
    // upright it stands 60x80, so --fit leaves bars at the sides.
    ASSERT_EQ(convert("--fit " + test::fixture("pictures/turned.jpg") + " " + path("level.pcx")), 0) << said;
    load_level("level.pcx");
    for (int y : {10, 240, 470}) {
        EXPECT_EQ(sim::pixel(130, y), tools::kBlackEntry) << "left bar, row " << y;
        EXPECT_EQ(sim::pixel(510, y), tools::kBlackEntry) << "right bar, row " << y;
    }
    expect_quadrants(230, 410, {{{0, 0, 255}, {255, 0, 0}, {255, 255, 0}, {0, 255, 0}}}, 12);
}

TEST_F(Converter, TurnsTheInksOfACmykJpegIntoTheirColours) {
    ASSERT_EQ(convert(test::fixture("pictures/cmyk.jpg") + " " + path("level.pcx")), 0) << said;
    load_level("level.pcx");
    // Orange, teal / purple, grey.
    expect_quadrants(160, 480, {{{255, 128, 0}, {0, 128, 128}, {128, 0, 128}, {128, 128, 128}}}, 10);
}

TEST_F(Converter, LaysTransparentPartsOverBlack) {
    // Thirds of a 3:2 picture, cropped to 4:3: 240 columns each, 40 cut at each side.
    ASSERT_EQ(convert(test::fixture("pictures/transparent.png") + " " + path("level.pcx")), 0) << said;
    load_level("level.pcx");
    for (int y : {0, 240, 479}) EXPECT_EQ(sim::pixel(100, y), tools::kBlackEntry) << "fully transparent, row " << y;
    // (200, 100, 255) at half opacity, mixed with black as light mixes: half the light of
    // each component, in sRGB.
    expect_near(seen(320, 240), {146, 73, 186}, "half transparent", 8);
    expect_near(seen(560, 240), {0, 160, 0}, "opaque", 8);
}

TEST_F(Converter, WarnsOfTilesAlikeOrPlainButWritesTheLevel) {
    ASSERT_EQ(convert(test::fixture("pictures/transparent.png") + " " + path("level.pcx")), 0) << said;
    EXPECT_NE(said.find("warning"), std::string::npos) << said;
    for (const char* group : {"tiles 1, 5, 9, 13 and 17 look alike", "tiles 2, 6, 10, 14 and 18 look alike",
                              "tiles 0, 3, 4, 7, 8, 11, 12, 15, 16 and 19 show nothing but one colour"})
        EXPECT_NE(said.find(group), std::string::npos) << group << " missing from: " << said;
    load_level("level.pcx");

    // Rows of the same grey: the tiles of a row can't be told apart, yet none is flat.
    ASSERT_EQ(convert(test::fixture("pictures/gradient16.png") + " " + path("rows.pcx")), 0) << said;
    for (const char* group : {"tiles 0, 1, 2 and 3 look alike", "tiles 16, 17, 18 and 19 look alike"})
        EXPECT_NE(said.find(group), std::string::npos) << group << " missing from: " << said;
    EXPECT_EQ(said.find("one colour"), std::string::npos) << said;
    load_level("rows.pcx");

    tools::write_png(path("lake.png"), tools::shown(tools::read_pcx(data("1.pcx"))));
    ASSERT_EQ(convert(path("lake.png") + " " + path("lake.pcx")), 0) << said;
    EXPECT_EQ(said, "") << "our own first level";
}

// ---- Exif orientation ----

// An APP1 segment's contents: "Exif", two zeros, then a TIFF header and one directory of
// `entries` 12-byte entries, the first the orientation.
std::vector<unsigned char> exif_block(int orientation, bool big_endian = false, unsigned type = 3, unsigned count = 1,
                                      unsigned entries = 1) {
    std::vector<unsigned char> b{'E', 'x', 'i', 'f', 0, 0};
    auto u16 = [&](unsigned v) {
        const unsigned char hi = static_cast<unsigned char>(v >> 8), lo = static_cast<unsigned char>(v);
        b.insert(b.end(), big_endian ? std::initializer_list<unsigned char>{hi, lo}
                                     : std::initializer_list<unsigned char>{lo, hi});
    };
    auto u32 = [&](unsigned v) { big_endian ? (u16(v >> 16), u16(v & 0xFFFF)) : (u16(v & 0xFFFF), u16(v >> 16)); };
    b.insert(b.end(), big_endian ? std::initializer_list<unsigned char>{'M', 'M', 0, 42}
                                 : std::initializer_list<unsigned char>{'I', 'I', 42, 0});
    u32(8);
    u16(entries);
    u16(0x0112), u16(type), u32(count), u16(static_cast<unsigned>(orientation)), u16(0);
    u32(0);
    return b;
}

int orientation_of(const std::vector<unsigned char>& block) {
    return tools::exif_orientation(block.data(), block.size());
}

// A JPEG file with `block` in an APP1 segment right after its start.
void write_jpeg_with_exif(const std::string& path, const tools::Image& image, const std::vector<unsigned char>& block) {
    write_jpeg(path, image);
    auto bytes = test::read_file(path);
    const std::size_t length = block.size() + 2;
    std::vector<unsigned char> segment{0xFF, 0xE1, static_cast<unsigned char>(length >> 8),
                                       static_cast<unsigned char>(length)};
    segment.insert(segment.end(), block.begin(), block.end());
    bytes.insert(bytes.begin() + 2, segment.begin(), segment.end());
    test::write_file(path, bytes);
}

TEST(ExifOrientation, EachOfTheEightTurnsShowsThePictureUpright) {
    // Which side of the picture as shown the stored top row and left column lie along.
    enum Side { top, bottom, left, right };
    const struct {
        Side row0, column0;
    } kSides[] = {{top, left}, {top, right}, {bottom, right}, {bottom, left},
                  {left, top}, {right, top}, {right, bottom}, {left, bottom}};
    // 64x32, four 32x16 quadrants.
    const tools::Rgb kColours[2][2] = {{{255, 0, 0}, {0, 255, 0}}, {{0, 0, 255}, {255, 255, 255}}};
    tools::Image stored(64, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) stored.at(x, y) = kColours[y / 16][x / 32];
    const std::string dir = test::temp_dir();

    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (bool big_endian : {false, true}) {
            SCOPED_TRACE("orientation " + std::to_string(orientation) + (big_endian ? ", big-endian" : ""));
            write_jpeg_with_exif(dir + "turned.jpg", stored, exif_block(orientation, big_endian));
            const tools::Image upright = tools::read_picture(dir + "turned.jpg");
            const auto [row0, column0] = kSides[orientation - 1];
            const bool sideways = row0 == left || row0 == right;
            ASSERT_EQ(upright.width, sideways ? 32 : 64);
            ASSERT_EQ(upright.height, sideways ? 64 : 32);
            // Stored quadrant (r, c) as shown: near the side of row 0 when r is 0, of column 0 when c is 0.
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 2; ++c) {
                    const Side along_rows = r == 0 ? row0 : Side(row0 ^ 1),
                               along_columns = c == 0 ? column0 : Side(column0 ^ 1);
                    const bool at_left = along_rows == left || along_columns == left;
                    const bool at_top = along_rows == top || along_columns == top;
                    const tools::Rgb got = upright.at(at_left ? upright.width / 4 : upright.width * 3 / 4,
                                                      at_top ? upright.height / 4 : upright.height * 3 / 4);
                    const tools::Rgb want = kColours[r][c];
                    EXPECT_TRUE(std::abs(got.r - want.r) < 40 && std::abs(got.g - want.g) < 40 &&
                                std::abs(got.b - want.b) < 40)
                        << "quadrant " << r << "," << c;
                }
        }
    }
}

TEST(ExifOrientation, OddOrHostileBlocksMeanThePictureAsStored) {
    EXPECT_EQ(orientation_of(exif_block(6)), 6);
    EXPECT_EQ(orientation_of(exif_block(8, true)), 8);
    EXPECT_EQ(orientation_of(exif_block(6, false, 3, 1, 0xFFFF)), 6) << "the entry is read before the missing ones";
    EXPECT_EQ(orientation_of(exif_block(6, false, 0x0112, 1, 0xFFFF)), 1) << "a bad entry, then none";
    EXPECT_EQ(orientation_of(exif_block(0)), 1);
    EXPECT_EQ(orientation_of(exif_block(9)), 1);
    EXPECT_EQ(orientation_of(exif_block(6, false, 4)), 1) << "a LONG";
    EXPECT_EQ(orientation_of(exif_block(6, false, 3, 2)), 1) << "two values";
    EXPECT_EQ(orientation_of(exif_block(6, false, 3, 1, 0)), 1) << "no entries";
    auto moved = exif_block(6);
    moved[10] = 0xFF, moved[11] = 0xFF, moved[12] = 0xFF, moved[13] = 0xFF;  // directory far past the end
    EXPECT_EQ(orientation_of(moved), 1);
    auto other = exif_block(6);
    other[6] = 'X';  // neither byte order
    EXPECT_EQ(orientation_of(other), 1);
    auto no_exif = exif_block(6);
    no_exif[0] = 'e';
    EXPECT_EQ(orientation_of(no_exif), 1);
    const auto whole = exif_block(6);
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<long>(size));
        const int found = orientation_of(cut);
        EXPECT_TRUE(found == 1 || (found == 6 && size >= 6 + 8 + 2 + 12)) << size << " bytes gave " << found;
    }

    // A JPEG carrying a cut block, one whose directory lies past its end and one that is no
    // Exif at all still reads, the way it is stored.
    const std::string dir = test::temp_dir();
    tools::Image stored(32, 16);
    for (const auto& block :
         {std::vector<unsigned char>(whole.begin(), whole.begin() + 17), moved, std::vector<unsigned char>{'h', 'i'}}) {
        write_jpeg_with_exif(dir + "odd.jpg", stored, block);
        const tools::Image read = tools::read_picture(dir + "odd.jpg");
        EXPECT_EQ(read.width, 32);
        EXPECT_EQ(read.height, 16);
    }
}

// ---- CMYK and YCCK ----

// A 16x16 JPEG of one colour of inks (cyan, magenta, yellow, black; 255 is full ink),
// written as `space` with or without Adobe's marker, which says the inks are stored inverted.
void write_ink_jpeg(const std::string& path, const unsigned char inks[4], J_COLOR_SPACE space, bool adobe) {
    std::vector<JSAMPLE> row(16 * 4);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<JSAMPLE>(adobe ? 255 - inks[i % 4] : inks[i % 4]);
    auto setup = [&](jpeg_compress_struct& info) {
        jpeg_set_colorspace(&info, space);
        info.write_Adobe_marker = adobe;
    };
    write_jpeg_of(path, 16, 16, 4, JCS_CMYK, setup, [&](int) { return row.data(); });
}

TEST(InkJpeg, CmykAndYcckComeOutInTheirColours) {
    const std::string dir = test::temp_dir();
    // No cyan, half magenta, full yellow, a quarter black: orange, darkened.
    const unsigned char inks[4] = {0, 128, 255, 64};
    const tools::Rgb want{191, 95, 0};
    const struct {
        J_COLOR_SPACE space;
        bool adobe;
    } cases[] = {{JCS_CMYK, true}, {JCS_YCCK, true}, {JCS_CMYK, false}};
    for (const auto& c : cases) {
        write_ink_jpeg(dir + "inks.jpg", inks, c.space, c.adobe);
        const tools::Image read = tools::read_picture(dir + "inks.jpg");
        ASSERT_EQ(read.width, 16);
        const tools::Rgb got = read.at(8, 8);
        EXPECT_NEAR(got.r, want.r, 4) << c.space << " " << c.adobe;
        EXPECT_NEAR(got.g, want.g, 4) << c.space << " " << c.adobe;
        EXPECT_NEAR(got.b, want.b, 4) << c.space << " " << c.adobe;
    }
}

}  // namespace
