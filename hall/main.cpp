// SPDX-License-Identifier: MIT
// brin-hall: a hall of fame that takes a game only once it has played it again, frame by
// frame, and reads its score and name from what the game itself wrote.
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "hall.h"

namespace {

constexpr int kUsage = 2;

constexpr const char* kUsageText =
    "usage: brin-hall [--listen HOST:PORT] [--db FILE-or-postgresql://...] [--data DIR]... [--shipped DIR]\n"
    "                 [--site DIR] [--verifier FILE] [--max-body BYTES] [--max-minutes N] [--rate N]\n"
    "                 [--queue N] [--workers N] [--cpu-seconds N] [--memory-mb N] [--read-seconds N]\n";

constexpr const char* kHelp =
    "Serves the hall of fame and the browser edition. A game sent to POST /api/games is played\n"
    "again by the verifier, and enters when every frame and tone matched and its game entered\n"
    "a new score in its table.\n"
    "\n"
    "  --listen HOST:PORT   where to listen (default 127.0.0.1:8257; port 0: any free one);\n"
    "                       the first line on standard output says where it listens\n"
    "  --db WHERE           an SQLite file (default brin-hall.db) or a postgresql:// address\n"
    "  --data DIR           a level set of its own: pictures and a font (more than one may be given)\n"
    "  --shipped DIR        the shipped pictures, always a level set (default " BRIN_HALL_SHIPPED
    ")\n"
    "  --site DIR           the browser edition served at / (default " BRIN_HALL_SITE
    ")\n"
    "  --verifier FILE      brin-sim, which replays each game (default " BRIN_HALL_VERIFIER
    ")\n"
    "  --max-body BYTES     the largest recording taken (default 1048576)\n"
    "  --max-minutes N      the longest game taken, in minutes of its own time (default 120)\n"
    "  --rate N             games taken per address and minute (default 30)\n"
    "  --queue N            games waiting for their replay before the hall says it is busy (default 16)\n"
    "  --workers N          replays at once (default: one per processor)\n"
    "  --cpu-seconds N      processor time of one replay (default 10)\n"
    "  --memory-mb N        memory of one replay (default 256)\n"
    "  --read-seconds N     time a client has to send a whole request (default 20)\n"
    "  --help               this text\n";

[[noreturn]] void usage(const std::string& message) {
    std::cerr << "brin-hall: " << message << "\n" << kUsageText;
    std::exit(kUsage);
}

int whole(const std::string& option, const std::string& text, long lo, long hi) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || v < lo || v > hi)
        usage(option + " takes a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return static_cast<int>(v);
}

void listen_at(hall::Settings& s, const std::string& text) {
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) usage("--listen takes HOST:PORT");
    s.host = text.substr(0, colon);
    if (s.host.size() > 2 && s.host.front() == '[' && s.host.back() == ']')
        s.host = s.host.substr(1, s.host.size() - 2);
    s.port = whole("--listen", text.substr(colon + 1), 0, 65535);
}

hall::Settings parse_arguments(int argc, char** argv) {
    hall::Settings s;
    s.shipped = BRIN_HALL_SHIPPED;
    s.site = BRIN_HALL_SITE;
    s.verifier = BRIN_HALL_VERIFIER;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help") {
            std::cout << kUsageText << kHelp;
            std::exit(0);
        }
        if (i + 1 >= argc) usage(arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument '" + arg + "'");
        std::string value = argv[++i];
        if (arg == "--listen")
            listen_at(s, value);
        else if (arg == "--db")
            s.database = value;
        else if (arg == "--data")
            s.data.push_back(value);
        else if (arg == "--shipped")
            s.shipped = value;
        else if (arg == "--site")
            s.site = value;
        else if (arg == "--verifier")
            s.verifier = value;
        else if (arg == "--max-body")
            s.max_body = static_cast<std::size_t>(whole(arg, value, 1, 64 << 20));
        else if (arg == "--max-minutes")
            s.max_length_us = std::int64_t{whole(arg, value, 1, 100000)} * 60000000;
        else if (arg == "--rate")
            s.rate = whole(arg, value, 1, 1000000);
        else if (arg == "--queue")
            s.queue = whole(arg, value, 0, 10000);
        else if (arg == "--workers")
            s.workers = whole(arg, value, 1, 256);
        else if (arg == "--cpu-seconds")
            s.cpu_seconds = whole(arg, value, 1, 3600);
        else if (arg == "--memory-mb")
            s.memory_mb = whole(arg, value, 16, 65536);
        else if (arg == "--read-seconds")
            s.read_seconds = whole(arg, value, 1, 3600);
        else
            usage("unknown argument '" + arg + "'");
    }
    if (s.workers == 0) s.workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return s;
}

std::atomic<bool> served{false};

// SIGTERM and SIGINT stop the serving: the requests in hand, verifications among them, are
// answered first. Blocked in every thread, they are taken here alone.
void await_stop(sigset_t signals) {
    int taken = 0;
    sigwait(&signals, &taken);
    std::cerr << "brin-hall: stopping: the games in hand are finished first\n";
    while (!served) {
        hall::stop_serving();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

int main(int argc, char** argv) {
    hall::Settings s = parse_arguments(argc, argv);
    std::vector<hall::LevelSet> sets;
    if (std::string error = hall::load_level_sets(s, sets); !error.empty()) usage(error);
    std::unique_ptr<hall::Storage> storage;
    try {
        storage = hall::open_storage(s.database);
    } catch (const std::exception& error) {
        std::cerr << "brin-hall: can't open the games' storage: " << error.what() << "\n";
        return 1;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    std::thread stopper(await_stop, signals);
    stopper.detach();
    hall::start_queue(s.workers, s.queue);
    bool ok = hall::serve(s, sets, *storage, [&](int port) {
        std::cout << "brin-hall: listening on http://"
                  << (s.host.find(':') != std::string::npos ? "[" + s.host + "]" : s.host) << ":" << port << "/"
                  << std::endl;
        for (const hall::LevelSet& set : sets)
            std::cerr << "brin-hall: level set " << set.name << " (" << set.key << ") from " << set.folder << "\n";
    });
    served = true;
    hall::stop_queue();
    storage.reset();
    if (!ok) std::cerr << "brin-hall: can't listen on " << s.host << ":" << s.port << "\n";
    return ok ? 0 : 1;
}
