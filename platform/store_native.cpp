// SPDX-License-Identifier: MIT
// The shared table saved on a disk, for the window and the simulator: one game at a time,
// under a lock, merging what the others wrote, and written by the store's writer.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "store_writer.h"

namespace platform::store {
namespace {

// Another game saving the same file holds the lock for milliseconds; one that is stopped
// is waited for this many times 10 ms, and then the save fails as an unwritable file does.
constexpr int kLockTries = 500;

// The lock file beside the file: taking it lets one game at a time read and replace it.
// -1 where it can't be made.
int open_lock(const std::string& path) {
    return regular_only(
        ::open((path + ".lock").c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
}

bool take_lock(int fd) {
    for (int tries = 0; tries < kLockTries; ++tries) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        timespec ten_ms{0, 10000000};
        ::nanosleep(&ten_ms, nullptr);
    }
    return false;
}

bool same_file(int fd, const std::string& path) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Without a lock file the file itself is locked. A game that saved meanwhile has renamed
// its new file over the one locked here: the lock is then taken on that one, so that both
// saves count.
int lock_the_file_itself(const std::string& path) {
    for (int tries = 0; tries < kLockTries; ++tries) {
        Descriptor file(open_file(path));
        if (file.fd < 0 || !take_lock(file.fd)) return -1;
        if (same_file(file.fd, path)) return file.release();
    }
    return -1;
}

// A save that could not read the file: a recording notes it. Why is left in errno.
bool unread(const std::string& name) {
    int error = errno;
    Bytes none;
    bool found = false;
    bool read = data_read_again(name.c_str(), false, none, found);
    errno = error;
    return read;
}

}  // namespace

bool replace(const std::string& name, Merge merge, bool shared) {
    std::string path = where_to_write(name, shared);
    if (path.empty()) return unread(name);
    Descriptor lock(shared ? open_lock(path) : -1);
    if (lock.fd >= 0 && !take_lock(lock.fd)) return unread(name);
    bool itself = shared && lock.fd < 0;
    Descriptor old(itself ? lock_the_file_itself(path) : open_file(path));
    if (old.fd < 0 && (errno != ENOENT || itself)) return unread(name);
    Bytes on_disk, out;
    if (old.fd >= 0 && !read_back(old.fd, on_disk)) return unread(name);
    Bytes seen = on_disk;  // a replay sees what the recorded game saw; the disk's bytes stay for the write
    bool found = old.fd >= 0;
    if (!data_read_again(name.c_str(), true, seen, found) || !merge(seen, found, out)) return false;
    if (!data_may_write(name.c_str())) return false;
    remove_leftovers(path);
    return data_written(name.c_str(), write_file(path, old.fd, out, shared));
}

}  // namespace platform::store
