// SPDX-License-Identifier: MIT
// Data files, read the same way by every back-end.
#include "store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "machine.h"

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

}  // namespace platform::store
