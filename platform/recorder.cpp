// SPDX-License-Identifier: MIT
// A game written down as it is played: its polls, inputs, frames and tones, in order.
#include <algorithm>

#include "packing.h"
#include "recording_sides.h"

namespace platform::recording {

using namespace format;

namespace {

struct Writer {
    bool active = false;
    Loaded head;  // the header: the start, the data files and the table
    std::int64_t last_us = 0;
    std::vector<std::uint8_t> stream;
    int last_kind = -1;
    std::uint64_t last_delta = 0, repeats = 0;
    bool can_repeat = false;  // nothing but polls since the last poll record
    std::vector<std::uint8_t> keys;
    int mouse_x = 0, mouse_y = 0, buttons = 0;
    bool frame = false;
    std::uint32_t frame_crc = 0;
    bool table_seen = false;
} w;

void flush_repeats() {
    if (w.repeats == 0) return;
    write(w.stream, {kRepeat, {w.repeats}});
    w.repeats = 0;
}

// A record other than a poll's; the next poll is not a repeat.
void put(const Record& r) {
    flush_repeats();
    w.can_repeat = false;
    write(w.stream, r);
}

void record_poll(machine::Poll what, timeval now) {
    std::int64_t us = us_of(now);
    auto delta = static_cast<std::uint64_t>(std::max<std::int64_t>(us - w.last_us, 0));
    w.last_us += static_cast<std::int64_t>(delta);
    int kind = static_cast<int>(what);
    if (w.can_repeat && kind == w.last_kind && delta == w.last_delta) {
        ++w.repeats;
        return;
    }
    flush_repeats();
    write(w.stream, {static_cast<std::uint8_t>(kPoll + kind), {delta}});
    w.last_kind = kind;
    w.last_delta = delta;
    w.can_repeat = true;
}

void record_inputs(int x, int y, int buttons) {
    for (std::uint8_t k : w.keys) put({kKey, {k}});
    w.keys.clear();
    if (x != w.mouse_x || y != w.mouse_y || buttons != w.buttons) {
        put({kMouse,
             {static_cast<std::uint64_t>(std::int64_t{x}), static_cast<std::uint64_t>(std::int64_t{y}),
              static_cast<std::uint64_t>(buttons)}});
        w.mouse_x = x;
        w.mouse_y = y;
        w.buttons = buttons;
    }
    if (w.frame) put({kFrame, {w.frame_crc}});
    w.frame = false;
    // Past the longest recording a reader takes, the rest is left out: the file ends early.
    if (w.stream.size() > kMaxBody - 65536) w.active = on = false;
}

}  // namespace

void start_recording(timeval now) {
    w = Writer{};
    w.active = on = true;
    w.head.start = now;
    w.last_us = us_of(now);
}

std::vector<std::uint8_t> finish_recording() {
    if (w.active) put({kEnd});
    w.active = false;
    on = replayer::active();
    std::vector<std::uint8_t> contents;
    write_header(contents, w.head);
    contents.insert(contents.end(), w.stream.begin(), w.stream.end());
    return file_of(contents);
}

namespace recorder {

bool active() { return w.active; }

void after_poll(machine::Poll what, int mouse_x, int mouse_y, int buttons) {
    record_poll(what, machine::now());
    record_inputs(mouse_x, mouse_y, buttons);
}

timeval reading() { return tv_of(w.last_us); }

void take_key(std::uint8_t byte) { w.keys.push_back(byte); }

bool opened(bool (*open)(), Tag tag) {
    bool ok = open();
    put({tag, {ok ? 1u : 0u}});
    return ok;
}

void speaker(int divisor) { put({kTone, {static_cast<std::uint64_t>(divisor)}}); }

void frame_shown() {
    w.frame = true;
    w.frame_crc = frame_crc();
}

void data_file(const char* path, std::FILE* f) {
    std::string name = path;
    if (name == kTable) {
        if (w.table_seen) return;
        w.table_seen = true;
        w.head.table_present = f != nullptr;
        std::uint32_t size = 0, crc = 0;
        if (f != nullptr) digest(f, size, crc, &w.head.table);
        return;
    }
    auto& files = w.head.files;
    bool known = std::any_of(files.begin(), files.end(), [&](const auto& d) { return d.name == name; });
    if (known || !data_name(name)) return;
    Loaded::DataFile d{name, f != nullptr};
    if (f != nullptr) digest(f, d.size, d.crc, nullptr);
    files.push_back(d);
}

void data_read_again(const store::Bytes& bytes, bool found) {
    std::size_t size = std::min(bytes.size(), kMaxReadAgain);
    put({kReadAgain, {found ? 1u : 0u, size}, bytes.data()});
}

}  // namespace recorder
}  // namespace platform::recording
