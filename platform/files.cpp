// SPDX-License-Identifier: MIT
#include "files.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "store.h"

namespace platform::files {

namespace {

using Bytes = std::vector<unsigned char>;

void append(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void no_flush(png_structp) {}

// The picture as the bytes of a PNG file; false when libpng can't make them.
bool png_bytes(int width, int height, const unsigned char* rgb, Bytes& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, append, no_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, rgb + std::size_t{3} * static_cast<std::size_t>(width) * y);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

void put_le(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>((value >> (8 * i)) & 0xFF));
}

void put_text(Bytes& out, const char* text) { out.insert(out.end(), text, text + std::strlen(text)); }

}  // namespace

bool write_file(const std::string& path, const unsigned char* data, std::size_t size) {
    return store::write_whole(path, data, size);
}

bool write_png(const std::string& path, int width, int height, const unsigned char* rgb) {
    Bytes out;
    return png_bytes(width, height, rgb, out) && write_file(path, out.data(), out.size());
}

bool write_wav(const char* path, const std::vector<float>& samples, int rate) {
    auto data_bytes = static_cast<std::uint32_t>(2 * samples.size());
    Bytes out;
    put_text(out, "RIFF");
    put_le(out, 36 + data_bytes, 4);
    put_text(out, "WAVEfmt ");
    put_le(out, 16, 4);  // format chunk size
    put_le(out, 1, 2);   // PCM
    put_le(out, 1, 2);   // mono
    put_le(out, static_cast<std::uint32_t>(rate), 4);
    put_le(out, static_cast<std::uint32_t>(2 * rate), 4);  // bytes a second
    put_le(out, 2, 2);                                     // bytes a frame
    put_le(out, 16, 2);                                    // bits a sample
    put_text(out, "data");
    put_le(out, data_bytes, 4);
    for (float s : samples) {
        long q = std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f);
        put_le(out, static_cast<std::uint32_t>(q) & 0xFFFF, 2);
    }
    return write_file(path, out.data(), out.size());
}

}  // namespace platform::files
