// SPDX-License-Identifier: MIT
// What the window back-end's parts share: the picture (picture.cpp), the keyboard, mouse and
// window events (input.cpp), resting between polls (rest.cpp), the speaker's sound
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

// Replaces a file whole or not at all, through the file service.
bool write_whole(const std::string& path, const std::string& text);
// Makes the folders of an absolute path that are missing.
bool make_folders(const std::string& path);

// ---- recordings (record.cpp) ----

// Starts replaying --replay's file, or recording the game for --record and last.brinrec.
// -1: play on; otherwise the exit status, the reason said.
int start_recording_or_replay();
// $XDG_STATE_HOME/brin, or ~/.local/state/brin; empty when there is no home.
std::string state_folder();

// Microseconds on the monotonic clock.
std::int64_t steady_us();

// ---- the picture ----

bool open_window();
// The game's icon on the window, from the picture built into the program.
void set_icon(SDL_Window* window);
void close_window();
bool window_open();
bool window_ever_opened();
SDL_Window* picture_window();  // nullptr when closed
// The screen is shown again when it changed or the window lost its contents, at once after
// a quiet spell and at most once a display refresh. Screen memory is looked at when
// `look_now` or a millisecond after the last look; true when that look found a change.
std::int64_t frame_due_us();
bool frame_pending();  // a change was seen at the last look and is not shown yet
bool present_if_due(std::int64_t now_us, bool look_now);
void window_needs_redraw();
void toggle_full_screen();
// Where the 640x480 picture lies in the window, in window coordinates.
SDL_Rect picture_place();

// ---- keyboard, mouse and window events (input.cpp) ----

// One event taken in: a key, the mouse, the window.
void take_event(const SDL_Event& e);
// Takes in the events SDL holds; true when there was any.
bool take_events();
// A click the game has not polled the mouse for yet: the mouse's events after it wait.
bool click_waiting();
// A poll of `mouse` kind or another; the game has seen a click once it polled the mouse.
void note_mouse_poll(bool mouse);
// The window was closed or a signal asked the game to end.
bool quit_requested();
void request_quit();

// ---- keeping cool (rest.cpp) ----

// Fetches the window's events when they can have come, and takes them in; true when any.
bool pump_events();
// Sends the X server what the window asked of it so far.
void send_x_requests();
// The game polled again: rest until something can have changed, when nothing did.
void rest_if_idle(bool input);
// A replay rests until the recording's clock is due, so that it plays at its own pace.
void rest_for_replay();
// Every poll: `mouse` as above; `fine_clock`, the game read the clock finer than whole seconds.
void note_poll(bool mouse, bool fine_clock);

// ---- the speaker ----

void open_audio();
void close_audio();
void queue_speaker(int divisor);
// Silent for a while: the audio device is closed until the next tone, so that its thread
// stops waking.
void rest_audio_if_silent(std::int64_t now_us);

}  // namespace sdl
