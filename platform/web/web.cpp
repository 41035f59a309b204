// SPDX-License-Identifier: MIT
// The browser back-end: the virtual VGA shown in a canvas, the page's keys and mouse as the
// console's key bytes and the mouse device, the speaker through Web Audio (max.pun is
// kept by store.cpp). The page's side of it is devices.js: its event handlers only queue,
// since they run while the game is suspended. The game's loop never returns to the browser,
// so every poll may yield to it (asyncify): there the queues are taken in, a frame is shown
// when one is due, and the game rests when it is only waiting on the clock.
#include <emscripten.h>
#include <sys/time.h>

#include <cstdint>
#include <cstring>

#include "keymap.h"
#include "machine.h"
#include "sound.h"

// ---- the page's side (devices.js) ----

EM_JS(bool, page_open, (double volume, double ramp_ms), { return brinDevices.open(volume, ramp_ms); });
EM_JS(void, page_close, (), { brinDevices.close(); });
EM_JS(void, page_key_number, (const char* code, int length, int number),
      { brinDevices.keyNumber(UTF8ToString(code, length), number); });
EM_JS(int, page_take_key, (), { return brinDevices.takeKey(); });
EM_JS(bool, page_take_mouse, (int* event), { return brinDevices.takeMouse(event); });
EM_JS(void, page_present, (const std::uint32_t* rgba), { brinDevices.present(rgba); });
EM_JS(void, page_sound, (double hz), { brinDevices.sound(hz); });
EM_ASYNC_JS(void, page_rest, (double ms), { await brinDevices.rest(ms); });

namespace web {
namespace {

namespace machine = platform::machine;
using machine::kHeight;
using machine::kWidth;

bool display_open = false;

// ---- the picture ----

constexpr double kFrameMs = 1000.0 / 60;
double last_frame_ms = 0;
bool redraw = true;  // the canvas was just shown: draw it even if nothing changed
alignas(8) unsigned char shown_screen[kWidth * kHeight];
alignas(8) unsigned char shown_palette[machine::kPaletteBytes];
std::uint32_t rgba[kWidth * kHeight];

// Brings `shown` up to `now`, eight bytes at a time; true when anything differed. Mostly
// nothing did, and this runs every frame.
bool follow(unsigned char* shown, const unsigned char* now, std::size_t bytes) {
    bool changed = false;
    for (std::size_t i = 0; i < bytes; i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, shown + i, 8);
        std::memcpy(&b, now + i, 8);
        if (a == b) continue;
        std::memcpy(shown + i, &b, 8);
        changed = true;
    }
    return changed;
}

// Draws the screen when it changed; true when it did.
bool present() {
    bool screen = follow(shown_screen, machine::screen_memory(), sizeof shown_screen);
    bool palette = follow(shown_palette, machine::palette_registers(), sizeof shown_palette);
    if (!screen && !palette && !redraw) return false;
    redraw = false;
    std::uint32_t colour[256];  // as the canvas keeps it: red, green, blue, alpha in memory order
    for (int i = 0; i < 256; ++i) {
        std::uint32_t rgb = machine::rgb_of(static_cast<unsigned char>(i));
        colour[i] = 0xFF000000u | (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
    }
    for (int i = 0; i < kWidth * kHeight; ++i) rgba[i] = colour[shown_screen[i]];
    page_present(rgba);
    machine::frame_shown();
    return true;
}

// Each look costs a pass over the whole screen. After half a second without a change the
// screen is looked at ten times a second only, until an input or a change.
constexpr double kQuietFrameMs = 100;
constexpr int kQuietAfter = 30;
int unchanged_looks = 0;

void present_if_due(double now_ms, bool input) {
    if (input) unchanged_looks = 0;
    if (now_ms - last_frame_ms < (unchanged_looks >= kQuietAfter ? kQuietFrameMs : kFrameMs)) return;
    last_frame_ms = now_ms;
    unchanged_looks = present() ? 0 : unchanged_looks + 1;
}

// ---- keys and mouse ----

bool take_keys() {
    bool any = false;
    for (int byte; (byte = page_take_key()) >= 0; any = true) machine::push_key(static_cast<std::uint8_t>(byte));
    return any;
}

// A click can be quicker than a pass of the game: once a button changes, the mouse's events
// after it wait until the game has polled the mouse, or for a while if it doesn't (outside
// a level a click is not looked at). Keys go on meanwhile.
constexpr double kClickHoldMs = 250;
bool click_unseen = false;
double click_ms = 0;
bool mouse_polled = false;

bool holding_click(double now_ms) {
    if (now_ms - click_ms >= kClickHoldMs) click_unseen = false;
    return click_unseen;
}

bool take_mouse(double now_ms) {
    bool any = false;
    int event[4];  // x, y, buttons, and whether the buttons changed
    while (!holding_click(now_ms) && page_take_mouse(event)) {
        any = true;
        machine::mouse_device(event[0], event[1], event[2]);
        if (event[3] == 0) continue;
        click_unseen = true;
        click_ms = now_ms;
    }
    return any;
}

// ---- resting ----

// The longest the game may keep the browser from its own work: a frame.
constexpr double kHoldMs = kFrameMs;
double last_yield_ms = 0;
std::int64_t last_centisecond = -1;

void yield_for(double ms) {
    page_rest(ms);
    last_yield_ms = emscripten_get_now();
}

// A poll that finds no input in the same centisecond as the poll before it is the game
// spinning on the clock: nothing can change before the next centisecond or the next input,
// so give the browser the time until then (an input ends the rest at once). A frame that
// falls due meanwhile waits for that poll: the browser shows it at its next refresh anyway,
// and every wake-up costs. A game busy for longer than a frame yields anyway.
void rest_if_idle(bool input, double now_ms) {
    timeval tv = machine::now();
    std::int64_t centisecond = std::int64_t{tv.tv_sec} * 100 + tv.tv_usec / 10000;
    bool idle = !input && centisecond == last_centisecond;
    last_centisecond = centisecond;
    double rest = idle ? (10000 - tv.tv_usec % 10000) / 1000.0 : 0;
    if (idle || now_ms - last_yield_ms >= kHoldMs) yield_for(rest);
}

void give_key_numbers() {
    for (const CodeNumber& k : kCodeNumbers) page_key_number(k.code.data(), static_cast<int>(k.code.size()), k.number);
}

}  // namespace
}  // namespace web

// ---- the hooks of the shared machine ----

namespace platform::machine {

void poll(Poll what) {
    if (!web::display_open) return;
    double t = emscripten_get_now();
    // The game reads the mouse right after a mouse poll: by the next poll it has seen it.
    if (web::mouse_polled) web::click_unseen = false;
    web::mouse_polled = what == Poll::mouse;
    bool keys = web::take_keys();
    bool mouse = web::take_mouse(t);
    web::present_if_due(t, keys || mouse);
    web::rest_if_idle(keys || mouse, t);
}

timeval now() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    return tv;
}

bool open_display() {
    if (!page_open(sound::kVolume, sound::kRampMs)) return false;
    web::give_key_numbers();
    web::display_open = true;
    web::redraw = true;
    web::unchanged_looks = 0;
    web::last_frame_ms = emscripten_get_now() - web::kFrameMs;
    return true;
}

void close_display() {
    web::display_open = false;
    page_close();
}

bool open_mouse_device() { return true; }  // the pointer over the canvas

void speaker(int divisor) { page_sound(sound::pitch_of(divisor)); }

void port_access(unsigned short, unsigned char, bool) {}

}  // namespace platform::machine
