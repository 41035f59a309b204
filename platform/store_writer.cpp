// SPDX-License-Identifier: MIT
// Files replaced whole on a disk, by the window, the simulator and the tools. The new file is
// written beside the old one under a name of its own, reaches the disk, and only then takes
// the old one's name; where a rename would change the shared table's nature (other names,
// another owner, a folder that takes no new file) it is rewritten in place with one write.
#include "store_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform::store {
namespace {

// A table rewritten in place is first read whole, to be put back if the write fails; one
// longer than this is no table anyone saved, and is left as it is.
constexpr off_t kLongestInPlace = off_t{64} << 20;

std::string folder_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The process id in "PID.N", or 0.
pid_t saver_of(const std::string& suffix) {
    char* end = nullptr;
    long pid = std::strtol(suffix.c_str(), &end, 10);
    return end != suffix.c_str() && *end == '.' && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

// What is done with a symbolic link in the file's place.
enum class AtLink {
    follow,   // the shared table: saved where the link points
    refuse,   // the write fails with ELOOP, the link left as it is
    replace,  // the link itself is replaced by the new file
};

// Only a shared file reached through a link (the README documents a shared table's link)
// is saved where the link points; any other link may lead anywhere (a player's notes,
// planted by whoever could write the folder) and is written through never.
std::string where_to_write(const std::string& path, AtLink link) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? path : "";
    if (!S_ISLNK(st.st_mode) || link == AtLink::replace) return path;
    if (link == AtLink::refuse) {
        errno = ELOOP;
        return "";
    }
    char* target = ::realpath(path.c_str(), nullptr);
    if (target == nullptr) return "";
    std::string resolved = target;
    std::free(target);
    return resolved;
}

}  // namespace

std::string where_to_write(const std::string& path, bool shared) {
    return where_to_write(path, shared ? AtLink::follow : AtLink::refuse);
}

int regular_only(int fd) {
    struct stat st {};
    if (fd < 0 || (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))) return fd;
    ::close(fd);
    errno = EINVAL;
    return -1;
}

