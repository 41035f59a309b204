// brin-picture: turns a PNG or JPEG into a level picture for the game.
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli.h"
#include "frame.h"
#include "imageio.h"
#include "quantise.h"

namespace {

constexpr const char* kUsage =
    "usage: brin-picture [--crop | --fit] [--dither LEVEL] PICTURE.png|.jpg LEVEL.pcx\n"
    "  --crop         fill the whole screen, cutting off what sticks out (the default)\n"
    "  --fit          show the whole picture, with black bars where it doesn't fill the screen\n"
    "  --dither LEVEL from 0 (none) to 1 (full, the default)";

struct Options {
    tools::Framing framing = tools::Framing::crop;
    float dither = 1.0f;
    std::string input;
    std::string output;
};

float dither_level(const std::string& text) {
    char* end = nullptr;
    const float level = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != 0 || !(level >= 0.0f && level <= 1.0f))
        throw std::runtime_error("--dither wants a number from 0 to 1, not \"" + text + "\"\n" + kUsage);
    return level;
}

Options options(int argc, char** argv) {
    Options o;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--crop") {
            o.framing = tools::Framing::crop;
        } else if (a == "--fit") {
            o.framing = tools::Framing::fit;
        } else if (a == "--dither") {
            if (++i == argc) throw std::runtime_error(std::string("--dither wants a level\n") + kUsage);
            o.dither = dither_level(argv[i]);
        } else if (a.size() > 1 && a[0] == '-') {
            throw std::runtime_error("unknown option " + a + "\n" + kUsage);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) throw std::runtime_error(kUsage);
    o.input = files[0];
    o.output = files[1];
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    return tools::run("brin-picture", [&] {
        const Options o = options(argc, argv);
        const tools::Image picture = tools::read_picture(o.input);
        tools::write_pcx(o.output, tools::quantise(tools::frame(picture, 640, 480, o.framing), o.dither));
    });
}
