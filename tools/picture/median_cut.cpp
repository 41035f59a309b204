// SPDX-License-Identifier: MIT
// Median cut over a histogram of the picture's colours, refined by k-means, then Floyd-
// Steinberg dithering. The standard colours stay fixed centres all along, so the pixels
// near them take them, as the game's palette demands.
#include "median_cut.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace tools {

namespace {

constexpr int kEntries = 256;
constexpr int kRounds = 8;  // of k-means: later rounds gain little
constexpr double kZero[3] = {0, 0, 0};
constexpr double kLargeError = 8;  // in RGB distance: beyond this a diffused error is halved
constexpr double kDamping = 0.5;

struct Colour {
    double c[3] = {0, 0, 0};
};

// Pixels of one colour at the screen's 6-bit levels: their count and mean true colour.
struct Bin {
    Colour mean;
    double count = 0;
};

double distance2(const double* a, const double* b) {
    const double r = a[0] - b[0], g = a[1] - b[1], bl = a[2] - b[2];
    return r * r + g * g + bl * bl;
}

std::vector<Bin> histogram(const Image& image) {
    std::unordered_map<int, Bin> bins;
    for (const Rgb& p : image.pixels) {
        Bin& b = bins[(p.r >> 2) << 12 | (p.g >> 2) << 6 | (p.b >> 2)];
        b.mean.c[0] += p.r;
        b.mean.c[1] += p.g;
        b.mean.c[2] += p.b;
        b.count += 1;
    }
    std::vector<std::pair<int, Bin>> sorted(bins.begin(), bins.end());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Bin> all;
    all.reserve(sorted.size());
    for (auto& [key, b] : sorted) {
        for (double& v : b.mean.c) v /= b.count;
        all.push_back(b);
    }
    return all;
}

// The weighted mean and summed squared spread of bins [first, last) along each component.
struct Spread {
    Colour mean;
    std::array<double, 3> error{};
};

Spread spread(const std::vector<Bin>& bins, std::size_t first, std::size_t last) {
    Spread s;
    double n = 0;
    for (std::size_t i = first; i < last; ++i) {
        n += bins[i].count;
        for (int k = 0; k < 3; ++k) s.mean.c[k] += bins[i].count * bins[i].mean.c[k];
    }
    for (double& v : s.mean.c) v /= n;
    for (std::size_t i = first; i < last; ++i)
        for (int k = 0; k < 3; ++k) {
            const double d = bins[i].mean.c[k] - s.mean.c[k];
            s.error[static_cast<std::size_t>(k)] += bins[i].count * d * d;
        }
    return s;
}

struct Box {
    std::size_t first, last;
    Spread spread;
    double error() const { return spread.error[0] + spread.error[1] + spread.error[2]; }
};

// Splits the box with the most squared error, along its widest component, at its weighted
// median, until there are `wanted` boxes or none can be split.
std::vector<Colour> median_cut(std::vector<Bin>& bins, int wanted) {
    std::vector<Box> boxes{{0, bins.size(), spread(bins, 0, bins.size())}};
    while (static_cast<int>(boxes.size()) < wanted) {
        auto worst = std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) {
            return (a.last - a.first > 1 ? a.error() : -1) < (b.last - b.first > 1 ? b.error() : -1);
        });
        if (worst->last - worst->first < 2) break;
        const Box box = *worst;
        const auto& e = box.spread.error;
        const int k = static_cast<int>(std::max_element(e.begin(), e.end()) - e.begin());
        const auto first = bins.begin() + static_cast<std::ptrdiff_t>(box.first);
        const auto last = bins.begin() + static_cast<std::ptrdiff_t>(box.last);
        std::stable_sort(first, last, [k](const Bin& a, const Bin& b) { return a.mean.c[k] < b.mean.c[k]; });
        double total = 0, seen = 0;
        for (auto i = first; i != last; ++i) total += i->count;
        std::size_t cut = box.first + 1;
        for (std::size_t i = box.first; i + 1 < box.last && seen + bins[i].count <= total / 2; ++i) {
            seen += bins[i].count;
            cut = i + 1;
        }
        *worst = {box.first, cut, spread(bins, box.first, cut)};
        boxes.push_back({cut, box.last, spread(bins, cut, box.last)});
    }
    std::vector<Colour> centres;
    for (const Box& b : boxes) centres.push_back(b.spread.mean);
    return centres;
}

