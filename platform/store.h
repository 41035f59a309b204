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

// Replaces a small file whole: a file reached through a link is replaced where the link
// points, the file is the old one or the new one at every moment, and keeps its mode, owner
// and group. A `shared` file (one several games write, as the high scores) is replaced by
// one game at a time, under a lock beside it, `merge` sees what the other games wrote, and
// the rename is synced to the disk with the folder.
// False when it could not be replaced; the file is then as it was.
bool replace(const std::string& path, Merge merge, bool shared);

}  // namespace platform::store
