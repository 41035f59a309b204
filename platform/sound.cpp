// SPDX-License-Identifier: MIT
#include "sound.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::sound {

namespace {

constexpr double kFadeBandHz = 4000.0;  // harmonics taper off over this band below the top

// The highest frequency a voice plays: the edge of hearing, kept clear of the Nyquist limit.
double top_hz(int rate) { return std::min(kTopHz, 0.45 * rate); }

// How much of a harmonic at `hz` is kept: all of it well below the top, none at the top,
// with a smooth fall between so that a change of pitch never cuts a harmonic off sharply.
double taper(double hz, double top) {
    double from = top - kFadeBandHz;
    if (hz <= from) return 1.0;
    if (hz >= top) return 0.0;
    double c = std::cos(std::numbers::pi / 2 * (hz - from) / kFadeBandHz);
    return c * c;
}

// The odd harmonics a square wave at `hz` keeps below `top`, their amplitudes into `weight`.
int harmonics_of(double hz, double top, double* weight) {
    int harmonics = 0;
    for (; harmonics < kMaxHarmonics; ++harmonics) {
        int k = 2 * harmonics + 1;
        double w = taper(k * hz, top);
        if (w == 0.0) break;
        weight[harmonics] = 4.0 / std::numbers::pi / k * w;
    }
    return harmonics;
}

// The square wave at the tone's phase, peak 1: sin(k x) for odd k by the recurrence
// s(k+2) = 2 cos(2x) s(k) - s(k-2).
double wave(const Tone& t) {
    double x = 2 * std::numbers::pi * t.phase;
    double twice_cos = 2 * std::cos(2 * x);
    double before = -std::sin(x);
    double now = std::sin(x);
    double sum = t.weight[0] * now;
    for (int h = 1; h < t.harmonics; ++h) {
        double next = twice_cos * now - before;
        before = now;
        now = next;
        sum += t.weight[h] * now;
    }
    return sum;
}

}  // namespace

double pitch_of(int divisor) {
    if (divisor <= 0) return 0.0;
    double hz = kPitClock / divisor;
    return hz < kTopHz ? hz : 0.0;
}

void start(Voice& v, int rate) {
    v = Voice{};
    v.rate = rate;
}

void set_divisor(Voice& v, int divisor) {
    double hz = pitch_of(divisor);
    Tone* now = v.sounding >= 0 ? &v.tone[v.sounding] : nullptr;
    if (now != nullptr && hz / v.rate == now->step) return;
    // The new tone takes up the cycle where the loudest one is, so that the two cross-fade
    // in step; from silence it starts at the zero crossing of its rising edge.
    Tone* loudest =
        std::max_element(v.tone, v.tone + kTones, [](const Tone& a, const Tone& b) { return a.gain < b.gain; });
    double phase = loudest->gain > 0 ? loudest->phase : 0.0;
    if (now != nullptr) now->on = false;  // it rings on through the fall of its ramp
    v.sounding = -1;
    if (hz == 0.0 || hz >= top_hz(v.rate)) return;  // silent, or above what the rate can carry
    Tone* quietest =
        std::min_element(v.tone, v.tone + kTones, [](const Tone& a, const Tone& b) { return a.gain < b.gain; });
    Tone& t = *quietest;
    t.harmonics = harmonics_of(hz, top_hz(v.rate), t.weight);
    t.step = hz / v.rate;
    t.phase = phase;
    t.on = true;
    v.sounding = static_cast<int>(quietest - v.tone);
}

void render(Voice& v, float* out, int n) {
    std::fill(out, out + n, 0.0f);
    const double ramp_step = 1000.0 / (kRampMs * v.rate);
    for (Tone& t : v.tone) {
        if (!t.on && t.gain == 0.0) continue;  // silent, as most of the time
        for (int i = 0; i < n; ++i) {
            t.gain = t.on ? std::min(1.0, t.gain + ramp_step) : std::max(0.0, t.gain - ramp_step);
            if (t.gain == 0.0) break;
            out[i] += static_cast<float>(kVolume * t.gain * wave(t));
            t.phase += t.step;
            if (t.phase >= 1.0) t.phase -= 1.0;
        }
    }
}

std::vector<float> render_changes(const std::vector<Change>& changes, int rate, std::int64_t tail_us) {
    Voice v;
    start(v, rate);
    std::vector<float> out;
    auto render_until = [&](std::int64_t us) {
        auto end = static_cast<std::size_t>(std::max<std::int64_t>(0, (us * rate + 500000) / 1000000));
        if (end <= out.size()) return;
        std::size_t from = out.size();
        out.resize(end);
        render(v, out.data() + from, static_cast<int>(end - from));
    };
    for (const Change& c : changes) {
        render_until(c.us);
        set_divisor(v, c.divisor);
    }
    render_until((changes.empty() ? 0 : changes.back().us) + tail_us);
    return out;
}

}  // namespace platform::sound
