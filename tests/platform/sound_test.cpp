// SPDX-License-Identifier: MIT
// The speaker's sound, heard the way a listener would measure it: pitches from the zero
// crossings, tone edges from the level and from where the pitch changes, and the spectrum
// where a naive square wave would fold its harmonics back below the Nyquist limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "scenario/game_files.h"
#include "sound.h"
#include "support.h"

namespace sound = platform::sound;

namespace {

constexpr int kRate = 48000;

struct Heard {
    double start_ms;
    double end_ms;
    double hz;
};

// Rising zero crossings, in samples, interpolated between the two samples around them.
// A crossing counts only after the wave has been clearly below zero.
std::vector<double> rising_crossings(const std::vector<float>& s) {
    std::vector<double> at;
    bool armed = false;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] < -0.02f) armed = true;
        if (armed && s[i - 1] < 0 && s[i] >= 0) {
            at.push_back(static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]));
            armed = false;
        }
    }
    return at;
}

// The edge of a tone that starts or ends in silence: where its level passes half its peak.
double level_edge(const std::vector<float>& s, std::size_t from, std::size_t to, bool start) {
    float peak = 0;
    for (std::size_t i = from; i < to; ++i) peak = std::max(peak, std::fabs(s[i]));
    if (start) {
        std::size_t i = from;
        while (i > 0 && s[i - 1] != 0) --i;  // back to the silence before the tone
        while (std::fabs(s[i]) < peak / 2) ++i;
        return static_cast<double>(i);
    }
    std::size_t i = to;
    while (i + 1 < s.size() && s[i + 1] != 0) ++i;  // on to the silence after it
    while (std::fabs(s[i]) < peak / 2) --i;
    return static_cast<double>(i);
}

// The tones in a recording: runs of cycles of one length. Between two tones with no
// silence between, the edge is where the phase of the one hands over to the other.
std::vector<Heard> tones_heard(const std::vector<float>& s) {
    std::vector<double> c = rising_crossings(s);
    struct Run {
        std::size_t first, last;  // crossings
        double hz;
    };
    std::vector<Run> runs;
    for (std::size_t i = 0; i + 1 < c.size();) {
        double period = c[i + 1] - c[i];
        std::size_t j = i + 1;
        while (j + 1 < c.size() && std::fabs(c[j + 1] - c[j] - period) < 0.005 * period) ++j;
        if (j - i >= 4) runs.push_back({i, j, kRate * static_cast<double>(j - i) / (c[j] - c[i])});
        i = j;
    }
    std::vector<Heard> heard;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const Run& run = runs[r];
        auto from = static_cast<std::size_t>(c[run.first]);
        auto to = static_cast<std::size_t>(c[run.last]);
        double start = level_edge(s, from, to, true);
        double end = level_edge(s, from, to, false);
        const Run* before = r > 0 ? &runs[r - 1] : nullptr;
        double f1 = before ? before->hz / kRate : 0, f2 = run.hz / kRate;
        if (before && c[run.first] - c[before->last] < 2 / std::min(f1, f2)) {
            auto cycles = static_cast<double>(run.first - before->last);
            start = (c[run.first] * f2 - c[before->last] * f1 - cycles) / (f2 - f1);
            heard.back().end_ms = 1000.0 * start / kRate;
        }
        heard.push_back({1000.0 * start / kRate, 1000.0 * end / kRate, run.hz});
    }
    return heard;
}

// The amplitude of one frequency in a stretch, through a Hann window.
double amplitude_at(const std::vector<float>& s, std::size_t from, std::size_t n, double hz) {
    double re = 0, im = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
        double x = 2 * std::numbers::pi * hz * static_cast<double>(i) / kRate;
        re += w * s[from + i] * std::cos(x);
        im += w * s[from + i] * std::sin(x);
    }
    return 4 * std::hypot(re, im) / static_cast<double>(n);
}

std::vector<float> read_wav16(const std::string& path) {
    std::vector<unsigned char> bytes = test::read_file(path);
    std::vector<float> s;
    for (std::size_t i = 44; i + 1 < bytes.size(); i += 2)
        s.push_back(static_cast<float>(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8)) / 32767.0f);
    return s;
}

std::vector<float> wav_of(const std::string& log_path, const std::string& wav_path, int rate) {
    std::string command = std::string(TONES_WAV) + " --rate " + std::to_string(rate) + " " + log_path + " " + wav_path;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return read_wav16(wav_path);
}

float peak_in(const std::vector<float>& s, double from_ms, double to_ms) {
    float peak = 0;
    for (auto i = static_cast<std::size_t>(from_ms * kRate / 1000); i < to_ms * kRate / 1000; ++i)
        peak = std::max(peak, std::fabs(s[i]));
    return peak;
}

