// SPDX-License-Identifier: MIT
#include "imageio.h"

#include <jpeglib.h>
#include <png.h>

#include <sys/stat.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "files.h"

namespace tools {

namespace {

constexpr long kLargestSide = 20000;  // beyond this a picture is surely not meant for us

using platform::files::File;

std::runtime_error failure(const std::string& path, const std::string& why) {
    return std::runtime_error(path + ": " + why);
}

std::runtime_error damaged(const std::string& path) { return failure(path, "is damaged"); }

bool sensible_size(long width, long height) {
    return width >= 1 && height >= 1 && width <= kLargestSide && height <= kLargestSide;
}

std::runtime_error size_failure(const std::string& path, long width, long height) {
    return failure(path,
                   "a picture of " + std::to_string(width) + "x" + std::to_string(height) + " pixels is not supported");
}

// ---- PNG ----

enum class Decoded { whole, damaged, bad_size };

// A decoder's verdict in the player's words, when it is not a whole picture.
void refuse_unless_whole(Decoded verdict, const std::string& path, const Image& image) {
    if (verdict == Decoded::bad_size) throw size_failure(path, image.width, image.height);
    if (verdict == Decoded::damaged) throw damaged(path);
}

// Only plain data lives in this frame across libpng's jump: the pixels go into `into`,
// which the caller owns, through `rows`, which the caller owns too.
Decoded decode_png(std::FILE* file, Image& into, std::vector<png_bytep>& rows) {
    png_structp png = png_create_read_struct(
        PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
        [](png_structp, png_const_charp) {});
    if (!png) return Decoded::damaged;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Decoded::damaged;
    }
    png_init_io(png, file);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    // libpng refuses sides beyond a million itself.
    into.width = static_cast<int>(png_get_image_width(png, info));
    into.height = static_cast<int>(png_get_image_height(png, info));
    if (!sensible_size(into.width, into.height)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Decoded::bad_size;
    }
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    // A file that says nothing of its gamma is sRGB, whatever its depth; one that does is
    // brought to sRGB.
    png_set_gamma(png, PNG_DEFAULT_sRGB, PNG_DEFAULT_sRGB);
    png_color_16 black{};
    png_set_background(png, &black, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    into.pixels.resize(static_cast<std::size_t>(into.width) * into.height);
    rows.resize(static_cast<std::size_t>(into.height));
    for (int y = 0; y < into.height; ++y)
        rows[static_cast<std::size_t>(y)] = reinterpret_cast<png_bytep>(&into.at(0, y));
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return Decoded::whole;
}

Image read_png(const std::string& path, std::FILE* file) {
    Image image;
    std::vector<png_bytep> rows;
    refuse_unless_whole(decode_png(file, image, rows), path, image);
    return image;
}

// ---- JPEG ----

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void jpeg_failed(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->back, 1); }

// The orientation an Exif block in an APP1 segment gives, 1 (as stored) when it gives none.
int orientation_of(const jpeg_decompress_struct& info) {
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1) {
            const int found = exif_orientation(m->data, m->data_length);
            if (found != 1) return found;
        }
    return 1;
}

// One row of inks to red, green and blue. Adobe's files, by far the most common, store
// the inks inverted (0 is full ink).
void cmyk_to_rgb(const JSAMPLE* inks, Rgb* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, inks += 4) {
        auto light = [&](int k) { return inverted ? inks[k] : 255 - inks[k]; };
        auto mix = [&](int k) { return static_cast<std::uint8_t>((light(k) * light(3) + 127) / 255); };
        out[x] = {mix(0), mix(1), mix(2)};
    }
}

// Only plain data lives in this frame across the jump: the decoder writes into `into`,
// which the caller owns.
Decoded decode_jpeg(std::FILE* file, JpegError& error, Image& into, int& orientation) {
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpeg_failed;
    error.manager.output_message = [](j_common_ptr) {};
    if (setjmp(error.back)) {
        jpeg_destroy_decompress(&info);
        return Decoded::damaged;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    orientation = orientation_of(info);
    const bool inks = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = inks ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);
    into.width = static_cast<int>(info.output_width);
    into.height = static_cast<int>(info.output_height);
    if (!sensible_size(into.width, into.height)) {
        jpeg_destroy_decompress(&info);
        return Decoded::bad_size;
    }
    into.pixels.resize(static_cast<std::size_t>(into.width) * into.height);
    JSAMPARRAY ink_row =
        inks ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, info.output_width * 4, 1)
             : nullptr;
    while (info.output_scanline < info.output_height) {
        Rgb* out = &into.at(0, static_cast<int>(info.output_scanline));
        JSAMPROW row = inks ? ink_row[0] : reinterpret_cast<JSAMPROW>(out);
        jpeg_read_scanlines(&info, &row, 1);
        if (inks) cmyk_to_rgb(row, out, info.output_width, info.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&info);
    // A damaged file decodes with warnings into grey patches: better refused.
    const bool whole = error.manager.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    return whole ? Decoded::whole : Decoded::damaged;
}

