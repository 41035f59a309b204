// SPDX-License-Identifier: MIT
// A fishing village: coloured houses climbing a hill above the quay, a bell tower, a
// lighthouse on the headland, boats at their moorings and the whole of it mirrored in the
// harbour water.
#include <cmath>

#include "render.h"
#include "scenes.h"

namespace tools {

namespace {

constexpr double kQuay = 330;   // top of the quay wall
constexpr double kWater = 352;  // the waterline

double hill(double x) {
    return 132 - 58 * std::exp(-std::pow((x - 40) / 90, 2)) - 105 * smoothstep(190, 640, x) +
           7 * fbm(x / 40, 0.5, 4, 401);
}

void paint_sky(Canvas& c) {
    c.shade([](double x, double y, Colour) {
        Colour sky = ramp({{0, hex(0x2a64b8)}, {120, hex(0x6aa6e0)}, {240, hex(0xc8e0f0)}}, y + x * 0.08);
        const double cloud = smoothstep(0.05, 0.45, fbm(x / 110, y / 45, 5, 402) + 0.25 - y / 300);
        const double shade = clamp01(0.5 + 2.5 * (fbm(x / 110, (y - 6) / 45, 5, 402) - fbm(x / 110, y / 45, 5, 402)));
        return mix(sky, mix(hex(0xffffff), hex(0x9aaac8), shade), cloud);
    });
    const Point gulls[] = {{300, 52}, {322, 64}, {345, 46}, {210, 88}};
    for (const Point& g : gulls) {
        c.line({g.x - 7, g.y - 3}, {g.x, g.y}, 1.4, hex(0x303848));
        c.line({g.x, g.y}, {g.x + 7, g.y - 3}, 1.4, hex(0x303848));
    }
}

void paint_hill(Canvas& c) {
    c.region(
        0, 20, 640, kWater, [](double x, double y) { return y > hill(x); },
        [](double x, double y, Colour) {
            const double rows = 0.5 + 0.5 * std::sin(y * 0.9 + 3 * std::sin(x / 60));  // terraces
            const Colour grass =
                mix(hex(0x4a7a2a), hex(0x2e5a22), rows * 0.6 + 0.4 * (0.5 + 0.5 * fbm(x / 8, y / 8, 3, 403)));
            return mix(grass, hex(0x9a8a5a), smoothstep(4, 0, y - hill(x)) * 0.5);
        });
}

void lighthouse(Canvas& c) {
    const double x = 52, base = hill(52) + 6, top = 38;
    c.polygon({{x - 11, base}, {x - 7, top + 14}, {x + 7, top + 14}, {x + 11, base}}, hex(0xf4f0e8));
    for (int band = 0; band < 3; ++band) {
        const double y0 = top + 24 + band * 16;
        c.region(
            x - 12, y0, x + 12, y0 + 7,
            [&](double px, double py) { return std::abs(px - x) < 7 + 4 * (py - top - 14) / (base - top - 14); },
            [](double, double, Colour) { return hex(0xc83028); });
    }
    c.rect(x - 6, top + 4, x + 6, top + 14, hex(0xfff2a0));  // lamp room
    c.rect(x - 9, top + 13, x + 9, top + 16, hex(0x303030));
    c.polygon({{x - 8, top + 5}, {x, top - 4}, {x + 8, top + 5}}, hex(0x8a2420));
}

// The headland: a path up to the lighthouse between olive trees and cypresses.
void headland(Canvas& c) {
    const Point path[] = {{128, 328}, {30, 290}, {118, 250}, {24, 212}, {100, 170}, {52, 128}};
    for (std::size_t i = 1; i < std::size(path); ++i) c.line(path[i - 1], path[i], 3.2, hex(0xc8b080));
    Random r(408);
    for (int i = 0; i < 46; ++i) {
        const double x = r.range(0, 150);
        const double y = r.range(hill(x) + 10, 326);
        if (x > 118 && y < 160) continue;
        if (r.uniform() < 0.3) {
            const double h = r.range(14, 26);
            c.region(
                x - 4, y - h, x + 4, y,
                [&](double px, double py) {
                    return std::pow((px - x) / 3.5, 2) + std::pow((py - y + h / 2) / (h / 2), 2) < 1;
                },
                [&](double px, double, Colour) { return mix(hex(0x2a4a24), hex(0x12281a), (px - x + 3.5) / 7); });
        } else {
            const double rad = r.range(4, 7);
            c.rect(x - 0.8, y - rad, x + 0.8, y + 2, hex(0x4a3422));
            c.region(
                x - rad, y - 2 * rad - 2, x + rad, y - 2,
                [&](double px, double py) { return std::hypot(px - x, py - y + rad + 2) < rad; },
                [&](double px, double py, Colour) {
                    return mix(hex(0x8aa060), hex(0x3a5a30),
                               clamp01((px - x + py - y + 2 * rad) / (2 * rad) + 0.3 * noise(px / 2, py / 2, 409)));
                });
        }
    }
}

struct House {
    double left, right, base, top;
    Colour wall;
    std::uint32_t seed;
};

const Colour kWalls[] = {hex(0xe8b040), hex(0xd8603a), hex(0xe89aa0), hex(0xf0dc80), hex(0x9ac890),
                         hex(0x88b8d8), hex(0xf2e6c8), hex(0xc85048), hex(0xe0804a), hex(0xb0a0d0)};

void house(Canvas& c, const House& h) {
    Random r(h.seed);
    const double w = h.right - h.left;
    // The wall, lit from the left, darker under the eaves.
    c.region(
        h.left, h.top, h.right, h.base, [](double, double) { return true; },
        [&](double x, double y, Colour) {
            const double light = 1.05 - 0.2 * (x - h.left) / w - 0.25 * std::exp(-(y - h.top) / 3);
            return h.wall * (light * (0.95 + 0.08 * fbm(x / 3, y / 3, 2, h.seed)));
        });
    c.rect(h.right - 2, h.top, h.right, h.base, h.wall * 0.6);
    if (r.uniform() < 0.6) {
        c.polygon({{h.left - 3, h.top + 1}, {h.left + w / 2, h.top - w * 0.28}, {h.right + 3, h.top + 1}},
                  hex(0xa8442a));
        c.line({h.left - 3, h.top + 1}, {h.right + 3, h.top + 1}, 1.2, hex(0x5a2216));
    } else {
        c.rect(h.left - 2, h.top - 4, h.right + 2, h.top, hex(0xa8442a));
    }
    const Colour shutters = r.uniform() < 0.5 ? hex(0x2a6a3a) : hex(0x3a5a8a);
    const int columns = std::max(1, static_cast<int>(w / 14));
    for (double y = h.top + 6; y + 10 < h.base - 3; y += 15)
        for (int i = 0; i < columns; ++i) {
            const double x = h.left + (i + 0.5) * w / columns;
            if (r.uniform() < 0.15) continue;
            c.rect(x - 3, y, x + 3, y + 9, hex(0x1e1a22));
            if (r.uniform() < 0.7) {
                c.rect(x - 6, y, x - 3, y + 9, shutters);
                c.rect(x + 3, y, x + 6, y + 9, shutters);
            }
            if (r.uniform() < 0.2) c.rect(x - 5, y + 9, x + 5, y + 11, hex(0xd03050));  // flowers on the sill
        }
}

void village(Canvas& c) {
    Random r(410);
    // Far rows first, so the nearer rows stand in front of them.
    for (double base = 150; base <= kQuay + 0.5; base += 30) {
        for (double x = 120 + r.range(-10, 10); x < 640;) {
            const double w = r.range(26, 58), height = r.range(30, 52);
            if (base - height > hill(x + w / 2) + 12 && r.uniform() < 0.9)
                house(c, {x, x + w, base, base - height, kWalls[r.below(10)], static_cast<std::uint32_t>(r.next())});
            x += w + r.range(0, 6);
        }
    }
}

void bell_tower(Canvas& c) {
    const double x0 = 452, x1 = 482, base = 300, top = 58;
    c.region(
        x0, top, x1, base, [](double, double) { return true; },
        [&](double x, double, Colour) { return mix(hex(0xe8d8b0), hex(0xa89870), (x - x0) / (x1 - x0)); });
    c.rect(x0 + 8, top + 22, x1 - 8, top + 44, hex(0x1a1820));  // the bell's opening
    c.circle((x0 + x1) / 2, top + 38, 5, hex(0xb08a3a));
    c.circle((x0 + x1) / 2, top + 66, 8, hex(0xf8f4ea));  // clock
    c.line({(x0 + x1) / 2, top + 66}, {(x0 + x1) / 2, top + 60}, 1.2, hex(0x202020));
    c.line({(x0 + x1) / 2, top + 66}, {(x0 + x1) / 2 + 4, top + 67}, 1.2, hex(0x202020));
    c.polygon({{x0 - 3, top + 2}, {(x0 + x1) / 2, top - 34}, {x1 + 3, top + 2}}, hex(0x3a7a6a));
    c.line({(x0 + x1) / 2, top - 34}, {(x0 + x1) / 2, top - 46}, 1.5, hex(0x303030));
    c.line({(x0 + x1) / 2 - 5, top - 41}, {(x0 + x1) / 2 + 5, top - 41}, 1.5, hex(0x303030));
}

void quay(Canvas& c) {
    c.region(
        0, kQuay, 640, kWater, [](double, double) { return true; },
        [](double x, double y, Colour) {
            const bool joint =
                std::fmod(y - kQuay, 7) < 1 || std::fmod(x + (static_cast<int>((y - kQuay) / 7) % 2) * 9, 18) < 1;
            return joint ? hex(0x5a5048) : mix(hex(0xb0a088), hex(0x8a7a66), 0.5 + 0.5 * fbm(x / 5, y / 5, 2, 404));
        });
    for (double x = 150; x < 640; x += 64) {
        c.rect(x, kQuay - 8, x + 6, kQuay, hex(0x2a2a30));
        c.rect(x - 1, kQuay - 10, x + 7, kQuay - 8, hex(0x3a3a44));
    }
    // People on the quay.
    Random r(405);
    for (int i = 0; i < 9; ++i) {
        const double x = r.range(130, 630);
        c.rect(x - 2, kQuay - 14, x + 2, kQuay - 5, kWalls[r.below(10)] * 0.8);
        c.rect(x - 2, kQuay - 5, x + 2, kQuay, hex(0x2a2a3a));
        c.circle(x, kQuay - 16.5, 2.4, hex(0xe0b090));
    }
}

void reflect(Canvas& c) {
    c.region(
        0, kWater, 640, 480, [](double, double) { return true; },
        [&c](double x, double y, Colour) {
            const double depth = y - kWater;
            const double wobble = noise(x / 18, y / 2, 406) * (1 + depth / 30);
            const Colour mirrored = c.at(x + wobble * 2.2, kWater - depth * 1.05 - 2);
            const Colour sea = mix(hex(0x1a7a8a), hex(0x0e4a6a), smoothstep(0, 130, depth));
            const double sparkle = smoothstep(0.55, 0.8, noise(x / 5, y / 1.4, 407)) * 0.5;
            return mix(mix(mirrored, sea, 0.45), hex(0xf0f8ff), sparkle);
        });
}

void boat(Canvas& c, double x, double y, double length, Colour hull, std::uint32_t seed) {
    Random r(seed);
    const double h = length * 0.22;
    c.polygon(
        {{x - length / 2, y - h}, {x + length / 2 + 4, y - h - 3}, {x + length / 2 - 6, y}, {x - length / 2 + 6, y}},
        hull);
    c.line({x - length / 2, y - h + 2}, {x + length / 2 + 3, y - h - 1}, 2, hex(0xf4f4f0));
    if (r.uniform() < 0.6) {  // wheelhouse
        c.rect(x - length * 0.15, y - h - length * 0.22, x + length * 0.12, y - h, hex(0xf0ece0));
        c.rect(x - length * 0.1, y - h - length * 0.18, x + length * 0.07, y - h - length * 0.1, hex(0x30405a));
    }
    c.line({x + length * 0.2, y - h}, {x + length * 0.2, y - h - length * 0.7}, 1.4, hex(0x4a3a2a));  // mast
    // Its reflection, broken by the ripples.
    c.region(
        x - length / 2, y, x + length / 2 + 4, y + h,
        [&](double px, double py) { return std::abs(px - x) < length / 2 - 6 * (py - y) / h; },
        [&](double px, double py, Colour under) {
            return mix(under, hull * 0.7, 0.6 * smoothstep(-0.2, 0.3, noise(px / 14, py / 1.5, seed)));
        });
}

}  // namespace

Image harbour_village() {
    Canvas c(640, 480, 2);
    paint_sky(c);
    paint_hill(c);
    lighthouse(c);
    headland(c);
    village(c);
    bell_tower(c);
    quay(c);
    reflect(c);
    const struct {
        double x, y, length;
        std::uint32_t hull;
    } boats[] = {
        {200, 372, 60, 0x2a58a8}, {300, 366, 48, 0xc83a2a}, {420, 380, 70, 0x2a8a4a}, {560, 370, 54, 0xe8b830},
        {90, 420, 80, 0xf0f0f0},  {260, 448, 66, 0x3a3a8a}, {500, 456, 90, 0xb02a3a}, {360, 412, 44, 0x1a9aa0},
    };
    std::uint32_t seed = 420;
    for (auto b : boats) boat(c, b.x, b.y, b.length, hex(b.hull), seed++);
    return c.image();
}

}  // namespace tools
