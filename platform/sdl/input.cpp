// SPDX-License-Identifier: MIT
// The keyboard as the console's key bytes, the mouse as the mouse device, and the window's
// own events, all taken in at the game's polls.
#include <SDL_syswm.h>
#include <poll.h>
#include <sys/time.h>
#include <time.h>

#include <algorithm>
#include <cmath>

#include "keymap.h"
#include "machine.h"
#include "platform.h"
#include "sdl.h"

namespace sdl {
namespace {

namespace machine = platform::machine;
using machine::kHeight;
using machine::kWidth;

bool quit_asked = false;

// ---- keyboard ----

bool held[128];
bool enter_taken = false;  // the Enter of Alt+Enter: its release is not the game's either

// Only the left Alt makes Alt+Enter: AltGr+Enter is the game's Enter, as on the console.
bool full_screen_key(const SDL_KeyboardEvent& key, bool down) {
    if (key.keysym.scancode != SDL_SCANCODE_RETURN) return false;
    return down ? (key.keysym.mod & KMOD_LALT) != 0 : enter_taken;
}

void key_event(const SDL_KeyboardEvent& key) {
    bool down = key.type == SDL_KEYDOWN;
    if (full_screen_key(key, down)) {
        if (down && key.repeat == 0) toggle_full_screen();
        enter_taken = down;
        return;
    }
    int n = key_number(key.keysym.scancode);
    if (n == 0) return;
    if (down) {
        held[n] = true;
        machine::push_key(static_cast<std::uint8_t>(n));  // a repeat is another press
    } else if (held[n]) {
        held[n] = false;
        machine::push_key(static_cast<std::uint8_t>(n | 0x80));
    }
}

// Keys held when the window loses the keyboard would never see their release.
void release_held_keys() {
    for (int n = 0; n < 128; ++n) {
        if (!held[n]) continue;
        held[n] = false;
        machine::push_key(static_cast<std::uint8_t>(n | 0x80));
    }
    enter_taken = false;
}

// ---- mouse ----

int mouse_x = kWidth / 2, mouse_y = kHeight / 2, mouse_buttons = 0;

// A window position as a picture position, whatever the window's size. Outside the
// picture it lies beyond the edges, where the mouse ranges clamp it.
void pointer_at(int wx, int wy) {
    SDL_Rect place = picture_place();
    mouse_x = static_cast<int>(std::floor((wx - place.x) * double{kWidth} / place.w));
    mouse_y = static_cast<int>(std::floor((wy - place.y) * double{kHeight} / place.h));
    bool over = mouse_x >= 0 && mouse_x < kWidth && mouse_y >= 0 && mouse_y < kHeight;
    SDL_ShowCursor(over ? SDL_DISABLE : SDL_ENABLE);  // the game draws its own
    machine::mouse_device(mouse_x, mouse_y, mouse_buttons);
}

void button_event(const SDL_MouseButtonEvent& b) {
    int bit = b.button == SDL_BUTTON_LEFT     ? platform::MOUSE_LEFTBUTTON
              : b.button == SDL_BUTTON_MIDDLE ? platform::MOUSE_MIDDLEBUTTON
              : b.button == SDL_BUTTON_RIGHT  ? platform::MOUSE_RIGHTBUTTON
                                              : 0;
    mouse_buttons = b.state == SDL_PRESSED ? mouse_buttons | bit : mouse_buttons & ~bit;
    pointer_at(b.x, b.y);
}

// ---- events ----

// A click can be quicker than a pass of the game: once a button changes, the mouse's events
// after it wait until the game has polled the mouse, or for a while if it doesn't (outside
// a level a click is not looked at). Keys and window events go on meanwhile.
constexpr std::int64_t kClickHoldUs = 250000;
bool click_unseen = false;
std::int64_t click_us = 0;
bool mouse_polled = false;

void window_event(const SDL_WindowEvent& w) {
    switch (w.event) {
    case SDL_WINDOWEVENT_FOCUS_LOST:
        release_held_keys();
        break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESTORED:
        window_needs_redraw();
        break;
    default:
        break;
    }
}

void take_event(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        quit_asked = true;
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        key_event(e.key);
        break;
    case SDL_MOUSEMOTION:
        pointer_at(e.motion.x, e.motion.y);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        button_event(e.button);
        click_unseen = true;
        click_us = steady_us();
        break;
    case SDL_WINDOWEVENT:
        window_event(e.window);
        break;
    default:
        break;
    }
}

bool next_event(SDL_Event& e) {
    Uint32 last = click_unseen && steady_us() - click_us < kClickHoldUs ? SDL_MOUSEMOTION - 1 : SDL_LASTEVENT;
    if (last == SDL_LASTEVENT) click_unseen = false;
    return SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, last) == 1;
}

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
    bool any = false;
    SDL_Event e;
    while (next_event(e)) {
        any = true;
        take_event(e);
    }
    return any;
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
    if (click_unseen)  // the mouse's events wait for the game's mouse poll
        sleep_us(std::min<std::int64_t>(rest, 1000));
    else if (wait_for_event(rest) && pump_events()) {
        acting_until_us = steady_us() + kActUs;
        quiet_rest = false;
    }
}

// The game reads the mouse right after a mouse poll: by the next poll it has seen it.
void note_poll(bool mouse, bool fine_clock) {
    if (mouse_polled) click_unseen = false;
    mouse_polled = mouse;
    if (fine_clock) fine_clock_read = true;
}

bool quit_requested() { return quit_asked; }
void request_quit() { quit_asked = true; }

}  // namespace sdl
