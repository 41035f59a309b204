// SPDX-License-Identifier: MIT
// The pace of the back-ends that run in real time, the window and the browser: when a frame
// is shown, how long the game rests, how long a click holds the mouse's events, and the
// clock the game reads. The rules are machine.h's; a back-end supplies its clocks, its input,
// its rest and the showing of a frame, through the back-end's real_time hooks.
#include <algorithm>
#include <cstring>

#include "machine.h"

namespace platform::machine {
namespace {

// Rests until the next frame may end up to a millisecond late, so frames fall due that early.
constexpr std::int64_t kWaitLateUs = 1000;
// Looking costs a comparison of a bank: no more than once a millisecond while the game runs
// on, and always before it rests, so a change waits at most that long to be seen.
constexpr std::int64_t kLookUs = 1000;
// A click can be quicker than a pass of the game; outside a level it is not looked at, so
// the hold ends after a while.
constexpr std::int64_t kClickHoldUs = 250000;
// Input taken in, the game reads it at its next polls and acts on it: it does not rest
// before it had a millisecond to.
constexpr std::int64_t kActUs = 1000;

// What the pacing keeps from poll to poll; an opened display starts it afresh.
struct Pace {
    bool display_open = false;

    // ---- frames ----
    std::int64_t frame_us = 16667;  // one display refresh
    std::int64_t last_frame_us = 0;
    bool redraw_asked = true;  // the shown picture was lost
    long shown_changes = -1;   // the machine's count of screen changes that the display shows
    std::int64_t looked_us = -kLookUs;
    long looked_changes = -1;
    bool pending = true;  // a change seen and not shown yet

    // ---- the click hold ----
    bool click_unseen = false;
    std::int64_t click_us = 0;
    bool mouse_polled = false;

