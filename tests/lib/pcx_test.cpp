// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support.h"

using namespace vora256;
using test::differences;
using test::offset;
using test::snapshot;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes registers() { return {sim::palette(), sim::palette() + 768}; }
Bytes pal_bytes(int n = 769) { return {pal, pal + n}; }
Bytes shifted(const Bytes& palette8) {
    Bytes out(palette8);
    for (auto& v : out) v = static_cast<unsigned char>(v >> 2);
    return out;
}

class Pictures : public test::Machine {
protected:
    void SetUp() override {
        test::Machine::SetUp();
        dir_ = test::temp_dir();
    }
    // Writes a picture file and returns its path.
    std::string picture(int xmax, int ymax, const Bytes& body, const Bytes& palette = test::test_palette()) {
        return file(test::pcx_file(xmax, ymax, body, palette));
    }
    // A file that ends with its header: every pixel reads as 255.
    std::string bare(int xmax, int ymax) {
        Bytes header = test::pcx_file(xmax, ymax, {}, {});
        header.resize(128);
        return file(header);
    }
    std::string file(const Bytes& bytes) {
        std::string path = dir_ + "p" + std::to_string(files_++) + ".pcx";
        test::write_file(path, bytes);
        return path;
    }

private:
    std::string dir_;
    int files_ = 0;
};

// Pictures written by ImageMagick, with the indices and palette ImageMagick reads from them.
struct Fixture {
    const char* name;
    int width;  // as the header says; the loaders decode it rounded up to even
    int height;
};

class ImageMagickPicture : public Pictures, public ::testing::WithParamInterface<Fixture> {
protected:
    std::string path() const { return test::fixture(std::string("pcx/") + GetParam().name + ".pcx"); }
    Bytes indices() const { return test::read_file(test::fixture(std::string("pcx/") + GetParam().name + ".idx")); }
    Bytes palette() const { return test::read_file(test::fixture(std::string("pcx/") + GetParam().name + ".pal")); }
};

TEST_P(ImageMagickPicture, LoadpcxDrawsItsPixelsAndMakesItsPaletteCurrent) {
    const Fixture& f = GetParam();
    Bytes expected = indices();
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(f.width * f.height));
    pal[768] = 200;
    loadpcx(path().c_str());
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            ASSERT_EQ(sim::pixel(x, y), expected[static_cast<std::size_t>(f.width * y + x)])
                << "(" << x << ", " << y << ")";
    EXPECT_EQ(pal_bytes(768), shifted(palette()));
    EXPECT_EQ(pal[768], 0);
    EXPECT_EQ(registers(), pal_bytes(768));
}

TEST_P(ImageMagickPicture, LoadblockKeepsItsPixelsAndPaletteWithoutShowingThem) {
    const Fixture& f = GetParam();
    int stride = f.width + (f.width & 1);
    Bytes expected = indices();
    pal[768] = 200;
    auto screen = snapshot();
    loadblock(2, path().c_str());
    ASSERT_NE(grafi[2], nullptr);
    EXPECT_EQ(grafi[2][0] | grafi[2][1] << 8, stride);
    EXPECT_EQ(grafi[2][2] | grafi[2][3] << 8, f.height);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            ASSERT_EQ(grafi[2][4 + stride * y + x], expected[static_cast<std::size_t>(f.width * y + x)])
                << "(" << x << ", " << y << ")";
    EXPECT_EQ(pal_bytes(768), shifted(palette()));
    EXPECT_EQ(pal[768], 50);
    EXPECT_EQ(Bytes(grafip[2], grafip[2] + 769), pal_bytes());
    EXPECT_EQ(registers(), Bytes(768, 0));
    EXPECT_TRUE(differences(screen, snapshot()).empty());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ImageMagickPicture,
                         ::testing::Values(Fixture{"screen", 640, 480},  // the whole visible screen
                                           Fixture{"odd", 101, 37},      // decoded 102 wide
                                           Fixture{"runs", 40, 24}),     // runs across row ends
                         [](const auto& fixture) { return std::string(fixture.param.name); });

