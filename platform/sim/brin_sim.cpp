// SPDX-License-Identifier: MIT
// brin-sim: the game on the simulator, driven by a script of timed input.
//
//   brin-sim [--script FILE] [--out DIR] [--limit SECONDS] [--quantum-us N]
//            [--start SECONDS] [--no-vga] [--no-mouse] [--record FILE]
//   brin-sim --replay FILE [--out DIR] [--script FILE] [--limit SECONDS]
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
#include "machine.h"
#include "recording.h"
#include "sim.h"
#include "store.h"

namespace {

constexpr int kUsage = 64;  // bad command line or script
constexpr int kOutOfTime = 2;
constexpr double kYear = 365.0 * 24 * 3600;  // the longest virtual time a run may name

struct Settings {
    sim::Options options;
    std::string script;
    std::string out = ".";
    bool out_given = false, limit_given = false;
    std::string record, replay;
};

namespace recording = platform::recording;

std::string out_dir;
std::FILE* tones_file = nullptr;

constexpr const char* kUsage_text =
    "usage: brin-sim [--script FILE] [--out DIR] [--limit SECONDS] [--quantum-us N]"
    " [--start SECONDS] [--no-vga] [--no-mouse] [--record FILE]\n"
    "       brin-sim --replay FILE [--out DIR] [--script FILE] [--limit SECONDS]\n";

constexpr const char* kHelp =
    "The game on a simulated machine with a virtual clock, driven by a script of timed input.\n"
    "\n"
    "  --script FILE      timed input and shots: lines of TIME COMMAND [ARGS]\n"
    "  --out DIR          where tones.log, final.png and the shots go (default: here)\n"
    "  --limit SECONDS    end with status 2 after this much virtual time (default 3600)\n"
    "  --quantum-us N     the clock advances N microseconds at every poll (default 100)\n"
    "  --start SECONDS    the time of day the clock starts at, in Unix seconds\n"
    "  --no-vga           the graphics mode can't be set\n"
    "  --no-mouse         the mouse can't be opened\n"
    "  --record FILE      record the run (see docs/recording.md)\n"
    "  --replay FILE      play a recording again here and check every frame and tone against\n"
    "                     it: status 0 when all matched, else 1 and the first difference; the\n"
    "                     data files here must be those it was made with; on success it says\n"
    "                     how many frames and tones it checked. With --out, writes\n"
    "                     tones.log, max.pun, final.png and the script's shots there; the\n"
    "                     script's input is ignored.\n"
    "  --help             this text\n";

[[noreturn]] void usage(const std::string& message) {
    std::cerr << "brin-sim: " << message << "\n" << kUsage_text;
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
        if (arg == "--help") {
            std::cout << kUsage_text << kHelp;
            std::exit(0);
        } else if (arg == "--script") {
            s.script = value();
        } else if (arg == "--out") {
            s.out = value();
            s.out_given = true;
        } else if (arg == "--record") {
            s.record = value();
        } else if (arg == "--replay") {
            s.replay = value();
        } else if (arg == "--limit") {
            s.limit_given = true;
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
    if (!s.replay.empty() && !s.record.empty()) usage("--replay and --record don't go together");
    return s;
}

std::string out_path(const std::string& name) { return out_dir + "/" + name; }

void shot(const std::string& name) {
    bool ok = sim::write_png(out_path(name + ".png")) && sim::write_vram(out_path(name + ".vram")) &&
              sim::write_pal(out_path(name + ".pal"));
    if (!ok) std::cerr << "brin-sim: could not write the shot " << name << " into " << out_dir << "\n";
}

std::string record_path, replay_path;
bool replay_keeps_table = false;
// The recording, written as it is made under a name of its own, and given its name at the
// end; when that fails at any point, the file there is left as it was.
platform::store::Growing recorded;
int record_error = 0;  // why it could not be saved, once it could not

bool keep_recorded(const std::uint8_t* bytes, std::size_t size) {
    if (record_error == 0 && !platform::store::grow(recorded, bytes, size)) record_error = errno != 0 ? errno : EIO;
    return record_error == 0;
}

void finish_recorded() {
    recording::finish_recording();
    if (record_error == 0 && !platform::store::finish_growing(recorded)) record_error = errno != 0 ? errno : EIO;
    if (record_error != 0) {
        platform::store::abandon_growing(recorded);
        std::cerr << "brin-sim: could not save the recording " << record_path << ": "
                  << platform::store::why_not_written(record_error) << "\n";
    } else if (std::string why = recording::recording_stopped(); !why.empty()) {
        std::cerr << "brin-sim: " << why << "\n";
    }
}

void finish() {
    if (std::string checked = recording::replay_summary(); !checked.empty())
        std::cout << "brin-sim: " << replay_path << ": " << checked << std::endl;
    if (!record_path.empty()) finish_recorded();
    if (out_dir.empty()) return;
    shot("final");
    sim::flush_tones();
    if (tones_file != nullptr) std::fclose(tones_file);
    tones_file = nullptr;
    std::error_code copied;
    if (replay_keeps_table)  // the replay's folder is the working one
        std::filesystem::copy_file(recording::kTable, out_path(recording::kTable),
                                   std::filesystem::copy_options::overwrite_existing, copied);
}

[[noreturn]] void refuse(const std::string& file, const std::string& why) {
    std::cerr << "brin-sim: " << file << ": " << why << "\n";
    std::exit(1);
}

// The recording checked against the data here, and the game moved to a folder of its own.
void prepare_replay(Settings& s) {
    recording::Loaded r = recording::load(s.replay);
    if (!r.error.empty()) refuse(s.replay, r.error);
    std::string here = std::filesystem::current_path().string();
    if (std::string why = recording::data_differs(r, here); !why.empty()) refuse(s.replay, why);
    out_dir = s.out_given ? std::filesystem::absolute(s.out).string() : "";
    replay_keeps_table = s.out_given;
    if (std::string why = recording::enter_replay_folder(r, here); !why.empty()) refuse(s.replay, why);
    replay_path = s.replay;
    recording::start_replay(std::move(r), "brin-sim: " + s.replay);
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

// The output folder and its tones.log; none for a replay that was given no folder.
void open_outputs() {
    if (out_dir.empty()) return;
    std::error_code made;
    std::filesystem::create_directories(out_dir, made);  // an existing folder is no error
    tones_file = std::fopen(out_path("tones.log").c_str(), "w");
    if (tones_file == nullptr) usage("can't write into the output folder " + out_dir);
    sim::stream_tones(
        [](const sim::Tone& t) { std::fprintf(tones_file, "%lld %d\n", static_cast<long long>(t.first), t.second); });
}

}  // namespace

int main(int argc, char** argv) {
    Settings s = parse_arguments(argc, argv);
    if (!s.record.empty()) s.options.frame_us = 16667;  // shown as a 60 Hz display would
    // A replay ends by itself, within the longest time a recording holds.
    if (!s.replay.empty() && !s.limit_given)
        s.options.limit_seconds = static_cast<double>(recording::kLongestUs) / 1e6 + 1;
    sim::reset(s.options);
    out_dir = s.out;
    if (!s.script.empty()) load_script(s.script);
    if (!s.replay.empty()) prepare_replay(s);
    open_outputs();
    sim::on_limit([] {
        recording::stop_replay();  // cut short by the viewer's limit: no difference
        std::exit(kOutOfTime);
    });
    if (!s.record.empty()) {
        record_path = s.record;
        if (platform::store::start_growing(s.record, recorded))
            recording::start_recording(platform::machine::now(), keep_recorded);
        else
            record_error = errno != 0 ? errno : EIO;
    }
    std::atexit(finish);
    brin::brin_main();
}