// How each Exif orientation is undone: the shown picture's (x, y), mirrored as said,
// and swapped when the camera was turned on its side, is the stored pixel.
struct Turn {
    bool swap, mirror_x, mirror_y;
};
constexpr Turn kTurns[] = {
    {false, false, false}, {false, true, false}, {false, true, true}, {false, false, true},
    {true, false, false},  {true, true, false},  {true, true, true},  {true, false, true},
};

Image upright(const Image& stored, int orientation) {
    if (orientation == 1) return stored;
    const Turn t = kTurns[orientation - 1];
    Image shown = t.swap ? Image(stored.height, stored.width) : Image(stored.width, stored.height);
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            const int u = t.mirror_x ? shown.width - 1 - x : x;
            const int v = t.mirror_y ? shown.height - 1 - y : y;
            shown.at(x, y) = t.swap ? stored.at(v, u) : stored.at(u, v);
        }
    return shown;
}

Image read_jpeg(const std::string& path, std::FILE* file) {
    JpegError error{};
    Image image;
    int orientation = 1;
    refuse_unless_whole(decode_jpeg(file, error, image, orientation), path, image);
    return upright(image, orientation);
}

// ---- Exif ----

struct Bytes {
    const unsigned char* data;
    std::size_t size;
    bool big_endian;

    bool has(std::size_t at, std::size_t n) const { return at <= size && n <= size - at; }
    unsigned u16(std::size_t at) const {
        return big_endian ? data[at] << 8 | data[at + 1] : data[at + 1] << 8 | data[at];
    }
    std::uint32_t u32(std::size_t at) const {
        return big_endian ? std::uint32_t{u16(at)} << 16 | u16(at + 2) : std::uint32_t{u16(at + 2)} << 16 | u16(at);
    }
};

}  // namespace

int exif_orientation(const unsigned char* segment, std::size_t size) {
    constexpr unsigned char kExif[] = {'E', 'x', 'i', 'f', 0, 0};
    constexpr unsigned kOrientationTag = 0x0112, kShort = 3;
    if (size < sizeof kExif || std::memcmp(segment, kExif, sizeof kExif) != 0) return 1;
    Bytes tiff{segment + sizeof kExif, size - sizeof kExif, false};  // offsets count from here
    if (!tiff.has(0, 8)) return 1;
    if (std::memcmp(tiff.data, "MM\0*", 4) == 0)
        tiff.big_endian = true;
    else if (std::memcmp(tiff.data, "II*\0", 4) != 0)
        return 1;
    const std::size_t ifd = tiff.u32(4);
    if (!tiff.has(ifd, 2)) return 1;
    const unsigned entries = tiff.u16(ifd);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + 12 * std::size_t{i};
        if (!tiff.has(entry, 12)) return 1;
        if (tiff.u16(entry) != kOrientationTag) continue;
        const unsigned value = tiff.u16(entry + 8);
        return tiff.u16(entry + 2) == kShort && tiff.u32(entry + 4) == 1 && value >= 1 && value <= 8
                   ? static_cast<int>(value)
                   : 1;
    }
    return 1;
}

Image read_picture(const std::string& path) {
    struct stat about {};
    if (stat(path.c_str(), &about) == 0 && S_ISDIR(about.st_mode)) throw failure(path, "is a folder");
    File file{std::fopen(path.c_str(), "rb")};
    if (!file) throw failure(path, std::string("cannot be read: ") + std::strerror(errno));
    unsigned char magic[8] = {};
    const std::size_t n = std::fread(magic, 1, sizeof magic, file.get());
    if (std::ferror(file.get())) throw failure(path, std::string("cannot be read: ") + std::strerror(errno));
    if (n == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0) return read_png(path, file.get());
    if (n >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        std::rewind(file.get());
        return read_jpeg(path, file.get());
    }
    throw failure(path, "is not a PNG or JPEG picture");
}

void write_png(const std::string& path, const Image& image) {
    static_assert(sizeof(Rgb) == 3, "pixels are written as they lie");
    if (!platform::files::write_png(path, image.width, image.height, &image.pixels.data()->r))
        throw failure(path, "can't be written");
}

Image shown(const Indexed& picture) {
    Image image(picture.width, picture.height);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        Rgb c = picture.palette[picture.pixels[i]];
        auto level = [](std::uint8_t v) { return static_cast<std::uint8_t>(((v >> 2) << 2) | (v >> 6)); };
        image.pixels[i] = {level(c.r), level(c.g), level(c.b)};
    }
    return image;
}

}  // namespace tools
