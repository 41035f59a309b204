// SPDX-License-Identifier: MIT
// The PC speaker as sound samples: a square wave at 1,193,182 / divisor Hz, built from its
// odd harmonics below the edge of hearing so that nothing aliases, switched on and off
// through short ramps so that nothing clicks. Used by the SDL audio, the browser and tones-wav.
#pragma once

#include <cstdint>
#include <vector>

namespace platform::sound {

constexpr double kPitClock = 1193182.0;
constexpr double kTopHz = 20000.0;  // harmonics fade out below this, pitches above it are silent
constexpr double kRampMs = 2.0;     // length of the fade in and out of every tone
constexpr double kVolume = 0.18;    // peak of the square wave, full scale being 1
constexpr int kMaxHarmonics = 600;  // odd harmonics of the lowest pitch (18 Hz) below 20 kHz

// One pitch with its own ramp. A change of pitch fades the old tone out while the new one
// fades in, so that neither starts nor stops in one sample.
struct Tone {
    double phase = 0;                   // position in the cycle, 0 to 1
    double step = 0;                    // cycles per sample
    double gain = 0;                    // the ramp, 0 to 1
    bool on = false;                    // the ramp heads for 1
    int harmonics = 0;                  // odd harmonics 1, 3, 5, ... in use
    double weight[kMaxHarmonics] = {};  // their amplitudes
};

constexpr int kTones = 3;  // enough for a change while the tone before the last still fades

struct Voice {
    int rate = 48000;
    Tone tone[kTones];
    int sounding = -1;  // the tone that is on, -1 when the speaker is silent
};

// The pitch a divisor sounds at, or 0 when it is silent (0) or above hearing.
double pitch_of(int divisor);

// A silent voice for `rate` samples a second.
void start(Voice& v, int rate);
// The speaker sounds at `divisor` from the next sample on (0: falls silent).
void set_divisor(Voice& v, int divisor);
// The next `n` samples.
void render(Voice& v, float* out, int n);

// One change of the speaker: at microsecond `us`, sounding at `divisor` (0 silent).
struct Change {
    std::int64_t us;
    int divisor;
};
// The whole of a list of changes in time order, from 0 us to `tail_us` after the last.
std::vector<float> render_changes(const std::vector<Change>& changes, int rate, std::int64_t tail_us);

}  // namespace platform::sound
