// SPDX-License-Identifier: MIT
// brin-soak: the game plays level after level on the simulator, in this process, while a
// player made of timed callbacks looks at the screen: when a shuffled board is up and
// counting down it reads the board and the countdown, swaps the pieces back quickly, and
// makes the last swap when about three seconds are left (a full count-up of every level's
// points would take hours of virtual time by level 1000). The whole run is done twice, each
// in a fresh child process, and must come out the same; resident memory may not grow
// between a tenth of the run and its end.
//
//   brin-soak [--levels N] [--rss-growth-kib K]
//
// Prints one line per run and one for the comparison; exit status 0 when all is well.
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "brin.h"
#include "scenario/game_files.h"
#include "sim.h"

using namespace scenario;

namespace {

constexpr std::int64_t kSecond = 1000000;
constexpr std::int64_t kLook = kSecond / 10;  // how often the player looks
constexpr std::int64_t kClickEvery = kSecond / 4;
constexpr int kYellow = 5, kRed = 7;  // the countdown's ink and paper in the test pictures
constexpr int kLeftButton = 4;

struct Outcome {
    long levels = 0;
    long games_lost = 0;  // a countdown that ran out: never meant to happen
    long total = 0;
    std::uint64_t digest = 0;
    long rss_early_kib = 0;  // at a tenth of the levels
    long rss_end_kib = 0;
    long heap_early = 0;  // bytes the allocator has handed out and not had back
    long heap_end = 0;
    double virtual_seconds = 0;
    double wall_seconds = 0;
};

// FNV-1a, folded over everything the run shows and sounds.
struct Digest {
    std::uint64_t value = 1469598103934665603ull;
    void add(const void* bytes, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            value ^= static_cast<const unsigned char*>(bytes)[i];
            value *= 1099511628211ull;
        }
    }
};

long heap_in_use() {
    struct mallinfo2 m = mallinfo2();
    return static_cast<long>(m.uordblks + m.hblkhd);
}

long resident_kib() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return -1;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
    std::fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The piece in each cell from the pixels, or nothing when the screen shows no board.
bool board_on_screen(std::array<int, 20>& cells) {
    std::array<bool, 20> seen{};
    for (int c = 0; c < 20; ++c) {
        int p = sim::pixel(sample_x(c), sample_y(c)) - kTileColour;
        if (p < 0 || p >= 20 || seen[p]) return false;
        seen[p] = true;
        cells[c] = p;
    }
    return true;
}

// Where the countdown is drawn on the cell holding piece 3.
int countdown_x(int cell) { return 160 * (cell % 4) + 20; }
int countdown_y(int cell) { return 96 * (cell / 4) + 20; }

bool lit() {
    const unsigned char* p = sim::palette() + 3 * kTileColour;
    return p[0] + p[1] + p[2] > 0;
}

class Player {
public:
    Player(long levels, std::chrono::steady_clock::time_point started) : levels_(levels), started_(started) {}

    void look() {
        std::array<int, 20> cells{};
        bool board = lit() && board_on_screen(cells);
        bool whole = board && solved(cells);
        if (!board || whole) {
            ready_ = true;  // the level is over: the next shuffled board is a new level
        } else if (ready_ && countdown_cell(cells) >= 0) {
            ready_ = false;
            new_level(cells);
        }
        sim::at(sim::now_us() + kLook, [this] { look(); });
    }

    Outcome outcome;
    Digest digest;

private:
    static bool solved(const std::array<int, 20>& cells) {
        for (int c = 0; c < 20; ++c)
            if (cells[c] != c) return false;
        return true;
    }

    // The cell holding piece 3, once the countdown has been drawn on it; else -1.
    static int countdown_cell(const std::array<int, 20>& cells) {
        for (int c = 0; c < 20; ++c) {
            if (cells[c] != 3) continue;
            int v = sim::pixel(countdown_x(c), countdown_y(c));
            return v == kYellow || v == kRed ? c : -1;
        }
        return -1;
    }

    void new_level(const std::array<int, 20>& cells) {
        if (outcome.levels == levels_ / 10) {
            outcome.rss_early_kib = resident_kib();
            outcome.heap_early = heap_in_use();
        }
        if (outcome.levels == levels_) finish();
        if (outcome.levels > 0 && brin::nivel == 0) ++outcome.games_lost;
        ++outcome.levels;
        int h = countdown_cell(cells);
        Screen screen{Bytes(sim::vram(), sim::vram() + 5 * 65536)};
        long left = read_number(screen, countdown_x(h), countdown_y(h), 4, 5, kYellow);
        if (left < 4) fail("no countdown to read");
        auto swaps = solving_swaps(cells);
        std::int64_t t = sim::now_us() + kClickEvery;
        for (std::size_t i = 0; i < swaps.size(); ++i) {
            if (i + 1 == swaps.size()) t = std::max(t, sim::now_us() + (left - 3) * kSecond);
            for (int cell : {swaps[i].first, swaps[i].second}) {
                click(cell, t);
                t += kClickEvery;
            }
        }
    }

