// SPDX-License-Identifier: MIT
// What the fuzz targets that read files need: the input bytes as a file the library opens
// by name.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

inline bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The bytes in an anonymous memory file, reached by its /proc path; nothing touches the disk.
class InputFile {
public:
    InputFile(const std::uint8_t* data, std::size_t size) : fd_(memfd_create("input", 0)) {
        if (fd_ >= 0 && write_all(fd_, data, size)) path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~InputFile() {
        if (fd_ >= 0) close(fd_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool ok() const { return !path_.empty(); }
    const char* path() const { return path_.c_str(); }

private:
    int fd_;
    std::string path_;
};

}  // namespace fuzz
