// SPDX-License-Identifier: MIT
// What the window back-end's parts share: the picture (picture.cpp), the keyboard, mouse and
// window events (input.cpp), waiting on the X connection (rest.cpp), the speaker's sound
// (audio.cpp), the command line (options.cpp), and the hooks that tie them to the shared
// machine (hooks.cpp). Only the files of this folder include it.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

namespace sdl {

// ---- the command line and the remembered settings ----

enum class Scale { fill, integer };
struct Settings {
    int width = 0, height = 0;  // the window's last size; 0: chosen from the desktop
    bool full_screen = false;
    Scale scale = Scale::fill;
    int volume = 100;            // 0 to 100
    bool mute = false;           // this run only: never remembered
    std::string record, replay;  // --record FILE, --replay FILE
};
Settings& settings();
// $XDG_CONFIG_HOME/brin/brin.conf; empty when there is no home.
std::string settings_path();
// Reads brin.conf, then the arguments over it. -1: play on; otherwise the exit status (0
// after --help or --version, 2 after a wrong option, both said).
int take_command_line(int argc, char** argv);
// Writes the settings back, atomically; only after take_command_line.
void save_settings();

// Says on stderr that `what` (as "the settings in") could not be saved as `path`, and why
// from errno.
void say_not_saved(const char* what, const std::string& path);
// Replaces a file whole or not at all, through the file service; a failure is said.
bool write_whole(const std::string& path, const std::string& text, const char* what);
// Makes the folders of an absolute path that are missing.
bool make_folders(const std::string& path);

// ---- recordings (record.cpp) ----

// Starts replaying --replay's file, or recording the game for --record and last.brinrec.
// -1: play on; otherwise the exit status, the reason said.
int start_recording_or_replay();
// $VARIABLE/brin, or ~UNDER_HOME/brin; empty when there is no home to put it in. A
// relative VARIABLE is invalid by the XDG rules and ignored.
std::string xdg_folder(const char* variable, const char* under_home);
// $XDG_STATE_HOME/brin, or ~/.local/state/brin; empty when there is no home.
std::string state_folder();

// ---- the picture ----

bool open_window();
// The game's icon on the window, from the picture built into the program.
void set_icon(SDL_Window* window);
void close_window();
bool window_ever_opened();
SDL_Window* picture_window();  // nullptr when closed
// One display refresh of the window, in microseconds.
std::int64_t refresh_us();
void toggle_full_screen();
// Where the 640x480 picture lies in the window, in window coordinates.
SDL_Rect picture_place();
// The pacing's show: the rows of a frame that changed, scaled into the window.
void show(const std::uint32_t* pixels, int top, int rows);

// ---- keyboard, mouse and window events (input.cpp) ----

// One event taken in: a key, the mouse, the window.
void take_event(const SDL_Event& e);
// Takes in the events SDL holds; true when there was any.
bool take_events();
// The window was closed or a signal asked the game to end.
bool quit_requested();
void request_quit();

// ---- the X connection (rest.cpp) ----

// Fetches the window's events when they can have come, and takes them in; true when any.
bool pump_events();
// The pacing's rest: on the X connection, at most `us`; true when events came.
bool rest(std::int64_t us);
// Sends the X server what the window asked of it so far.
void send_x_requests();

// ---- the speaker ----

void open_audio();
void close_audio();
void queue_speaker(int divisor);
// Silent for a while: the audio device is closed until the next tone, so that its thread
// stops waking.
void rest_audio_if_silent(std::int64_t now_us);

}  // namespace sdl
