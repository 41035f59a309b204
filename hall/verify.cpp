// SPDX-License-Identifier: MIT
// A submission verified: played again by brin-sim in a child process, in a folder of its
// own that holds the level set's files and nothing else, within limits on processor time,
// memory, files and output. What its game entered in the table is read from the table the
// replay wrote; nothing the client says is taken on trust.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "hall.h"

extern char** environ;

namespace hall {

namespace {

namespace fs = std::filesystem;
namespace recording = platform::recording;

constexpr const char* kGame = "game.brinrec";
constexpr std::size_t kMaxOutput = 64 * 1024;  // brin-sim says one line; more is not its own
constexpr rlim_t kMaxFileBytes = 64 << 20;     // its tones.log, its shots
constexpr rlim_t kMaxOpenFiles = 64;

// A folder of its own for each replay, removed with everything in it.
struct Folder {
    std::string path;
    Folder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/brin-hall-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
};

bool write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

Bytes read_bytes(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    Bytes b(limit);
    in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(limit));
    b.resize(static_cast<std::size_t>(in.gcount()));
    return b;
}

// The set's pictures and font that the game read (the parser takes no other names), copied
// so that a replay never writes through to the hall's own; the recording; and the folders
// the replay writes in.
std::string fill(const std::string& dir, const LevelSet& set, const recording::Loaded& r, const Bytes& file) {
    for (const auto& f : r.files) {
        if (!f.present) continue;
        std::error_code error;
        fs::copy_file(fs::path(set.folder) / f.name, fs::path(dir) / f.name, error);
        if (error) return "can't be replayed here: " + error.message();
    }
    std::error_code error;
    fs::create_directory(dir + "/out", error);
    fs::create_directory(dir + "/tmp", error);
    if (error || !write_bytes(dir + "/" + kGame, file)) return "can't be replayed here: no room for it";
    return "";
}

struct Child {
    int status = 0;
    std::string output;
    bool too_long = false, too_much = false;
};

// In the child, between fork and exec: only calls that are safe there.
[[noreturn]] void become_replay(const Settings& s, const std::string& dir, int out, char* const argv[],
                                char* const envp[]) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // a hall killed takes its replays with it
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    auto limit = [](int what, rlim_t soft, rlim_t hard) {
        rlimit l{soft, hard};
        setrlimit(what, &l);
    };
    limit(RLIMIT_CPU, static_cast<rlim_t>(s.cpu_seconds), static_cast<rlim_t>(s.cpu_seconds) + 1);
#ifndef BRIN_HALL_SANITIZED  // the sanitizers reserve terabytes of address space up front
    rlim_t memory = static_cast<rlim_t>(s.memory_mb) << 20;
    limit(RLIMIT_AS, memory, memory);
#endif
    limit(RLIMIT_FSIZE, kMaxFileBytes, kMaxFileBytes);
    limit(RLIMIT_NOFILE, kMaxOpenFiles, kMaxOpenFiles);
    limit(RLIMIT_CORE, 0, 0);
    int null = open("/dev/null", O_RDONLY);
    if (null < 0 || dup2(null, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || chdir(dir.c_str()) != 0) _exit(126);
    close_range(3, ~0U, 0);  // the hall's sockets and database stay the hall's
    execve(s.verifier.c_str(), argv, envp);
    _exit(127);
}

// Reads the child's output until it ends, within a bound and a time; overruns kill it.
void watch(pid_t pid, int out, const Settings& s, Child& c) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(6 * s.cpu_seconds + 10);
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{out, POLLIN, 0};
        int ready = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            c.too_long = true;
            break;
        }
        ssize_t n = read(out, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (c.output.size() + static_cast<std::size_t>(n) > kMaxOutput) {
            c.too_much = true;
            break;
        }
        c.output.append(buffer, static_cast<std::size_t>(n));
    }
    if (c.too_long || c.too_much) kill(pid, SIGKILL);
    while (waitpid(pid, &c.status, 0) < 0 && errno == EINTR) {
    }
}

