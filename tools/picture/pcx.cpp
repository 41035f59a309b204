// SPDX-License-Identifier: MIT
// PCX pictures as bytes, and read back; writing a file is the tools' (imageio.cpp), so that
// the page's photo module compiles this file without a disk.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "picture.h"

namespace tools {

namespace {

constexpr int kHeaderBytes = 128;
constexpr int kPaletteBytes = 768;
constexpr std::uint8_t kPaletteMarker = 0x0C;
constexpr int kLongestRun = 63;
constexpr std::uint8_t kRunFlag = 0xC0;

// Encoded rows are padded to an even length, as the format wants.
int bytes_per_line(int width) { return width + (width & 1); }

void put16(std::vector<std::uint8_t>& out, std::size_t at, int value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

int get16(const std::vector<std::uint8_t>& in, std::size_t at) { return in[at] | (in[at + 1] << 8); }

std::vector<std::uint8_t> header(const Indexed& picture) {
    std::vector<std::uint8_t> h(kHeaderBytes, 0);
    h[0] = 10;  // manufacturer
    h[1] = 5;   // version: with a 256-colour palette
    h[2] = 1;   // run-length encoding
    h[3] = 8;   // bits per pixel
    put16(h, 8, picture.width - 1);
    put16(h, 10, picture.height - 1);
    put16(h, 12, 72);  // resolution
    put16(h, 14, 72);
    h[65] = 1;  // planes
    put16(h, 66, bytes_per_line(picture.width));
    put16(h, 68, 1);  // a colour palette
    return h;
}

// One row's pixels as runs; a lone value below the run flag stands for itself.
void encode_row(std::vector<std::uint8_t>& out, const std::uint8_t* row, int n) {
    for (int i = 0; i < n;) {
        int run = 1;
        while (i + run < n && run < kLongestRun && row[i + run] == row[i]) ++run;
        if (run > 1 || row[i] >= kRunFlag) out.push_back(static_cast<std::uint8_t>(kRunFlag | run));
        out.push_back(row[i]);
        i += run;
    }
}

}  // namespace

std::vector<std::uint8_t> pcx_bytes(const Indexed& picture) {
    if (picture.width < 1 || picture.height < 1 || picture.width > 65536 || picture.height > 65536 ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height)
        throw std::runtime_error("a picture of " + std::to_string(picture.width) + "x" +
                                 std::to_string(picture.height) + " can't be written");
    std::vector<std::uint8_t> out = header(picture);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(bytes_per_line(picture.width)), 0);
    for (int y = 0; y < picture.height; ++y) {
        std::copy_n(&picture.pixels[static_cast<std::size_t>(y) * picture.width], picture.width, row.begin());
        encode_row(out, row.data(), static_cast<int>(row.size()));
    }
    out.push_back(kPaletteMarker);
    for (const Rgb& c : picture.palette) out.insert(out.end(), {c.r, c.g, c.b});
    return out;
}

Indexed read_pcx(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error(path + ": can't be opened");
    std::vector<std::uint8_t> in{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    auto fail = [&](const std::string& why) { return std::runtime_error(path + ": " + why); };
    if (in.size() < kHeaderBytes + 1 + kPaletteBytes) throw fail("too short for a PCX picture");
    if (in[0] != 10 || in[2] != 1 || in[3] != 8 || in[65] != 1)
        throw fail("not an 8-bit, one-plane, run-length encoded PCX picture");
    if (in[in.size() - kPaletteBytes - 1] != kPaletteMarker) throw fail("no 256-colour palette at the end");

    Indexed picture;
    picture.width = get16(in, 8) - get16(in, 4) + 1;
    picture.height = get16(in, 10) - get16(in, 6) + 1;
    const int line = get16(in, 66);
    if (picture.width < 1 || picture.height < 1 || line < picture.width) throw fail("impossible sizes in the header");

    const std::size_t end = in.size() - kPaletteBytes - 1;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(line));
    std::size_t at = kHeaderBytes;
    picture.pixels.reserve(static_cast<std::size_t>(picture.width) * picture.height);
    std::uint8_t value = 0;
    int left = 0;  // runs may go on into the next row
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < line; ++x) {
            if (left == 0) {
                if (at >= end) throw fail("the pixels end early");
                std::uint8_t b = in[at++];
                left = 1;
                if (b > kRunFlag) {
                    if (at >= end) throw fail("the pixels end early");
                    left = b - kRunFlag;
                    b = in[at++];
                }
                value = b;
            }
            row[static_cast<std::size_t>(x)] = value;
            --left;
        }
        picture.pixels.insert(picture.pixels.end(), row.begin(), row.begin() + picture.width);
    }
    for (int i = 0; i < 256; ++i) {
        const std::size_t p = end + 1 + 3 * static_cast<std::size_t>(i);
        picture.palette[static_cast<std::size_t>(i)] = {in[p], in[p + 1], in[p + 2]};
    }
    return picture;
}

}  // namespace tools
