// SPDX-License-Identifier: MIT
// The replay's own folder, which it plays in, so that its saves never touch the player's:
// links to the data files the game only reads, and max.pun as the recording has it, a file
// of its own. Nothing in it is named as a file the game writes and leads elsewhere. It is
// removed at exit and on the signals that end a program; one left by a process killed
// outright is removed at the next replay's start.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "recording_format.h"

namespace platform::recording {

using format::printable;

namespace {

constexpr char kPrefix[] = "brin-replay-";  // then the process id, '-' and mkdtemp's six characters
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM};

bool ends_with(const char* name, const char* end) {
    std::size_t n = std::strlen(name), e = std::strlen(end);
    return n > e && std::strcmp(name + n - e, end) == 0;
}

// What a replay and its game put in the folder: the data files' links (pictures and the
// font), and the table with the save's lock and new files.
bool replays_own(const char* name) {
    return ends_with(name, ".pcx") || ends_with(name, ".fon") || std::strncmp(name, kTable, std::strlen(kTable)) == 0;
}

// Removes the replay's own entries of the folder open as `fd`, never following a link nor
// entering a folder. Only system calls: it runs in a signal handler too.
void empty_folder(int fd) {
    alignas(dirent) char entries[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = ::getdents64(fd, reinterpret_cast<dirent*>(entries), sizeof entries)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const dirent*>(entries + at);
            at += e->d_reclen;
            if (replays_own(e->d_name)) ::unlinkat(fd, e->d_name, 0);
        }
    }
}

// The folder this replay plays in, locked for as long as it runs: a lock no process holds
// marks a folder whose replay is gone.
volatile std::sig_atomic_t folder_fd = -1;
char folder_path[PATH_MAX];

void remove_own_folder() {
    int fd = folder_fd;
    if (fd < 0) return;
    folder_fd = -1;
    empty_folder(fd);
    ::rmdir(folder_path);  // stays when anything else is in it
    ::close(fd);
}

extern "C" void remove_at_exit() { remove_own_folder(); }

extern "C" void remove_and_end(int signal) {
    int saved = errno;
    remove_own_folder();
    errno = saved;
    ::raise(signal);  // the default action, restored on entry: the program ends as the signal says
}

// A signal the program was told to ignore stays ignored; one it handles itself (the window
// ends cleanly, through exit) is not taken over.
void remove_on_ending_signals() {
    for (int s : kEndingSignals) {
        struct sigaction old {};
        if (::sigaction(s, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = remove_and_end;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        ::sigaction(s, &action, nullptr);
    }
}

// The process id in a replay folder's name, or 0 when the name is not one.
long replayer_of(const char* name) {
    if (std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) return 0;
    char* end = nullptr;
    long pid = std::strtol(name + sizeof kPrefix - 1, &end, 10);
    return pid > 0 && *end == '-' && std::strlen(end + 1) == 6 ? pid : 0;
}

// Folders of replays killed outright: named as ours, the player's own, of a process that is
// gone and locked by none. Only what a replay puts there is removed, and the folder if it is
// then empty.
void remove_left_behind(const std::string& base) {
    DIR* d = ::opendir(base.c_str());
    if (d == nullptr) return;
    while (const dirent* e = ::readdir(d)) {
        long pid = replayer_of(e->d_name);
        if (pid == 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        int fd = ::openat(::dirfd(d), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_uid == ::getuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            empty_folder(fd);
            ::unlinkat(::dirfd(d), e->d_name, AT_REMOVEDIR);
        }
        ::close(fd);
    }
    ::closedir(d);
}

// One at a time: entering another removes the one before.
std::string make_folder(const std::string& base) {
    remove_own_folder();
    std::string path = base + "/" + kPrefix + std::to_string(::getpid()) + "-XXXXXX";
    if (path.size() >= sizeof folder_path || ::mkdtemp(path.data()) == nullptr)
        return std::string("no folder for the replay: ") + std::strerror(errno);
    std::strcpy(folder_path, path.c_str());
    folder_fd = ::open(folder_path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder_fd < 0 || ::flock(folder_fd, LOCK_EX | LOCK_NB) != 0) {
        std::string why = std::strerror(errno);
        if (folder_fd >= 0) ::close(folder_fd);
        folder_fd = -1;
        ::rmdir(folder_path);
        return "no folder for the replay: " + why;
    }
    static const bool removed_at_exit = std::atexit(remove_at_exit) == 0;
    (void)removed_at_exit;
    remove_on_ending_signals();
    return "";
}

// Its own file, never a link followed nor a file already there.
bool write_table(const Loaded& r) {
    int fd = ::openat(folder_fd, kTable, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool written = ::write(fd, r.table.data(), r.table.size()) == static_cast<ssize_t>(r.table.size());
    return ::close(fd) == 0 && written;
}

}  // namespace

std::string enter_replay_folder(const Loaded& r, const std::string& data_folder) {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
    remove_left_behind(base);
    if (std::string why = make_folder(base); !why.empty()) return why;
    for (const auto& f : r.files) {
        if (!f.present) continue;
        if (!format::data_name(f.name)) return "can't play with a data file named " + printable(f.name);
        std::string from = data_folder + "/" + f.name;
        if (::symlink(from.c_str(), (std::string(folder_path) + "/" + f.name).c_str()) != 0)
            return "can't link " + printable(from) + ": " + std::strerror(errno);
    }
    if (r.table_present && !write_table(r)) return "can't write the replay's " + std::string(kTable);
    if (::chdir(folder_path) != 0) return std::string("can't enter the replay's folder: ") + std::strerror(errno);
    return "";
}

}  // namespace platform::recording
