// SPDX-License-Identifier: MIT
// The two sides of recording.h's hooks: recorder.cpp writes a game down as it is played,
// replayer.cpp answers a game from a recording. recording.cpp calls the side that is on.
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <deque>

#include "machine.h"
#include "recording_format.h"

namespace platform::recording::recorder {

bool active();
void after_poll(machine::Poll what, int mouse_x, int mouse_y, int buttons);
timeval reading();
void take_key(std::uint8_t byte);
bool opened(bool (*open)(), format::Tag tag);
void speaker(int divisor);
void frame_shown();
void data_file(const char* path, std::FILE* f);
bool data_read_again(bool read, const store::Bytes& bytes, bool found);
void data_written(bool written);

}  // namespace platform::recording::recorder

namespace platform::recording::replayer {

bool active();
void before_poll(machine::Poll what);
void after_poll(std::deque<std::uint8_t>& keys, int& mouse_x, int& mouse_y, int& buttons);
timeval reading();
bool opened(bool (*open)(), format::Tag tag, const char* what);
void speaker(int divisor);
bool data_read_again(bool read, store::Bytes& bytes, bool& found);
bool data_may_write();

}  // namespace platform::recording::replayer
