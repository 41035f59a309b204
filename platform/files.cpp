// SPDX-License-Identifier: MIT
#include "files.h"

#include <png.h>

#include <algorithm>
#include <cmath>

namespace platform::files {

bool close(File& f) {
    bool ok = std::ferror(f.get()) == 0;
    return std::fclose(f.release()) == 0 && ok;
}

bool write_file(const std::string& path, const unsigned char* data, std::size_t size) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f.get()) == size;
    return close(f) && ok;
}

bool write_png(const std::string& path, int width, int height, const unsigned char* rgb) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) return false;
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
    png_init_io(png, f.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, rgb + std::size_t{3} * static_cast<std::size_t>(width) * y);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return close(f);
}

namespace {

void put_le(std::FILE* f, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), f);
}

}  // namespace

bool write_wav(const char* path, const std::vector<float>& samples, int rate) {
    File file(std::fopen(path, "wb"));
    if (!file) return false;
    std::FILE* f = file.get();
    auto data_bytes = static_cast<std::uint32_t>(2 * samples.size());
    std::fputs("RIFF", f);
    put_le(f, 36 + data_bytes, 4);
    std::fputs("WAVEfmt ", f);
    put_le(f, 16, 4);  // format chunk size
    put_le(f, 1, 2);   // PCM
    put_le(f, 1, 2);   // mono
    put_le(f, static_cast<std::uint32_t>(rate), 4);
    put_le(f, static_cast<std::uint32_t>(2 * rate), 4);  // bytes a second
    put_le(f, 2, 2);                                     // bytes a frame
    put_le(f, 16, 2);                                    // bits a sample
    std::fputs("data", f);
    put_le(f, data_bytes, 4);
    for (float s : samples) {
        long q = std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f);
        put_le(f, static_cast<std::uint32_t>(q) & 0xFFFF, 2);
    }
    return close(file);
}

}  // namespace platform::files
