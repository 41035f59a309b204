// SPDX-License-Identifier: MIT
// A stained-glass window: a rose of rings and petals in the middle, irregular panes around
// it whose colours change from corner to corner, lead between them all, and daylight
// coming through from the upper left.
#include <cmath>
#include <numbers>

#include "render.h"
#include "scenes.h"

namespace tools {

namespace {

constexpr Point kRose{320, 240};
constexpr double kRoseRadius = 184;
constexpr double kPane = 30;   // spacing of the irregular panes
constexpr double kLead = 1.7;  // half the width of a lead came

struct Pane {
    std::uint32_t id;
    Colour glass;
    double edge;  // distance to the nearest lead line
};

std::uint32_t mix_bits(std::uint32_t a, std::uint32_t b) {
    std::uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 13;
    return h;
}
double unit(std::uint32_t h) { return (h & 0xFFFFFF) / double(0x1000000); }

// One ring of the rose: `segments` panes between two radii, coloured in turn.
struct Ring {
    double inner, outer;
    int segments;
    double twist;  // turns the segment boundaries
    Colour first, second;
};
const Ring kRings[] = {
    {0, 15, 1, 0, hex(0xffe070), hex(0xffe070)},
    {15, 40, 6, 0, hex(0xf0a020), hex(0xe06a10)},
    {40, 98, 12, 0.5, hex(0xc01830), hex(0xe04a20)},
    {98, 142, 24, 0, hex(0x1848b0), hex(0x10a0b0)},
    {142, kRoseRadius, 24, 0.5, hex(0x5a1a80), hex(0x2a2a90)},
};

Pane rose_pane(double x, double y) {
    const double dx = x - kRose.x, dy = y - kRose.y;
    const double r = std::hypot(dx, dy);
    const double turn = std::atan2(dy, dx) / (2 * std::numbers::pi) + 0.5;
    std::uint32_t n = 0;
    for (const Ring& ring : kRings) {
        ++n;
        if (r >= ring.outer) continue;
        const double at = turn * ring.segments + ring.twist;
        const int segment = static_cast<int>(std::floor(at)) % ring.segments;
        const double frac = at - std::floor(at);
        double edge = std::min(r - ring.inner, ring.outer - r);
        if (ring.segments > 1)
            edge = std::min(edge, std::min(frac, 1 - frac) * 2 * std::numbers::pi * r / ring.segments);
        Colour glass = segment % 2 ? ring.second : ring.first;
        // The outer ring carries a roundel in each pane.
        if (ring.outer == kRoseRadius) {
            const double a =
                (std::floor(at) + 0.5 - ring.twist) / ring.segments * 2 * std::numbers::pi - std::numbers::pi;
            const double d = std::hypot(dx - 163 * std::cos(a), dy - 163 * std::sin(a));
            if (d < 13) return {mix_bits(n, 100 + segment), segment % 3 ? hex(0x40b040) : hex(0xf0d040), 13 - d};
            edge = std::min(edge, d - 13);
        }
        return {mix_bits(n, segment), glass, edge};
    }
    return {0, {}, 0};
}

// Irregular panes: the nearest of seeds scattered one to a grid square.
Pane outer_pane(double x, double y) {
    const int gx = static_cast<int>(std::floor(x / kPane)), gy = static_cast<int>(std::floor(y / kPane));
    double best = 1e9, second = 1e9;
    Point seed{};
    std::uint32_t id = 0;
    for (int j = gy - 1; j <= gy + 1; ++j)
        for (int i = gx - 1; i <= gx + 1; ++i) {
            const std::uint32_t h =
                mix_bits(static_cast<std::uint32_t>(i + 1000), static_cast<std::uint32_t>(j + 1000));
            const Point s{(i + 0.1 + 0.8 * unit(h)) * kPane, (j + 0.1 + 0.8 * unit(h >> 8 ^ h * 31)) * kPane};
            const double d = std::hypot(x - s.x, y - s.y);
            if (d < best) {
                second = best;
                best = d;
                seed = s;
                id = h;
            } else if (d < second) {
                second = d;
            }
        }
    // Corner colours, blended across the window, jittered pane by pane.
    const double u = seed.x / 640, v = seed.y / 480;
    const Colour top = mix(hex(0x1a8a4a), hex(0x8a2aa0), u), bottom = mix(hex(0xd08a18), hex(0x108a98), u);
    Colour glass = mix(top, bottom, v);
    const double jitter = unit(id >> 4);
    if (jitter > 0.86)
        glass = hex(0xe8d8a0);  // a few clear panes
    else
        glass = glass * (0.75 + 0.5 * jitter);
    double edge = (second - best) / 2;
    edge = std::min(edge, std::hypot(x - kRose.x, y - kRose.y) - kRoseRadius);
    return {id, glass, edge};
}

Colour window(double x, double y) {
    const bool in_rose = std::hypot(x - kRose.x, y - kRose.y) < kRoseRadius;
    const Pane p = in_rose ? rose_pane(x, y) : outer_pane(x, y);
    const double frame = std::min(std::min(x, 640 - x), std::min(y, 480 - y));
    if (p.edge < kLead || frame < 2 * kLead) {
        const double shine = std::max(0.0, 1 - std::abs(p.edge - kLead * 0.5) / kLead);
        return mix(hex(0x16141a), hex(0x4a4650), shine * 0.6);
    }
    const double mottle = fbm(x / 9, y / 9, 3, 300 + (p.id & 7));
    const double bulge = 0.82 + 0.25 * smoothstep(kLead, kLead + 9, p.edge);
    const double daylight = 1.2 - 0.45 * (x / 640 + y / 480) / 2 + 0.25 * std::exp(-std::hypot(x - 120, y - 80) / 160);
    return p.glass * (bulge * daylight * (0.92 + 0.16 * mottle));
}

}  // namespace

Image stained_glass() { return painted(window); }

}  // namespace tools
