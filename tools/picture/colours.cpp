// SPDX-License-Identifier: MIT
#include "colours.h"

#include <cmath>
#include <stdexcept>

namespace tools {

namespace {

constexpr int kLastEntry = 255;

bool reserved(int entry) {
    if (entry == kHelpInkEntry) return true;
    for (const Standard& s : kStandardColours)
        if (s.entry == entry) return true;
    return false;
}

Rgb on_screen(Rgb c) { return {screen_level(c.r), screen_level(c.g), screen_level(c.b)}; }

// Where each colour goes in the palette: the first of each standard colour to its fixed
// entry, the rest in order to the entries left over.
std::vector<int> placement(const std::vector<Rgb>& colours) {
    std::vector<int> entry(colours.size(), -1);
    for (const Standard& s : kStandardColours) {
        for (std::size_t i = 0; i < colours.size(); ++i) {
            if (entry[i] < 0 && on_screen(colours[i]) == s.colour) {
                entry[i] = s.entry;
                break;
            }
        }
    }
    int next = 0;
    for (int& e : entry) {
        if (e >= 0) continue;
        while (reserved(next)) ++next;
        e = next++;
    }
    return entry;
}

}  // namespace

std::uint8_t screen_level(std::uint8_t component) {
    const int level = (component * 63 + 127) / 255;
    return static_cast<std::uint8_t>((level << 2) | (level >> 4));
}

Indexed level_picture(const std::vector<Rgb>& colours, const std::vector<std::uint8_t>& pixels, int width, int height,
                      bool keep_last_black) {
    const std::vector<int> entry = placement(colours);
    Indexed out;
    out.width = width;
    out.height = height;
    for (std::size_t i = 0; i < colours.size(); ++i)
        out.palette[static_cast<std::size_t>(entry[i])] = on_screen(colours[i]);
    for (const Standard& s : kStandardColours) {
        if (out.palette[static_cast<std::size_t>(s.entry)] != s.colour)
            throw std::runtime_error("colour quantisation failed: a standard colour was lost");
    }
    out.palette[kHelpInkEntry] = out.palette[kWhiteEntry];
    if (keep_last_black && out.palette[kLastEntry] != Rgb{0, 0, 0})
        throw std::runtime_error("colour quantisation failed: entry 255 was taken");
    out.pixels.reserve(pixels.size());
    for (std::uint8_t p : pixels) out.pixels.push_back(static_cast<std::uint8_t>(entry[p]));
    return out;
}

double mean_colour_error(const Image& before, const Indexed& after) {
    if (before.width != after.width || before.height != after.height)
        throw std::runtime_error("the level and the picture differ in size");
    double sum = 0;
    for (std::size_t i = 0; i < before.pixels.size(); ++i) {
        const Rgb a = before.pixels[i], b = after.palette[after.pixels[i]];
        const double dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
        sum += std::sqrt(dr * dr + dg * dg + db * db);
    }
    return before.pixels.empty() ? 0 : sum / static_cast<double>(before.pixels.size());
}

}  // namespace tools
