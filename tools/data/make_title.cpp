// SPDX-License-Identifier: MIT
// make-title: brin.pcx, the title graphics: the studio's mark, the game's name and the
// game-over words, each inside the rectangle the game cuts it from, lettered with a
// TrueType font.
//   make-title FONT.ttf OUT.pcx
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <stdexcept>
#include <string>

#include "cli.h"
#include "imageio.h"
#include "quantise.h"
#include "render.h"

namespace {

using tools::Canvas;
using tools::Colour;
using tools::hex;

constexpr int kWidth = 332;
constexpr int kHeight = 98;

struct Box {
    int left, top, width, height;
};
// Where the game cuts its three images from.
constexpr Box kStudio{218, 0, 112, 36};
constexpr Box kTitle{0, 0, 205, 55};
constexpr Box kGameOver{88, 62, 244, 36};

// Ink coverage of a line of text, 0 to 1 per pixel.
struct Mask {
    int width = 0, height = 0;
    std::vector<double> ink;
    double at(int x, int y) const {
        return x < 0 || y < 0 || x >= width || y >= height ? 0 : ink[static_cast<std::size_t>(y) * width + x];
    }
};

class Font {
public:
    explicit Font(const std::string& path) {
        if (FT_Init_FreeType(&library_) != 0) throw std::runtime_error("FreeType can't start");
        if (FT_New_Face(library_, path.c_str(), 0, &face_) != 0) {
            FT_Done_FreeType(library_);
            throw std::runtime_error(path + ": not a font FreeType can read");
        }
    }
    ~Font() {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // `text` at `size` pixels per em, `tracking` extra pixels between letters.
    Mask render(const std::string& text, int size, int tracking) {
        FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(size));
        const int ascent = static_cast<int>(face_->size->metrics.ascender >> 6);
        const int height = static_cast<int>((face_->size->metrics.ascender - face_->size->metrics.descender) >> 6);
        Mask m;
        m.height = height;
        int pen = 0;
        for (char ch : text) pen += advance(ch) + tracking;
        m.width = pen - tracking + size / 4;
        m.ink.assign(static_cast<std::size_t>(m.width) * m.height, 0.0);
        pen = 0;
        for (char ch : text) {
            load(ch);
            const FT_GlyphSlot g = face_->glyph;
            for (unsigned y = 0; y < g->bitmap.rows; ++y)
                for (unsigned x = 0; x < g->bitmap.width; ++x) {
                    const int mx = pen + g->bitmap_left + static_cast<int>(x);
                    const int my = ascent - g->bitmap_top + static_cast<int>(y);
                    if (mx < 0 || my < 0 || mx >= m.width || my >= m.height) continue;
                    double& ink = m.ink[static_cast<std::size_t>(my) * m.width + mx];
                    ink = std::max(ink, g->bitmap.buffer[y * static_cast<unsigned>(g->bitmap.pitch) + x] / 255.0);
                }
            pen += advance(ch) + tracking;
        }
        return trimmed(m);
    }

private:
    void load(char ch) {
        if (FT_Load_Char(face_, static_cast<unsigned char>(ch), FT_LOAD_RENDER) != 0)
            throw std::runtime_error(std::string("the font has no '") + ch + "'");
    }
    int advance(char ch) {
        load(ch);
        return static_cast<int>(face_->glyph->advance.x >> 6);
    }
    // Cut away the empty rows and columns around the ink.
    static Mask trimmed(const Mask& m) {
        int x0 = m.width, x1 = -1, y0 = m.height, y1 = -1;
        for (int y = 0; y < m.height; ++y)
            for (int x = 0; x < m.width; ++x)
                if (m.at(x, y) > 0) {
                    x0 = std::min(x0, x);
                    x1 = std::max(x1, x);
                    y0 = std::min(y0, y);
                    y1 = std::max(y1, y);
                }
        Mask t;
        t.width = x1 - x0 + 1;
        t.height = y1 - y0 + 1;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) t.ink.push_back(m.at(x, y));
        return t;
    }

    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// The largest lettering that fits the box with room for the outline and the shadow.
Mask fitted(Font& font, const std::string& text, const Box& box, int tracking, int room) {
    for (int size = box.height * 2; size > 6; --size) {
        Mask m = font.render(text, size, tracking);
        if (m.width <= box.width - 2 * room && m.height <= box.height - 2 * room) return m;
    }
    throw std::runtime_error("\"" + text + "\" does not fit");
}

// How much of the disc of `radius` around (x, y) is inked at most: the outline.
double spread(const Mask& m, int x, int y, int radius) {
    double most = 0;
    for (int j = -radius; j <= radius; ++j)
        for (int i = -radius; i <= radius; ++i)
            if (i * i + j * j <= radius * radius + radius) most = std::max(most, m.at(x + i, y + j));
    return most;
}

struct Style {
    std::vector<tools::Stop> fill;  // from the top of the letters (0) to the bottom (1)
    Colour outline;
    int outline_width;
    int tracking;
};

// Shadow, outline, then the letters filled top to bottom and bevelled: lit from the upper
// left, so edges facing it are brighter and those facing away darker.
void letter(Canvas& c, Font& font, const std::string& text, const Box& box, const Style& style) {
    const int room = style.outline_width + 2;
    const Mask m = fitted(font, text, box, style.tracking, room);
    const int left = box.left + (box.width - m.width) / 2 - 1;
    const int top = box.top + (box.height - m.height) / 2 - 1;
    auto everywhere = [](double, double) { return true; };
    const double bx0 = box.left, by0 = box.top, bx1 = box.left + box.width, by1 = box.top + box.height;
    c.region(bx0, by0, bx1, by1, everywhere, [&](double x, double y, Colour under) {
        const int mx = static_cast<int>(x) - left, my = static_cast<int>(y) - top;
        const double shadow = spread(m, mx - 2, my - 2, style.outline_width);
        return mix(under, hex(0x000000), shadow * 0.8);
    });
    c.region(bx0, by0, bx1, by1, everywhere, [&](double x, double y, Colour under) {
        const int mx = static_cast<int>(x) - left, my = static_cast<int>(y) - top;
        return mix(under, style.outline, spread(m, mx, my, style.outline_width));
    });
    c.region(bx0, by0, bx1, by1, everywhere, [&](double x, double y, Colour under) {
        const int mx = static_cast<int>(x) - left, my = static_cast<int>(y) - top;
        const double ink = m.at(mx, my);
        if (ink == 0) return under;
        const double slope = (m.at(mx - 1, my) + m.at(mx, my - 1) - m.at(mx + 1, my) - m.at(mx, my + 1)) / 2;
        Colour face = tools::ramp(style.fill, static_cast<double>(my) / m.height);
        face = slope < 0 ? mix(face, hex(0xffffff), -slope * 0.7) : face * (1 - slope * 0.5);
        return mix(under, face, ink);
    });
}

Canvas title_graphics(Font& font) {
    Canvas c(kWidth, kHeight, 1);
    c.shade([](double, double, Colour) { return hex(0x000000); });
    letter(
        c, font, "BRIN", kTitle,
        {{{0, hex(0xfffbd0)}, {0.45, hex(0xffd040)}, {0.55, hex(0xf09010)}, {1, hex(0xa83a08)}}, hex(0x3a1004), 3, 6});
    letter(
        c, font, "VORA", kStudio,
        {{{0, hex(0xe8f8ff)}, {0.5, hex(0x60b0e8)}, {0.52, hex(0x2060a8)}, {1, hex(0x80d0ff)}}, hex(0x0a1a3a), 2, 4});
    letter(c, font, "FIN DEL JUEGO", kGameOver,
           {{{0, hex(0xffd0c0)}, {0.4, hex(0xf04030)}, {1, hex(0x701010)}}, hex(0x200404), 2, 1});
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    return tools::run("make-title", [&] {
        if (argc != 3) throw std::runtime_error("usage: make-title FONT.ttf OUT.pcx");
        Font font(argv[1]);
        tools::write_pcx(argv[2], tools::quantise(title_graphics(font).image(), 0.0f, true));
    });
}
