// SPDX-License-Identifier: MIT
// A game written down as it is played: its polls, inputs, frames and tones, in order, packed
// a few seconds at a time, so that a game of hours costs little memory and a crash loses
// only its last seconds. A recording that reaches a bound a reader holds it to ends there,
// cleanly, and says so.
#include <algorithm>
#include <utility>

#include "packing.h"
#include "recording_sides.h"

namespace platform::recording {

using namespace format;

namespace {

constexpr std::int64_t kBlockUs = 2000000;  // the virtual time a block holds at most
constexpr std::size_t kBlockBytes = 65536;  // and its contents, unpacked
// Room left below the most a recording holds, for the largest record and the end.
constexpr std::size_t kRoom = kMaxReadAgain + 64;

struct Writer {
    bool active = false;
    Sink sink = nullptr;
    std::vector<std::uint8_t> file;     // made, not yet handed to the sink
    std::vector<std::uint8_t> pending;  // contents not yet packed
    std::size_t contents = 0;           // contents packed so far
    std::int64_t start_us = 0, last_us = 0, block_us = 0;
    Extent extent;
    int last_kind = -1;
    std::uint64_t last_delta = 0, repeats = 0;
    bool can_repeat = false;  // nothing but polls since the last poll record
    std::vector<std::uint8_t> keys;
    int mouse_x = 0, mouse_y = 0, buttons = 0;
    bool frame = false;
    std::uint32_t frame_crc = 0;
    std::vector<std::string> files_seen;
    bool table_seen = false;
    std::string stopped;  // why it ended before the game, in words
} w;

// The contents so far packed as a block, and the file so far handed to the sink.
void pack(bool last) {
    w.contents += w.pending.size();
    bool packed = pack_block(w.pending, last, w.file);
    w.pending.clear();
    w.block_us = w.extent.us;
    if (w.sink == nullptr) return;
    bool kept = packed && w.sink(w.file.data(), w.file.size());
    w.file.clear();
    if (!kept && w.active) {
        w.active = false;
        on = replayer::active();
        w.stopped = "it could not be written";
    }
}

std::string minutes_text(std::int64_t us) {
    std::int64_t s = us / 1000000;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
    return text;
}

// Ends the recording where it is, before the game ends.
void stop(const char* why) {
    write(w.pending, {kEnd});
    w.active = false;
    on = replayer::active();
    w.stopped = "the recording stopped at " + minutes_text(w.extent.us) + ": " + why;
    pack(true);
}

void flush_repeats() {
    if (w.repeats == 0) return;
    write(w.pending, {kRepeat, {w.repeats}});
    w.repeats = 0;
}

// A record other than a poll's; the next poll is not a repeat.
void put(const Record& r) {
    if (!w.active) return;
    flush_repeats();
    w.can_repeat = false;
    write(w.pending, r);
    if (w.contents + w.pending.size() > kMaxBody - kRoom) stop("it was too long");
}

void record_poll(machine::Poll what, timeval now) {
    std::int64_t us = us_of(now);
    auto delta = static_cast<std::uint64_t>(std::max<std::int64_t>(us - w.last_us, 0));
    if (!w.extent.add(1, delta)) {
        stop(delta == 0 ? "the game's clock stood still" : "it was too long");
        return;
    }
    w.last_us += static_cast<std::int64_t>(delta);
    int kind = static_cast<int>(what);
    if (w.can_repeat && kind == w.last_kind && delta == w.last_delta) {
        ++w.repeats;
        return;
    }
    flush_repeats();
    write(w.pending, {static_cast<std::uint8_t>(kPoll + kind), {delta}});
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
    if (w.active && (w.extent.us - w.block_us >= kBlockUs || w.pending.size() >= kBlockBytes)) pack(false);
}

}  // namespace

void start_recording(timeval now, Sink sink) {
    w = Writer{};
    w.active = on = true;
    w.sink = sink;
    w.start_us = w.last_us = us_of(now);
    w.file = prefix();
    Loaded head;
    head.program = BRIN_VERSION;
    head.start = now;
    write_header(w.pending, head);
    pack_begin();
}

std::vector<std::uint8_t> finish_recording() {
    if (w.active) {
        flush_repeats();
        write(w.pending, {kEnd});
        pack(true);
    }
    w.active = false;
    on = replayer::active();
    return std::move(w.file);
}

std::string recording_stopped() { return w.stopped; }

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
    w.frame_crc = machine::frame_crc();
}

void data_file(const char* path, std::FILE* f) {
    std::string name = path;
    std::uint32_t size = 0, crc = 0;
    if (name == kTable) {
        if (std::exchange(w.table_seen, true)) return;
        std::vector<std::uint8_t> table;
        if (f != nullptr) digest(f, size, crc, &table);
        put({kTableAtStart, {f != nullptr ? 1u : 0u, table.size()}, table.data()});
        return;
    }
    auto& seen = w.files_seen;
    if (!data_name(name) || std::find(seen.begin(), seen.end(), name) != seen.end()) return;
    seen.push_back(name);
    if (f != nullptr) digest(f, size, crc, nullptr);
    put({kDataFile,
         {name.size(), f != nullptr ? 1u : 0u, size, crc},
         reinterpret_cast<const std::uint8_t*>(name.data())});
}

bool data_read_again(bool read, const store::Bytes& bytes, bool found) {
    if (!read) {
        put({kSaved, {kNotRead}});
        return false;
    }
    std::size_t size = std::min(bytes.size(), kMaxReadAgain);
    put({kReadAgain, {found ? 1u : 0u, size}, bytes.data()});
    return true;
}

void data_written(bool written) { put({kSaved, {written ? kWritten : kNotWritten}}); }

}  // namespace recorder
}  // namespace platform::recording
