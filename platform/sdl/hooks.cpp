// SPDX-License-Identifier: MIT
// The window back-end's hooks into the shared machine: every poll takes in the window's
// events and the requests to quit; the display opens the window and the sound.
#include <signal.h>
#include <sys/time.h>
#include <time.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "machine.h"
#include "sdl.h"

namespace sdl {

namespace {

namespace machine = platform::machine;

volatile std::sig_atomic_t quit_signalled = 0;

extern "C" void on_quit_signal(int) { quit_signalled = 1; }

void catch_quit_signals() {
    struct sigaction action {};
    action.sa_handler = on_quit_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);  // the terminal went away: as SIGTERM
}

// A request to end ends the game at once, as Escape in a level does, but a name being typed
// is ended first, as Enter would, and the game ends at the poll after it, once the score is
// saved.
void end_game_or_line() {
    static bool enter_given = false;
    if (machine::replaying()) machine::end_replay();  // the window closed: the viewer is done
    if (!machine::line_being_read()) machine::end_program(0);
    if (enter_given) return;
    enter_given = true;
    machine::push_key(machine::kEnterKey);
    machine::push_key(machine::kEnterKey | 0x80);
}

// Without a display SDL falls back on drivers that show nothing; only a test asks for those.
bool invisible_driver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    bool invisible = driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    return invisible && std::getenv("SDL_VIDEODRIVER") == nullptr;
}

bool take_input() {
    if (quit_signalled != 0) request_quit();
    bool input = pump_events();
    // Only here, never while the game writes a file, does a request to end take effect.
    if (quit_requested()) end_game_or_line();
    rest_audio_if_silent(platform::machine::steady_us());
    return input;
}

}  // namespace
}  // namespace sdl

namespace platform::machine {

namespace real_time {
bool take_input() { return sdl::take_input(); }
bool rest(std::int64_t us) { return sdl::rest(us); }
void show(const std::uint32_t* pixels, int top, int rows) { sdl::show(pixels, top, rows); }
}  // namespace real_time

bool open_display() {
    sdl::catch_quit_signals();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "brin: no window: %s\n", SDL_GetError());
        return false;
    }
    if (sdl::invisible_driver()) {
        std::fprintf(stderr, "brin: no window: no display\n");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    if (!sdl::open_window()) {
        SDL_Quit();
        return false;
    }
    sdl::open_audio();
    display_opened(sdl::refresh_us());
    return true;
}

void close_display() {
    display_closed();
    sdl::close_audio();
    sdl::close_window();
    sdl::save_settings();
    SDL_Quit();
}

bool open_mouse_device() { return true; }  // the pointer of whatever window there is

void speaker(int divisor) { sdl::queue_speaker(divisor); }

void port_access(unsigned short, unsigned char, bool) {}

void data_wanted(const char*) {}

}  // namespace platform::machine
