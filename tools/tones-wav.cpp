// Renders a speaker log (lines "MICROSECONDS DIVISOR", 0 for silence, as brin-sim writes
// to tones.log) to a WAV file with the same sound the game makes in its window.
//   tones-wav [--rate N] tones.log out.wav
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/sound.h"

namespace {

namespace sound = platform::sound;

constexpr std::int64_t kTailUs = 200000;  // after the last change, to hear its ramp end

bool read_log(const char* path, std::vector<sound::Change>& changes) {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) return false;
    long long us = 0;
    int divisor = 0;
    while (std::fscanf(f, "%lld %d", &us, &divisor) == 2) {
        if (!changes.empty() && us < changes.back().us) break;  // a log only goes forward
        changes.push_back({us, divisor});
    }
    bool whole = std::feof(f) != 0;
    std::fclose(f);
    return whole;
}

int usage() {
    std::fprintf(stderr, "usage: tones-wav [--rate N] tones.log out.wav\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int rate = 48000;
    int first = 1;
    if (argc == 5 && std::strcmp(argv[1], "--rate") == 0) {
        rate = std::atoi(argv[2]);
        first = 3;
    }
    if (argc - first != 2 || rate < 8000 || rate > 192000) return usage();
    std::vector<sound::Change> changes;
    if (!read_log(argv[first], changes)) {
        std::fprintf(stderr, "tones-wav: %s is not a readable speaker log\n", argv[first]);
        return 1;
    }
    if (!sound::write_wav(argv[first + 1], sound::render_changes(changes, rate, kTailUs), rate)) {
        std::fprintf(stderr, "tones-wav: cannot write %s\n", argv[first + 1]);
        return 1;
    }
    return 0;
}
