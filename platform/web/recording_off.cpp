// SPDX-License-Identifier: MIT
// The browser edition records nothing yet: recordings are packed with zlib, which this
// build does not have (Emscripten's port would be fetched at build time). With `on` false
// the machine never calls the rest.
#include "recording.h"

namespace platform::recording {

bool on = false;
bool replaying() { return false; }
void before_poll(machine::Poll) {}
void after_poll(machine::Poll, std::deque<std::uint8_t>&, int&, int&, int&) {}
timeval reading() { return {}; }
bool take_key(std::uint8_t) { return true; }
bool display_opened(bool (*open)()) { return open(); }
bool mouse_opened(bool (*open)()) { return open(); }
void speaker(int) {}
void frame_shown() {}
void data_file(const char*, std::FILE*) {}
void data_read_again(const char*, store::Bytes&, bool&) {}
std::int64_t replayed_us() { return 0; }

}  // namespace platform::recording
