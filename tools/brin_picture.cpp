// SPDX-License-Identifier: MIT
// brin-picture: turns a PNG or JPEG into a level picture for the game.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "cli.h"
#include "frame.h"
#include "imageio.h"
#include "quantise.h"
#include "tiles.h"

namespace {

constexpr const char* kUsage =
    "usage: brin-picture [OPTIONS] PICTURE --level N   level N (1-4) in the game's folder for your files\n"
    "       brin-picture [OPTIONS] PICTURE LEVEL.pcx   any file whose name ends in .pcx\n"
    "PICTURE is a PNG or JPEG file of up to 100 million pixels; it is scaled to 640x480 and\n"
    "brought to 256 colours. Transparent parts are laid over black. The game's folder for\n"
    "your files is $XDG_DATA_HOME/brin, or ~/.local/share/brin.\n"
    "  --level N      write N.pcx (N from 1 to 4) into that folder, made if missing\n"
    "  --crop         fill the whole screen, cutting off what sticks out (the default)\n"
    "  --fit          show the whole picture, with black bars where it doesn't fill the screen\n"
    "  --dither LEVEL from 0 (none) to 1 (full, the default)\n"
    "  --help         show this and stop";

constexpr int kLevels = 4;

struct Options {
    tools::Framing framing = tools::Framing::crop;
    float dither = 1.0f;
    int level = 0;  // none: the output is named
    bool help = false;
    std::string input;
    std::string output;
};

std::runtime_error usage_error(const std::string& what) { return std::runtime_error(what + "\n" + kUsage); }

float dither_level(const std::string& text) {
    char* end = nullptr;
    const float level = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != 0 || !(level >= 0.0f && level <= 1.0f))
        throw usage_error("--dither wants a number from 0 to 1, not \"" + text + "\"");
    return level;
}

int level_number(const std::string& text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kLevels)
        throw usage_error("--level wants a level from 1 to " + std::to_string(kLevels) + ", not \"" + text + "\"");
    return text[0] - '0';
}

// $XDG_DATA_HOME/brin, or ~/.local/share/brin; a relative XDG_DATA_HOME doesn't count.
std::string players_folder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string base;
    if (data && data[0] == '/')
        base = data;
    else if (home && home[0] == '/')
        base = std::string(home) + "/.local/share";
    else
        throw std::runtime_error("no folder for your files: neither XDG_DATA_HOME nor HOME is set");
    const std::string folder = base + "/brin";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw std::runtime_error(folder + ": cannot be made: " + error.message());
    return folder;
}

bool ends_in_pcx(const std::string& name) {
    const std::filesystem::path path(name);
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".pcx" && path.stem() != "";
}

Options options(int argc, char** argv) {
    Options o;
    std::vector<std::string> files;
    auto value = [&](int& i, const std::string& option) {
        if (++i == argc) throw usage_error(option + " wants a value");
        return std::string(argv[i]);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help") {
            o.help = true;
            return o;
        } else if (a == "--crop") {
            o.framing = tools::Framing::crop;
        } else if (a == "--fit") {
            o.framing = tools::Framing::fit;
        } else if (a == "--dither") {
            o.dither = dither_level(value(i, a));
        } else if (a == "--level") {
            o.level = level_number(value(i, a));
        } else if (a.size() > 1 && a[0] == '-') {
            throw usage_error("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) throw usage_error("no PICTURE given: name the PNG or JPEG file to turn into a level");
    if (o.level && files.size() > 1)
        throw usage_error("--level " + std::to_string(o.level) + " writes into the game's folder: \"" + files[1] +
                          "\" is one file too many");
    if (!o.level && files.size() == 1)
        throw usage_error("no LEVEL.pcx given: name the file to write, or write a level with --level N");
    if (files.size() > 2) throw usage_error("\"" + files[2] + "\" is one file too many");
    // The game reads PCX files only: a level named anything else would be a PCX file in disguise.
    if (!o.level && !ends_in_pcx(files[1]))
        throw usage_error("the level is written as a PCX file, so its name must end in .pcx: not \"" + files[1] + "\"");
    o.input = files[0];
    if (!o.level) o.output = files[1];
    return o;
}

// The level is written all the same: the player may like it hard, or mean to try another.
void warn_if_unplayable(const tools::Indexed& level) {
    const tools::Levels levels = tools::six_bit_levels(level.palette);
    const std::string warning =
        tools::level_warning(tools::level_faults(level.pixels.data(), level.width, levels.data()));
    if (!warning.empty()) std::fprintf(stderr, "brin-picture: warning: %s", warning.c_str());
}

// Blown up this many times or more, a picture shows its pixels as blurred blocks.
constexpr double kBlurredFrom = 2.0;

void remark_if_small(const std::string& path, const tools::Image& picture, tools::Framing framing) {
    const double across = 640.0 / picture.width, down = 480.0 / picture.height;
    const double scale = framing == tools::Framing::crop ? std::max(across, down) : std::min(across, down);
    if (scale < kBlurredFrom) return;
    std::fprintf(stderr,
                 "brin-picture: note: %s is only %dx%d pixels, so it is blown up %.0f times and will look blurred; "
                 "a picture of 640x480 or more looks best\n",
                 path.c_str(), picture.width, picture.height, scale);
}

}  // namespace

int main(int argc, char** argv) {
    return tools::run("brin-picture", [&] {
        const Options o = options(argc, argv);
        if (o.help) {
            std::printf("%s\n", kUsage);
            return;
        }
        const tools::Image picture = tools::read_picture(o.input, 640, 480);
        remark_if_small(o.input, picture, o.framing);
        const tools::Indexed level = tools::quantise(tools::frame(picture, 640, 480, o.framing), o.dither);
        // The folder is made only once there is something to put in it.
        const std::string output = o.level ? players_folder() + "/" + std::to_string(o.level) + ".pcx" : o.output;
        tools::write_pcx(output, level);
        warn_if_unplayable(level);
        if (o.level)
            std::printf(
                "Wrote level %d: %s\n"
                "To get the shipped picture back, delete that file; the game links the shipped one there again "
                "when it starts.\n",
                o.level, output.c_str());
    });
}
