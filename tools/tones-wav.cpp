// SPDX-License-Identifier: MIT
// Renders a speaker log (lines "MICROSECONDS DIVISOR", 0 for silence, as brin-sim writes
// to tones.log) to a WAV file with the same sound the game makes in its window.
//   tones-wav [--rate N] tones.log out.wav
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli.h"
#include "files.h"
#include "sound.h"
#include "store.h"

namespace {

namespace sound = platform::sound;
namespace files = platform::files;

constexpr std::int64_t kTailUs = 200000;  // after the last change, to hear its ramp end
constexpr const char* kUsage = "usage: tones-wav [--rate N] tones.log out.wav";

void read_log(const char* path, std::vector<sound::Change>& changes) {
    files::File f(std::fopen(path, "r"));
    if (!f) throw std::runtime_error(std::string(path) + " cannot be read");
    long long us = 0;
    int divisor = 0;
    while (std::fscanf(f.get(), "%lld %d", &us, &divisor) == 2) {
        if (!changes.empty() && us < changes.back().us) break;  // a log only goes forward
        changes.push_back({us, divisor});
    }
    if (std::feof(f.get()) == 0) throw std::runtime_error(std::string(path) + " is not a speaker log");
}

}  // namespace

int main(int argc, char** argv) {
    return tools::run("tones-wav", [&] {
        long rate = 48000;
        int first = 1;
        if (argc > 2 && std::strcmp(argv[1], "--rate") == 0) {
            rate = tools::whole_number("--rate", argv[2], 8000, 192000);
            first = 3;
        }
        if (argc - first != 2) throw std::runtime_error(kUsage);
        std::vector<sound::Change> changes;
        read_log(argv[first], changes);
        const int r = static_cast<int>(rate);
        if (!files::write_wav(argv[first + 1], sound::render_changes(changes, r, kTailUs), r))
            throw std::runtime_error(std::string(argv[first + 1]) +
                                     ": cannot be written: " + platform::store::why_not_written(errno));
    });
}
