// SPDX-License-Identifier: MIT
#include "render.h"

namespace tools {

std::uint64_t Random::next() {
    // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

Colour ramp(const std::vector<Stop>& stops, double t) {
    if (t <= stops.front().at) return stops.front().colour;
    for (std::size_t i = 1; i < stops.size(); ++i)
        if (t < stops[i].at)
            return mix(stops[i - 1].colour, stops[i].colour, (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at));
    return stops.back().colour;
}

namespace {

std::uint32_t hash(std::int32_t x, std::int32_t y, std::uint32_t seed) {
    std::uint32_t h =
        seed * 0x9E3779B1u ^ static_cast<std::uint32_t>(x) * 0x85EBCA77u ^ static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// One of 16 evenly spread unit directions, dotted with the offset.
double gradient(std::int32_t ix, std::int32_t iy, std::uint32_t seed, double dx, double dy) {
    static const double kDirections[16][2] = {
        {1, 0},  {0.92388, 0.38268},   {0.70711, 0.70711},   {0.38268, 0.92388},
        {0, 1},  {-0.38268, 0.92388},  {-0.70711, 0.70711},  {-0.92388, 0.38268},
        {-1, 0}, {-0.92388, -0.38268}, {-0.70711, -0.70711}, {-0.38268, -0.92388},
        {0, -1}, {0.38268, -0.92388},  {0.70711, -0.70711},  {0.92388, -0.38268},
    };
    const double* g = kDirections[hash(ix, iy, seed) & 15];
    return g[0] * dx + g[1] * dy;
}

double fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }

}  // namespace

double noise(double x, double y, std::uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const auto ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy);
    const double dx = x - fx, dy = y - fy;
    const double u = fade(dx), v = fade(dy);
    const double a = gradient(ix, iy, seed, dx, dy);
    const double b = gradient(ix + 1, iy, seed, dx - 1, dy);
    const double c = gradient(ix, iy + 1, seed, dx, dy - 1);
    const double d = gradient(ix + 1, iy + 1, seed, dx - 1, dy - 1);
    return 1.4 * (a + (b - a) * u + (c - a) * v + (a - b - c + d) * u * v);
}

double fbm(double x, double y, int octaves, std::uint32_t seed) {
    double sum = 0, amplitude = 0.5, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * noise(x, y, seed + static_cast<std::uint32_t>(i) * 101u);
        total += amplitude;
        x *= 2.03;
        y *= 2.03;
        amplitude *= 0.5;
    }
    return sum / total;
}

bool inside_polygon(const std::vector<Point>& polygon, double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point& a = polygon[i];
        const Point& b = polygon[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
}

Canvas::Canvas(int width, int height, int scale)
    : width_(width),
      height_(height),
      scale_(scale),
      samples_(static_cast<std::size_t>(width) * height * scale * scale) {}

void Canvas::polygon(const std::vector<Point>& points, Colour colour, double alpha) {
    double x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
    for (const Point& p : points) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    region(
        x0, y0, x1, y1, [&](double x, double y) { return inside_polygon(points, x, y); },
        [&](double, double, Colour) { return colour; }, alpha);
}

void Canvas::circle(double cx, double cy, double radius, Colour colour, double alpha) {
    region(
        cx - radius, cy - radius, cx + radius, cy + radius,
        [&](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius; },
        [&](double, double, Colour) { return colour; }, alpha);
}

void Canvas::rect(double x0, double y0, double x1, double y1, Colour colour, double alpha) {
    region(
        x0, y0, x1, y1, [](double, double) { return true; }, [&](double, double, Colour) { return colour; }, alpha);
}

void Canvas::line(Point a, Point b, double width, Colour colour, double alpha) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = std::hypot(dx, dy);
    if (length == 0) return circle(a.x, a.y, width / 2, colour, alpha);
    const double nx = -dy / length * width / 2, ny = dx / length * width / 2;
    polygon({{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}}, colour, alpha);
}

Colour Canvas::at(double x, double y) const {
    const int sx = std::clamp(static_cast<int>(x * scale_), 0, width_ * scale_ - 1);
    const int sy = std::clamp(static_cast<int>(y * scale_), 0, height_ * scale_ - 1);
    return samples_[static_cast<std::size_t>(sy) * width_ * scale_ + sx];
}

Image Canvas::image() const {
    Image out(width_, height_);
    const double n = scale_ * scale_;
    auto component = [](double v) { return static_cast<std::uint8_t>(std::lround(clamp01(v) * 255)); };
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            Colour sum;
            for (int j = 0; j < scale_; ++j)
                for (int i = 0; i < scale_; ++i)
                    sum = sum + samples_[static_cast<std::size_t>(y * scale_ + j) * width_ * scale_ + x * scale_ + i];
            sum = sum * (1.0 / n);
            out.at(x, y) = {component(sum.r), component(sum.g), component(sum.b)};
        }
    return out;
}

}  // namespace tools
