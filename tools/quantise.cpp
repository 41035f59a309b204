// SPDX-License-Identifier: MIT
#include "quantise.h"

#include <libimagequant.h>

#include <memory>
#include <stdexcept>

namespace tools {

namespace {

constexpr int kColours = 255;  // all entries but the help ink, which repeats white
constexpr int kLastEntry = 255;

template <typename T, void (*Destroy)(T*)>
struct Deleter {
    void operator()(T* p) const { Destroy(p); }
};
using Attr = std::unique_ptr<liq_attr, Deleter<liq_attr, liq_attr_destroy>>;
using LiqImage = std::unique_ptr<liq_image, Deleter<liq_image, liq_image_destroy>>;
using Result = std::unique_ptr<liq_result, Deleter<liq_result, liq_result_destroy>>;

void check(liq_error e, const char* what) {
    if (e != LIQ_OK) throw std::runtime_error(std::string("colour quantisation failed: ") + what);
}

std::vector<liq_color> rgba_of(const Image& image) {
    std::vector<liq_color> rgba(image.pixels.size());
    for (std::size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = {image.pixels[i].r, image.pixels[i].g, image.pixels[i].b, 255};
    return rgba;
}

// Where each of the quantiser's colours goes in our palette: the standard colours to
// their fixed entries, the rest in order to the entries left over.
std::vector<int> placement(const liq_palette& found) {
    std::vector<int> entry(found.count, -1);
    for (const Standard& s : kStandardColours) {
        for (unsigned i = 0; i < found.count; ++i) {
            const liq_color& c = found.entries[i];
            if (entry[i] < 0 && screen_level(c.r) == s.colour.r && screen_level(c.g) == s.colour.g &&
                screen_level(c.b) == s.colour.b) {
                entry[i] = s.entry;
                break;
            }
        }
    }
    int next = 0;
    auto taken = [](int e) {
        if (e == kHelpInkEntry) return true;
        for (const Standard& s : kStandardColours)
            if (s.entry == e) return true;
        return false;
    };
    for (int& e : entry) {
        if (e >= 0) continue;
        while (taken(next)) ++next;
        e = next++;
    }
    return entry;
}

}  // namespace

Indexed quantise(const Image& image, float dithering, bool keep_last_black) {
    Attr attr{liq_attr_create()};
    if (!attr) throw std::runtime_error("colour quantisation failed: no memory");
    check(liq_set_max_colors(attr.get(), keep_last_black ? kColours - 1 : kColours), "colour count");
    check(liq_set_min_posterization(attr.get(), 2), "posterization");  // 6-bit levels on screen
    check(liq_set_speed(attr.get(), 3), "speed");

    std::vector<liq_color> rgba = rgba_of(image);
    LiqImage input{liq_image_create_rgba(attr.get(), rgba.data(), image.width, image.height, 0)};
    if (!input) throw std::runtime_error("colour quantisation failed: bad image");
    for (const Standard& s : kStandardColours)
        check(liq_image_add_fixed_color(input.get(), {s.colour.r, s.colour.g, s.colour.b, 255}), "fixed colour");

    liq_result* raw = nullptr;
    check(liq_image_quantize(input.get(), attr.get(), &raw), "palette");
    Result result{raw};
    check(liq_set_dithering_level(result.get(), dithering), "dithering");

    Indexed out;
    out.width = image.width;
    out.height = image.height;
    out.pixels.resize(image.pixels.size());
    check(liq_write_remapped_image(result.get(), input.get(), out.pixels.data(), out.pixels.size()), "remapping");

    const liq_palette& found = *liq_get_palette(result.get());
    const std::vector<int> entry = placement(found);
    for (unsigned i = 0; i < found.count; ++i) {
        const liq_color& c = found.entries[i];
        out.palette[static_cast<std::size_t>(entry[i])] = {screen_level(c.r), screen_level(c.g), screen_level(c.b)};
    }
    for (const Standard& s : kStandardColours) {
        if (out.palette[static_cast<std::size_t>(s.entry)] != s.colour)
            throw std::runtime_error("colour quantisation failed: a standard colour was lost");
    }
    out.palette[kHelpInkEntry] = out.palette[kWhiteEntry];
    if (keep_last_black && out.palette[kLastEntry] != Rgb{0, 0, 0})
        throw std::runtime_error("colour quantisation failed: entry 255 was taken");
    for (std::uint8_t& p : out.pixels) p = static_cast<std::uint8_t>(entry[p]);
    return out;
}

}  // namespace tools
