// SPDX-License-Identifier: MIT
// brin-sim: the game on the simulator, driven by a script of timed input.
//
//   brin-sim [--script FILE] [--out DIR] [--limit SECONDS] [--quantum-us N]
//            [--start SECONDS] [--no-vga] [--no-mouse]
//
// Script lines are `TIME COMMAND [ARGS]` (TIME in virtual seconds, never decreasing, a year
// at most, as is --limit):
//   press K | release K | key K    key byte K (1-127), K + 128, or both
//   mouse X Y B                    the mouse from now on (B: 4 left, 2 middle, 1 right)
//   shot NAME                      NAME.png, NAME.vram and NAME.pal in the output folder
// The output folder is made when missing.
//   end                            stop the run
// The run ends with final.png, final.vram, final.pal and tones.log in the output folder.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "brin.h"
#include "sim.h"

namespace {

constexpr int kUsage = 64;  // bad command line or script
constexpr int kOutOfTime = 2;
constexpr double kYear = 365.0 * 24 * 3600;  // the longest virtual time a run may name

struct Settings {
    sim::Options options;
    std::string script;
    std::string out = ".";
};

std::string out_dir;
std::FILE* tones_file = nullptr;

[[noreturn]] void usage(const std::string& message) {
    std::cerr << "brin-sim: " << message << "\n"
              << "usage: brin-sim [--script FILE] [--out DIR] [--limit SECONDS] [--quantum-us N]"
                 " [--start SECONDS] [--no-vga] [--no-mouse]\n";
    std::exit(kUsage);
}

// Virtual seconds, from 0 to a year: beyond that the microseconds would not fit.
bool parse_seconds(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value) && value >= 0 && value <= kYear;
}

bool parse_int(const std::string& text, long lo, long hi, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= lo && value <= hi;
}

Settings parse_arguments(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(arg + " needs a value");
            return argv[++i];
        };
        double number = 0;
        long whole = 0;
        if (arg == "--script") {
            s.script = value();
        } else if (arg == "--out") {
            s.out = value();
        } else if (arg == "--limit") {
            if (!parse_seconds(value(), number) || number <= 0)
                usage("--limit takes a positive number of seconds, a year at most");
            s.options.limit_seconds = number;
        } else if (arg == "--quantum-us") {
            if (!parse_int(value(), 1, 1000000, whole)) usage("--quantum-us takes a whole number from 1 to 1000000");
            s.options.quantum_us = static_cast<int>(whole);
        } else if (arg == "--start") {
            if (!parse_int(value(), 0, 1L << 40, whole)) usage("--start takes whole seconds, 0 or more");
            s.options.start_seconds = whole;
        } else if (arg == "--no-vga") {
            s.options.display = false;
        } else if (arg == "--no-mouse") {
            s.options.mouse = false;
        } else {
            usage("unknown argument '" + arg + "'");
        }
    }
    return s;
}

std::string out_path(const std::string& name) { return out_dir + "/" + name; }

void shot(const std::string& name) {
    bool ok = sim::write_png(out_path(name + ".png")) && sim::write_vram(out_path(name + ".vram")) &&
              sim::write_pal(out_path(name + ".pal"));
    if (!ok) std::cerr << "brin-sim: could not write the shot " << name << " into " << out_dir << "\n";
}

void finish() {
    shot("final");
    sim::flush_tones();
    if (tones_file != nullptr) std::fclose(tones_file);
    tones_file = nullptr;
}

[[noreturn]] void bad_line(const std::string& script, int number, const std::string& message) {
    std::cerr << "brin-sim: " << script << ":" << number << ": " << message << "\n";
    std::exit(kUsage);
}

std::function<void()> key_action(const std::string& command, int k) {
    if (command == "press") return [k] { sim::press(k); };
    if (command == "release") return [k] { sim::release(k); };
    return [k] { sim::key(k); };
}

// One script line as an action; an empty function for a blank or comment line.
std::function<void()> parse_command(std::istringstream& in, const std::string& command, std::string& error) {
    std::vector<std::string> args;
    for (std::string a; in >> a;) args.push_back(a);
    auto want = [&](std::size_t n) {
        if (args.size() == n) return true;
        error = command + " takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s");
        return false;
    };
    long k = 0, x = 0, y = 0, b = 0;
    if (command == "press" || command == "release" || command == "key") {
        if (!want(1)) return {};
        if (!parse_int(args[0], 1, 127, k)) {
            error = "key number must be 1-127, not '" + args[0] + "'";
            return {};
        }
        return key_action(command, static_cast<int>(k));
    }
    if (command == "mouse") {
        if (!want(3)) return {};
        if (!parse_int(args[0], -100000, 100000, x) || !parse_int(args[1], -100000, 100000, y) ||
            !parse_int(args[2], 0, 7, b)) {
            error = "mouse takes X Y B with whole numbers and B from 0 to 7";
            return {};
        }
        return [=] { sim::mouse(static_cast<int>(x), static_cast<int>(y), static_cast<int>(b)); };
    }
    if (command == "shot") {
        if (!want(1)) return {};
        if (args[0].find('/') != std::string::npos) {
            error = "a shot's name can't hold '/'";
            return {};
        }
        return [name = args[0]] { shot(name); };
    }
    if (command == "end") {
        if (!want(0)) return {};
        return [] { std::exit(0); };
    }
    error = "unknown command '" + command + "'";
    return {};
}

void load_script(const std::string& path) {
    std::ifstream in(path);
    if (!in) usage("can't read the script " + path);
    double last = 0;
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        text = text.substr(0, text.find('#'));
        std::istringstream words(text);
        std::string time_text, command;
        if (!(words >> time_text)) continue;
        double seconds = 0;
        if (!parse_seconds(time_text, seconds))
            bad_line(path, number, "bad time '" + time_text + "': seconds from 0 to a year");
        if (seconds < last) bad_line(path, number, "time goes back");
        last = seconds;
        if (!(words >> command)) bad_line(path, number, "no command");
        std::string error;
        auto action = parse_command(words, command, error);
        if (!action) bad_line(path, number, error);
        sim::at(std::llround(seconds * 1e6), std::move(action));
    }
}

}  // namespace

int main(int argc, char** argv) {
    Settings s = parse_arguments(argc, argv);
    sim::reset(s.options);
    if (!s.script.empty()) load_script(s.script);
    out_dir = s.out;
    std::error_code made;
    std::filesystem::create_directories(out_dir, made);  // an existing folder is no error
    tones_file = std::fopen(out_path("tones.log").c_str(), "w");
    if (tones_file == nullptr) usage("can't write into the output folder " + out_dir);
    sim::stream_tones(
        [](const sim::Tone& t) { std::fprintf(tones_file, "%lld %d\n", static_cast<long long>(t.first), t.second); });
    sim::on_limit([] { std::exit(kOutOfTime); });
    std::atexit(finish);
    brin::brin_main();
}