// The title fanfare as brin-sim logs it: three times ten tones of 80 ms for the divisors
// 0, 600, ..., 5400; each tone follows the last at the same instant, 0 being silence.
constexpr std::int64_t kFanfareStartUs = 100000;
constexpr std::int64_t kToneUs = 80000;

std::string fanfare_log() {
    std::string log;
    std::int64_t us = kFanfareStartUs;
    for (int round = 0; round < 3; ++round) {
        for (int d = 0; d < 6000; d += 600, us += kToneUs) log += std::to_string(us) + " " + std::to_string(d) + "\n";
    }
    return log + std::to_string(us) + " 0\n";
}

TEST(Sound, FanfareRenderedByTonesWavHasTheRightPitchesAndLengths) {
    std::string dir = test::temp_dir();
    std::string log = fanfare_log();
    test::write_file(dir + "/tones.log", {log.begin(), log.end()});
    std::vector<Heard> heard = tones_heard(wav_of(dir + "/tones.log", dir + "/fanfare.wav", kRate));

    ASSERT_EQ(heard.size(), 27u);
    double worst_pitch = 0, worst_length = 0, worst_start = 0;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        int round = static_cast<int>(i) / 9, d = 600 * (static_cast<int>(i) % 9 + 1);
        double nominal_start_ms = (kFanfareStartUs + (10 * round + d / 600) * kToneUs) / 1000.0;
        SCOPED_TRACE("tone " + std::to_string(i) + ", divisor " + std::to_string(d));
        EXPECT_NEAR(heard[i].hz / (sound::kPitClock / d), 1.0, 0.01);
        EXPECT_NEAR(heard[i].start_ms, nominal_start_ms, 5.0);
        EXPECT_NEAR(heard[i].end_ms - heard[i].start_ms, kToneUs / 1000.0, 5.0);
        worst_pitch = std::max(worst_pitch, std::fabs(heard[i].hz / (sound::kPitClock / d) - 1));
        worst_length = std::max(worst_length, std::fabs(heard[i].end_ms - heard[i].start_ms - kToneUs / 1000.0));
        worst_start = std::max(worst_start, std::fabs(heard[i].start_ms - nominal_start_ms));
    }
    std::printf("27 tones: pitch within %.3f%%, length within %.2f ms, start within %.2f ms\n", 100 * worst_pitch,
                worst_length, worst_start);
}

TEST(Sound, HarmonicsAboveNyquistDoNotFoldBack) {
    // 4,992 Hz: a naive square wave's 5th, 7th, 9th and 11th harmonics would fold back
    // to 23,040, 13,056, 3,072 and 6,912 Hz at 1/5 to 1/11 of the fundamental.
    constexpr int d = 239;
    std::vector<float> s = sound::render_changes({{0, d}, {200000, 0}}, kRate, 0);
    const std::size_t from = kRate / 20, n = kRate / 10;
    double hz = sound::kPitClock / d;
    double fundamental = amplitude_at(s, from, n, hz);
    EXPECT_NEAR(fundamental, 4 / std::numbers::pi * sound::kVolume, 0.01);
    EXPECT_NEAR(amplitude_at(s, from, n, 3 * hz) / fundamental, 1.0 / 3, 0.01);  // kept below the top
    for (int k : {5, 7, 9, 11}) {
        double folded = std::fabs(kRate - std::fmod(k * hz, kRate));
        if (folded > kRate / 2.0) folded = kRate - folded;
        EXPECT_LT(amplitude_at(s, from, n, folded), 1e-4 * fundamental)
            << "harmonic " << k << " at " << folded << " Hz";
    }
}

TEST(Sound, PitchesAboveHearingAndDivisorZeroAreSilent) {
    EXPECT_EQ(sound::pitch_of(0), 0.0);
    EXPECT_EQ(sound::pitch_of(59), 0.0);  // 20,223 Hz
    EXPECT_NEAR(sound::pitch_of(1500), 795.45, 0.01);
    for (int d : {0, 1, 50, 59}) {
        std::vector<float> s = sound::render_changes({{0, d}}, kRate, 50000);
        EXPECT_EQ(peak_in(s, 0, 50), 0.0f) << "divisor " << d;
    }
}

