#include "support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace test {

void Machine::SetUp() {
    sim::reset();
    // The library's settings as at program start.
    vora256::BANCO = 0;
    vora256::INK = 9;
    vora256::PAPER = 1;
    vora256::FONTX = 1;
    vora256::FONTY = 1;
    vora256::MOUSE = 1;
    vora256::mode(10);
}

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

}  // namespace test
