// SPDX-License-Identifier: MIT
// The high-score table's 58 bytes: five 16-bit little-endian scores, then the names by
// character row, byte 6 * row + entry (the sixth column is the game's room for a swap).
#include <algorithm>
#include <map>

#include "hall.h"

namespace hall {

namespace {

constexpr std::size_t kTableBytes = 58;
constexpr std::size_t kNames = 10;

// Code page 437 as the game's font draws it, control codes as their glyphs.
constexpr char32_t kLow[] = U"\0☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼";
constexpr char32_t kHigh[] =
    U"⌂ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
    U"αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0";
static_assert(std::size(kLow) == 32 + 1 && std::size(kHigh) == 129 + 1);

char32_t glyph(std::uint8_t c) {
    if (c < 32) return kLow[c];
    if (c < 127) return c;
    return kHigh[c - 127];
}

void put_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::array<Score, 5> entries(const Bytes& table) {
    Bytes b(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(std::min(table.size(), kTableBytes)));
    b.resize(kTableBytes, 0);
    std::array<Score, 5> out{};
    for (std::size_t e = 0; e < out.size(); ++e) {
        out[e].points = b[2 * e] | b[2 * e + 1] << 8;
        for (std::size_t row = 0; row < 8; ++row) out[e].name[row] = b[kNames + 6 * row + e];
    }
    return out;
}

std::vector<Score> entered(const Bytes& final_table, const Bytes& start, const std::vector<Bytes>& read_again) {
    // How many of each entry could have come from elsewhere: at most as many as the one
    // table that held the most of it, since the game's table was one of those, and then
    // only its own entries were added.
    std::map<Score, int> before;
    auto count = [&](const Bytes& table) {
        std::map<Score, int> here;
        for (const Score& s : entries(table)) ++here[s];
        for (const auto& [s, n] : here) before[s] = std::max(before[s], n);
    };
    count(start);
    for (const Bytes& t : read_again) count(t);
    std::vector<Score> mine;
    for (const Score& s : entries(final_table))
        if (before[s]-- <= 0) mine.push_back(s);
    return mine;
}

std::string name_text(const Score& s) {
    std::string out;
    for (std::uint8_t c : s.name) {
        if (c == 0) break;
        put_utf8(out, glyph(c));
    }
    return out;
}

}  // namespace hall
