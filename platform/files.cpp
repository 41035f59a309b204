// SPDX-License-Identifier: MIT
#include "files.h"

#include <png.h>

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

}  // namespace platform::files
