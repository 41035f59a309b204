// SPDX-License-Identifier: MIT
// The hooks machine.cpp calls, handed to the side that is on: the recorder while a game is
// recorded, the replayer while one is replayed.
#include "recording.h"

#include <cstring>

#include "recording_sides.h"

namespace platform::recording {

bool on = false;

void before_poll(machine::Poll what) {
    if (replayer::active()) replayer::before_poll(what);
}

void after_poll(machine::Poll what, std::deque<std::uint8_t>& keys, int& mouse_x, int& mouse_y, int& buttons) {
    if (replayer::active())
        replayer::after_poll(keys, mouse_x, mouse_y, buttons);
    else if (recorder::active())
        recorder::after_poll(what, mouse_x, mouse_y, buttons);
}

timeval reading() { return replayer::active() ? replayer::reading() : recorder::reading(); }

bool take_key(std::uint8_t byte) {
    if (replayer::active()) return false;
    if (recorder::active()) recorder::take_key(byte);
    return true;
}

namespace {

bool opened(bool (*open)(), format::Tag tag, const char* what) {
    if (recorder::active()) return recorder::opened(open, tag);
    if (replayer::active()) return replayer::opened(open, tag, what);
    return open();
}

}  // namespace

bool display_opened(bool (*open)()) { return opened(open, format::kDisplay, "the display"); }
bool mouse_opened(bool (*open)()) { return opened(open, format::kMouseDevice, "the mouse"); }

void speaker(int divisor) {
    if (recorder::active())
        recorder::speaker(divisor);
    else if (replayer::active())
        replayer::speaker(divisor);
}

void frame_shown() {
    if (recorder::active()) recorder::frame_shown();
}

void data_file(const char* path, std::FILE* f) {
    if (recorder::active()) recorder::data_file(path, f);
}

// Only the table's saves: the settings are the player's, never the game's.
bool data_read_again(const char* path, bool read, store::Bytes& bytes, bool& found) {
    if (std::strcmp(path, kTable) != 0) return read;
    if (recorder::active()) return recorder::data_read_again(read, bytes, found);
    if (replayer::active()) return replayer::data_read_again(read, bytes, found);
    return read;
}

bool data_may_write(const char* path) {
    return std::strcmp(path, kTable) != 0 || !replayer::active() || replayer::data_may_write();
}

bool data_written(const char* path, bool written) {
    if (std::strcmp(path, kTable) == 0 && recorder::active()) recorder::data_written(written);
    return written;
}

}  // namespace platform::recording
