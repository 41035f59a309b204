// The machine under the library: one step of a fade (a whole palette lowered and loaded)
// against loading it an entry at a time, and a bank switch that maps the window
// (vga_setpage) against one that copies 64 KiB out of the window and 64 KiB in.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "naive.h"

namespace {

// The fade's own step: every byte of pal one level lower, then the whole palette loaded.
void lower_pal() {
    for (int j = 0; j < 769; ++j)
        if (vora256::pal[j] > 0) --vora256::pal[j];
}

void load_at_once() { vora256::paletapal(); }

void load_entry_by_entry() {
    for (int e = 0; e < 256; ++e) {
        int rgb[3] = {vora256::pal[3 * e], vora256::pal[3 * e + 1], vora256::pal[3 * e + 2]};
        platform::vga_setpalvec(e, 1, rgb);
    }
}

template <void (*Load)()>
void fade_step(benchmark::State& state) {
    naive::start();
    for (auto _ : state) {
        state.PauseTiming();
        std::memset(vora256::pal, 63, 769);
        state.ResumeTiming();
        lower_pal();
        Load();
    }
    vora256::mode(0);
}
BENCHMARK(fade_step<load_at_once>)->Name("BM_fade_step");
BENCHMARK(fade_step<load_entry_by_entry>)->Name("BM_fade_step_naive");

// Switching between banks 0 and 1 and writing `range(0)` bytes spread over the window (1:
// one pixel; 16: one in every 4 KiB page, as a tile swap or a clear touches them).
void touch(unsigned char* window, int count) {
    for (int i = 0; i < count; ++i) window[i * (65536 / count)] ^= 1;
}

void BM_bank_switch_mapped(benchmark::State& state) {
    naive::start();
    int count = static_cast<int>(state.range(0));
    int bank = 0;
    for (auto _ : state) {
        bank ^= 1;
        vora256::newbank(static_cast<signed char>(bank));
        touch(vora256::pvx, count);
    }
    vora256::mode(0);
}
BENCHMARK(BM_bank_switch_mapped)->Arg(1)->Arg(16);

// The window as a buffer of its own: a switch writes the mapped bank back and reads the new one.
void BM_bank_switch_copied(benchmark::State& state) {
    int count = static_cast<int>(state.range(0));
    std::vector<unsigned char> banks(8 * 65536), window(65536);
    int bank = 0;
    for (auto _ : state) {
        std::memcpy(&banks[static_cast<std::size_t>(bank) * 65536], window.data(), 65536);
        bank ^= 1;
        std::memcpy(window.data(), &banks[static_cast<std::size_t>(bank) * 65536], 65536);
        touch(window.data(), count);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_bank_switch_copied)->Arg(1)->Arg(16);

}  // namespace
