// SPDX-License-Identifier: MIT
// Deep in the Mandelbrot set's seahorse valley: a spiral of filaments that fills the whole
// picture, in bands of colour that turn slowly across it, so that every part has a hue
// of its own.
#include <cmath>
#include <complex>

#include "render.h"
#include "scenes.h"

namespace tools {

namespace {

constexpr double kCentreX = -0.74647, kCentreY = 0.11524;
constexpr double kWidth = 0.005;
constexpr int kIterations = 1000;

const std::vector<Stop> kBands = {
    {0.00, hex(0x0a0a32)}, {0.16, hex(0x1d5fa8)}, {0.33, hex(0x8ee0f0)}, {0.45, hex(0xfff4c0)},
    {0.58, hex(0xf0a030)}, {0.72, hex(0xb02848)}, {0.86, hex(0x401050)}, {1.00, hex(0x0a0a32)},
};

struct Orbit {
    bool escaped;
    double smooth_count;  // iterations, made continuous
    double trap;          // how near the orbit came to the real axis, for the inside
    double angle;         // of the point where it escaped: external rays outside
};

Orbit orbit(double cx, double cy) {
    double zx = 0, zy = 0, trap = 1e9;
    for (int n = 0; n < kIterations; ++n) {
        const double xx = zx * zx, yy = zy * zy;
        if (xx + yy > 256) return {true, n + 1 - std::log2(std::log2(xx + yy) / 2), trap, std::atan2(zy, zx)};
        zy = 2 * zx * zy + cy;
        zx = xx - yy + cx;
        trap = std::min(trap, std::abs(zy) + 0.3 * std::abs(zx + 0.5));
    }
    return {false, kIterations, trap, 0};
}

Colour colour_at(double x, double y) {
    const double scale = kWidth / 640;
    const Orbit o = orbit(kCentreX + (x - 320) * scale, kCentreY - (y - 240) * scale);
    // The bands shift with the position, so like shapes in two places differ in hue.
    const double drift = x / 1400 + y / 900;
    if (!o.escaped) {
        const double glow = 0.5 + 0.5 * std::cos(std::log(o.trap) * 5 + drift * 6);
        return mix(hex(0x08061e), hex(0x4a2a70), glow * glow) * (0.7 + 0.5 * drift);
    }
    const double t = std::log(o.smooth_count + 1) * 2.4 + drift;
    const double rays = 0.5 + 0.5 * std::sin(o.angle * 2);
    return ramp(kBands, t - std::floor(t)) * (0.9 + 0.14 * rays);
}

}  // namespace

Image fractal_spirals() { return painted(colour_at); }

}  // namespace tools
