// SPDX-License-Identifier: MIT
#include "quantise.h"

#include <libimagequant.h>

#include <memory>
#include <stdexcept>

namespace tools {

namespace {

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

}  // namespace

Indexed quantise(const Image& image, float dithering, bool keep_last_black) {
    Attr attr{liq_attr_create()};
    if (!attr) throw std::runtime_error("colour quantisation failed: no memory");
    check(liq_set_max_colors(attr.get(), keep_last_black ? kMostColours - 1 : kMostColours), "colour count");
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

    std::vector<std::uint8_t> pixels(image.pixels.size());
    check(liq_write_remapped_image(result.get(), input.get(), pixels.data(), pixels.size()), "remapping");
    const liq_palette& found = *liq_get_palette(result.get());
    std::vector<Rgb> colours;
    for (unsigned i = 0; i < found.count; ++i)
        colours.push_back({found.entries[i].r, found.entries[i].g, found.entries[i].b});
    return level_picture(colours, pixels, image.width, image.height, keep_last_black);
}

}  // namespace tools
