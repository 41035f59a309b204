// SPDX-License-Identifier: MIT
// The keyboard as the console's key bytes, the mouse as the mouse device, and the window's
// own events, all taken in at the game's polls.
#include <algorithm>
#include <cmath>

#include "keys.h"
#include "machine.h"
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
    int n = platform::number_of_usage(key.keysym.scancode);  // SDL's scancodes are HID usages
    if (n == 0) return;
    if (down) {
        held[n] = true;
        machine::player_key(static_cast<std::uint8_t>(n));  // a repeat is another press
    } else if (held[n]) {
        held[n] = false;
        machine::player_key(static_cast<std::uint8_t>(n | 0x80));
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
    int bit = b.button == SDL_BUTTON_LEFT     ? machine::kLeftButton
              : b.button == SDL_BUTTON_MIDDLE ? machine::kMiddleButton
              : b.button == SDL_BUTTON_RIGHT  ? machine::kRightButton
                                              : 0;
    mouse_buttons = b.state == SDL_PRESSED ? mouse_buttons | bit : mouse_buttons & ~bit;
    pointer_at(b.x, b.y);
}

// ---- events ----

void window_event(const SDL_WindowEvent& w) {
    switch (w.event) {
    case SDL_WINDOWEVENT_FOCUS_LOST:
        release_held_keys();
        break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESTORED:
        machine::redraw();
        break;
    default:
        break;
    }
}

}  // namespace

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
        machine::button_changed();
        break;
    case SDL_WINDOWEVENT:
        window_event(e.window);
        break;
    default:
        break;
    }
}

namespace {

// Keys and window events go on while the mouse's events wait.
bool next_event(SDL_Event& e) {
    Uint32 last = machine::mouse_held() ? SDL_MOUSEMOTION - 1 : SDL_LASTEVENT;
    return SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, last) == 1;
}

}  // namespace

bool take_events() {
    bool any = false;
    SDL_Event e;
    while (next_event(e)) {
        any = true;
        take_event(e);
    }
    return any;
}

bool quit_requested() { return quit_asked; }
void request_quit() { quit_asked = true; }

}  // namespace sdl
