// SPDX-License-Identifier: MIT
#include "sim.h"

#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>

#include "files.h"
#include "machine.h"

namespace sim {
namespace {

namespace files = platform::files;
namespace machine = platform::machine;

Options options;
std::int64_t clock_us = 0;
// Pending actions by due time; a multimap keeps actions of the same time in order.
std::multimap<std::int64_t, std::function<void()>> pending;
std::function<void()> limit_handler;

std::vector<Tone> tone_log;
std::function<void(const Tone&)> tone_sink;
bool ports_recorded = false;
std::vector<PortAccess> ports;
std::int64_t next_frame_us = 0;
long shown_changes = -1;

void default_limit() { throw std::runtime_error("virtual time limit reached"); }

void run_due() {
    while (!pending.empty() && pending.begin()->first <= clock_us) {
        auto action = std::move(pending.begin()->second);
        pending.erase(pending.begin());
        action();
    }
}

// A change at the same microsecond as the last one replaces it: only states that lasted
// some time are logged (Sbeep connects the speaker before it loads the new divisor).
void log_tone(int divisor) {
    if (!tone_log.empty() && tone_log.back().first == clock_us) {
        tone_log.pop_back();
        int before = tone_log.empty() ? 0 : tone_log.back().second;
        if (before == divisor) return;
    }
    tone_log.push_back({clock_us, divisor});
    // A streamed log keeps only the two entries that a same-instant change can still touch.
    if (tone_sink && tone_log.size() > 2) {
        tone_sink(tone_log.front());
        tone_log.erase(tone_log.begin());
    }
}

// What a display would show: the picture when it changed, once a frame.
void show_frame() {
    next_frame_us = clock_us + options.frame_us;
    long changes = machine::screen_changes();
    if (changes == shown_changes) return;
    shown_changes = changes;
    machine::frame_shown();
}

}  // namespace

void reset(const Options& o) {
    options = o;
    clock_us = 0;
    pending.clear();
    limit_handler = default_limit;
    tone_log.clear();
    tone_sink = nullptr;
    ports_recorded = false;
    ports.clear();
    next_frame_us = 0;
    shown_changes = -1;
    machine::reset();
}

std::int64_t now_us() { return clock_us; }

void set_quantum_us(int us) { options.quantum_us = us; }

void at(std::int64_t at_us, std::function<void()> action) { pending.emplace(at_us, std::move(action)); }

void press(int key) { machine::push_key(static_cast<std::uint8_t>(key & 0x7F)); }
void release(int key) { machine::push_key(static_cast<std::uint8_t>((key & 0x7F) | 0x80)); }
void key(int k) {
    press(k);
    release(k);
}
void mouse(int x, int y, int buttons) { machine::mouse_device(x, y, buttons); }

void on_limit(std::function<void()> handler) { limit_handler = std::move(handler); }

const std::vector<Tone>& tones() { return tone_log; }

void stream_tones(std::function<void(const Tone&)> sink) { tone_sink = std::move(sink); }

void flush_tones() {
    if (!tone_sink) return;
    for (const Tone& t : tone_log) tone_sink(t);
    tone_log.clear();
}

void record_ports(bool on) {
    ports_recorded = on;
    ports.clear();
}

const std::vector<PortAccess>& port_log() { return ports; }

const unsigned char* vram() { return machine::screen_memory(); }

unsigned char pixel(int x, int y) {
    return machine::screen_memory()[(static_cast<unsigned>(x) + unsigned(machine::kWidth) * static_cast<unsigned>(y)) &
                                    0x7FFFF];
}

const unsigned char* palette() { return machine::palette_registers(); }

long palette_loads() { return machine::palette_loads(); }

bool write_png(const std::string& path) {
    const unsigned char* screen = machine::screen_memory();
    std::vector<unsigned char> rgb(3 * machine::kWidth * machine::kHeight);
    for (int i = 0; i < machine::kWidth * machine::kHeight; ++i) {
        std::uint32_t c = machine::rgb_of(screen[i]);
        rgb[3 * i] = static_cast<unsigned char>(c >> 16);
        rgb[3 * i + 1] = static_cast<unsigned char>(c >> 8);
        rgb[3 * i + 2] = static_cast<unsigned char>(c);
    }
    return files::write_png(path, machine::kWidth, machine::kHeight, rgb.data());
}

bool write_vram(const std::string& path) {
    return files::write_file(path, machine::screen_memory(), std::size_t{machine::kBankSize} * machine::kScreenBanks);
}

bool write_pal(const std::string& path) {
    return files::write_file(path, machine::palette_registers(), machine::kPaletteBytes);
}

}  // namespace sim

// ---- the hooks of the shared machine ----

namespace platform::machine {

void poll(Poll) {
    // A replay's clock is the recording's, so that shots and tones fall where they fell.
    sim::clock_us = replaying() ? replayed_us() : sim::clock_us + sim::options.quantum_us;
    sim::run_due();
    if (sim::options.frame_us > 0 && sim::clock_us >= sim::next_frame_us) sim::show_frame();
    if (sim::clock_us > static_cast<std::int64_t>(sim::options.limit_seconds * 1e6)) sim::limit_handler();
}

timeval now() {
    std::int64_t us = sim::clock_us;
    return {static_cast<time_t>(sim::options.start_seconds + us / 1000000), static_cast<suseconds_t>(us % 1000000)};
}

bool open_display() { return sim::options.display; }
void close_display() {}
bool open_mouse_device() { return sim::options.mouse; }
void speaker(int divisor) { sim::log_tone(divisor); }

void port_access(unsigned short port, unsigned char value, bool write) {
    if (sim::ports_recorded) sim::ports.push_back({port, value, write});
}

void data_wanted(const char*) {}

}  // namespace platform::machine
