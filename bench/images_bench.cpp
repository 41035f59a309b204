// Pictures, blocks and the pointer through the bank window: a full-screen PCX decoded onto
// the screen, one tile swap through slot 1, and the pointer saved, drawn and restored.
#include <benchmark/benchmark.h>

#include <string>

#include "lib/vora256.h"
#include "platform/sim/sim.h"

namespace {

void start() {
    sim::reset();
    sim::on_limit([] {});
    vora256::BANCO = 0;
    vora256::mode(10);
}

void BM_loadpcx_640x480(benchmark::State& state) {
    start();
    std::string path = std::string(BRIN_FIXTURES) + "/pcx/screen.pcx";
    for (auto _ : state) vora256::loadpcx(path.c_str());
    state.SetItemsProcessed(state.iterations() * 640 * 480);
    vora256::mode(0);
}
BENCHMARK(BM_loadpcx_640x480);

// Cells (160, 96), whose row 102 crosses from bank 0 into bank 1, and (320, 288).
void BM_tile_swap_through_slot_1(benchmark::State& state) {
    start();
    vora256::getblock(1, 0, 0, 320, 200);
    for (auto _ : state) {
        vora256::getz(1, 160, 96, 0, 0, 160, 96);
        vora256::getz(1, 320, 288, 0, 100, 160, 96);
        vora256::putz(1, 320, 288, 0, 0, 160, 96);
        vora256::putz(1, 160, 96, 0, 100, 160, 96);
    }
    state.SetItemsProcessed(state.iterations() * 4 * 160 * 96);
    vora256::mode(0);
}
BENCHMARK(BM_tile_swap_through_slot_1);

// At (100, 50) within one bank, and at (250, 102) across the boundary of banks 0 and 1.
void BM_pointer_save_draw_restore(benchmark::State& state) {
    start();
    int x = static_cast<int>(state.range(0));
    int y = static_cast<int>(state.range(1));
    for (auto _ : state) {
        vora256::mouses(x, y, 2);
        vora256::mouses(x, y, 1);
        vora256::mouses(x, y, 3);
    }
    vora256::mode(0);
}
BENCHMARK(BM_pointer_save_draw_restore)->Args({100, 50})->Args({250, 102});

}  // namespace
