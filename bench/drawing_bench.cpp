// SPDX-License-Identifier: MIT
// Drawing through the bank window: a full clear, a full-screen bar, a line of big text;
// the clear and the text also the naive way, a pixel at a time.
#include <benchmark/benchmark.h>

#include <cstring>

#include "naive.h"

namespace {

void start() {
    naive::start();
    std::memset(vora256::tabla, 0xA5, sizeof vora256::tabla);
}

template <void (*Clear)(int)>
void clear(benchmark::State& state) {
    start();
    int colour = 0;
    for (auto _ : state) Clear(++colour);
    state.SetBytesProcessed(state.iterations() * 5 * 65536);
    vora256::mode(0);
}
BENCHMARK(clear<vora256::clear>)->Name("BM_clear");
BENCHMARK(clear<naive::clear>)->Name("BM_clear_naive");

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

// Forty characters at 4x5 from (0, y): from y = 100 every character crosses from bank 0
// into bank 1 and back; from y = 110 the line lies within bank 1.
template <void (*Printc)(int, int, const char*)>
void printc_40_at_4x5(benchmark::State& state) {
    start();
    vora256::FONTX = 4;
    vora256::FONTY = 5;
    int y = static_cast<int>(state.range(0));
    const char* text = "0123456789012345678901234567890123456789";
    for (auto _ : state) Printc(0, y, text);
    state.SetItemsProcessed(state.iterations() * 40);
    vora256::mode(0);
}
BENCHMARK(printc_40_at_4x5<vora256::printc>)->Name("BM_printc_40_at_4x5")->Arg(100)->Arg(110);
BENCHMARK(printc_40_at_4x5<naive::printc>)->Name("BM_printc_40_at_4x5_naive")->Arg(100)->Arg(110);

}  // namespace
