// SPDX-License-Identifier: MIT
// The window's command line and the settings it remembers in $XDG_CONFIG_HOME/brin/brin.conf.
// The game itself takes no arguments: everything here is the window's.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "sdl.h"
#include "store.h"

namespace sdl {
namespace {

Settings current;
bool remembered = false;  // only the program's own run saves: tests of the window don't

constexpr const char* kUsage =
    "usage: brin [OPTION]...\n"
    "A picture-swap puzzle: put the shuffled picture back together before the time runs out.\n"
    "\n"
    "  --fullscreen       start in full screen (Alt+Enter switches)\n"
    "  --window           start in a window\n"
    "  --scale fill       fill the window or screen at 4:3, sharp (the default)\n"
    "  --scale integer    whole multiples of 640x480 only, black bars around\n"
    "  --volume N         the sound's volume, 0 (silent) to 100 (the default)\n"
    "  --mute             no sound this time; the volume stays as it was\n"
    "  --record FILE      record the game into FILE, to watch it again or share it\n"
    "  --replay FILE      play a recorded game back, at its own pace; Escape ends it\n"
    "  -h, --help         this text\n"
    "  -V, --version      the version\n"
    "\n"
    "The window's size, full screen, scale and volume are remembered in\n"
    "$XDG_CONFIG_HOME/brin/brin.conf (~/.config/brin/brin.conf). The last game played is\n"
    "kept as $XDG_STATE_HOME/brin/last.brinrec (~/.local/state/brin/last.brinrec).\n";

constexpr int kLargest = 16384;          // beyond any screen: a larger number is a damaged file
constexpr std::size_t kLongest = 65536;  // of brin.conf, far beyond what brin writes

bool whole_number(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    int n = std::stoi(text);
    if (n < low || n > high) return false;
    value = n;
    return true;
}

bool scale_named(const std::string& text, Scale& scale) {
    if (text == "fill")
        scale = Scale::fill;
    else if (text == "integer")
        scale = Scale::integer;
    else
        return false;
    return true;
}

bool yes_no(const std::string& text, bool& value) {
    if (text != "0" && text != "1") return false;
    value = text == "1";
    return true;
}

// One line of brin.conf into `s`; false when it is not one brin writes.
bool take_setting(const std::string& line, Settings& s) {
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    if (key == "width") return whole_number(value, 1, kLargest, s.width);
    if (key == "height") return whole_number(value, 1, kLargest, s.height);
    if (key == "fullscreen") return yes_no(value, s.full_screen);
    if (key == "scale") return scale_named(value, s.scale);
    if (key == "volume") return whole_number(value, 0, 100, s.volume);
    return false;
}

// Read as the game's data files are: anything but a regular file (a FIFO that would keep
// the game from starting) counts as none.
void read_settings(const std::string& path) {
    platform::store::Bytes bytes;
    if (!platform::store::read_data(path, bytes, kLongest)) return;  // none yet: the defaults
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    Settings s;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        if (!take_setting(line, s)) {
            std::fprintf(stderr, "brin: %s: line %d is damaged; the settings there are ignored\n", path.c_str(),
                         number);
            return;
        }
    }
    current = s;
}

bool wrong(const std::string& what) {
    std::fprintf(stderr, "brin: %s\n%s", what.c_str(), kUsage);
    return false;
}

// The command line over the remembered settings. False for a wrong one, said on stderr.
bool take_arguments(int argc, char** argv, bool& done) {
    done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inline_value = false;
        if (std::size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
            inline_value = true;
        }
        bool wants_value = arg == "--scale" || arg == "--volume" || arg == "--record" || arg == "--replay";
        if (inline_value && !wants_value) return wrong("option " + arg + " takes no value");
        if (wants_value && !inline_value) {
            if (i + 1 == argc) return wrong("option " + arg + " needs a value");
            value = argv[++i];
        }
        if (arg == "-h" || arg == "--help" || arg == "-V" || arg == "--version") {
            std::fputs(arg == "-h" || arg == "--help" ? kUsage : "brin " BRIN_VERSION "\n", stdout);
            done = true;
            return true;
        }
        if (arg == "--fullscreen")
            current.full_screen = true;
        else if (arg == "--window")
            current.full_screen = false;
        else if (arg == "--mute")
            current.mute = true;
        else if (arg == "--record")
            current.record = value;
        else if (arg == "--replay")
            current.replay = value;
        else if (arg == "--scale") {
            if (!scale_named(value, current.scale)) return wrong("--scale takes fill or integer, not '" + value + "'");
        } else if (arg == "--volume") {
            if (!whole_number(value, 0, 100, current.volume))
                return wrong("--volume takes a number from 0 to 100, not '" + value + "'");
        } else {
            return wrong("unknown option '" + std::string(argv[i]) + "'");
        }
    }
    return true;
}

std::string settings_folder() { return xdg_folder("XDG_CONFIG_HOME", "/.config"); }

}  // namespace

std::string xdg_folder(const char* variable, const char* under_home) {
    const char* set = std::getenv(variable);
    if (set != nullptr && set[0] == '/') return std::string(set) + "/brin";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return "";
    return std::string(home) + under_home + "/brin";
}

bool make_folders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

namespace {

std::string settings_text(const Settings& s) {
    std::ostringstream text;
    text << "# brin's window, as it was last left. A damaged file is ignored.\n";
    if (s.width > 0 && s.height > 0) text << "width=" << s.width << "\nheight=" << s.height << "\n";
    text << "fullscreen=" << (s.full_screen ? 1 : 0) << "\n";
    text << "scale=" << (s.scale == Scale::integer ? "integer" : "fill") << "\n";
    text << "volume=" << s.volume << "\n";
    return text.str();
}

}  // namespace

void say_not_saved(const char* what, const std::string& path) {
    std::fprintf(stderr, "brin: could not save %s %s: %s\n", what, path.c_str(),
                 platform::store::why_not_written(errno).c_str());
}

bool write_whole(const std::string& path, const std::string& text, const char* what) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (platform::store::write_whole(path, bytes, text.size())) return true;
    say_not_saved(what, path);
    return false;
}

Settings& settings() { return current; }

std::string settings_path() {
    std::string folder = settings_folder();
    return folder.empty() ? "" : folder + "/brin.conf";
}

int take_command_line(int argc, char** argv) {
    current = Settings{};
    remembered = true;
    if (std::string path = settings_path(); !path.empty()) read_settings(path);
    bool done = false;
    if (!take_arguments(argc, argv, done)) return 2;
    return done ? 0 : -1;
}

void save_settings() {
    std::string path = settings_path();
    if (!remembered || path.empty()) return;
    if (!make_folders(settings_folder()))
        say_not_saved("the settings in", path);
    else
        write_whole(path, settings_text(current), "the settings in");
}

}  // namespace sdl
