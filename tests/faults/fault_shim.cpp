// SPDX-License-Identifier: MIT
// Preloaded into brin-sim (LD_PRELOAD) to make the save of a file fail, or to kill the
// process, at the steps named by the environment variable BRIN_FAULT (several: "a,b"). The
// file is max.pun, or the one named by BRIN_FAULT_FILE.
//
//   open | write | fsync | rename          that call fails (write: half the bytes go
//                                          out, then the disk is full)
//   read                                   reading the table back at a save fails
//   open-denied                            the folder takes no new file (EACCES)
//   full                                   the disk is full: no new file (ENOSPC), and a
//                                          write that would lengthen the file itself puts
//                                          out what fits, then fails
//   fsync-itself                           the first sync of the file itself fails (EIO)
//   pause-after-open                       a 50 ms pause, as a slow disk would make
//   kill-after-open | kill-in-write | kill-after-write | kill-after-fsync |
//   kill-after-close | kill-after-rename   SIGKILL at that point
//   another-game-saved                     max.pun.other replaces max.pun as the save
//                                          takes its lock, as another game's save would
//
// Apart from that last one and those on the file itself, only the new file (max.pun.new or
// .growing, followed by what makes its name unique) and its descriptor are touched; every other call
// goes straight on to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

int new_file_fd = -1;
int file_itself_fd = -1;

std::string environment(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : otherwise;
}

// ",WORD,", appended: GCC 12 warns falsely of overlapping copies in "," + a string at -O3.
std::string between_commas(const std::string& word) { return std::string(",").append(word).append(","); }

// Never destroyed: the program's own exit handlers still save files after the shim's
// statics would be gone.
bool fault_is(const char* name) {
    static const std::string& faults = *new std::string(between_commas(environment("BRIN_FAULT", "")));
    return faults.find(between_commas(name)) != std::string::npos;
}

const std::string& file_name() {
    static const std::string& name = *new std::string(environment("BRIN_FAULT_FILE", "max.pun"));
    return name;
}

const char* base_name(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

void kill_if(const char* name) {
    if (fault_is(name)) raise(SIGKILL);
}

int fail(int error) {
    errno = error;
    return -1;
}

// Written at once (".new") or as it grows (".growing").
bool is_new_file(const char* path) {
    std::string prefix = file_name() + ".";
    const char* base = base_name(path);
    return std::strncmp(base, prefix.c_str(), prefix.size()) == 0 &&
           (std::strncmp(base + prefix.size(), "new", 3) == 0 || std::strncmp(base + prefix.size(), "growing", 7) == 0);
}

// The C library's own function of that name.
template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int open_new_file(const char* path, int flags, mode_t mode) {
    static const auto real = next<int (*)(const char*, int, ...)>("open");
    if (!is_new_file(path)) {
        int fd = real(path, flags, mode);
        if (base_name(path) == file_name() && (flags & O_ACCMODE) == O_RDWR) file_itself_fd = fd;
        return fd;
    }
    if (fault_is("open")) return fail(EIO);
    if (fault_is("open-denied")) return fail(EACCES);
    if (fault_is("full")) return fail(ENOSPC);
    int fd = real(path, flags, mode);
    new_file_fd = fd;
    kill_if("kill-after-open");
    if (fault_is("pause-after-open")) {
        timespec pause{0, 50000000};
        nanosleep(&pause, nullptr);
    }
    return fd;
}

void another_game_saved(const char* path) {
    std::string name = path, lock = "max.pun.lock";
    if (!fault_is("another-game-saved") || name.size() < lock.size() ||
        name.compare(name.size() - lock.size(), lock.size(), lock) != 0)
        return;
    std::string table = name.substr(0, name.size() - std::strlen(".lock"));
    ::rename((table + ".other").c_str(), table.c_str());
}

// On a full disk the bytes within the file's length go out, and no more.
ssize_t write_itself(int fd, const void* bytes, size_t count) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    struct stat st {};
    off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (!fault_is("full") || ::fstat(fd, &st) != 0 || at < 0 || at + static_cast<off_t>(count) <= st.st_size)
        return real(fd, bytes, count);
    if (at >= st.st_size) return fail(ENOSPC);
    return real(fd, bytes, static_cast<size_t>(st.st_size - at));
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
    return open_new_file(path, flags, mode);
}

// The same call under its large-file name (one and the same on 64-bit systems).
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

ssize_t write(int fd, const void* bytes, size_t count) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    if (fd >= 0 && fd == file_itself_fd) return write_itself(fd, bytes, count);
    if (fd < 0 || fd != new_file_fd) return real(fd, bytes, count);
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
    if (fd >= 0 && fd == file_itself_fd && fault_is("fsync-itself")) {
        static bool failed = false;
        if (!failed) {
            failed = true;
            return fail(EIO);
        }
    }
    if (fd < 0 || fd != new_file_fd) return real(fd);
    if (fault_is("fsync")) return fail(EIO);
    int result = real(fd);
    kill_if("kill-after-fsync");
    return result;
}

int close(int fd) {
    static const auto real = next<int (*)(int)>("close");
    if (fd >= 0 && fd == file_itself_fd) file_itself_fd = -1;
    if (fd < 0 || fd != new_file_fd) return real(fd);
    new_file_fd = -1;
    int result = real(fd);
    kill_if("kill-after-close");
    return result;
}

// A save reads the file back with pread (the game's own reading at its start is left alone).
ssize_t pread(int fd, void* bytes, size_t count, off_t at) {
    static const auto real = next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    if (fd >= 0 && fd == file_itself_fd && fault_is("read")) return fail(EIO);
    return real(fd, bytes, count, at);
}

ssize_t pread64(int fd, void* bytes, size_t count, off_t at) __attribute__((alias("pread")));

int rename(const char* from, const char* to) {
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    if (!is_new_file(from)) return real(from, to);
    if (fault_is("rename")) return fail(EIO);
    int result = real(from, to);
    kill_if("kill-after-rename");
    return result;
}

}  // extern "C"
