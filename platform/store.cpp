// SPDX-License-Identifier: MIT
// Data files, read the same way by every back-end, and what a recording notes of the files.
#include "store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "machine.h"

#include "recording.h"

namespace platform::store {

std::FILE* open_data(const char* path) {
    machine::data_wanted(path);
    // Without O_NONBLOCK a FIFO's open would wait for a writer for ever.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    std::FILE* f = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::fdopen(fd, "rb") : nullptr;
    if (f == nullptr) ::close(fd);
    return f;
}

bool read_data(const std::string& path, Bytes& bytes, std::size_t limit) {
    std::FILE* f = open_data(path.c_str());
    if (f == nullptr) return false;
    bytes.resize(limit);
    bytes.resize(std::fread(bytes.data(), 1, limit, f));
    bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

void data_file(const char* path, std::FILE* f) {
    if (recording::on) recording::data_file(path, f);
}

bool data_read_again(const char* path, bool read, Bytes& bytes, bool& found) {
    return recording::on ? recording::data_read_again(path, read, bytes, found) : read;
}

bool data_may_write(const char* path) { return !recording::on || recording::data_may_write(path); }

bool data_written(const char* path, bool written) {
    return recording::on ? recording::data_written(path, written) : written;
}

}  // namespace platform::store
