// SPDX-License-Identifier: MIT
// Image blocks: 16 slots, each a block (width, height, pixels) and the palette it came with.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vora256.h"

namespace vora256 {

unsigned char* grafi[kBlockSlots] = {};
unsigned char* grafip[kBlockSlots] = {};
int SETIM = 1;

namespace {

constexpr std::size_t kPaletteCopy = 771;
constexpr int kMostSide = 0xFFFF;                       // what the 16-bit header can say
constexpr std::uint64_t kMostPixels = std::uint64_t{1} << 24;  // 16 Mi pixels

bool bad_slot(int slot) { return slot < 0 || slot >= kBlockSlots; }

int width_of(const unsigned char* block) { return block[0] | block[1] << 8; }
int height_of(const unsigned char* block) { return block[2] | block[3] << 8; }

void give_back(unsigned char*& storage) {
    std::free(storage);
    storage = nullptr;
}

// Storage for a block too large for its header, or for memory, is not even asked for.
unsigned char* take_block(int w, int h) {
    std::uint64_t pixels = std::uint64_t(w) * std::uint64_t(h);
    if (w > kMostSide || h > kMostSide || pixels > kMostPixels) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(pixels + kBlockHeader));
    if (block == nullptr) return nullptr;
    block[0] = static_cast<unsigned char>(w);
    block[1] = static_cast<unsigned char>(w >> 8);
    block[2] = static_cast<unsigned char>(h);
    block[3] = static_cast<unsigned char>(h >> 8);
    return block;
}

// The pixel where block row `by`, column `bx` starts.
unsigned char* block_at(unsigned char* block, int bx, int by) {
    return block + kBlockHeader + std::size_t(width_of(block)) * std::size_t(by) + std::size_t(bx);
}

// A filled slot and a rectangle that lies inside its block, at non-negative screen
// coordinates. Anything else is refused.
unsigned char* fitting_block(int slot, int x, int y, int bx, int by, int w, int h) {
    if (bad_slot(slot) || grafi[slot] == nullptr) return nullptr;
    if (x < 0 || y < 0 || bx < 0 || by < 0 || w < 0 || h < 0) return nullptr;
    unsigned char* block = grafi[slot];
    int width = width_of(block);
    int height = height_of(block);
    if (bx > width || w > width - bx || by > height || h > height - by) return nullptr;
    return block;
}

// Screen rows y to y + h - 1 from column x, each paired with `w` block pixels from `at`,
// the block position moving on by `stride` pixels a row.
template <typename Row>
void each_row(int x, int y, int h, unsigned char* at, int stride, Row row) {
    unsigned first = offset_of(x, y);
    for (int r = 0; r < h; ++r) row(first + unsigned(kPitch) * unsigned(r), at + std::size_t(stride) * std::size_t(r));
}

// Writes n block pixels to the screen, leaving those of the transparent colour unwritten.
void paste_run(unsigned offset, const unsigned char* from, int n, unsigned char transparent) {
    std::uint16_t left = seek(offset);
    for (int i = 0; i < n; ++i) {
        if (i > 0) advance(left);
        if (from[i] != transparent) *pv = from[i];
    }
}

}  // namespace

bool newblock(int slot, int w, int h) {
    give_back(grafi[slot]);
    grafi[slot] = take_block(w, h);
    if (grafi[slot] == nullptr) return false;
    give_back(grafip[slot]);
    grafip[slot] = static_cast<unsigned char*>(std::malloc(kPaletteCopy));
    // A block without its palette copy is never left behind: the slot is emptied.
    if (grafip[slot] == nullptr) give_back(grafi[slot]);
    return grafip[slot] != nullptr;
}

void getblock(int slot, int x, int y, int w, int h) {
    if (bad_slot(slot) || x < 0 || y < 0 || w < 0 || h < 0) return;
    if (!newblock(slot, w, h)) {
        printc(0, 0, "sin memoria");
        return;
    }
    each_row(x, y, h, block_at(grafi[slot], 0, 0), w,
             [w](unsigned offset, unsigned char* into) { read_run(offset, into, w); });
    std::memcpy(grafip[slot], pal, kPalBytes);
}

void putblock(int slot, int x, int y) {
    if (bad_slot(slot) || grafi[slot] == nullptr || x < 0 || y < 0) return;
    unsigned char* block = grafi[slot];
    int width = width_of(block);
    each_row(x, y, height_of(block), block_at(block, 0, 0), width,
             [width](unsigned offset, unsigned char* from) { write_run(offset, from, width); });
}

void getz(int slot, int x, int y, int bx, int by, int w, int h) {
    unsigned char* block = fitting_block(slot, x, y, bx, by, w, h);
    if (block == nullptr) return;
    each_row(x, y, h, block_at(block, bx, by), width_of(block),
             [w](unsigned offset, unsigned char* into) { read_run(offset, into, w); });
}

void putz(int slot, int x, int y, int bx, int by, int w, int h) {
    unsigned char* block = fitting_block(slot, x, y, bx, by, w, h);
    if (block == nullptr) return;
    int setim = SETIM;
    each_row(x, y, h, block_at(block, bx, by), width_of(block), [w, setim](unsigned offset, unsigned char* from) {
        if (setim <= 255)
            write_run(offset, from, w);
        else
            paste_run(offset, from, w, static_cast<unsigned char>(setim));
    });
}

}  // namespace vora256