Child run_replay(const Settings& s, const std::string& dir) {
    Child c;
    std::string tmpdir = "TMPDIR=" + dir + "/tmp";  // where brin-sim makes the replay's folder
    std::vector<std::string> env_text{tmpdir};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "TMPDIR=", 7) != 0) env_text.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string a0 = "brin-sim", a1 = "--replay", a2 = kGame, a3 = "--out", a4 = "out";
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), nullptr};
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
        c.status = -1;
        return c;
    }
    pid_t pid = fork();
    if (pid == 0) become_replay(s, dir, pipe_ends[1], argv, envp.data());
    close(pipe_ends[1]);
    if (pid < 0) {
        c.status = -1;
    } else {
        watch(pid, pipe_ends[0], s, c);
    }
    close(pipe_ends[0]);
    return c;
}

// brin-sim's own words on the first difference, without its name and the file's.
std::string difference(const std::string& output) {
    const std::string prefix = std::string("brin-sim: ") + kGame + ": ";
    std::string last;
    for (std::size_t at = 0; at < output.size();) {
        std::size_t end = std::min(output.find('\n', at), output.size());
        std::string line = output.substr(at, end - at);
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
        if (!line.empty()) last = line;
        at = end + 1;
    }
    return last.empty() ? "without a reason" : last;
}

std::string refusal(const Settings& s, const Child& c) {
    if (c.status == -1) return "can't be replayed here: no process for it";
    if (c.too_much) return "made its replay say too much";
    if (c.too_long) return "took too long to replay";
    if (WIFSIGNALED(c.status) && (WTERMSIG(c.status) == SIGXCPU || WTERMSIG(c.status) == SIGKILL))
        return "took more than " + std::to_string(s.cpu_seconds) + " s of processor time to replay";
    if (WIFSIGNALED(c.status)) return "made its replay fail (signal " + std::to_string(WTERMSIG(c.status)) + ")";
    if (WEXITSTATUS(c.status) == 1) return "did not replay the same: " + difference(c.output);
    return "made its replay fail (status " + std::to_string(WEXITSTATUS(c.status)) + ")";
}

// The recording's reader unpacks in state of its own, as the game, which has one thread,
// needs: the hall's workers read one recording at a time (their replays run side by side).
recording::Loaded parsed(const Bytes& file) {
    static std::mutex one_at_a_time;
    std::lock_guard lock(one_at_a_time);
    return recording::parse(file);
}

std::string minutes(std::int64_t us) { return std::to_string((us + 59999999) / 60000000) + " min"; }

// Why the recording is not taken, as what follows "the recording"; empty when it is, with
// its set and its best new entry in `v`.
std::string judge(const Settings& s, const std::vector<LevelSet>& sets, const Bytes& file, Verdict& v) {
    recording::Loaded r = parsed(file);
    if (!r.error.empty()) return r.error;
    v.length_us = r.length_us;
    if (r.length_us > s.max_length_us)
        return "is longer (" + minutes(r.length_us) + ") than the hall takes (" + minutes(s.max_length_us) + ")";
    std::string why;
    v.set = level_set_of(sets, r, why);
    if (v.set == nullptr) return why;
    Folder work;
    if (work.path.empty()) return "can't be replayed here: no folder for it";
    if (why = fill(work.path, *v.set, r, file); !why.empty()) return why;
    Child c = run_replay(s, work.path);
    if (!WIFEXITED(c.status) || WEXITSTATUS(c.status) != 0 || c.too_long || c.too_much) return refusal(s, c);
    Bytes start = r.table_present ? r.table : Bytes{};  // no table: the game starts with zeros
    std::vector<Score> mine =
        entered(read_bytes(work.path + "/out/" + recording::kTable, 4096), start, r.tables_read_again);
    if (mine.empty()) return "holds no game that entered a new score in its table";
    // The best: the table is in order, so the first of the highest.
    v.score =
        *std::max_element(mine.begin(), mine.end(), [](const Score& a, const Score& b) { return a.points < b.points; });
    return "";
}

}  // namespace

Verdict verify(const Settings& s, const std::vector<LevelSet>& sets, const Bytes& file) {
    Verdict v;
    if (std::string why = judge(s, sets, file, v); !why.empty()) v.refused = "the recording " + why;
    return v;
}

}  // namespace hall
