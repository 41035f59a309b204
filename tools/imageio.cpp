#include "imageio.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "files.h"

namespace tools {

namespace {

constexpr long kLargestSide = 20000;  // beyond this a picture is surely not meant for us

using platform::files::File;

std::runtime_error failure(const std::string& path, const std::string& why) {
    return std::runtime_error(path + ": " + why);
}

bool sensible_size(long width, long height) {
    return width >= 1 && height >= 1 && width <= kLargestSide && height <= kLargestSide;
}

std::runtime_error size_failure(const std::string& path, long width, long height) {
    return failure(path, "a picture of " + std::to_string(width) + "x" + std::to_string(height) +
                             " pixels is not supported");
}

Image read_png(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) throw failure(path, std::string("bad PNG: ") + png.message);
    png.format = PNG_FORMAT_RGB;
    if (!sensible_size(png.width, png.height)) {
        png_image_free(&png);
        throw size_failure(path, png.width, png.height);
    }
    Image image(static_cast<int>(png.width), static_cast<int>(png.height));
    png_color black{0, 0, 0};
    if (!png_image_finish_read(&png, &black, image.pixels.data(), 0, nullptr))
        throw failure(path, std::string("bad PNG: ") + png.message);
    return image;
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void jpeg_failed(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->back, 1);
}

// Only plain data lives in this frame across the jump: the decoder writes into `into`,
// which the caller owns. A picture of unsupported size leaves its size in `into`, no
// pixels and no message.
bool decode_jpeg(std::FILE* file, JpegError& error, Image& into) {
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpeg_failed;
    error.manager.output_message = [](j_common_ptr) {};  // the message goes into the error
    if (setjmp(error.back)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    into.width = static_cast<int>(info.output_width);
    into.height = static_cast<int>(info.output_height);
    if (!sensible_size(into.width, into.height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    into.pixels.resize(static_cast<std::size_t>(into.width) * into.height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(&into.pixels[static_cast<std::size_t>(info.output_scanline) * into.width]);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    // A damaged file decodes with warnings into grey patches: better refused.
    const bool whole = error.manager.num_warnings == 0;
    if (!whole) (*error.manager.format_message)(reinterpret_cast<j_common_ptr>(&info), error.message);
    jpeg_destroy_decompress(&info);
    return whole;
}

Image read_jpeg(const std::string& path, std::FILE* file) {
    JpegError error{};
    Image image;
    if (decode_jpeg(file, error, image)) return image;
    if (error.message[0] == 0) throw size_failure(path, image.width, image.height);
    throw failure(path, std::string("bad JPEG: ") + error.message);
}

}  // namespace

Image read_picture(const std::string& path) {
    File file{std::fopen(path.c_str(), "rb")};
    if (!file) throw failure(path, "can't be opened");
    unsigned char magic[8] = {};
    const std::size_t n = std::fread(magic, 1, sizeof magic, file.get());
    if (n == sizeof magic && png_sig_cmp(magic, 0, sizeof magic) == 0) return read_png(path);
    if (n >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        std::rewind(file.get());
        return read_jpeg(path, file.get());
    }
    throw failure(path, "neither a PNG nor a JPEG picture");
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
