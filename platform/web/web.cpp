// SPDX-License-Identifier: MIT
// The browser back-end: the virtual VGA shown in a canvas, the page's keys and mouse as the
// console's key bytes and the mouse device, the speaker through Web Audio (max.pun is
// kept by store.cpp). The page's side of it is devices.js: its event handlers only queue,
// since they run while the game is suspended. The game's loop never returns to the browser,
// so its rests yield to it (asyncify); when to show a frame and to rest is the pacing's.
#include <emscripten.h>
#include <sys/time.h>

#include <cstdint>

#include "keys.h"
#include "machine.h"
#include "sound.h"

// ---- the page's side (devices.js) ----

EM_JS(bool, page_open, (double volume, double ramp_ms), { return brinDevices.open(volume, ramp_ms); });
EM_JS(void, page_close, (), { brinDevices.close(); });
EM_JS(void, page_key_number, (const char* code, int length, int number),
      { brinDevices.keyNumber(UTF8ToString(code, length), number); });
EM_JS(int, page_take_key, (), { return brinDevices.takeKey(); });
EM_JS(bool, page_take_mouse, (int* event), { return brinDevices.takeMouse(event); });
EM_JS(void, page_present, (const std::uint32_t* pixels, int top, int rows),
      { brinDevices.present(pixels, top, rows); });
EM_JS(void, page_sound, (double hz), { brinDevices.sound(hz); });
EM_ASYNC_JS(void, page_rest, (double ms), { await brinDevices.rest(ms); });
// Whether the page is still fetching the data file; then the game waits for it.
EM_JS(bool, page_data_late, (const char* path), { return brinDevices.dataLate(UTF8ToString(path)); });
EM_ASYNC_JS(void, page_data_arrived, (), { await brinDevices.dataArrived(); });

namespace web {
namespace {

namespace machine = platform::machine;

bool take_keys() {
    bool any = false;
    for (int byte; (byte = page_take_key()) >= 0; any = true) machine::player_key(static_cast<std::uint8_t>(byte));
    return any;
}

bool take_mouse() {
    bool any = false;
    int event[4];  // x, y, buttons, and whether the buttons changed
    while (!machine::mouse_held() && page_take_mouse(event)) {
        any = true;
        machine::mouse_device(event[0], event[1], event[2]);
        if (event[3] != 0) machine::button_changed();
    }
    return any;
}

bool take_devices() {
    bool keys = take_keys();
    return take_mouse() || keys;
}

void give_key_numbers() {
    for (const platform::Key& k : platform::kKeys)
        if (!k.code.empty()) page_key_number(k.code.data(), static_cast<int>(k.code.size()), k.number);
}

bool rest(std::int64_t us) {
    page_rest(static_cast<double>(us) / 1000);
    return take_devices();
}

void show(const std::uint32_t* pixels, int top, int rows) { page_present(pixels, top, rows); }

}  // namespace
}  // namespace web

// ---- the hooks of the shared machine ----

namespace platform::machine {

namespace real_time {
bool take_input() { return web::take_devices(); }
bool rest(std::int64_t us) { return web::rest(us); }
void show(const std::uint32_t* pixels, int top, int rows) { web::show(pixels, top, rows); }
}  // namespace real_time

bool open_display() {
    if (!page_open(sound::kVolume, sound::kRampMs)) return false;
    web::give_key_numbers();
    display_opened(1000000 / 60);  // the browser draws the canvas at its own refresh anyway
    return true;
}

void close_display() {
    display_closed();
    page_close();
}

bool open_mouse_device() { return true; }  // the pointer over the canvas

void speaker(int divisor) { page_sound(sound::pitch_of(divisor)); }

void port_access(unsigned short, unsigned char, bool) {}

void data_wanted(const char* path) {
    if (page_data_late(path)) page_data_arrived();
}

}  // namespace platform::machine
