// SPDX-License-Identifier: MIT
#include "imageio.h"

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>
#include <png.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "files.h"
#include "store.h"

namespace tools {

namespace {

// Beyond these a picture is not decoded at all: what a picture may cost in time and memory
// is fixed by its declared size, read before any pixel. 100 million pixels is more than any
// camera gives but the largest medium-format backs; 65500 is JPEG's own limit on a side.
constexpr long long kMostPixels = 100'000'000;
constexpr long kLargestSide = 65500;
// The most pixels kept while a picture is read: each costs 12 bytes of sums. Shrinking to
// the size asked for keeps far fewer; only a very long panorama meets this.
constexpr long long kMostKept = 8'000'000;
// libjpeg's whole-picture buffers (progressive files) may take no more than this.
constexpr long kJpegMemory = 160L << 20;

using platform::files::File;

std::runtime_error failure(const std::string& path, const std::string& why) {
    return std::runtime_error(path + ": " + why);
}

std::runtime_error damaged(const std::string& path) { return failure(path, "is damaged"); }

bool sensible_size(long width, long height) {
    return width >= 1 && height >= 1 && width <= kLargestSide && height <= kLargestSide &&
           static_cast<long long>(width) * height <= kMostPixels;
}

std::runtime_error size_failure(const std::string& path, long width, long height) {
    return failure(path, "is too large: " + std::to_string(width) + "x" + std::to_string(height) +
                             " pixels, where at most 100 million pixels (such as 11500x8600) and 65500 on a "
                             "side are read; make it smaller first");
}

// ---- shrinking while decoding ----

// How many source pixels across (and down) make one kept pixel: as many as leave the
// picture at least `least_width` wide and `least_height` high, and no fewer than keep it
// within kMostKept pixels.
int shrink_factor(long width, long height, int least_width, int least_height) {
    long factor = least_width > 0 && least_height > 0 ? std::min(width / least_width, height / least_height) : 1;
    factor = std::max(1L, factor);
    while (static_cast<long long>((width + factor - 1) / factor) * ((height + factor - 1) / factor) > kMostKept)
        ++factor;
    return static_cast<int>(factor);
}

// The sums of squares of factor x factor source pixels, filled as rows or interlaced
// passes arrive, so that a large picture is never held whole.
struct Shrunk {
    int width = 0, height = 0;  // of the source
    int factor = 1;
    int kept_width = 0, kept_height = 0;
    std::vector<std::uint32_t> sums;  // three a kept pixel, row by row
};

void start_shrinking(Shrunk& s, int width, int height, int factor) {
    s.width = width;
    s.height = height;
    s.factor = factor;
    s.kept_width = (width + factor - 1) / factor;
    s.kept_height = (height + factor - 1) / factor;
    s.sums.assign(static_cast<std::size_t>(s.kept_width) * s.kept_height * 3, 0);
}

// `count` pixels of source row y, the first at column `first`, then every `step` columns.
void add_row(Shrunk& s, int y, int first, int step, const Rgb* row, int count) {
    std::uint32_t* band = &s.sums[static_cast<std::size_t>(y / s.factor) * s.kept_width * 3];
    for (int i = 0, x = first; i < count; ++i, x += step) {
        std::uint32_t* sum = band + static_cast<std::size_t>(x / s.factor) * 3;
        sum[0] += row[i].r;
        sum[1] += row[i].g;
        sum[2] += row[i].b;
    }
}

Image shrunk_image(const Shrunk& s) {
    Image image(s.kept_width, s.kept_height);
    for (int y = 0; y < s.kept_height; ++y) {
        const int down = std::min(s.factor, s.height - y * s.factor);  // fewer at the edges
        for (int x = 0; x < s.kept_width; ++x) {
            const std::uint32_t n = static_cast<std::uint32_t>(down * std::min(s.factor, s.width - x * s.factor));
            const std::uint32_t* sum = &s.sums[(static_cast<std::size_t>(y) * s.kept_width + x) * 3];
            auto mean = [n](std::uint32_t total) { return static_cast<std::uint8_t>((total + n / 2) / n); };
            image.at(x, y) = {mean(sum[0]), mean(sum[1]), mean(sum[2])};
        }
    }
    return image;
}

// What a caller wants of a decoder: the least size to shrink to, and room for its work.
struct Decoding {
    int least_width, least_height;
    Shrunk into;
    std::vector<Rgb> row;
    long width = 0, height = 0;  // as the file declares them
};

enum class Decoded { whole, damaged, bad_size, too_much_memory };

// A decoder's verdict in the player's words, when it is not a whole picture.
void refuse_unless_whole(Decoded verdict, const std::string& path, const Decoding& d) {
    if (verdict == Decoded::bad_size) throw size_failure(path, d.width, d.height);
    if (verdict == Decoded::too_much_memory)
        throw failure(path, "needs more memory to read than is allowed; save it smaller or as a baseline JPEG");
    if (verdict == Decoded::damaged) throw damaged(path);
}

// ---- PNG ----

// Every pass of an interlaced file, or the one pass of a plain file, row by row.
void read_png_rows(png_structp png, bool interlaced, Decoding& d) {
    const int width = static_cast<int>(d.width), height = static_cast<int>(d.height);
    for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
        const int across = interlaced ? static_cast<int>(PNG_PASS_COLS(width, pass)) : width;
        const int down = interlaced ? static_cast<int>(PNG_PASS_ROWS(height, pass)) : height;
        if (across == 0 || down == 0) continue;  // libpng skips empty passes
        const int first = interlaced ? PNG_PASS_START_COL(pass) : 0, step = interlaced ? PNG_PASS_COL_OFFSET(pass) : 1;
        const int top = interlaced ? PNG_PASS_START_ROW(pass) : 0, below = interlaced ? PNG_PASS_ROW_OFFSET(pass) : 1;
        for (int r = 0; r < down; ++r) {
            png_read_row(png, reinterpret_cast<png_bytep>(d.row.data()), nullptr);
            add_row(d.into, top + r * below, first, step, d.row.data(), across);
        }
    }
}

// Only plain data lives in this frame across libpng's jump: all else is in `d`, which the
// caller owns.
Decoded decode_png(std::FILE* file, Decoding& d) {
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
    d.width = static_cast<long>(png_get_image_width(png, info));
    d.height = static_cast<long>(png_get_image_height(png, info));
    if (!sensible_size(d.width, d.height)) {
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
    png_read_update_info(png, info);
    start_shrinking(d.into, static_cast<int>(d.width), static_cast<int>(d.height),
                    shrink_factor(d.width, d.height, d.least_width, d.least_height));
    d.row.resize(static_cast<std::size_t>(d.width));
    read_png_rows(png, png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7, d);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return Decoded::whole;
}

Image read_png(const std::string& path, std::FILE* file, int least_width, int least_height) {
    Decoding d{least_width, least_height, {}, {}};
    refuse_unless_whole(decode_png(file, d), path, d);
    return shrunk_image(d.into);
}

// ---- JPEG ----

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void jpeg_failed(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->back, 1); }

// A damaged file decodes with warnings into grey patches: better refused at the first,
// before the rest of a large picture is decoded in vain.
void jpeg_message(j_common_ptr info, int level) {
    if (level < 0) jpeg_failed(info);
}

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

// libjpeg shrinks by 2, 4 or 8 as it decodes, at little cost: as far as the factor allows.
unsigned jpeg_reduction(int factor) {
    unsigned reduction = 1;
    while (reduction < 8 && static_cast<int>(reduction) * 2 <= factor) reduction *= 2;
    return reduction;
}

bool turned_sideways(int orientation) { return orientation >= 5; }

// Only plain data lives in this frame across the jump: all else is in `d` and `error`,
// which the caller owns.
Decoded decode_jpeg(std::FILE* file, JpegError& error, Decoding& d, int& orientation) {
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpeg_failed;
    error.manager.emit_message = jpeg_message;
    error.manager.output_message = [](j_common_ptr) {};
    if (setjmp(error.back)) {
        const int code = error.manager.msg_code;
        jpeg_destroy_decompress(&info);
        return code == JERR_NO_BACKING_STORE || code == JERR_OUT_OF_MEMORY ? Decoded::too_much_memory
                                                                           : Decoded::damaged;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = kJpegMemory;
    jpeg_stdio_src(&info, file);
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    d.width = static_cast<long>(info.image_width);
    d.height = static_cast<long>(info.image_height);
    if (!sensible_size(d.width, d.height)) {
        jpeg_destroy_decompress(&info);
        return Decoded::bad_size;
    }
    orientation = orientation_of(info);
    if (turned_sideways(orientation)) std::swap(d.least_width, d.least_height);
    const bool inks = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = inks ? JCS_CMYK : JCS_RGB;
    info.scale_num = 1;
    info.scale_denom = jpeg_reduction(shrink_factor(d.width, d.height, d.least_width, d.least_height));
    jpeg_start_decompress(&info);
    const auto width = static_cast<int>(info.output_width), height = static_cast<int>(info.output_height);
    start_shrinking(d.into, width, height, shrink_factor(width, height, d.least_width, d.least_height));
    d.row.resize(static_cast<std::size_t>(width));
    JSAMPARRAY ink_row =
        inks ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, info.output_width * 4, 1)
             : nullptr;
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        JSAMPROW row = inks ? ink_row[0] : reinterpret_cast<JSAMPROW>(d.row.data());
        jpeg_read_scanlines(&info, &row, 1);
        if (inks) cmyk_to_rgb(row, d.row.data(), info.output_width, info.saw_Adobe_marker);
        add_row(d.into, y, 0, 1, d.row.data(), width);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return Decoded::whole;
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

Image read_jpeg(const std::string& path, std::FILE* file, int least_width, int least_height) {
    JpegError error{};
    Decoding d{least_width, least_height, {}, {}};
    int orientation = 1;
    refuse_unless_whole(decode_jpeg(file, error, d, orientation), path, d);
    return upright(shrunk_image(d.into), orientation);
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

Image read_picture(const std::string& path, int least_width, int least_height) {
    struct stat about {};
    if (stat(path.c_str(), &about) == 0 && S_ISDIR(about.st_mode)) throw failure(path, "is a folder");
    File file{std::fopen(path.c_str(), "rb")};
    if (!file) throw failure(path, std::string("cannot be read: ") + std::strerror(errno));
    unsigned char magic[8] = {};
    const std::size_t n = std::fread(magic, 1, sizeof magic, file.get());
    if (std::ferror(file.get())) throw failure(path, std::string("cannot be read: ") + std::strerror(errno));
    if (n == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0)
        return read_png(path, file.get(), least_width, least_height);
    if (n >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        std::rewind(file.get());
        return read_jpeg(path, file.get(), least_width, least_height);
    }
    throw failure(path, "is not a PNG or JPEG picture");
}

void write_png(const std::string& path, const Image& image) {
    static_assert(sizeof(Rgb) == 3, "pixels are written as they lie");
    if (!platform::files::write_png(path, image.width, image.height, &image.pixels.data()->r))
        throw failure(path, "cannot be written: " + platform::store::why_not_written(errno));
}

void write_pcx(const std::string& path, const Indexed& picture) {
    std::vector<std::uint8_t> out;
    try {
        out = pcx_bytes(picture);
    } catch (const std::runtime_error& e) {
        throw failure(path, e.what());
    }
    if (!platform::store::write_whole(path, out.data(), out.size(), platform::store::Link::replaced))
        throw failure(path, "cannot be written: " + platform::store::why_not_written(errno));
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
