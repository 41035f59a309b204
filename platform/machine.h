// SPDX-License-Identifier: MIT
// The contract between the shared virtual VGA (machine.cpp) and a back-end: what the machine
// offers every back-end, the rules every back-end keeps alike, and the few hooks each
// back-end implements for it. The library never includes this file. A back-end is written
// from it and the few headers HACKING.md's back-end contract lists, which the build checks.
//
// How a back-end fits in. The library runs on one thread and blocks: it spins on the clock
// (gettimeofday, time), polls the keyboard with a zero-timeout select and polls the mouse with
// mouse_update, and never returns to a caller in between. machine.cpp answers those calls
// from its own state (screen memory, palette registers, key queue, mouse device, speaker
// ports) and, before each answer, calls the back-end's poll() hook. poll() is therefore the
// back-end's only chance to run: to take in its input, show the picture, play the sound and
// rest when the game is only waiting. Everything below is called on the game's thread.
#pragma once

#include <sys/time.h>

#include <cstdint>

#include "vga/vga_sizes.h"

namespace platform::machine {

constexpr int kBankSize = vga::kBankBytes;
constexpr int kBanks = vga::kBanks;
constexpr int kScreenBanks = vga::kScreenBanks;
constexpr int kWidth = vga::kWidth;
constexpr int kHeight = vga::kHeight;
constexpr int kPaletteBytes = vga::kPaletteBytes;

// ---- offered by machine.cpp ----

// All eight banks of screen memory, as one array, with what was written through the
// window so far. Read it afresh after drawing.
const unsigned char* screen_memory();
// 256 palette registers, red-green-blue, 6-bit levels.
const unsigned char* palette_registers();
// How many times vga_setpalvec has been called.
long palette_loads();
// A count that goes up whenever the shown part of screen memory (the 640x480 picture, what
// was written through the window taken in first) or the palette registers change: while it
// stays the same, the picture does too, and nothing needs comparing.
long screen_changes();
// The same count for the shown part of one bank: a digest of that part holds until it moves.
long bank_changes(int bank);
// A 6-bit level as an 8-bit one (63 gives 255).
inline std::uint8_t level8(unsigned char level6) { return static_cast<std::uint8_t>((level6 << 2) | (level6 >> 4)); }
// The colour a pixel shows, as 0xRRGGBB.
std::uint32_t rgb_of(unsigned char index);

// Key bytes waiting on "standard input", oldest first: a console key number (1-127) for a
// press, the same with bit 7 set for a release.
void push_key(std::uint8_t byte);
bool key_waiting();
constexpr std::uint8_t kEscapeKey = 1;
constexpr std::uint8_t kEnterKey = 28;
// A key the player pressed (its number) or released (the number + 128), from a back-end
// that has a player: queued as push_key does, but a replayed game gets none, and Escape's
// press ends the replay (end_replay).
void player_key(std::uint8_t byte);
// Whether the library is reading a line of text (platform::line_input). A request to quit
// then ends the line with an Enter, and takes effect at the first poll after the line.
bool line_being_read();

// The mouse device: where it is and which buttons it holds. The reported state follows it at
// each mouse_update, within the set ranges. A replayed game gets none of it.
constexpr int kLeftButton = 4, kMiddleButton = 2, kRightButton = 1;
void mouse_device(int x, int y, int buttons);

// Everything back to the state of a machine just switched on (tests start from it).
void reset();

// ---- ending the program ----

// Ends the program as the game's own Escape does: the keyboard let go, back to text mode
// (close_display), exit with `status`. From a poll only: never while the game writes a file.
[[noreturn]] void end_program(int status);
// The viewer ended a replay before its end (Escape, the window closed): no difference is
// said, and the program ends with status 0.
[[noreturn]] void end_replay();

// ---- recordings (recording.h) ----

// The back-end showed the picture: a recording notes a digest of it. Call it from the one
// place where a frame goes out.
void frame_shown();
// The picture's digest: the CRC-32 of the 640x480 picture in screen memory, continued over
// the palette registers, over the build's CRC-32 (packing.h).
std::uint32_t frame_crc();
// A recording is being replayed: the game's answers come from it, and the back-end's input
// is dropped.
bool replaying();
// The virtual time of the poll being replayed, in microseconds since the recording began.
std::int64_t replayed_us();

// ---- offered by pacing.cpp to the back-ends that run in real time (the window, the browser) ----
//
// The pacing implements poll() and now() for them. At each poll it calls take_input, shows
// a frame when one is due and rests when the game is only waiting, by these rules:
// - Screen memory is looked at through screen_changes(), no more than once a millisecond
//   (at every poll in the millisecond after input, while the game acts on it) and always
//   before a rest. A change after a quiet spell is shown at once, a stream of them (a fade)
//   once a display refresh; present_frame() turns the palette registers and screen memory
//   into pixels and hands them to show with the rows that changed (none: nothing is shown,
//   and the next change is shown at once). Nothing else shows a frame.
// - A poll without input, in the same centisecond of now() as the poll before, more than a
//   millisecond after the last input, is the game spinning on the clock: it rests until the
//   next centisecond, the next frame due or the next input. Key bytes waiting unread do not
//   count as input: a screen that reads no keys waits as it would without them. Once such a
//   rest brought nothing new while the game read only whole seconds (time, as in a level),
//   the next rest lasts to the next second.
// - A game busy for longer than a display refresh rests for 0 (a browser must get its turn).
// - A replay keeps its recording's pace: a poll ahead of its time rests until it is due, a
//   frame or input; one behind it rests for 0 once a display refresh, as a busy game does, so
//   that input (the Escape that ends it) still comes in.
// - Once a mouse button changed, the mouse's events after it wait (mouse_held) until the
//   game has polled the mouse, or 250 ms if it doesn't; keys go on meanwhile. Rests then
//   last at most a millisecond.

// Microseconds on the steady clock of the back-end's hooks.
std::int64_t steady_us();
// The display opened, refreshing every `frame_us`: the pacing starts afresh, and the whole
// picture is shown at the next poll. Closed: polls do nothing until it opens again.
void display_opened(std::int64_t frame_us);
void display_closed();
// The shown picture was lost (a window exposed or resized): show it again when due.
void redraw();
// Whether the mouse's events wait for the game to see a button change; a back-end calls
// button_changed() when it passes one to mouse_device.
bool mouse_held();
void button_changed();

// ---- implemented by a back-end that runs in real time, for the pacing ----

// Everything the pacing asks of the back-end, in one namespace, which each such back-end
// implements, its clocks from system_clock.cpp (a test brings clocks of its own). Functions,
// not pointers: the browser's rests must be reached by direct calls, the only ones its
// asyncify build can pause in.
namespace real_time {
// Microseconds on a steady clock, which setting the time of day does not move.
std::int64_t steady_us();
// The time of day, in microseconds since 1970: read once, as the steady clock's origin.
std::int64_t time_of_day_us();
// Takes in what came since the last poll: keys (push_key), the mouse (mouse_device, not
// while mouse_held()), a request to quit. True when any input came.
bool take_input();
// Rests at most `us` (0: only lets the system have its turn), less when input comes, and
// takes that in; true when it did.
bool rest(std::int64_t us);
// Shows a 640x480 frame: one pixel a 32-bit word, bytes red, green, blue, 255 in memory
// order. Only `rows` rows from `top` on changed since the frame shown before; after
// display_opened or redraw, all of them.
void show(const std::uint32_t* pixels, int top, int rows);
}  // namespace real_time

// ---- implemented by each back-end (poll and now by the pacing for the real-time ones) ----

// `clock` is a reading to the microsecond (gettimeofday), `seconds` one of whole seconds (time).
enum class Poll { clock, seconds, keys, mouse };

// Called at every clock read (gettimeofday, time), key poll (select) and mouse poll
// (mouse_update), before the answer is taken: tens of thousands of times a second while the
// game spins. Here the back-end takes in its input (push_key, mouse_device), shows the
// picture when screen memory or the palette changed, and rests when the game is only
// waiting on the clock. It may block, but only briefly: a delay of the game is at most a
// centisecond off, so rest no longer than until the next centisecond of now(), the next
// frame or the next input; while the game reads only whole seconds, until the next second. It may end the program
// (end_program) on a request to quit: poll is never called while the game is writing a file.
// It is called in text mode too (before the graphics mode is set and after it is left).
void poll(Poll what);
// The time of day, microseconds included: what gettimeofday and time answer. Must not go
// backwards while a game runs.
timeval now();
// Mode 10 was requested: make the picture visible (a window, a canvas). False when no picture
// can be shown; the game then says so in text mode and ends. Called once a run in practice,
// but a back-end must allow open, close, open.
bool open_display();
// Back to text mode: the picture is no longer shown. Also called at the end of the program.
void close_display();
// The mouse device can be opened (false: the game runs without the pointer).
bool open_mouse_device();
// The speaker started sounding at a divisor (the tone is 1,193,182 / divisor Hz), changed
// pitch, or fell silent (0). Called inside outb, between polls; must not block.
void speaker(int divisor);
// One byte read from or written to an I/O port, before it takes effect. Most back-ends
// ignore it; the simulator can log it.
void port_access(unsigned short port, unsigned char value, bool write);
// The game is about to open the data file `path`. A back-end whose data come after the game
// has started (the browser fetches the levels' pictures while the title plays) waits here
// until it is there; the others do nothing.
void data_wanted(const char* path);

}  // namespace platform::machine