TEST_F(Pictures, RunLengthCodes) {
    // 0xC0 is one pixel of 192, 0xC1 0x05 one of 5, 0xFF 0x07 sixty-three of 7, 0x03 one of 3;
    // the run of 63 crosses from row 0 into row 1 of a 50-pixel-wide picture.
    Bytes body{0xC0, 0xC1, 0x05, 0xFF, 0x07, 0x03};
    CX = 100;
    CY = 7;
    loadpcx(picture(49, 1, body).c_str());
    Bytes expected{192, 5};
    expected.insert(expected.end(), 63, 7);
    expected.push_back(3);
    for (int i = 0; i < 66; ++i)
        EXPECT_EQ(sim::pixel(100 + i % 50, 7 + i / 50), expected[static_cast<std::size_t>(i)]) << i;
}

TEST_F(Pictures, ARunIsCutAtTheLastPixelAndTheRestIsNotRead) {
    clear(9);
    auto before = snapshot();
    CX = 10;
    CY = 20;
    loadpcx(picture(3, 1, {0xFF, 0x07, 0xC5, 0x01}).c_str());  // 4 x 2 = 8 pixels
    std::vector<int> expected;
    for (int y = 20; y < 22; ++y)
        for (int x = 10; x < 14; ++x) expected.push_back(offset(x, y));
    EXPECT_EQ(differences(before, snapshot()), expected);
    EXPECT_EQ(sim::pixel(13, 21), 7);
}

TEST_F(Pictures, ReadsPastTheEndGive255AndThePaletteStillComesFromTheEnd) {
    // 100 x 10 pixels from a file whose body and palette hold far fewer codes.
    Bytes palette(768, 0x40);
    clear(9);
    loadpcx(picture(99, 9, {0xC2, 0x05}, palette).c_str());
    EXPECT_EQ(sim::pixel(0, 0), 5);
    EXPECT_EQ(sim::pixel(1, 0), 5);
    EXPECT_EQ(sim::pixel(2, 0), 12);  // the marker byte, then palette bytes as pixels
    EXPECT_EQ(sim::pixel(3, 0), 0x40);
    for (int y = 8; y < 10; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_EQ(sim::pixel(x, y), 255) << x << ", " << y;
    EXPECT_EQ(sim::pixel(100, 9), 9);
    EXPECT_EQ(registers(), Bytes(768, 0x10));
}

TEST_F(Pictures, AMissingFileChangesNothing) {
    test::paint_pattern();
    pal[5] = 33;
    paletapal();
    auto before = snapshot();
    Bytes pal_before = pal_bytes();
    long loads = sim::palette_loads();
    loadpcx("/nonexistent/1.pcx");
    loadblock(0, "/nonexistent/brin.pcx");
    EXPECT_TRUE(differences(before, snapshot()).empty());
    EXPECT_EQ(pal_bytes(), pal_before);
    EXPECT_EQ(sim::palette_loads(), loads);
    EXPECT_EQ(grafi[0], nullptr);
}

TEST_F(Pictures, LoadpcxBlackensThePaletteBeforeDrawing) {
    Bytes palette = test::test_palette();
    std::memset(pal, 63, 769);
    paletapal();
    long loads = sim::palette_loads();
    loadpcx(picture(1, 0, {0x01, 0x02}).c_str());
    EXPECT_EQ(sim::palette_loads(), loads + 2);
    EXPECT_EQ(registers(), shifted(palette));
}

TEST_F(Pictures, PicturesThatDoNotFitNeverWriteOutsideScreenMemory) {
    const int kBanks = test::kScreenBytes;
    // 640 x 600 at (0, 0): rows 0-511 fill banks 0-4, the rest is dropped.
    loadpcx(bare(639, 599).c_str());
    const unsigned char* v = sim::vram();
    EXPECT_TRUE(std::all_of(v, v + kBanks, [](unsigned char b) { return b == 255; }));
    EXPECT_TRUE(std::all_of(v + kBanks, v + test::kAllBytes, [](unsigned char b) { return b == 0; }));

    // Negative coordinates: only the part at x >= 0 and y >= 0 is drawn.
    clear(0);
    auto before = snapshot();
    CX = -3;
    CY = -2;
    loadpcx(bare(9, 4).c_str());  // 10 x 5
    std::vector<int> expected;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) expected.push_back(offset(x, y));
    EXPECT_EQ(differences(before, snapshot()), expected);

    // Far below, and at the bottom-right corner of screen memory.
    clear(0);
    before = snapshot();
    CX = 0;
    CY = 30000;
    loadpcx(bare(639, 479).c_str());
    CX = 639;
    CY = 511;
    loadpcx(bare(3, 3).c_str());
    EXPECT_EQ(differences(before, snapshot()), (std::vector<int>{kBanks - 1}));
}

