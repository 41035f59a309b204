// SPDX-License-Identifier: MIT
// Keeping cool: the window's events are pumped only when they can have come, and the game's
// rests wait on the X connection itself.
#include <SDL_syswm.h>
#include <poll.h>
#include <sys/time.h>
#include <time.h>

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
    looked_us = came ? 0 : machine::steady_us();
    return came;
}

void sleep_us(std::int64_t us) {
    timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000 * 1000)};
    nanosleep(&ts, nullptr);
}

}  // namespace

// The GL driver may leave the picture's last request in Xlib's buffer, which pumping
// events would have sent.
void send_x_requests() {
    if (Display* x = x_connection()) XFlush(x);
}

bool pump_events() {
    Display* x = x_connection();
    std::int64_t now_us = machine::steady_us();
    bool look = x == nullptr || now_us - looked_us >= kLookUs;
    if (x == nullptr || (look && x_events(x)) || now_us - pumped_us >= kChoresUs) {
        SDL_PumpEvents();
        pumped_us = now_us;
    } else if (look) {
        looked_us = now_us;
    }
    return take_events();
}

// The mouse's events that wait for the game stay in SDL's queue, where the connection does
// not see them: a rest then only sleeps.
bool rest(std::int64_t us) {
    if (machine::mouse_held()) {
        sleep_us(us);
        return false;
    }
    return wait_for_event(us) && pump_events();
}

}  // namespace sdl
