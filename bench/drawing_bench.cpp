// Drawing through the bank window: a full clear, a full-screen bar, a line of big text.
#include <benchmark/benchmark.h>

#include <cstring>

#include "lib/vora256.h"
#include "platform/sim/sim.h"

namespace {

void start() {
    sim::reset();
    sim::on_limit([] {});
    vora256::BANCO = 0;
    vora256::mode(10);
    std::memset(vora256::tabla, 0xA5, sizeof vora256::tabla);
}

void BM_clear(benchmark::State& state) {
    start();
    int colour = 0;
    for (auto _ : state) vora256::clear(++colour);
    state.SetBytesProcessed(state.iterations() * 5 * 65536);
    vora256::mode(0);
}
BENCHMARK(BM_clear);

void BM_bar_full_screen(benchmark::State& state) {
    start();
    for (auto _ : state) {
        ++vora256::INK;
        vora256::bar(0, 0, 639, 479);
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480);
    vora256::mode(0);
}
BENCHMARK(BM_bar_full_screen);

void BM_printc_40_at_4x5(benchmark::State& state) {
    start();
    vora256::FONTX = 4;
    vora256::FONTY = 5;
    const char* text = "0123456789012345678901234567890123456789";
    for (auto _ : state) vora256::printc(0, 100, text);
    state.SetItemsProcessed(state.iterations() * 40);
    vora256::mode(0);
}
BENCHMARK(BM_printc_40_at_4x5);

}  // namespace