    static void click(int cell, std::int64_t at) {
        int x = click_x(cell), y = click_y(cell);
        sim::at(at, [=] { sim::mouse(x, y, kLeftButton); });
        sim::at(at + kClickEvery / 2, [=] { sim::mouse(x, y, 0); });
    }

    [[noreturn]] static void fail(const char* why) {
        std::fprintf(stderr, "brin-soak: %s\n", why);
        std::_Exit(1);
    }

    [[noreturn]] void finish() {
        sim::flush_tones();
        outcome.rss_end_kib = resident_kib();
        outcome.heap_end = heap_in_use();
        outcome.total = brin::punx;
        digest.add(&outcome.total, sizeof outcome.total);
        digest.add(sim::vram(), 5 * 65536);
        digest.add(sim::palette(), 768);
        outcome.digest = digest.value;
        outcome.virtual_seconds = static_cast<double>(sim::now_us()) / kSecond;
        outcome.wall_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        throw outcome;
    }

    long levels_;
    std::chrono::steady_clock::time_point started_;
    bool ready_ = true;
};

Outcome run(const std::string& folder, long levels) {
    if (chdir(folder.c_str()) != 0) std::_Exit(1);
    auto started = std::chrono::steady_clock::now();
    sim::Options options;
    options.limit_seconds = 1e12;
    sim::reset(options);
    Player player(levels, started);
    sim::stream_tones([&player](const sim::Tone& t) {
        player.digest.add(&t.first, sizeof t.first);  // field by field: the pair has padding
        player.digest.add(&t.second, sizeof t.second);
    });
    sim::at(0, [&player] { player.look(); });
    try {
        brin::brin_main();
    } catch (const Outcome& o) {
        return o;
    }
}

// One run in a child process, its outcome handed back through a pipe.
bool run_apart(const std::string& folder, long levels, Outcome& out) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        Outcome o = run(folder, levels);
        bool ok = write(ends[1], &o, sizeof o) == static_cast<ssize_t>(sizeof o);
        std::_Exit(ok ? 0 : 1);
    }
    close(ends[1]);
    bool got = child > 0 && read(ends[0], &out, sizeof out) == static_cast<ssize_t>(sizeof out);
    close(ends[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void report(int n, const Outcome& o) {
    std::printf(
        "run %d: %ld levels, %ld lost, total %ld, digest %016llx, %.0f virtual s in %.1f wall s (%.0fx), "
        "RSS %ld KiB at level %ld and %ld KiB at the end, heap in use %ld and %ld bytes\n",
        n, o.levels, o.games_lost, o.total, static_cast<unsigned long long>(o.digest), o.virtual_seconds,
        o.wall_seconds, o.virtual_seconds / o.wall_seconds, o.rss_early_kib, o.levels / 10, o.rss_end_kib, o.heap_early,
        o.heap_end);
}

}  // namespace

int main(int argc, char** argv) {
    long levels = 1000, growth_kib = 256;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--levels") == 0) levels = std::atol(argv[i + 1]);
        if (std::strcmp(argv[i], "--rss-growth-kib") == 0) growth_kib = std::atol(argv[i + 1]);
    }
    if (levels < 10) {
        std::fprintf(stderr, "usage: brin-soak [--levels N (10 or more)] [--rss-growth-kib K]\n");
        return 64;
    }
    std::string folder = game_folder();
    Outcome a, b;
    if (!run_apart(folder, levels, a) || !run_apart(folder, levels, b)) {
        std::fprintf(stderr, "brin-soak: a run failed\n");
        return 1;
    }
    report(1, a);
    report(2, b);
    bool same = a.digest == b.digest && a.total == b.total && a.levels == b.levels;
    bool steady = a.rss_end_kib - a.rss_early_kib <= growth_kib && b.rss_end_kib - b.rss_early_kib <= growth_kib;
    bool played = a.levels == levels && a.games_lost == 0;
    std::printf("same outcome twice: %s; RSS growth within %ld KiB: %s; every level won: %s\n", same ? "yes" : "NO",
                growth_kib, steady ? "yes" : "NO", played ? "yes" : "NO");
    return same && steady && played ? 0 : 1;
}
