// SPDX-License-Identifier: MIT
// Painting the level pictures: colours, a repeatable random source, gradient noise and a
// canvas drawn at several samples per pixel so that edges come out smooth.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "picture.h"

namespace tools {

struct Colour {
    double r = 0, g = 0, b = 0;
};
inline Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Colour operator-(Colour a, Colour b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
inline Colour operator*(Colour a, double k) { return {a.r * k, a.g * k, a.b * k}; }
inline Colour operator*(Colour a, Colour b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Colour mix(Colour a, Colour b, double t) { return a + (b - a) * t; }
// 0xRRGGBB
constexpr Colour hex(std::uint32_t rgb) {
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

inline double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
inline double smoothstep(double edge0, double edge1, double x) {
    const double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

// A colour ramp through stops at increasing positions; outside them the end colours.
struct Stop {
    double at;
    Colour colour;
};
Colour ramp(const std::vector<Stop>& stops, double t);

// A fixed sequence for a seed, the same on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return static_cast<int>(uniform() * n); }

private:
    std::uint64_t state_;
};

// Smooth gradient noise of roughly -1 to 1 with features about one unit apart.
double noise(double x, double y, std::uint32_t seed);
// Several octaves of it, each half as strong and twice as fine.
double fbm(double x, double y, int octaves, std::uint32_t seed);

struct Point {
    double x, y;
};
bool inside_polygon(const std::vector<Point>& polygon, double x, double y);

// Coordinates are in picture pixels; every pixel holds scale x scale samples.
class Canvas {
public:
    Canvas(int width, int height, int scale);

    int width() const { return width_; }
    int height() const { return height_; }

    // Every sample of the rectangle for which `inside(x, y)` holds takes
    // `paint(x, y, old colour)`, blended by `alpha`.
    template <typename Inside, typename Paint>
    void region(double x0, double y0, double x1, double y1, Inside inside, Paint paint, double alpha = 1.0) {
        const int sx0 = std::max(0, static_cast<int>(std::floor(x0 * scale_)));
        const int sy0 = std::max(0, static_cast<int>(std::floor(y0 * scale_)));
        const int sx1 = std::min(width_ * scale_, static_cast<int>(std::ceil(x1 * scale_)));
        const int sy1 = std::min(height_ * scale_, static_cast<int>(std::ceil(y1 * scale_)));
        for (int sy = sy0; sy < sy1; ++sy) {
            const double y = (sy + 0.5) / scale_;
            for (int sx = sx0; sx < sx1; ++sx) {
                const double x = (sx + 0.5) / scale_;
                if (!inside(x, y)) continue;
                Colour& c = sample(sx, sy);
                c = mix(c, paint(x, y, c), alpha);
            }
        }
    }
    // The whole canvas.
    template <typename Paint>
    void shade(Paint paint) {
        region(
            0, 0, width_, height_, [](double, double) { return true; }, paint);
    }
    void polygon(const std::vector<Point>& points, Colour colour, double alpha = 1.0);
    void circle(double cx, double cy, double radius, Colour colour, double alpha = 1.0);
    void rect(double x0, double y0, double x1, double y1, Colour colour, double alpha = 1.0);
    // A straight stroke of the given width.
    void line(Point a, Point b, double width, Colour colour, double alpha = 1.0);

    // The colour at a picture position, clamped to the canvas.
    Colour at(double x, double y) const;
    Image image() const;

private:
    Colour& sample(int sx, int sy) { return samples_[static_cast<std::size_t>(sy) * width_ * scale_ + sx]; }

    int width_, height_, scale_;
    std::vector<Colour> samples_;
};

// A level picture given pixel by pixel: `colour_at(x, y)` for every sample.
template <typename Colouring>
Image painted(Colouring colour_at) {
    Canvas c(640, 480, 2);
    c.shade([&](double x, double y, Colour) { return colour_at(x, y); });
    return c.image();
}

}  // namespace tools