TEST(Sound, TonesRampInAndOutInsteadOfClicking) {
    std::vector<float> s = sound::render_changes({{10000, 1500}, {50000, 0}}, kRate, 20000);
    float full = peak_in(s, 20, 40);
    EXPECT_EQ(peak_in(s, 0, 10), 0.0f);
    EXPECT_LT(peak_in(s, 10, 10.1), 0.1f * full);  // no jump at the start
    EXPECT_GT(peak_in(s, 12.5, 14), 0.9f * full);  // full level soon after
    EXPECT_GT(peak_in(s, 50, 50.5), 0.5f * full);  // no cut at the end
    EXPECT_EQ(peak_in(s, 50 + sound::kRampMs + 0.1, 70), 0.0f);
    // A pitch at the edge of hearing, nearly silent, is no reason for the next note to skip
    // its fade in.
    std::vector<float> after = sound::render_changes({{0, 60}, {40000, 1500}, {80000, 0}}, kRate, 0);
    EXPECT_LT(peak_in(after, 40, 40.1), 0.1f * full);
}

TEST(Sound, APitchChangeWithoutSilenceKeepsTheWaveWhole) {
    // Back-to-back tones (sonido's Sbeep(0) and the next Sbeep in the same instant) must
    // not dip: the level stays up through the change.
    std::vector<float> s = sound::render_changes({{0, 1500}, {40000, 3000}, {80000, 0}}, kRate, 10000);
    float full = peak_in(s, 10, 30);
    for (double ms = 36; ms < 46; ms += 1) EXPECT_GT(peak_in(s, ms, ms + 2), 0.8f * full) << ms;
}

// A whole game's tones, rendered at four times the usual rate so that a note's band-limited
// edge spans several samples while a jump still happens in one: the title's fanfare, the
// shuffles, the clicks, the count-up and the game over. Inside a steady note a step is at
// most that note's own edge; nowhere, not where notes start, stop or follow one another,
// may a step be larger than the edges of the notes sounding there.
TEST(Sound, AWholeGameHasNoStepBeyondItsNotesOwnEdges) {
    constexpr int rate = 4 * kRate;
    std::string folder = scenario::game_folder();
    scenario::Plan plan = scenario::plan_game(folder, scenario::kPlayWithoutFile);
    scenario::Played run = scenario::play(folder, plan.clicks + scenario::name_then_enter(plan.name_entry, "x") +
                                                      scenario::at(plan.name_entry + 2, "end"));
    ASSERT_EQ(run.status, 0);
    std::vector<std::pair<long long, int>> log = scenario::tones(run);
    std::vector<float> s = wav_of(run.out + "tones.log", folder + "game.wav", rate);

    struct Note {
        std::size_t from, to;  // samples
        int divisor;
    };
    auto sample_at = [&](long long us) { return static_cast<std::size_t>(us * rate / 1000000); };
    std::vector<Note> notes;
    for (std::size_t i = 0; i + 1 < log.size(); ++i)
        if (sound::pitch_of(log[i].second) > 0)
            notes.push_back({sample_at(log[i].first), sample_at(log[i + 1].first), log[i].second});
    ASSERT_GT(notes.size(), 60u);

    auto step = [&](std::size_t i) { return std::fabs(s[i] - s[i - 1]); };
    // Each divisor's own edge: the largest step well inside its notes, past their ramps.
    const auto settled = static_cast<std::size_t>(rate * (sound::kRampMs + 1) / 1000);
    std::map<int, float> edge;
    for (const Note& n : notes)
        for (std::size_t i = n.from + settled; i < n.to && i < s.size(); ++i)
            edge[n.divisor] = std::max(edge[n.divisor], step(i));

    // Anywhere else a step may be as large as the edges of the notes sounding there, until a
    // ramp's length after each, and a couple of 16-bit levels more.
    std::vector<float> allowed(s.size(), 2.0f / 32767);
    for (const Note& n : notes) {
        if (!edge.count(n.divisor)) continue;  // only ever too short to settle: it must not sound at all
        for (std::size_t i = n.from; i < std::min(n.to + settled, s.size()); ++i)
            allowed[i] = std::max(allowed[i], edge[n.divisor] + 2.0f / 32767);
    }
    float worst = 0;
    std::size_t worst_at = 0;
    for (std::size_t i = 1; i < s.size(); ++i)
        if (step(i) - allowed[i] > worst) {
            worst = step(i) - allowed[i];
            worst_at = i;
        }
    std::printf(
        "%zu notes; steps within their edges (largest edge %.4f)", notes.size(),
        std::max_element(edge.begin(), edge.end(), [](auto& a, auto& b) { return a.second < b.second; })->second);
    if (worst > 0)
        std::printf("; at %.4f s a step of %.4f against %.4f allowed", static_cast<double>(worst_at) / rate,
                    step(worst_at), allowed[worst_at]);
    std::printf("\n");
    EXPECT_EQ(worst, 0.0f);
}

}  // namespace
