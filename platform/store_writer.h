// SPDX-License-Identifier: MIT
// The writer's parts that the shared table's save (store_native.cpp) uses too. The writer
// (store_writer.cpp) needs nothing of the game's machine, so the tools link it alone.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <string>

#include "store.h"

namespace platform::store {

struct Descriptor {
    int fd = -1;
    explicit Descriptor(int n) : fd(n) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    int release() {
        int n = fd;
        fd = -1;
        return n;
    }
};

// Where the file is written: the path, or for a shared file where its link points. Empty
// when it is a link not to be followed (errno ELOOP), a link to nothing, or can't be looked
// at.
std::string where_to_write(const std::string& path, bool shared);
// A descriptor of a regular file, or -1 (closing it) for anything else.
int regular_only(int fd);
// The file for reading and writing. -1 with errno ENOENT when there is none yet; anything
// but a regular file the player may write counts as a file that can't be written.
int open_file(const std::string& path);
// What the file holds, up to `limit` bytes.
bool read_back(int fd, Bytes& bytes, std::size_t limit = kMostReadBack);
// Removes the new files of writes to `path` killed before their rename.
void remove_leftovers(const std::string& path);
// Writes `bytes` as the whole of `path`, whose file now is `old` (-1: none).
bool write_file(const std::string& path, int old, const Bytes& bytes, bool shared);

}  // namespace platform::store
