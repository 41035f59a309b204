// SPDX-License-Identifier: MIT
// The game's files: data files read without ever waiting on what is not a file, and small
// files replaced whole. Reading is the same on every back-end (store.cpp); replacing has one
// implementation per kind of back-end: store_native.cpp for the window and the simulator,
// web/store.cpp for the browser.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace platform::store {

using Bytes = std::vector<unsigned char>;

// A data file opened for reading ("rb"), or nullptr as for a missing file when it can't be
// opened or is not a regular file (a FIFO, a device, a folder).
std::FILE* open_data(const char* path);
// The first `limit` bytes of such a file; false as for a missing one.
bool read_data(const std::string& path, Bytes& bytes, std::size_t limit);

// Called while the file is being replaced, with what it holds on disk at that moment
// (`found` false when there is none). It puts the bytes to write into `out`, or returns
// false to leave the file as it is and fail the save. This is the one place where the bytes
// read at a save pass.
using Merge = bool (*)(const Bytes& on_disk, bool found, Bytes& out);

// The most a save reads back of a file, and a recording keeps of what it read.
constexpr std::size_t kMostReadBack = 65536;

// Every file below is written the same way (store_writer.cpp): the new bytes go to a file
// of their own beside the old one, reach the disk, and take its name with its mode, owner
// and group, so the file is the old one or the new one at every moment. Where that can't
// be done the write fails and the old file stays whole; only a `shared` file (one several
// games write, as the high scores), which must keep what makes it shared, is then
// rewritten in place, and put back whole when that fails. Only a shared file is written
// through a symbolic link, where it points: any other link's target is never written.

// Replaces a small file whole. A shared file is replaced by one game at a time, under a lock
// beside it, `merge` sees what the other games wrote, and the rename is synced to the disk
// with the folder. False when it could not be replaced; the file is then as it was.
bool replace(const std::string& path, Merge merge, bool shared);

// What becomes of a symbolic link in the place of a file that is not shared: left as it is,
// the write failing with errno ELOOP (the settings, a recording: the player's link may lead
// anywhere), or replaced by the new file (a level picture, where the launcher links the
// shipped one).
enum class Link { left_alone, replaced };

// Replaces a file that is not shared with `size` bytes. False when it could not be
// replaced; the file is then as it was.
bool write_whole(const std::string& path, const unsigned char* bytes, std::size_t size, Link link = Link::left_alone);

// A file written as it grows, for a recording streamed to disk while the game is played. It
// is named PATH.growing.PID.N, apart from the leftovers a save removes, so a crashed game's
// is kept for whoever looks for it. A link in its place is left alone.
struct Growing {
    int fd = -1;
    std::string path, name;  // the file it will replace; its own name meanwhile
    Link link = Link::left_alone;
};
// Begins a new file of its own beside `path`; `path` itself is not touched until finish.
bool start_growing(const std::string& path, Growing& file);
// Appends the bytes and hands them to the system, so a crash of the program keeps them.
bool grow(Growing& file, const unsigned char* bytes, std::size_t size);
// Syncs the file and puts it in place of `path`, by the rules above; false: `path` is as it
// was, and the new file stays until abandon_growing.
bool finish_growing(Growing& file);
// Removes the new file.
void abandon_growing(Growing& file);

// Why a write above failed, from its errno, in words for the player.
std::string why_not_written(int error);

// ---- what a recording notes of the files (store.cpp) ----

// A data file was opened for reading (nullptr: it could not be), at its start: a recording
// notes what the game read. It leaves the file at its start.
void data_file(const char* path, std::FILE* f);
// What a save of the file got from the world: whether it could read the file again (`read`;
// `found` false: there was none, and the bytes), then whether it could write it. A recording
// notes the answers, a replay gives the recorded ones in their place. data_read_again is
// false when the save fails there; data_may_write false when it must not write (a replay of
// a save that could not); data_written gives `written` back. Each replace calls them.
bool data_read_again(const char* path, bool read, Bytes& bytes, bool& found);
bool data_may_write(const char* path);
bool data_written(const char* path, bool written);

}  // namespace platform::store