std::size_t nearest(const std::vector<Colour>& palette, const double* c) {
    std::size_t best = 0;
    double best_d = distance2(palette[0].c, c);
    for (std::size_t i = 1; i < palette.size(); ++i) {
        const double d = distance2(palette[i].c, c);
        if (d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

// Moves every centre but the first `fixed` to the mean of the bins nearest to it.
void refine(std::vector<Colour>& centres, std::size_t fixed, const std::vector<Bin>& bins) {
    for (int round = 0; round < kRounds; ++round) {
        std::vector<Bin> sums(centres.size());
        for (const Bin& b : bins) {
            Bin& s = sums[nearest(centres, b.mean.c)];
            for (int k = 0; k < 3; ++k) s.mean.c[k] += b.count * b.mean.c[k];
            s.count += b.count;
        }
        for (std::size_t i = fixed; i < centres.size(); ++i)
            if (sums[i].count > 0)
                for (int k = 0; k < 3; ++k) centres[i].c[k] = sums[i].mean.c[k] / sums[i].count;
    }
}

// Each pixel takes the nearest colour to itself plus the error its neighbours left, scaled
// by `dithering`; rows run alternately left and right so the error does not streak.
std::vector<std::uint8_t> remap(const Image& image, const std::vector<Colour>& palette, float dithering) {
    const int w = image.width;
    std::vector<std::uint8_t> out(image.pixels.size());
    std::vector<double> here(static_cast<std::size_t>(w + 2) * 3), below(here.size());
    for (int y = 0; y < image.height; ++y) {
        const bool forward = y % 2 == 0;
        const int step = forward ? 1 : -1;
        for (int i = 0; i < w; ++i) {
            const int x = forward ? i : w - 1 - i;
            const Rgb& p = image.at(x, y);
            double* err = &here[static_cast<std::size_t>(x + 1) * 3];
            double want[3] = {p.r + err[0], p.g + err[1], p.b + err[2]};
            for (double& v : want) v = std::clamp(v, 0.0, 255.0);
            const std::size_t entry = nearest(palette, want);
            out[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(entry);
            double e[3];
            for (int k = 0; k < 3; ++k) e[k] = (want[k] - palette[entry].c[k]) * dithering;
            // An error the palette cannot make up for would only spread speckles: damp it.
            if (distance2(e, kZero) > kLargeError * kLargeError)
                for (double& v : e) v *= kDamping;
            for (int k = 0; k < 3; ++k) {
                here[static_cast<std::size_t>(x + 1 + step) * 3 + k] += e[k] * 7 / 16;
                below[static_cast<std::size_t>(x + 1 - step) * 3 + k] += e[k] * 3 / 16;
                below[static_cast<std::size_t>(x + 1) * 3 + k] += e[k] * 5 / 16;
                below[static_cast<std::size_t>(x + 1 + step) * 3 + k] += e[k] * 1 / 16;
            }
        }
        here.swap(below);
        std::fill(below.begin(), below.end(), 0.0);
    }
    return out;
}

}  // namespace

Indexed quantise_median_cut(const Image& image, float dithering) {
    constexpr auto kStandards = std::size(kStandardColours);
    std::vector<Bin> bins = histogram(image);
    std::vector<Colour> centres;
    for (const Standard& s : kStandardColours)
        centres.push_back({{double(s.colour.r), double(s.colour.g), double(s.colour.b)}});
    const int free_entries = kEntries - static_cast<int>(kStandards) - 1;
    for (const Colour& c : median_cut(bins, free_entries)) centres.push_back(c);
    refine(centres, kStandards, bins);
    // The screen shows 6-bit levels: pick colours as they will be seen.
    for (Colour& c : centres)
        for (double& v : c.c) v = screen_level(static_cast<std::uint8_t>(std::lround(v)));

    // Standard colours first, then the rest, as the tools' quantiser hands them over.
    std::vector<Rgb> colours;
    for (const Colour& c : centres)
        colours.push_back(
            {static_cast<std::uint8_t>(c.c[0]), static_cast<std::uint8_t>(c.c[1]), static_cast<std::uint8_t>(c.c[2])});
    return level_picture(colours, remap(image, centres, dithering), image.width, image.height, false);
}

}  // namespace tools