int open_file(const std::string& path) {
    return regular_only(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

bool read_back(int fd, Bytes& bytes, std::size_t limit) {
    bytes.resize(limit);
    std::size_t done = 0;
    while (done < limit) {
        ssize_t n = ::pread(fd, bytes.data() + done, limit - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return true;
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

namespace {

bool write_all(int fd, const unsigned char* bytes, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// No new file can be made beside the old one, or it could not take the old one's place.
enum class Written { yes, no, no_room };

// A file of its own for the new bytes, beside the old one (PATH.KIND.PID.N): never an
// existing name, never a link followed, so a stale or planted file is left alone. Made as
// "wb" makes a file: 0666 less the umask.
int create_beside(const std::string& path, const char* kind, std::string& name) {
    static unsigned series = 0;
    for (int tries = 0; tries < 100; ++tries) {
        name = path + "." + kind + "." + std::to_string(::getpid()) + "." + std::to_string(series++);
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

// The new file, written whole, reaches the disk and takes the name `path`. The folder is
// synced only for a shared file: on a busy disk that can take seconds, which a program's
// own settings, written as it ends, are not worth.
Written put_in_place(Descriptor& fresh, const std::string& name, const std::string& path, int old, bool shared) {
    if (old >= 0 && !like_the_old(fresh.fd, old)) return Written::no_room;  // ours would take it from its owner
    bool ok = ::fsync(fresh.fd) == 0;
    ok = ::close(fresh.release()) == 0 && ok;
    if (!ok || std::rename(name.c_str(), path.c_str()) != 0) return Written::no;
    if (shared) sync_folder(path);
    return Written::yes;
}

// Removes the new file of a write that failed, keeping the failure's errno to be told.
void remove_new_file(const std::string& name) {
    int error = errno;
    ::unlink(name.c_str());
    errno = error;
}

// A failure at any point leaves the old file as it was.
Written through_new_file(const std::string& path, int old, const unsigned char* bytes, std::size_t size, bool shared) {
    std::string name;
    Descriptor fresh(create_beside(path, "new", name));
    if (fresh.fd < 0) return no_room(errno) ? Written::no_room : Written::no;
    Written w = write_all(fresh.fd, bytes, size) ? put_in_place(fresh, name, path, old, shared) : Written::no;
    if (w != Written::yes) remove_new_file(name);
    return w;
}

bool write_at_start(int fd, const Bytes& bytes) {
    return ::lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, bytes.data(), bytes.size()) &&
           ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
}

// One write, then to the disk. The old file is read whole first, so that a write that
// fails (a full disk, a failing sync) puts every byte of it back.
bool in_place(int old, const Bytes& bytes) {
    struct stat st {};
    Bytes before;
    if (::fstat(old, &st) != 0 || st.st_size > kLongestInPlace ||
        !read_back(old, before, static_cast<std::size_t>(st.st_size)))
        return false;
    if (write_at_start(old, bytes)) return true;
    // When even this fails there is nothing left to try: the save has failed either way.
    [[maybe_unused]] bool restored = write_at_start(old, before);
    return false;
}

bool several_names(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_nlink > 1;
}

AtLink at(Link link) { return link == Link::replaced ? AtLink::replace : AtLink::refuse; }

bool start(const std::string& path, const char* kind, Link link, Growing& file) {
    file = Growing{};
    if (where_to_write(path, at(link)).empty()) return false;
    file.fd = create_beside(path, kind, file.name);
    if (file.fd < 0) return false;
    file.path = path;
    file.link = link;
    return true;
}

// The file in the place of `path` now: -1 with errno ENOENT for none, or for a link to be
// replaced.
int old_file(const std::string& path, Link link) {
    int fd = open_file(path);
    if (fd < 0 && errno == ELOOP && link == Link::replaced) errno = ENOENT;
    return fd;
}

}  // namespace

// Only the shared table is rewritten in place: it must keep its other names, its owner, or
// its place in a folder that takes no new file. Any other file is replaced by a new one of
// its own (its other names keep the old bytes) or not at all.
bool write_file(const std::string& path, int old, const Bytes& bytes, bool shared) {
    bool keep_identity = shared && old >= 0;
    Written w = keep_identity && several_names(old) ? Written::no_room
                                                    : through_new_file(path, old, bytes.data(), bytes.size(), shared);
    if (w == Written::no_room && keep_identity) return in_place(old, bytes);
    return w == Written::yes;
}

// Written as a file that grows at once, under the name a save's leftovers have.
bool write_whole(const std::string& path, const unsigned char* bytes, std::size_t size, Link link) {
    remove_leftovers(path);
    Growing file;
    if (!start(path, "new", link, file)) return false;
    bool done = grow(file, bytes, size) && finish_growing(file);
    if (!done) abandon_growing(file);
    return done;
}

bool start_growing(const std::string& path, Growing& file) { return start(path, "growing", Link::left_alone, file); }

bool grow(Growing& file, const unsigned char* bytes, std::size_t size) {
    return file.fd >= 0 && write_all(file.fd, bytes, size);
}

// A link put in the file's place meanwhile is dealt with as at the start.
bool finish_growing(Growing& file) {
    Descriptor fresh(std::exchange(file.fd, -1));
    if (fresh.fd < 0 || where_to_write(file.path, at(file.link)).empty()) return false;
    Descriptor old(old_file(file.path, file.link));
    if (old.fd < 0 && errno != ENOENT) return false;
    bool done = put_in_place(fresh, file.name, file.path, old.fd, false) == Written::yes;
    if (done) file = Growing{};
    return done;
}

void abandon_growing(Growing& file) {
    Descriptor fresh(std::exchange(file.fd, -1));
    if (!file.name.empty()) remove_new_file(file.name);
    file = Growing{};
}

std::string why_not_written(int error) {
    if (error == ELOOP) return "it is a symbolic link, and brin writes no file through one";
    return std::strerror(error);
}

}  // namespace platform::store