TEST_F(Pictures, RowsWiderThanTheRestOfTheScreenRowRunOn) {
    // 80 wide at CX 600: each row's last 40 pixels land at x 0-39 of the next screen row,
    // and the next picture row then starts at x 600 of that screen row.
    Bytes body;
    for (int r = 0; r < 3; ++r) {
        body.push_back(0xC0 + 40);
        body.push_back(static_cast<unsigned char>(10 + r));
        body.push_back(0xC0 + 40);
        body.push_back(static_cast<unsigned char>(20 + r));
    }
    CX = 600;
    CY = 100;
    loadpcx(picture(79, 2, body).c_str());
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(sim::pixel(600, 100 + r), 10 + r);
        EXPECT_EQ(sim::pixel(639, 100 + r), 10 + r);
        EXPECT_EQ(sim::pixel(0, 101 + r), 20 + r);
        EXPECT_EQ(sim::pixel(39, 101 + r), 20 + r);
    }
}

TEST_F(Pictures, ShortFilesReadNothingFromBeforeTheirStart) {
    // Shorter than the palette: the whole file is the palette's start, the rest is 0.
    Bytes tiny = test::pcx_file(1, 0, {0x01, 0x02}, {0x80, 0xFC});
    loadpcx(file(tiny).c_str());
    Bytes expected(768, 0);
    for (std::size_t i = 0; i < tiny.size(); ++i) expected[i] = static_cast<unsigned char>(tiny[i] >> 2);
    EXPECT_EQ(registers(), expected);
    EXPECT_EQ(sim::pixel(0, 0), 1);

    // Shorter than its header: the missing header bytes read as 255 too.
    Bytes cut(tiny.begin(), tiny.begin() + 9);  // xmax's high byte and ymax are missing
    loadblock(1, file(cut).c_str());
    EXPECT_EQ(grafi[1], nullptr);  // 65,536 x 65,536 pixels: refused
    Bytes header = pal_bytes(128);
    EXPECT_EQ(Bytes(header.begin(), header.begin() + 9), Bytes(cut.begin(), cut.end()));
    EXPECT_EQ(Bytes(header.begin() + 9, header.end()), Bytes(119, 255));

    Bytes fits(tiny.begin(), tiny.begin() + 12);  // 2 x 1, no pixels: 255 past the end
    loadblock(1, file(fits).c_str());
    ASSERT_NE(grafi[1], nullptr);
    EXPECT_EQ(Bytes(grafi[1], grafi[1] + 6), (Bytes{2, 0, 1, 0, 255, 255}));
    loadblock(1, file({}).c_str());  // an empty file
    EXPECT_EQ(grafi[1], nullptr);
}

TEST_F(Pictures, LoadblockRefusesMoreThan16MiPixelsAsMemoryThatCannotBeHad) {
    std::memset(tabla, 0xFF, sizeof tabla);  // solid glyphs, so the message shows
    INK = 9;
    loadblock(3, picture(1, 0, {}).c_str());
    unsigned char* palette_copy = grafip[3];
    Bytes rest = pal_bytes();
    paletapal();
    Bytes shown = registers();
    auto before = snapshot();
    std::string big = picture(4095, 4096, {});  // 4096 x 4097
    loadblock(3, big.c_str());
    EXPECT_EQ(grafi[3], nullptr);
    EXPECT_EQ(grafip[3], palette_copy);
    EXPECT_EQ(sim::pixel(0, 0), 9);  // "Memoria insuficiente"
    EXPECT_FALSE(differences(before, snapshot()).empty());
    Bytes header = test::read_file(big);
    EXPECT_EQ(pal_bytes(128), Bytes(header.begin(), header.begin() + 128));
    EXPECT_EQ(Bytes(pal + 128, pal + 769), Bytes(rest.begin() + 128, rest.end()));
    EXPECT_EQ(registers(), shown);

    loadblock(3, picture(4095, 4095, {}).c_str());  // exactly 16 Mi
    ASSERT_NE(grafi[3], nullptr);
    EXPECT_EQ(grafi[3][4 + 4096 * 4096 - 1], 255);
    loadblock(3, picture(65535, 65535, {}).c_str());
    EXPECT_EQ(grafi[3], nullptr);
    loadblock(16, picture(1, 0, {}).c_str());
    loadblock(-1, picture(1, 0, {}).c_str());
}

}  // namespace
