// SPDX-License-Identifier: MIT
// make-font: topaz.fon, the game's 8x8 font of 255 glyphs in code page 437 order, from a
// Linux console font (PSF version 1 with a Unicode table, gzip-compressed or not).
//   make-font CONSOLEFONT.psf.gz OUT.fon
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli.h"
#include "store.h"

namespace {

constexpr int kGlyphs = 255;  // codes 0-254; the game has no room for 255
constexpr int kRows = 8;
using Glyph = std::array<std::uint8_t, kRows>;

// Code page 437: what each code shows, as Unicode.
constexpr char32_t kCodePage437[256] = {
    0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 0-7
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,  // 8-15
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 16-23
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,  // 24-31
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,  // 32-39
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,  // 40-47
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 48-55
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,  // 56-63
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // 64-71
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,  // 72-79
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // 80-87
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,  // 88-95
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // 96-103
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,  // 104-111
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // 112-119
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x2302,  // 120-127
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 128-135
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 136-143
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 144-151
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 152-159
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // 160-167
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // 168-175
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // 176-183
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // 184-191
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // 192-199
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // 200-207
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // 208-215
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // 216-223
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // 224-231
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // 232-239
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // 240-247
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // 248-255
};

// Shapes console fonts often lack under the code page's own character.
const std::map<char32_t, char32_t> kStandIns = {
    {0x25BA, 0x25B6},  // black right-pointing pointer: triangle
    {0x25C4, 0x25C0},  // black left-pointing pointer: triangle
};

// Drawn here where the console font has nothing: bit 7 is the left pixel.
const std::map<char32_t, Glyph> kDrawn = {
    {0x20A7, {0xF8, 0xCC, 0xCC, 0xFA, 0xC7, 0xC2, 0xC3, 0x00}},  // peseta sign: Pt
    {0x2310, {0x00, 0x00, 0x00, 0xFE, 0xC0, 0xC0, 0x00, 0x00}},  // reversed not sign
    {0x221E, {0x00, 0x00, 0x7E, 0xDB, 0xDB, 0x7E, 0x00, 0x00}},  // infinity
    {0x2229, {0x00, 0x7C, 0xC6, 0xC6, 0xC6, 0xC6, 0xC6, 0x00}},  // intersection
    {0x2261, {0x00, 0xFE, 0x00, 0xFE, 0x00, 0xFE, 0x00, 0x00}},  // identical to
};

struct ConsoleFont {
    std::vector<Glyph> glyphs;
    std::map<char32_t, std::size_t> glyph_of;  // first glyph listed for a character
};

std::vector<std::uint8_t> gunzip(const std::string& path) {
    gzFile in = gzopen(path.c_str(), "rb");
    if (in == nullptr) throw std::runtime_error(path + ": can't be opened");
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[4096];
    int n = 0;
    while ((n = gzread(in, buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    gzclose(in);
    if (n < 0) throw std::runtime_error(path + ": damaged");
    return bytes;
}

ConsoleFont read_psf(const std::string& path) {
    const std::vector<std::uint8_t> psf = gunzip(path);
    auto fail = [&](const char* why) { return std::runtime_error(path + ": " + why); };
    if (psf.size() < 4 || psf[0] != 0x36 || psf[1] != 0x04) throw fail("not a PSF version 1 console font");
    const int mode = psf[2];
    if (psf[3] != kRows) throw fail("not an 8x8 font");
    if ((mode & 0x02) == 0) throw fail("no Unicode table");
    const std::size_t count = (mode & 0x01) ? 512 : 256;
    if (psf.size() < 4 + count * kRows) throw fail("too short");

    ConsoleFont font;
    font.glyphs.resize(count);
    for (std::size_t g = 0; g < count; ++g) std::copy_n(&psf[4 + g * kRows], kRows, font.glyphs[g].begin());
    // Each glyph's characters, 16-bit little-endian, ending in FFFF; FFFE starts sequences,
    // which describe combinations and are not single characters.
    std::size_t at = 4 + count * kRows;
    for (std::size_t g = 0; g < count; ++g) {
        bool in_sequences = false;
        for (;;) {
            if (at + 2 > psf.size()) throw fail("Unicode table ends early");
            const char32_t u = psf[at] | (psf[at + 1] << 8);
            at += 2;
            if (u == 0xFFFF) break;
            if (u == 0xFFFE) in_sequences = true;
            if (!in_sequences) font.glyph_of.emplace(u, g);
        }
    }
    return font;
}

Glyph glyph_for(const ConsoleFont& font, char32_t u) {
    if (u == 0) return {};  // drawn for empty name bytes: blank
    auto found = font.glyph_of.find(u);
    if (found == font.glyph_of.end()) {
        if (auto drawn = kDrawn.find(u); drawn != kDrawn.end()) return drawn->second;
        if (auto other = kStandIns.find(u); other != kStandIns.end()) found = font.glyph_of.find(other->second);
    }
    if (found == font.glyph_of.end()) throw std::runtime_error("no glyph for U+" + std::to_string(u));
    return font.glyphs[found->second];
}

bool blank(const Glyph& g) {
    for (auto row : g)
        if (row != 0) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    return tools::run("make-font", [&] {
        if (argc != 3) throw std::runtime_error("usage: make-font CONSOLEFONT.psf[.gz] OUT.fon");
        const ConsoleFont font = read_psf(argv[1]);
        std::vector<std::uint8_t> table;
        for (int code = 0; code < kGlyphs; ++code) {
            const Glyph g = glyph_for(font, kCodePage437[code]);
            const bool should_be_blank = code == 0 || code == ' ';
            if (blank(g) != should_be_blank)
                throw std::runtime_error("code " + std::to_string(code) + (should_be_blank ? " has ink" : " is blank"));
            table.insert(table.end(), g.begin(), g.end());
        }
        // A first byte of 'S' would be taken for a header; glyph 0 is blank, so it is 0.
        if (!platform::store::write_whole(argv[2], table.data(), table.size()))
            throw std::runtime_error(std::string(argv[2]) +
                                     ": cannot be written: " + platform::store::why_not_written(errno));
    });
}
