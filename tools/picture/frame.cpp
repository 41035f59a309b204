// SPDX-License-Identifier: MIT
#include "frame.h"

#include <algorithm>
#include <cmath>

namespace tools {

namespace {

struct Weights {
    int first;                 // first source pixel
    std::vector<double> taps;  // normalised weights from there on
};

// A tent filter that widens with the reduction, so shrinking averages every source pixel
// and enlarging interpolates between neighbours.
std::vector<Weights> weights(double start, double span, int out, int size) {
    const double ratio = span / out;
    const double radius = std::max(1.0, ratio);
    std::vector<Weights> all(static_cast<std::size_t>(out));
    for (int o = 0; o < out; ++o) {
        const double centre = start + (o + 0.5) * ratio;
        const int lo = static_cast<int>(std::floor(centre - radius));
        const int hi = static_cast<int>(std::ceil(centre + radius));
        Weights& w = all[static_cast<std::size_t>(o)];
        w.first = std::clamp(lo, 0, size - 1);
        std::vector<double> taps;
        double sum = 0;
        for (int i = lo; i <= hi; ++i) {
            const double t = std::max(0.0, 1.0 - std::abs(i + 0.5 - centre) / radius);
            // Past the edges the edge pixel stands in.
            const auto at = static_cast<std::size_t>(std::clamp(i, 0, size - 1) - w.first);
            if (at >= taps.size()) taps.resize(at + 1, 0.0);
            taps[at] += t;
            sum += t;
        }
        for (double& t : taps) t /= sum;
        w.taps = std::move(taps);
    }
    return all;
}

struct Region {
    double x, y, w, h;  // in the source
};

// The part of `source` inside `from`, scaled to out_w x out_h.
Image resample(const Image& source, Region from, int out_w, int out_h) {
    const auto across = weights(from.x, from.w, out_w, source.width);
    const auto down = weights(from.y, from.h, out_h, source.height);
    // Only the rows the output draws on are resampled across: a crop of a tall picture
    // leaves most of them out.
    const int top = down.front().first;
    const int bottom = down.back().first + static_cast<int>(down.back().taps.size());
    std::vector<double> rows(static_cast<std::size_t>(out_w) * (bottom - top) * 3);
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < out_w; ++x) {
            const Weights& w = across[static_cast<std::size_t>(x)];
            double* into = &rows[(static_cast<std::size_t>(y - top) * out_w + x) * 3];
            for (std::size_t i = 0; i < w.taps.size(); ++i) {
                const Rgb& c = source.at(w.first + static_cast<int>(i), y);
                into[0] += w.taps[i] * c.r;
                into[1] += w.taps[i] * c.g;
                into[2] += w.taps[i] * c.b;
            }
        }
    Image out(out_w, out_h);
    auto component = [](double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    for (int y = 0; y < out_h; ++y)
        for (int x = 0; x < out_w; ++x) {
            const Weights& w = down[static_cast<std::size_t>(y)];
            double sum[3] = {0, 0, 0};
            for (std::size_t i = 0; i < w.taps.size(); ++i) {
                const double* from_row =
                    &rows[((static_cast<std::size_t>(w.first - top) + i) * out_w + static_cast<std::size_t>(x)) * 3];
                for (int k = 0; k < 3; ++k) sum[k] += w.taps[i] * from_row[k];
            }
            out.at(x, y) = {component(sum[0]), component(sum[1]), component(sum[2])};
        }
    return out;
}

}  // namespace

Image frame(const Image& source, int width, int height, Framing how) {
    const double sx = static_cast<double>(width) / source.width;
    const double sy = static_cast<double>(height) / source.height;
    if (how == Framing::crop) {
        const double s = std::max(sx, sy);
        const double w = width / s;
        const double h = height / s;
        return resample(source, {(source.width - w) / 2, (source.height - h) / 2, w, h}, width, height);
    }
    const double s = std::min(sx, sy);
    const int w = std::clamp(static_cast<int>(std::lround(source.width * s)), 1, width);
    const int h = std::clamp(static_cast<int>(std::lround(source.height * s)), 1, height);
    const Image inner =
        resample(source, {0, 0, static_cast<double>(source.width), static_cast<double>(source.height)}, w, h);
    Image out(width, height);
    const int left = (width - w) / 2;
    const int top = (height - h) / 2;
    for (int y = 0; y < h; ++y) std::copy_n(&inner.pixels[static_cast<std::size_t>(y) * w], w, &out.at(left, top + y));
    return out;
}

}  // namespace tools