    // ---- resting ----
    std::int64_t last_centisecond = -1;
    std::int64_t acting_until_us = 0;
    // A game that reads only whole seconds and input, as in a level, cannot change before the
    // next second or input.
    bool fine_clock_read = true;
    bool quiet_rest = false;  // the last rest, and everything since, brought nothing new
    std::int64_t rested_us = 0;
    // Where a replay's virtual time 0 lies on the steady clock, set at its first poll shown.
    bool replay_anchored = false;
    std::int64_t replay_origin_us = 0;
} pace;

std::uint32_t pixels[kWidth * kHeight];

std::int64_t frame_due_us() { return pace.last_frame_us + pace.frame_us - kWaitLateUs; }

// Turns a row of screen memory into pixels; true when any of them changed.
bool convert_row(int y, const unsigned char* screen, const std::uint32_t* colour) {
    bool changed = false;
    for (int i = y * kWidth; i < (y + 1) * kWidth; ++i) {
        std::uint32_t pixel = colour[screen[i]];
        changed |= pixels[i] != pixel;
        pixels[i] = pixel;
    }
    return changed;
}

// Turns screen memory into pixels through the palette, and shows the rows that changed
// since the frame before (all of them when the shown picture was lost): the countdown
// changes a few rows a second, and drawing the rest costs the browser's compositor. False
// when no row changed.
bool present_frame(bool whole) {
    std::uint32_t colour[256];
    const unsigned char* registers = palette_registers();
    for (int i = 0; i < 256; ++i) {
        const unsigned char* c = registers + 3 * i;
        unsigned char rgba[4] = {level8(c[0]), level8(c[1]), level8(c[2]), 255};
        std::memcpy(&colour[i], rgba, 4);
    }
    const unsigned char* screen = screen_memory();
    int top = kHeight, bottom = 0;
    for (int y = 0; y < kHeight; ++y) {
        if (!convert_row(y, screen, colour) && !whole) continue;
        top = std::min(top, y);
        bottom = y + 1;
    }
    if (top < bottom) real_time::show(pixels, top, bottom - top);
    frame_shown();
    return top < bottom;
}

// True when this look found a change.
bool present_if_due(std::int64_t now_us, bool look_now) {
    bool changed = false;
    if (look_now || now_us - pace.looked_us >= kLookUs) {
        long changes = screen_changes();
        changed = changes != pace.looked_changes;
        pace.looked_changes = changes;
        pace.pending = pace.redraw_asked || changes != pace.shown_changes;
        pace.looked_us = now_us;
    }
    if (!pace.pending || now_us < frame_due_us()) return changed;
    pace.shown_changes = screen_changes();
    pace.pending = false;
    // Screen memory written and put back as it was shows nothing, and takes no refresh.
    if (present_frame(pace.redraw_asked)) pace.last_frame_us = now_us;
    pace.redraw_asked = false;
    return changed;
}

// ---- resting ----

void rest_for(std::int64_t us) {
    if (real_time::rest(us)) {
        pace.acting_until_us = steady_us() + kActUs;
        pace.quiet_rest = false;
    }
    pace.rested_us = steady_us();
}

// However busy the game, the back-end gets its turn once a display refresh.
void rest_once_a_frame(std::int64_t now_us) {
    if (now_us - pace.rested_us >= pace.frame_us) rest_for(0);
}

void rest_if_idle(bool input) {
    timeval tv = now();
    std::int64_t centisecond = std::int64_t{tv.tv_sec} * 100 + tv.tv_usec / 10000;
    std::int64_t now_us = steady_us();
    if (input) {
        pace.acting_until_us = now_us + kActUs;
        pace.quiet_rest = false;
    }
    bool idle = now_us >= pace.acting_until_us && centisecond == pace.last_centisecond;
    pace.last_centisecond = centisecond;
    if (!idle) return rest_once_a_frame(now_us);
    // Whatever the game drew, before it rests.
    if (present_if_due(steady_us(), true)) pace.quiet_rest = false;
    bool to_second = pace.quiet_rest && !pace.fine_clock_read;
    std::int64_t until_tick = to_second ? 1000000 - tv.tv_usec : 10000 - tv.tv_usec % 10000;
    pace.quiet_rest = !pace.fine_clock_read;
    pace.fine_clock_read = false;
    std::int64_t until_frame = pace.pending ? frame_due_us() - steady_us() : until_tick;
    std::int64_t us = std::min(until_tick, until_frame);
    if (mouse_held()) us = std::min(us, kLookUs);  // the mouse's events wait for the game's mouse poll
    rest_for(std::max<std::int64_t>(us, 0));
}

// A replay keeps the recording's pace: a poll ahead of its time rests until it is due (input,
// such as the Escape that ends it, ends the rest); one behind it still lets the back-end
// have its turn, where that Escape comes in.
void rest_for_replay() {
    std::int64_t now_us = steady_us();
    if (!pace.replay_anchored) pace.replay_origin_us = now_us - replayed_us();
    pace.replay_anchored = true;
    std::int64_t lead = replayed_us() - (now_us - pace.replay_origin_us);
    if (lead <= 0) return rest_once_a_frame(now_us);
    present_if_due(now_us, true);
    std::int64_t us = pace.pending ? std::min(lead, frame_due_us() - steady_us()) : lead;
    if (us > 0) rest_for(us);
}

}  // namespace

std::int64_t steady_us() { return real_time::steady_us(); }

// The steady clock, set to the time of day once: setting the system's clock while the game
// runs moves neither its countdown nor its pauses.
timeval now() {
    static const std::int64_t wall_minus_steady_us = real_time::time_of_day_us() - steady_us();
    std::int64_t us = steady_us() + wall_minus_steady_us;
    return {static_cast<time_t>(us / 1000000), static_cast<suseconds_t>(us % 1000000)};
}

void poll(Poll what) {
    if (!pace.display_open) return;
    // The game reads the mouse right after a mouse poll: by the next poll it has seen it.
    if (pace.mouse_polled) pace.click_unseen = false;
    pace.mouse_polled = what == Poll::mouse;
    if (what == Poll::clock) pace.fine_clock_read = true;
    bool input = real_time::take_input();
    // What the game draws in answer to input is looked for at every poll, not once a millisecond.
    std::int64_t now_us = steady_us();
    present_if_due(now_us, now_us < pace.acting_until_us);
    if (replaying())
        rest_for_replay();
    else
        rest_if_idle(input);
}

void display_opened(std::int64_t frame_us) {
    pace = Pace{};
    pace.display_open = true;
    pace.frame_us = frame_us;
    pace.last_frame_us = steady_us() - frame_us;
}

void display_closed() { pace.display_open = false; }

void redraw() { pace.redraw_asked = pace.pending = true; }

bool mouse_held() {
    if (pace.click_unseen && steady_us() - pace.click_us >= kClickHoldUs) pace.click_unseen = false;
    return pace.click_unseen;
}

void button_changed() {
    pace.click_unseen = true;
    pace.click_us = steady_us();
}

}  // namespace platform::machine
