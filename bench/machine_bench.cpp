// SPDX-License-Identifier: MIT
// The machine under the library: one step of a fade (a whole palette lowered and loaded)
// against loading it an entry at a time, and the platform's bank switch (vga_setpage, which
// copies 64 KiB out of the window and 64 KiB in) against remapping the window.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

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

// The platform's own switch, which copies the window out to its bank and the new bank in.
void BM_bank_switch_setpage(benchmark::State& state) {
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
BENCHMARK(BM_bank_switch_setpage)->Arg(1)->Arg(16);

// The other way to build the window: the banks in a memory file, the window a mapping of
// one of them at a fixed address, moved with mmap at every switch. Nothing is copied, but
// every page of the new mapping faults when first touched.
void BM_bank_switch_remapped(benchmark::State& state) {
    int count = static_cast<int>(state.range(0));
    int file = memfd_create("banks", 0);
    void* reserve = mmap(nullptr, 65536, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (file < 0 || ftruncate(file, 8 * 65536) != 0 || reserve == MAP_FAILED) {
        state.SkipWithError("no memory file");
        return;
    }
    auto* window = static_cast<unsigned char*>(reserve);
    int bank = 0;
    for (auto _ : state) {
        bank ^= 1;
        if (mmap(window, 65536, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, file, bank * 65536) != window) {
            state.SkipWithError("mmap failed");
            break;
        }
        touch(window, count);
    }
    munmap(window, 65536);
    close(file);
}
BENCHMARK(BM_bank_switch_remapped)->Arg(1)->Arg(16);

}  // namespace
