// SPDX-License-Identifier: MIT
// The deterministic back-end: a virtual clock that moves only when the program reads it or
// polls, input given in advance at virtual times, and the screen, palette and speaker open
// to inspection. The same inputs always give the same run, byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

struct Options {
    std::int64_t start_seconds = 1700000000;  // Unix time the clock starts at (0 us)
    int quantum_us = 100;                     // added at every clock read, key poll, mouse poll
    bool display = true;                      // false: the graphics mode cannot be set
    bool mouse = true;                        // false: the mouse cannot be opened
    double limit_seconds = 3600;              // virtual seconds before on_limit is called
    int frame_us = 0;  // > 0: a changed picture counts as shown this often, as a display would show it
};

// A fresh machine: screen memory and palette cleared, nothing queued, clock at the start.
void reset(const Options& options = {});

// Virtual microseconds since the start.
std::int64_t now_us();
// From now on the clock advances by `us` at every read and poll.
void set_quantum_us(int us);

// Runs `action` at the first clock read or poll at or after `at_us`; actions due at the same
// time run in the order they were given.
void at(std::int64_t at_us, std::function<void()> action);

// Input, taking effect at once.
void press(int key);                    // key byte `key` (1-127)
void release(int key);                  // key byte `key` + 128
void key(int key);                      // press and release
void mouse(int x, int y, int buttons);  // buttons as 4 left, 2 middle, 1 right

// Called when the virtual time passes the limit; by default it throws std::runtime_error,
// so that a test waiting for input it was never given fails instead of hanging.
void on_limit(std::function<void()> handler);

// Every change of the speaker: (microseconds since start, divisor or 0 for silence).
using Tone = std::pair<std::int64_t, int>;
const std::vector<Tone>& tones();
// Instead of keeping them, hand every settled change to `sink` (long runs stay small).
void stream_tones(std::function<void(const Tone&)> sink);
void flush_tones();

// Every port access, when asked for: (port, value, true for a write).
struct PortAccess {
    int port;
    int value;
    bool write;
    bool operator==(const PortAccess&) const = default;
};
void record_ports(bool on);
const std::vector<PortAccess>& port_log();

// Screen memory (banks 0-7; the picture and its margin rows are the first 327,680 bytes).
const unsigned char* vram();
unsigned char pixel(int x, int y);
// The palette registers, 768 six-bit levels.
const unsigned char* palette();
// Palette loads (vga_setpalvec calls) since the reset.
long palette_loads();

// The picture as shown (rows 0-479 through the palette registers), the raw screen memory
// of banks 0-4, and the palette registers; each returns false when the file can't be written.
bool write_png(const std::string& path);
bool write_vram(const std::string& path);
bool write_pal(const std::string& path);

}  // namespace sim
