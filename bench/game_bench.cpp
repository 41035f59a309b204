// SPDX-License-Identifier: MIT
// The whole game on the simulator, as brin-sim runs it: start-up without max.pun, the
// title, a first level left alone until its countdown runs out, and the game over, 100
// virtual seconds in all. The rate counter `virtual_s` is virtual seconds per wall second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "brin.h"
#include "naive.h"

namespace {

namespace fs = std::filesystem;

constexpr double kVirtualSeconds = 100;

struct Stop {};

// A folder with every level picture and the title graphics made from one 640 x 480 fixture,
// and a font of one pattern.
std::string game_folder() {
    char name[] = "/tmp/brin-benchXXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    fs::path folder = name;
    fs::path picture = fs::path(BRIN_FIXTURES) / "pcx" / "screen.pcx";
    for (const char* file : {"1.pcx", "2.pcx", "3.pcx", "4.pcx", "brin.pcx"}) fs::copy_file(picture, folder / file);
    std::ofstream(folder / "topaz.fon", std::ios::binary) << std::string(2040, '\xA5');
    return folder;
}

void BM_game_simulated(benchmark::State& state) {
    std::string folder = game_folder();
    fs::path back = fs::current_path();
    fs::current_path(folder);
    for (auto _ : state) {
        sim::reset();
        sim::at(static_cast<std::int64_t>(kVirtualSeconds * 1e6), [] { throw Stop{}; });
        try {
            brin::brin_main();
        } catch (const Stop&) {
        }
        vora256::mode(0);
    }
    state.counters["virtual_s"] =
        benchmark::Counter(kVirtualSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    fs::current_path(back);
    fs::remove_all(folder);
}
BENCHMARK(BM_game_simulated)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
