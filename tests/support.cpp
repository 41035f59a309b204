// SPDX-License-Identifier: MIT
#include "support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace test {

void Machine::SetUp() { switch_on(); }

void Machine::TearDown() { vora256::mode(0); }

std::vector<unsigned char> snapshot() {
    const unsigned char* v = sim::vram();
    return {v, v + kAllBytes};
}

std::vector<int> differences(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    std::vector<int> out;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) out.push_back(static_cast<int>(i));
    return out;
}

int offset(int x, int y) { return x + 640 * y; }

std::vector<unsigned char> test_glyphs() {
    std::vector<unsigned char> glyphs(2040);
    // A small linear congruential sequence: every glyph distinct, rows with ink and paper.
    std::uint32_t s = 12345;
    for (auto& g : glyphs) {
        s = s * 1103515245u + 12345u;
        g = static_cast<unsigned char>(s >> 16);
    }
    glyphs[0] = 0x3C;  // not 'S', so a headerless file stays headerless
    return glyphs;
}

std::string temp_dir() {
    std::string pattern = ::testing::TempDir() + "brinXXXXXX";
    char* made = mkdtemp(pattern.data());
    if (made == nullptr) std::abort();
    return std::string(made) + "/";
}

void write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned char pattern_at(int offset) {
    return static_cast<unsigned char>(offset * 7 + offset / 640 * 13 + offset / 65536);
}

void paint_pattern() {
    std::vector<unsigned char> row(640);
    for (int y = 0; y < kScreenBytes / 640; ++y) {
        for (int x = 0; x < 640; ++x) row[static_cast<std::size_t>(x)] = pattern_at(offset(x, y));
        vora256::write_run(static_cast<unsigned>(offset(0, y)), row.data(), 640);
    }
}

std::vector<unsigned char> pcx_file(int xmax, int ymax, const std::vector<unsigned char>& body,
                                    const std::vector<unsigned char>& palette) {
    // Sized at once: GCC 12 sees a false overflow in inserts after a 128-byte start.
    std::vector<unsigned char> file(128 + body.size() + 1 + palette.size());
    file[0] = 10;  // manufacturer, version 5, RLE, 8 bits, one plane
    file[1] = 5;
    file[2] = 1;
    file[3] = 8;
    file[8] = static_cast<unsigned char>(xmax);
    file[9] = static_cast<unsigned char>(xmax >> 8);
    file[10] = static_cast<unsigned char>(ymax);
    file[11] = static_cast<unsigned char>(ymax >> 8);
    file[65] = 1;
    auto at = std::copy(body.begin(), body.end(), file.begin() + 128);
    *at++ = 0x0C;
    std::copy(palette.begin(), palette.end(), at);
    return file;
}

std::vector<unsigned char> test_palette() {
    std::vector<unsigned char> p(768);
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<unsigned char>(i * 37 + i / 256);
    return p;
}

std::string fixture(const std::string& name) { return std::string(BRIN_FIXTURES) + "/" + name; }

}  // namespace test
