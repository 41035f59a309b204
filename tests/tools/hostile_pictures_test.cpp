// SPDX-License-Identifier: MIT
// Pictures that claim to be huge, or inflate to huge, cost brin-picture little: refused
// from their declared size, or read shrunk a row at a time. And a picture read shrunk
// looks as it does read whole.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it needs FILE and size_t
#include <png.h>

#include "frame.h"
#include "imageio.h"
#include "run_converter.h"
#include "support.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put32(Bytes& b, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<unsigned char>(v >> shift));
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
    put32(png, static_cast<std::uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32(png, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// An 8-bit grey PNG of `width` x `height` whose picture data is `idat`.
Bytes grey_png(std::uint32_t width, std::uint32_t height, const Bytes& idat) {
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    put32(header, width);
    put32(header, height);
    header.insert(header.end(), {8, 0, 0, 0, 0});
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", idat);
    chunk(png, "IEND", {});
    return png;
}

// Black rows, compressed as far as zlib goes: about a thousandth of their size.
Bytes black_rows(std::uint32_t width, std::uint32_t height) {
    z_stream z{};
    deflateInit(&z, 9);
    Bytes row(width + 1), out(deflateBound(&z, static_cast<uLong>(row.size()) * height));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    for (std::uint32_t y = 0; y < height; ++y) {
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        deflate(&z, y + 1 == height ? Z_FINISH : Z_NO_FLUSH);
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A picture with something everywhere: smooth colour, and squares whose edges show where
// a shrunk picture puts its pixels.
tools::Image busy_picture(int width, int height) {
    tools::Image image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at(x, y) = {static_cast<std::uint8_t>(x * 255 / width), static_cast<std::uint8_t>(y * 255 / height),
                              static_cast<std::uint8_t>((x / 37 + y / 37) % 2 ? 220 : 30)};
    return image;
}

void write_png_file(const std::string& path, const tools::Image& image, bool interlaced) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (int y = 0; y < image.height; ++y)
        rows.push_back(reinterpret_cast<png_bytep>(const_cast<tools::Rgb*>(&image.at(0, y))));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
}

void write_jpeg_file(const std::string& path, const tools::Image& image, bool progressive) {
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
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&image.at(0, static_cast<int>(info.next_scanline)).r);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
}

// A small JPEG whose frame header claims `width` x `height`: the data runs out at once.
Bytes claiming_jpeg(const std::string& dir, std::uint16_t width, std::uint16_t height, bool progressive) {
    write_jpeg_file(dir + "small.jpg", busy_picture(32, 32), progressive);
    Bytes jpeg = test::read_file(dir + "small.jpg");
    std::size_t at = 2;
    while (jpeg[at + 1] != 0xC0 && jpeg[at + 1] != 0xC2) at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    jpeg[at + 5] = static_cast<unsigned char>(height >> 8), jpeg[at + 6] = static_cast<unsigned char>(height);
    jpeg[at + 7] = static_cast<unsigned char>(width >> 8), jpeg[at + 8] = static_cast<unsigned char>(width);
    return jpeg;
}

// Far below what any of these pictures would take whole (300 MB and up), with room for a
// sanitizer's own.
constexpr long kCheapKib = 120 * 1024;

TEST(HostilePictures, AreRefusedOrReadInLittleMemory) {
    const std::string dir = test::temp_dir();
    const Bytes truncated_stream{0x78, 0xDA, 0x63, 0x60};
    const struct {
        const char* name;
        Bytes file;
        int status;
        const char* message;
    } cases[] = {
        {"claim.png", grey_png(20000, 20000, truncated_stream), 1, "is too large: 20000x20000 pixels"},
        {"claim9k.png", grey_png(9000, 9000, truncated_stream), 1, "is damaged"},
        {"long.png", grey_png(70000, 100, truncated_stream), 1, "is too large: 70000x100 pixels"},
        {"bomb.png", grey_png(9000, 9000, black_rows(9000, 9000)), 0, ""},  // 81 million pixels, 80 KB
        {"claim.jpg", claiming_jpeg(dir, 20000, 20000, false), 1, "is too large: 20000x20000 pixels"},
        {"claim9k.jpg", claiming_jpeg(dir, 9000, 9000, false), 1, "is damaged"},
        {"progressive.jpg", claiming_jpeg(dir, 9000, 9000, true), 1, "needs more memory to read than is allowed"},
    };
    for (const auto& c : cases) {
        test::write_file(dir + c.name, c.file);
        const test::Converted run = test::convert({dir + c.name, dir + "level.pcx"}, dir);
        EXPECT_EQ(run.status, c.status) << c.name << ": " << run.said;
        EXPECT_NE(run.said.find(c.message), std::string::npos) << c.name << " said: " << run.said;
        EXPECT_GT(run.peak_kib, 0) << c.name;
        EXPECT_LT(run.peak_kib, kCheapKib) << c.name;
    }
}

// The mean difference per component of two pictures of the same size.
double mean_difference(const tools::Image& a, const tools::Image& b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        sum += std::abs(a.pixels[i].r - b.pixels[i].r) + std::abs(a.pixels[i].g - b.pixels[i].g) +
               std::abs(a.pixels[i].b - b.pixels[i].b);
    return sum / (3.0 * static_cast<double>(a.pixels.size()));
}

TEST(ShrunkPictures, LookAsTheyDoReadWhole) {
    const std::string dir = test::temp_dir();
    // Odd sides: the last squares of a row and a column are partial.
    const tools::Image picture = busy_picture(2591, 1951);
    write_png_file(dir + "plain.png", picture, false);
    write_png_file(dir + "interlaced.png", picture, true);
    write_jpeg_file(dir + "photo.jpg", picture, false);
    // Averaging squares before the frame's own filter softens edges a little otherwise than
    // that filter alone: about 2 levels on average here, where squares misplaced by one
    // shrunk pixel differ by over 6.
    for (const char* name : {"plain.png", "interlaced.png", "photo.jpg"}) {
        const tools::Image shrunk = tools::read_picture(dir + name, 640, 480);
        EXPECT_GE(shrunk.width, 640) << name;
        EXPECT_GE(shrunk.height, 480) << name;
        EXPECT_LT(shrunk.width, 1280) << name;
        const tools::Image whole = tools::read_picture(dir + name);
        ASSERT_EQ(whole.width, 2591) << name;
        for (tools::Framing framing : {tools::Framing::crop, tools::Framing::fit})
            EXPECT_LT(mean_difference(tools::frame(shrunk, 640, 480, framing), tools::frame(whole, 640, 480, framing)),
                      3.0)
                << name << (framing == tools::Framing::crop ? ", cropped" : ", fitted");
    }
}

}  // namespace
