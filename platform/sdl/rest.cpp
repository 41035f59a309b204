// SPDX-License-Identifier: MIT
// Keeping cool: the window's events are pumped only when they can have come, and a game that
// is only waiting on the clock rests until something can have changed.
#include <SDL_syswm.h>
#include <poll.h>
#include <sys/time.h>
#include <time.h>

#include <algorithm>

#include "machine.h"
#include "sdl.h"

namespace sdl {
namespace {

namespace machine = platform::machine;

// ---- the X connection ----

// Pumping SDL's events costs a dozen system calls even when none came. On X they are pumped
// only when the connection brought something, looked at no more than once a millisecond
// unless a rest was ended by it, and once a second for SDL's own chores (keeping the screen
// saver off); a rest waits on the connection itself.
constexpr std::int64_t kChoresUs = 1000000;
constexpr std::int64_t kLookUs = 1000;
std::int64_t pumped_us = 0;
std::int64_t looked_us = 0;  // when the connection was last found quiet

Display* x_connection() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    SDL_Window* window = picture_window();
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    return info.info.x11.display;
}

// Sends what Xlib holds back and tells whether events came or are queued.
bool x_events(Display* x) { return XEventsQueued(x, QueuedAfterFlush) > 0; }

// Until an event comes or `us` have passed; true when one came.
bool wait_for_event(std::int64_t us) {
    Display* x = x_connection();
    if (x == nullptr) {
        SDL_Event e;
        if (SDL_WaitEventTimeout(&e, static_cast<int>((us + 999) / 1000)) == 0) return false;
        take_event(e);
        return true;
    }
    if (x_events(x)) return true;
    pollfd connection{ConnectionNumber(x), POLLIN, 0};
    timespec wait{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000 * 1000)};
    bool came = ppoll(&connection, 1, &wait, nullptr) > 0;
    looked_us = came ? 0 : steady_us();
    return came;
}

void sleep_us(std::int64_t us) {
    timespec ts{0, static_cast<long>(us * 1000)};
    nanosleep(&ts, nullptr);
}

std::int64_t last_centisecond = -1;
// Input taken in, the game reads it at its next polls and acts on it: it does not rest
// before it had a millisecond to.
constexpr std::int64_t kActUs = 1000;
std::int64_t acting_until_us = 0;
// A game that reads only whole seconds and input, as in a level, cannot change before the
// next second or input. Once a rest to the next centisecond brought nothing new (no input,
// no picture change, no finer clock read), the next rest may last to the next second.
bool fine_clock_read = true;
bool quiet_rest = false;  // the last rest, and everything since, brought nothing new

}  // namespace

// The GL driver may leave the picture's last request in Xlib's buffer, which pumping
// events would have sent.
void send_x_requests() {
    if (Display* x = x_connection()) XFlush(x);
}

bool pump_events() {
    Display* x = x_connection();
    std::int64_t now_us = steady_us();
    bool look = x == nullptr || now_us - looked_us >= kLookUs;
    if (x == nullptr || (look && x_events(x)) || now_us - pumped_us >= kChoresUs) {
        SDL_PumpEvents();
        pumped_us = now_us;
    } else if (look) {
        looked_us = now_us;
    }
    return take_events();
}

// A poll that finds no input, with no key waiting for the game and none taken in the last
// millisecond, in the same centisecond as the poll before it is the game spinning on the
// clock: nothing can change before the next centisecond (or second, see fine_clock_read),
// the frame that shows a change already made, or the next event. So wait for the first of
// them, on the window's events: an event ends the wait at once.
void rest_if_idle(bool input) {
    timeval tv = machine::now();
    std::int64_t centisecond = std::int64_t{tv.tv_sec} * 100 + tv.tv_usec / 10000;
    std::int64_t now_us = steady_us();
    if (input || machine::key_waiting()) {
        acting_until_us = now_us + kActUs;
        quiet_rest = false;
    }
    bool idle = now_us >= acting_until_us && centisecond == last_centisecond;
    last_centisecond = centisecond;
    if (!idle) return;
    // Whatever the game drew, before it rests.
    if (present_if_due(steady_us(), true)) quiet_rest = false;
    std::int64_t until_tick = quiet_rest && !fine_clock_read ? 1000000 - tv.tv_usec : 10000 - tv.tv_usec % 10000;
    quiet_rest = !fine_clock_read;
    fine_clock_read = false;
    std::int64_t until_frame = frame_pending() ? frame_due_us() - steady_us() : until_tick;
    std::int64_t rest = std::min(until_tick, until_frame);
    if (rest <= 0) return;
    if (click_waiting())  // the mouse's events wait for the game's mouse poll
        sleep_us(std::min<std::int64_t>(rest, 1000));
    else if (wait_for_event(rest) && pump_events()) {
        acting_until_us = steady_us() + kActUs;
        quiet_rest = false;
    }
}

// The recording's virtual time against the steady clock since the replay's first poll: a
// poll ahead of its time waits for it, on the window's events, so that Escape ends it.
void rest_for_replay() {
    static const std::int64_t started_us = steady_us() - machine::replayed_us();
    std::int64_t lead = machine::replayed_us() - (steady_us() - started_us);
    if (lead <= 0) return;
    present_if_due(steady_us(), true);
    std::int64_t rest = frame_pending() ? std::min(lead, frame_due_us() - steady_us()) : lead;
    if (rest > 0 && wait_for_event(rest)) pump_events();
}

void note_poll(bool mouse, bool fine_clock) {
    note_mouse_poll(mouse);
    if (fine_clock) fine_clock_read = true;
}

}  // namespace sdl
