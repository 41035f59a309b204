// SPDX-License-Identifier: MIT
// Data files: opened for reading without ever waiting on what is not a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform.h"
#include "vora256.h"

namespace vora256 {

std::FILE* abre_datos(const char* path) {
    // Without O_NONBLOCK a FIFO's open would wait for a writer for ever.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st {};
    std::FILE* f = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::fdopen(fd, "rb") : nullptr;
    if (f == nullptr && fd >= 0) ::close(fd);
    platform::data_file(path, f);
    return f;
}

}  // namespace vora256
