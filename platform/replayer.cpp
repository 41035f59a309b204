// SPDX-License-Identifier: MIT
// A game answered from its recording: every poll, input, opening and save gets the recorded
// answer, and every frame and tone is checked against the recorded one.
#include <cstdlib>
#include <utility>

#include "recording_sides.h"

namespace platform::recording {

using namespace format;

namespace {

struct Replay {
    bool active = false;
    Loaded r;
    std::string who;
    std::size_t at = 0;
    std::uint64_t poll = 0, repeats_left = 0;
    int last_kind = -1;
    std::uint64_t last_delta = 0;
    std::int64_t reading_us = 0;
    std::uint64_t frames = 0, tones = 0;  // checked
    bool ended = false;
} p;

Record read_at(std::size_t at, std::size_t& after) {
    Reader in{p.r.body, at};
    Record r = read(in, p.r.format);
    after = in.at;
    return r;
}

// The replay's place moved past the data files and the table, which were checked before the
// replay began.
std::size_t here() {
    while (p.at < p.r.body.size() && (p.r.body[p.at] == kDataFile || p.r.body[p.at] == kTableAtStart))
        read_at(p.at, p.at);
    return p.at;
}

bool at_the_cut() { return !p.r.ends_early.empty() && p.repeats_left == 0 && here() >= p.r.body.size(); }

// The record at the replay's place, and the place after it.
Record next(std::size_t& after) { return read_at(here(), after); }

// What the recording holds at the replay's place, in words.
std::string recorded_here() {
    if (p.repeats_left > 0) return words_of(static_cast<std::uint8_t>(kPoll + p.last_kind));
    if (here() >= p.r.body.size()) return "its end";
    std::uint8_t tag = p.r.body[p.at];
    if (tag == kRepeat) return words_of(static_cast<std::uint8_t>(kPoll + p.last_kind));
    return words_of(tag);
}

[[noreturn]] void leave(int status) {
    p.ended = true;
    machine::end_program(status);
}

void say_difference(const std::string& what) {
    std::string version = p.r.program == BRIN_VERSION ? "" : " (recorded by brin " + printable(p.r.program) + ")";
    std::fprintf(stderr, "%s: poll %llu at %s s: %s%s\n", p.who.c_str(), static_cast<unsigned long long>(p.poll),
                 seconds_text(p.reading_us - us_of(p.r.start)).c_str(), what.c_str(), version.c_str());
}

[[noreturn]] void differs(const std::string& what) {
    say_difference(what);
    leave(1);
}

// A recording cut short, replayed as far as it goes.
void say_ends_early() { std::fprintf(stderr, "%s: %s\n", p.who.c_str(), p.r.ends_early.c_str()); }

[[noreturn]] void end_early() {
    say_ends_early();
    leave(kEndsEarly);
}

// The next record must be `tag`; a replay that finds anything else has gone its own way.
Record take(Tag tag, const std::string& game_did) {
    if (at_the_cut()) end_early();
    if (p.repeats_left > 0 || here() >= p.r.body.size() || p.r.body[p.at] != tag)
        differs(game_did + " where the recording has " + recorded_here());
    return next(p.at);
}

bool at_the_end() {
    Reader in{p.r.body, here()};
    return p.repeats_left == 0 && in.byte() == kEnd;
}

extern "C" void replay_exit() {
    if (!p.active || p.ended) return;
    p.ended = true;
    if (at_the_end()) return;
    if (at_the_cut()) {
        std::fflush(stdout);
        say_ends_early();
        std::_Exit(kEndsEarly);
    }
    // The game ended on its own before the recording did: that is a difference too.
    std::fflush(stdout);
    say_difference("the game ended where the recording has " + recorded_here());
    std::_Exit(1);
}

}  // namespace

std::string data_differs(const Loaded& r, const std::string& folder) {
    for (const auto& f : r.files) {
        std::string name = printable(f.name);
        std::FILE* here = store::open_data((folder + "/" + f.name).c_str());
        if (here == nullptr) {
            if (f.present) return "was made with a " + name + ", and there is none here";
            continue;
        }
        std::uint32_t size = 0, crc = 0;
        digest(here, size, crc, nullptr);
        std::fclose(here);
        if (!f.present) return "was made without " + name;
        if (size != f.size || crc != f.crc) return "was made with another " + name;
    }
    return "";
}

std::string ready_to_replay(const Loaded& r, const std::string& folder) {
    if (!r.error.empty()) return r.error;
    if (std::string why = data_differs(r, folder); !why.empty()) return why;
    return enter_replay_folder(r, folder);
}

void start_replay(Loaded r, const std::string& who) {
    p = Replay{};
    p.r = std::move(r);
    p.who = who;
    p.at = p.r.stream_at;
    p.reading_us = us_of(p.r.start);
    p.active = on = true;
    std::atexit(replay_exit);
}

void stop_replay() { p.ended = true; }

std::string replay_summary() {
    if (!p.active || !at_the_end()) return "";
    return std::to_string(p.frames) + " frames and " + std::to_string(p.tones) + " tones as recorded, to " +
           seconds_text(replayed_us()) + " s";
}

bool replaying() { return p.active; }

std::int64_t replayed_us() { return p.reading_us - us_of(p.r.start); }

namespace replayer {

bool active() { return p.active; }

void before_poll(machine::Poll what) {
    ++p.poll;
    int kind = static_cast<int>(what);
    if (at_the_cut()) end_early();
    if (p.repeats_left == 0 && here() < p.r.body.size()) {
        std::size_t after = 0;
        Record r = next(after);
        if (r.tag == kEnd) leave(0);
        if (r.tag == kRepeat) {
            p.repeats_left = r.value[0];
            p.at = after;
        } else if (is_poll(r.tag)) {
            p.last_kind = r.tag - kPoll;
            p.last_delta = r.value[0];
            p.at = after;
            p.repeats_left = 1;
        }
    }
    if (p.repeats_left == 0 || p.last_kind != kind)
        differs(std::string(words_of(static_cast<std::uint8_t>(kPoll + kind))) + " where the recording has " +
                recorded_here());
    --p.repeats_left;
    p.reading_us += static_cast<std::int64_t>(p.last_delta);
}

void after_poll(std::deque<std::uint8_t>& keys, int& x, int& y, int& buttons) {
    while (p.repeats_left == 0 && here() < p.r.body.size()) {
        std::size_t after = 0;
        Record r = next(after);
        switch (r.tag) {
        case kKey:
            keys.push_back(static_cast<std::uint8_t>(r.value[0]));
            break;
        case kMouse:
            x = static_cast<int>(static_cast<std::int64_t>(r.value[0]));
            y = static_cast<int>(static_cast<std::int64_t>(r.value[1]));
            buttons = static_cast<int>(r.value[2]);
            break;
        case kFrame:
            if (auto crc = static_cast<std::uint32_t>(r.value[0]); crc != machine::frame_crc()) {
                char what[96];
                std::snprintf(what, sizeof what, "the frame differs (CRC-32 %08x, recorded %08x)", machine::frame_crc(),
                              crc);
                differs(what);
            }
            ++p.frames;
            break;
        default:
            return;
        }
        p.at = after;
    }
}

timeval reading() { return tv_of(p.reading_us); }

bool opened(bool (*open)(), Tag tag, const char* what) {
    bool ok = take(tag, std::string("the game opened ") + what).value[0] != 0;
    if (ok && !open()) {
        std::fprintf(stderr, "%s: %s can't be opened here\n", p.who.c_str(), what);
        leave(1);
    }
    return ok;
}

void speaker(int divisor) {
    auto recorded = static_cast<int>(take(kTone, "the speaker changed to " + std::to_string(divisor)).value[0]);
    if (recorded != divisor)
        differs("the speaker changed to " + std::to_string(divisor) + " where the recording has " +
                std::to_string(recorded));
    ++p.tones;
}

// A recorded save that could not read the table fails here too, whatever this one could do.
bool data_read_again(bool read, store::Bytes& bytes, bool& found) {
    if (p.r.format < 2) return read;  // an older recording: the replay's own table answers
    if (p.r.format >= 3 && p.repeats_left == 0 && here() < p.r.body.size() && p.r.body[p.at] == kSaved)
        return take(kSaved, "the game's save read the table").value[0] != kNotRead;
    if (!read) differs("the game's save could not read the table where the recording has " + recorded_here());
    Record r = take(kReadAgain, "the game read the table again at a save");
    found = r.value[0] != 0;
    bytes.clear();
    if (r.value[1] > 0) bytes.assign(r.bytes, r.bytes + r.value[1]);  // the stream was checked whole
    return true;
}

// Before format 3 a save's write is not recorded: it writes as it can.
bool data_may_write() { return p.r.format < 3 || take(kSaved, "the game's save wrote the table").value[0] == kWritten; }

}  // namespace replayer
}  // namespace platform::recording
