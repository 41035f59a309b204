// SPDX-License-Identifier: MIT
// A lake at sunset: clouds lit from below, a crescent moon, two mountain ranges, a cabin
// and pines on the banks, a rowing boat on the glitter of the sun.
#include <cmath>

#include "render.h"
#include "scenes.h"

namespace tools {

namespace {

constexpr double kHorizon = 300;
constexpr Point kSun{430, 228};

Colour sky(double x, double y) {
    Colour c = ramp({{0, hex(0x16123a)},
                     {90, hex(0x3a2766)},
                     {170, hex(0x94437c)},
                     {235, hex(0xe8734a)},
                     {kHorizon, hex(0xffc27a)}},
                    y);
    const double d = std::hypot(x - kSun.x, (y - kSun.y) * 1.6);
    c = c + hex(0xffb060) * (0.9 * std::exp(-d / 70));
    // Warmer towards the sun's side, colder away from it.
    const double t = x / 640;
    return c * Colour{0.8 + 0.4 * t, 0.95, 1.25 - 0.4 * t};
}

double cloud_density(double x, double y) {
    const double band = smoothstep(0, 30, y) * (1 - smoothstep(205, 240, y));
    return (fbm(x / 150 + y / 500, y / 24, 5, 11) + 0.12 * std::sin(y / 23)) * band;
}

void paint_sky(Canvas& c) {
    c.shade([](double x, double y, Colour) { return sky(x, y); });
    Random r(7);
    for (int i = 0; i < 140; ++i) {
        const double x = r.range(0, 380), y = r.range(0, 150) * r.uniform();
        c.circle(x, y, r.range(0.45, 1.1), hex(0xfff6e0), 0.9 * (1 - y / 150));
    }
    c.circle(kSun.x, kSun.y, 27, hex(0xfff0b0));
    // Crescent moon with a faint halo.
    c.region(
        70, 20, 154, 104, [](double, double) { return true; },
        [](double x, double y, Colour under) {
            return under + hex(0x605a80) * (0.5 * std::exp(-std::hypot(x - 112, y - 62) / 12));
        });
    c.region(
        96, 46, 128, 78,
        [](double x, double y) { return std::hypot(x - 112, y - 62) < 15 && std::hypot(x - 118, y - 58) > 13; },
        [](double x, double y, Colour) { return mix(hex(0xfffbe8), hex(0xd8cfa8), clamp01((y - 50 + x - 100) / 40)); });
    c.region(
        0, 10, 640, 245, [](double, double) { return true; },
        [](double x, double y, Colour under) {
            const double d = cloud_density(x, y);
            const double lit = clamp01((d - cloud_density(x + 2, y + 4)) * 9);  // undersides face the sun
            const double nearness = std::exp(-std::hypot(x - kSun.x, y - kSun.y) / 260);
            Colour body = ramp({{20, hex(0x3b2a5c)}, {120, hex(0x8a3f74)}, {230, hex(0xc4506a)}}, y);
            Colour edge = mix(hex(0xff9a6a), hex(0xffe0a0), nearness);
            const Colour cloud = mix(body, edge, clamp01(lit * (0.5 + nearness)));
            return mix(under, cloud, smoothstep(0.08, 0.32, d));
        });
    // Birds on their way home.
    const Point birds[] = {{262, 128}, {281, 120}, {296, 133}, {318, 118}, {247, 141}};
    for (const Point& b : birds) {
        c.line({b.x - 6, b.y - 3}, {b.x, b.y}, 1.3, hex(0x201428));
        c.line({b.x, b.y}, {b.x + 6, b.y - 3}, 1.3, hex(0x201428));
    }
}

double far_ridge(double x) {
    const double valley = 45 * std::exp(-std::pow((x - kSun.x) / 70, 2));  // where the sun goes down
    return 246 - 70 * (0.5 + 0.5 * fbm(x / 170, 3.3, 5, 21)) + valley;
}
double near_ridge(double x) { return 292 - 45 * (0.5 + 0.5 * fbm(x / 95, 8.1, 5, 37)) - 10 * std::sin(x / 120); }
double forest_hill(double x) {
    return 222 + 78 * smoothstep(-40, 300, x) - 6 * std::abs(noise(x / 5, 1.5, 45)) + 5 * fbm(x / 30, 2, 3, 46);
}

void paint_mountains(Canvas& c) {
    c.region(
        0, 150, 640, kHorizon, [](double x, double y) { return y > far_ridge(x); },
        [](double x, double y, Colour) {
            const double lit = clamp01(0.5 + 0.8 * fbm(x / 40 + y / 60, y / 25, 4, 22));
            const Colour rock = mix(hex(0x5a3a6a), hex(0xb06a78), lit * std::exp(-std::abs(x - kSun.x) / 200));
            return mix(mix(rock, sky(x, y), 0.3), hex(0x40285a), smoothstep(far_ridge(x), kHorizon, y) * 0.5);
        });
    c.region(
        0, 200, 640, kHorizon, [](double x, double y) { return y > near_ridge(x); },
        [](double x, double y, Colour) {
            const double rim = std::exp(-(y - near_ridge(x)) / 2.5) * std::exp(-std::abs(x - kSun.x) / 140);
            const Colour rock = mix(hex(0x3a2446), hex(0x24182e), fbm(x / 14, y / 14, 3, 38) * 0.5 + 0.5);
            return mix(rock, hex(0xffa060), rim);
        });
    c.region(
        0, 200, 330, kHorizon, [](double x, double y) { return y > forest_hill(x); },
        [](double x, double y, Colour) {
            const double leaves = fbm(x / 4, y / 4, 3, 47);
            return mix(hex(0x14281e), hex(0x2e4a2c), clamp01(0.5 + leaves)) * (0.8 + 0.2 * smoothstep(300, 230, y));
        });
    // A row of small trees along the far shore.
    Random r(51);
    for (double x = 300; x < 640; x += r.range(3, 9)) {
        const double h = r.range(4, 13);
        c.polygon({{x - h * 0.3, kHorizon + 1}, {x, kHorizon - h}, {x + h * 0.3, kHorizon + 1}}, hex(0x1a1422));
    }
    c.rect(0, kHorizon - 2, 640, kHorizon + 1, hex(0x1c1626));
}

void paint_lake(Canvas& c) {
    c.region(
        0, kHorizon + 1, 640, 480, [](double, double) { return true; },
        [&c](double x, double y, Colour) {
            const double depth = y - kHorizon;
            const double wobble = noise(x / 24, y / 2.2, 61) * (0.4 + depth / 45);
            Colour mirrored = c.at(x + wobble * 2, kHorizon - depth * 0.9 + noise(x / 50, y / 3, 62) * 2);
            mirrored = mix(mirrored * 0.8, hex(0x141a36), smoothstep(0, 200, depth) * 0.55);
            const double streak = noise(x / 90, y / 1.3, 63);
            mirrored = mirrored * (1 + 0.12 * streak);
            const double beam = std::exp(-std::pow((x - kSun.x) / (14 + depth * 0.5), 2));
            const double glint = smoothstep(0.25, 0.6, noise(x / 3.5, y / 1.2, 64)) * beam;
            return mix(mirrored, hex(0xffe6a0), glint);
        });
}

// Ground of a bank: sample x is inside when below `top`.
template <typename Top>
void paint_bank(Canvas& c, double x0, double x1, Top top, Colour near_water, Colour dry) {
    c.region(
        x0, 280, x1, 480, [&](double x, double y) { return y > top(x); },
        [&](double x, double y, Colour) {
            const double grass = fbm(x / 3, y / 9, 3, 71);
            const Colour ground = mix(dry, near_water, smoothstep(top(x), top(x) + 60, y));
            return ground * (0.85 + 0.3 * grass) + hex(0x402010) * (std::exp(-(y - top(x)) / 3) * 0.6);
        });
}

double left_bank(double x) {
    return 316 + 0.9 * std::pow(std::max(0.0, x) / 300, 2.2) * 130 + 3 * fbm(x / 12, 0, 3, 72);
}
double right_bank(double x) { return 470 - 80 * smoothstep(520, 640, x) + 3 * fbm(x / 12, 5, 3, 73); }

void pine(Canvas& c, double cx, double base, double height, std::uint32_t seed) {
    c.rect(cx - height * 0.02 - 1, base - height * 0.2, cx + height * 0.02 + 1, base, hex(0x24160e));
    const double top = base - height;
    const double tiers = 5 + std::floor(height / 45);
    c.region(
        cx - height * 0.3, top, cx + height * 0.3, base - height * 0.1,
        [=](double x, double y) {
            const double t = (y - top) / (height * 0.9);  // 0 at the tip
            const double tier = t * tiers - std::floor(t * tiers);
            const double half = height * 0.27 * t * (0.6 + 0.4 * tier) + 2.5 * noise(y / 2.5, cx, seed);
            return std::abs(x - cx) < half;
        },
        [=](double x, double y, Colour) {
            const double t = (y - top) / (height * 0.9);
            const double half = height * 0.27 * t + 1;
            const Colour needles = mix(hex(0x08140e), hex(0x173020), 0.5 + 0.5 * noise(x / 2, y / 2, seed + 1));
            return mix(needles, hex(0x9a5a30), smoothstep(0.6, 1.0, (x - cx) / half) * 0.55);
        });
}

void cabin(Canvas& c) {
    const double x = 62, y = 318;  // bottom left corner
    c.rect(x, y - 26, x + 44, y, hex(0x4a2c1c));
    for (double ly = y - 24; ly < y; ly += 4) c.rect(x, ly, x + 44, ly + 1, hex(0x2e1a10));  // logs
    c.polygon({{x - 5, y - 25}, {x + 22, y - 44}, {x + 49, y - 25}}, hex(0x2a1c24));
    c.rect(x + 33, y - 48, x + 39, y - 34, hex(0x3a2a2a));  // chimney
    for (int i = 0; i < 8; ++i)
        c.circle(x + 37 + i * 2.5 + 3 * std::sin(i * 0.9), y - 52 - i * 6, 2 + i * 0.6, hex(0xb0a0b8), 0.28);
    c.rect(x + 8, y - 19, x + 18, y - 9, hex(0xffc85a));  // lit window
    c.rect(x + 12.5, y - 19, x + 13.5, y - 9, hex(0x4a2c1c));
    c.rect(x + 26, y - 20, x + 35, y, hex(0x2a160c));  // door
}

// From the cabin door down to the water, a campfire beside it, stones and flowers.
void bank_details(Canvas& c) {
    auto path_x = [](double y) { return 92 + (y - 318) * 0.75 + 14 * std::sin((y - 318) / 24); };
    c.region(
        60, 318, 260, 480,
        [&](double x, double y) { return y > left_bank(x) && std::abs(x - path_x(y)) < 3 + (y - 318) * 0.07; },
        [](double x, double y, Colour) {
            return mix(hex(0x6a4a30), hex(0x8a6a44), 0.5 + 0.5 * fbm(x / 3, y / 3, 3, 74));
        });

    const Point fire{150, 440};
    c.region(
        40, 360, 280, 480, [&](double x, double y) { return y > left_bank(x); },
        [&](double x, double y, Colour under) {
            return under + hex(0xff8a30) * (0.6 * std::exp(-std::hypot(x - fire.x, (y - fire.y) * 1.5) / 28));
        });
    c.line({fire.x - 12, fire.y + 4}, {fire.x + 10, fire.y - 1}, 3, hex(0x3a2010));
    c.line({fire.x - 10, fire.y - 1}, {fire.x + 12, fire.y + 4}, 3, hex(0x2a160a));
    c.polygon({{fire.x - 8, fire.y},
               {fire.x - 3, fire.y - 20},
               {fire.x, fire.y - 9},
               {fire.x + 4, fire.y - 24},
               {fire.x + 8, fire.y}},
              hex(0xff7a20));
    c.polygon({{fire.x - 4, fire.y}, {fire.x + 1, fire.y - 13}, {fire.x + 5, fire.y}}, hex(0xffe070));

    Random r(75);
    const Point stones[] = {{28, 372}, {132, 352}, {40, 452}, {222, 470}, {70, 400}};
    for (const Point& s : stones) {
        const double w = r.range(7, 13), h = w * 0.6;
        c.region(
            s.x - w, s.y - h, s.x + w, s.y + h,
            [&](double x, double y) { return std::pow((x - s.x) / w, 2) + std::pow((y - s.y) / h, 2) < 1; },
            [&](double x, double y, Colour) {
                return mix(hex(0x8a7a78), hex(0x3a3238), clamp01((y - s.y + h) / (2 * h) + (s.x - x) / w * 0.2));
            });
    }
    const Colour petals[] = {hex(0xf0d040), hex(0xe8e0f0), hex(0xb060c0), hex(0xe05050)};
    for (int i = 0; i < 160; ++i) {
        const double x = r.range(0, 250), y = r.range(330, 480);
        if (y > left_bank(x) + 4) c.circle(x, y, r.range(0.8, 1.6), petals[r.below(4)], 0.85);
    }
}

void boat(Canvas& c) {
    const double x = 400, y = 420;
    c.polygon({{x - 34, y - 8}, {x + 36, y - 9}, {x + 27, y + 4}, {x - 26, y + 4}}, hex(0x5a2418));
    c.rect(x - 32, y - 10, x + 34, y - 7, hex(0x9a5a30));
    c.line({x - 20, y - 12}, {x - 48, y + 10}, 1.6, hex(0x6a4020));  // oars
    c.line({x + 16, y - 12}, {x + 44, y + 10}, 1.6, hex(0x6a4020));
    c.circle(x - 2, y - 25, 5, hex(0x3a2020));  // rower
    c.polygon({{x - 8, y - 9}, {x - 6, y - 21}, {x + 3, y - 21}, {x + 5, y - 9}}, hex(0x2a4a6a));
    c.region(
        x - 40, y + 3, x + 40, y + 12, [](double, double) { return true; },
        [=](double xx, double yy, Colour under) {
            return under * (0.75 + 0.25 * smoothstep(y + 3, y + 12, yy) + 0 * xx);
        });
}

void jetty(Canvas& c) {
    const Colour wood = hex(0x5c3a22), dark = hex(0x2c1a10);
    for (double x = 470; x < 600; x += 22) c.rect(x, 440, x + 4, 478, dark);  // posts
    c.polygon({{462, 436}, {640, 404}, {640, 414}, {462, 446}}, wood);
    for (double x = 470; x < 640; x += 9) c.line({x, 436 - (x - 462) * 0.18}, {x, 446 - (x - 462) * 0.18}, 0.8, dark);
}

void reeds(Canvas& c) {
    Random r(81);
    for (int i = 0; i < 70; ++i) {
        const double x = r.range(230, 330), base = 480, h = r.range(25, 70), lean = r.range(-8, 8);
        c.line({x, base}, {x + lean, base - h}, 1.2, hex(0x2a3a1a));
        if (r.uniform() < 0.3) c.line({x + lean, base - h}, {x + lean * 1.1, base - h - 9}, 2.6, hex(0x4a2a14));
    }
}

}  // namespace

Image lake_at_sunset() {
    Canvas c(640, 480, 2);
    paint_sky(c);
    paint_mountains(c);
    paint_lake(c);
    boat(c);
    paint_bank(c, 0, 320, left_bank, hex(0x16201a), hex(0x3a3a22));
    paint_bank(c, 500, 640, right_bank, hex(0x242018), hex(0x4a3a26));
    cabin(c);
    bank_details(c);
    jetty(c);
    const struct { double x, h; } left_pines[] = {{12, 170}, {40, 205}, {130, 150}, {158, 185}, {196, 120}};
    std::uint32_t seed = 90;
    for (auto p : left_pines) pine(c, p.x, left_bank(p.x) + 4, p.h, seed++);
    pine(c, 600, right_bank(600) + 4, 230, seed++);
    pine(c, 632, right_bank(632) + 4, 190, seed++);
    reeds(c);
    return c.image();
}

}  // namespace tools
