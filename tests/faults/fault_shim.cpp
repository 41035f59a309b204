// SPDX-License-Identifier: MIT
// Preloaded into brin-sim (LD_PRELOAD) to make the save of the high-score table fail, or
// to kill the process, at the step named by the environment variable BRIN_FAULT:
//
//   open | write | fsync | rename          that call fails (write: half the bytes go
//                                          out, then the disk is full)
//   open-denied                            the folder takes no new file (EACCES)
//   pause-after-open                       a 50 ms pause, as a slow disk would make
//   kill-after-open | kill-in-write | kill-after-write | kill-after-fsync |
//   kill-after-close | kill-after-rename   SIGKILL at that point
//   another-game-saved                     max.pun.other replaces max.pun as the save
//                                          takes its lock, as another game's save would
//
// Apart from that last one, only the new table's file (max.pun.new followed by what makes its name unique) and its
// descriptor are touched; every other call goes straight on to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

int new_table_fd = -1;

bool fault_is(const char* name) {
    static const char* fault = std::getenv("BRIN_FAULT");
    return fault != nullptr && std::strcmp(fault, name) == 0;
}

void kill_if(const char* name) {
    if (fault_is(name)) raise(SIGKILL);
}

int fail(int error) {
    errno = error;
    return -1;
}

bool is_new_table(const char* path) {
    const char* base = std::strrchr(path, '/');
    const char prefix[] = "max.pun.new";
    return std::strncmp(base != nullptr ? base + 1 : path, prefix, sizeof prefix - 1) == 0;
}

// The C library's own function of that name.
template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int open_new_table(const char* path, int flags, mode_t mode) {
    static const auto real = next<int (*)(const char*, int, ...)>("open");
    if (!is_new_table(path)) return real(path, flags, mode);
    if (fault_is("open")) return fail(EIO);
    if (fault_is("open-denied")) return fail(EACCES);
    int fd = real(path, flags, mode);
    new_table_fd = fd;
    kill_if("kill-after-open");
    if (fault_is("pause-after-open")) {
        timespec pause{0, 50000000};
        nanosleep(&pause, nullptr);
    }
    return fd;
}

void another_game_saved(const char* path) {
    static const std::string kLock = "max.pun.lock";
    std::string name = path;
    if (!fault_is("another-game-saved") || name.size() < kLock.size() ||
        name.compare(name.size() - kLock.size(), kLock.size(), kLock) != 0)
        return;
    std::string table = name.substr(0, name.size() - std::strlen(".lock"));
    ::rename((table + ".other").c_str(), table.c_str());
}

mode_t mode_of(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = mode_of(flags, arguments);
    va_end(arguments);
    another_game_saved(path);
    return open_new_table(path, flags, mode);
}

// The same call under its large-file name (one and the same on 64-bit systems).
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

ssize_t write(int fd, const void* bytes, size_t count) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    if (fd < 0 || fd != new_table_fd) return real(fd, bytes, count);
    if (fault_is("write") || fault_is("kill-in-write")) {
        static bool half_written = false;
        if (half_written || count < 2) return fail(ENOSPC);
        half_written = true;
        ssize_t done = real(fd, bytes, count / 2);
        kill_if("kill-in-write");
        return done;
    }
    ssize_t done = real(fd, bytes, count);
    kill_if("kill-after-write");
    return done;
}

int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    if (fd < 0 || fd != new_table_fd) return real(fd);
    if (fault_is("fsync")) return fail(EIO);
    int result = real(fd);
    kill_if("kill-after-fsync");
    return result;
}

int close(int fd) {
    static const auto real = next<int (*)(int)>("close");
    if (fd < 0 || fd != new_table_fd) return real(fd);
    new_table_fd = -1;
    int result = real(fd);
    kill_if("kill-after-close");
    return result;
}

int rename(const char* from, const char* to) {
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    if (!is_new_table(from)) return real(from, to);
    if (fault_is("rename")) return fail(EIO);
    int result = real(from, to);
    kill_if("kill-after-rename");
    return result;
}

}  // extern "C"
