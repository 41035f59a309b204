// SPDX-License-Identifier: MIT
// Pictures, blocks and the pointer through the bank window: a full-screen PCX decoded onto
// the screen, one tile swap through slot 1, and the pointer saved, drawn and restored;
// each also the naive way, a pixel at a time.
#include <benchmark/benchmark.h>

#include <string>

#include "naive.h"

namespace {

template <void (*Load)(const char*)>
void loadpcx_640x480(benchmark::State& state) {
    naive::start();
    std::string path = std::string(BRIN_FIXTURES) + "/pcx/screen.pcx";
    for (auto _ : state) Load(path.c_str());
    state.SetItemsProcessed(state.iterations() * 640 * 480);
    vora256::mode(0);
}
BENCHMARK(loadpcx_640x480<vora256::loadpcx>)->Name("BM_loadpcx_640x480");
BENCHMARK(loadpcx_640x480<naive::loadpcx>)->Name("BM_loadpcx_640x480_naive");

// Cells (160, 96), whose row 102 crosses from bank 0 into bank 1, and (320, 288).
void swap_through_slot_1() {
    vora256::getz(1, 160, 96, 0, 0, 160, 96);
    vora256::getz(1, 320, 288, 0, 100, 160, 96);
    vora256::putz(1, 320, 288, 0, 0, 160, 96);
    vora256::putz(1, 160, 96, 0, 100, 160, 96);
}

void swap_pixel_by_pixel() { naive::swap_cells(160, 96, 320, 288); }

template <void (*Swap)()>
void tile_swap(benchmark::State& state) {
    naive::start();
    vora256::getblock(1, 0, 0, 320, 200);
    for (auto _ : state) Swap();
    state.SetItemsProcessed(state.iterations() * 2 * 160 * 96);
    vora256::mode(0);
}
BENCHMARK(tile_swap<swap_through_slot_1>)->Name("BM_tile_swap_through_slot_1");
BENCHMARK(tile_swap<swap_pixel_by_pixel>)->Name("BM_tile_swap_naive");

void pointer_by_rows(int x, int y) {
    vora256::mouses(x, y, 2);
    vora256::mouses(x, y, 1);
    vora256::mouses(x, y, 3);
}

void pointer_by_pixels(int x, int y) {
    static unsigned char saved[160];
    naive::pointer(x, y, saved);
}

// At (100, 50) within one bank, and at (250, 102) across the boundary of banks 0 and 1.
template <void (*Pointer)(int, int)>
void pointer_save_draw_restore(benchmark::State& state) {
    naive::start();
    int x = static_cast<int>(state.range(0));
    int y = static_cast<int>(state.range(1));
    for (auto _ : state) Pointer(x, y);
    vora256::mode(0);
}
BENCHMARK(pointer_save_draw_restore<pointer_by_rows>)
    ->Name("BM_pointer_save_draw_restore")
    ->Args({100, 50})
    ->Args({250, 102});
BENCHMARK(pointer_save_draw_restore<pointer_by_pixels>)
    ->Name("BM_pointer_save_draw_restore_naive")
    ->Args({100, 50})
    ->Args({250, 102});

}  // namespace
