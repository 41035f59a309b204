// What the shared virtual VGA (machine.cpp) offers the back-ends, and the few hooks each
// back-end implements for it. The library never includes this file.
#pragma once

#include <sys/time.h>

#include <cstdint>

namespace platform::machine {

constexpr int kBankSize = 65536;
constexpr int kBanks = 8;        // 0-4 hold the picture and its margin rows
constexpr int kScreenBanks = 5;
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr long kPitClock = 1193182;

// ---- offered by machine.cpp ----

// All eight banks of screen memory, as one array, with what was written through the
// window so far. Read it afresh after drawing.
const unsigned char* screen_memory();
// 256 palette registers, red-green-blue, 6-bit levels.
const unsigned char* palette_registers();
// How many times vga_setpalvec has been called.
long palette_loads();
// A 6-bit level as an 8-bit one (63 gives 255).
inline std::uint8_t level8(unsigned char level6) {
    return static_cast<std::uint8_t>((level6 << 2) | (level6 >> 4));
}
// The colour a pixel shows, as 0xRRGGBB.
std::uint32_t rgb_of(unsigned char index);

bool graphics_on();
bool keyboard_on();
int sounding_divisor();  // 0 when silent

// Key bytes waiting on "standard input", oldest first.
void push_key(std::uint8_t byte);
bool key_waiting();
void drop_keys();

// The mouse device: where it is and which buttons (4 left, 2 middle, 1 right) it holds.
// The reported state follows it at each mouse_update, within the set ranges.
void mouse_device(int x, int y, int buttons);

// Everything back to the state of a machine just switched on (tests start from it).
void reset();

// ---- implemented by each back-end ----

enum class Poll { clock, keys, mouse };
// Called at every clock read, key poll and mouse poll, before the answer is taken.
void poll(Poll what);
// The time of day.
timeval now();
// Mode 10 requested: true when a picture can be shown.
bool open_display();
void close_display();
// The mouse device can be opened.
bool open_mouse_device();
// The speaker started sounding at a divisor, changed pitch, or fell silent (0).
void speaker(int divisor);
// One byte read from or written to an I/O port.
void port_access(unsigned short port, unsigned char value, bool write);

}  // namespace platform::machine
