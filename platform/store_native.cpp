// SPDX-License-Identifier: MIT
// Small files replaced whole on a disk, for the window and the simulator. The new file is
// written beside the old one under a name of its own, reaches the disk, and only then takes
// the old one's name; where a rename would change the file's nature (other names, another
// owner, a folder that takes no new file) it is rewritten in place with one write.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform.h"
#include "store.h"

namespace platform::store {
namespace {

// Another game saving the same file holds the lock for milliseconds; one that is stopped
// is waited for this many times 10 ms, and then the save fails as an unwritable file does.
constexpr int kLockTries = 500;
constexpr std::size_t kLargest = 65536;  // what is read back of a file at a save

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

// The file, or the one it links to: a file shared through a link is saved where it is.
// Empty when it is a link to nothing or can't be looked at.
std::string where_it_is(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? path : "";
    if (!S_ISLNK(st.st_mode)) return path;
    char* target = ::realpath(path.c_str(), nullptr);
    if (target == nullptr) return "";
    std::string resolved = target;
    std::free(target);
    return resolved;
}

std::string folder_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A descriptor of a regular file, or -1 (closing it) for anything else.
int regular_only(int fd) {
    struct stat st {};
    if (fd < 0 || (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))) return fd;
    ::close(fd);
    errno = EINVAL;
    return -1;
}

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

// The file for reading and writing. -1 with errno ENOENT when there is none yet; anything
// but a regular file the player may write counts as a file that can't be written.
int open_file(const std::string& path) {
    return regular_only(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
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

// What the file holds, as far as a save reads it.
bool read_back(int fd, Bytes& bytes) {
    bytes.resize(kLargest);
    std::size_t done = 0;
    while (done < kLargest) {
        ssize_t n = ::pread(fd, bytes.data() + done, kLargest - done, static_cast<off_t>(done));
        if (n < 0) return false;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return true;
}

// The process id in "PID.N", or 0.
pid_t saver_of(const std::string& suffix) {
    char* end = nullptr;
    long pid = std::strtol(suffix.c_str(), &end, 10);
    return end != suffix.c_str() && *end == '.' && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

// A save killed before its rename leaves its new file behind. Those of games that are gone,
// or of an earlier run under this one's process id (always 1 in a container), are removed,
// so that names never run out; links and files of other names are left alone.
void remove_leftovers(const std::string& path) {
    std::string folder = folder_of(path);
    std::string prefix = path.substr(path.rfind('/') + 1) + ".new.";
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) return;
    while (const dirent* entry = ::readdir(d)) {
        std::string name = entry->d_name;
        if (name.rfind(prefix, 0) != 0) continue;
        pid_t pid = saver_of(name.substr(prefix.size()));
        if (pid == 0 || (pid != ::getpid() && (::kill(pid, 0) == 0 || errno != ESRCH))) continue;
        std::string leftover = folder + "/" + name;
        struct stat st {};
        if (::lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1) ::unlink(leftover.c_str());
    }
    ::closedir(d);
}

bool write_all(int fd, const Bytes& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

enum class Written { yes, no, no_room };  // no_room: no new file can be made beside it

// A file of its own for the new bytes, beside the old one: never an existing name, never a
// link followed, so a stale or planted file is left alone. Made as "wb" makes a file: 0666
// less the umask.
int create_new_file(const std::string& path, std::string& name) {
    static unsigned series = 0;
    for (int tries = 0; tries < 100; ++tries) {
        name = path + ".new." + std::to_string(::getpid()) + "." + std::to_string(series++);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool no_room(int error) { return error == EACCES || error == EPERM || error == ENOSPC || error == EDQUOT; }

// The new file takes the old one's mode, owner and group.
bool like_the_old(int fresh, int old) {
    struct stat st {};
    return ::fstat(old, &st) == 0 && ::fchown(fresh, st.st_uid, st.st_gid) == 0 &&
           ::fchmod(fresh, st.st_mode & 07777) == 0;
}

void sync_folder(const std::string& path) {
    Descriptor d(::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.fd >= 0) ::fsync(d.fd);
}

// A failure at any point leaves the old file as it was. The folder is synced only for a
// shared file: on a busy disk that can take seconds, which a program's own settings,
// written as it ends, are not worth.
Written through_new_file(const std::string& path, int old, const Bytes& bytes, bool shared) {
    std::string name;
    Descriptor fresh(create_new_file(path, name));
    if (fresh.fd < 0) return no_room(errno) ? Written::no_room : Written::no;
    if (old >= 0 && !like_the_old(fresh.fd, old)) {
        ::unlink(name.c_str());
        return Written::no_room;  // a file of ours would take it from its owner
    }
    bool ok = write_all(fresh.fd, bytes) && ::fsync(fresh.fd) == 0;
    ok = ::close(fresh.release()) == 0 && ok;
    if (ok && std::rename(name.c_str(), path.c_str()) == 0) {
        if (shared) sync_folder(path);
        return Written::yes;
    }
    ::unlink(name.c_str());
    return Written::no;
}

// One write, then to the disk. A write that fails puts the old bytes back.
bool in_place(int old, const Bytes& bytes, const Bytes& before) {
    struct stat st {};
    if (::fstat(old, &st) != 0) return false;
    auto size = static_cast<off_t>(bytes.size());
    if (::pwrite(old, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(size) &&
        (st.st_size <= size || ::ftruncate(old, size) == 0) && ::fsync(old) == 0)
        return true;
    // When even this fails there is nothing left to try: the save has failed either way.
    [[maybe_unused]] bool restored =
        ::pwrite(old, before.data(), before.size(), 0) >= 0 && ::ftruncate(old, st.st_size) == 0;
    return false;
}

bool several_names(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_nlink > 1;
}

bool write_file(const std::string& path, int old, const Bytes& bytes, const Bytes& before, bool shared) {
    Written w = old >= 0 && several_names(old) ? Written::no_room : through_new_file(path, old, bytes, shared);
    if (w == Written::no_room && old >= 0) return in_place(old, bytes, before);
    return w == Written::yes;
}

}  // namespace

bool replace(const std::string& name, Merge merge, bool shared) {
    std::string path = where_it_is(name);
    if (path.empty()) return false;
    Descriptor lock(shared ? open_lock(path) : -1);
    if (lock.fd >= 0 && !take_lock(lock.fd)) return false;
    bool itself = shared && lock.fd < 0;
    Descriptor old(itself ? lock_the_file_itself(path) : open_file(path));
    if (old.fd < 0 && (errno != ENOENT || itself)) return false;
    Bytes on_disk, out;
    if (old.fd >= 0 && !read_back(old.fd, on_disk)) return false;
    Bytes seen = on_disk;  // a replay sees what the recorded game saw; the disk's bytes stay for the write
    bool found = old.fd >= 0;
    platform::data_read_again(name.c_str(), seen, found);
    if (!merge(seen, found, out)) return false;
    remove_leftovers(path);
    return write_file(path, old.fd, out, on_disk, shared);
}

}  // namespace platform::store
