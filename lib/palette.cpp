// SPDX-License-Identifier: MIT
// Palette and fades.
#include <cstring>

#include "platform.h"
#include "vora256.h"

namespace vora256 {

unsigned char pal[800] = {};
const unsigned char tleta[48] = {
    0,  0,  0,   // black
    63, 63, 63,  // white
    0,  63, 63,  // cyan
    63, 0,  63,  // magenta
    0,  0,  63,  // blue
    63, 63, 0,   // yellow
    0,  63, 0,   // green
    63, 0,  0,   // red
    32, 32, 32,  // dark grey
    48, 48, 48,  // light grey
    0,  47, 47,  // dark cyan
    47, 0,  47,  // dark magenta
    0,  0,  47,  // dark blue
    47, 47, 0,   // dark yellow
    0,  47, 0,   // dark green
    47, 0,  0,   // dark red
};
unsigned char COLOR[16] = {};
int* pvi = nullptr;
int* pvi1 = nullptr;

namespace {

constexpr int kStandard = 16;
constexpr unsigned char kMissing = 254;
constexpr int kTickCentiseconds = 6;
constexpr long long kFadeFrom = 70;  // fade-out: loads = 70 - 13 * step; fade-in: first k
constexpr long long kFadeOutSlope = 13;
constexpr long long kFadeInTo = 10;

// Hands `count` palette bytes to the platform as ints through VARI0. Outside the graphics
// mode there is no VARI0 and nothing is loaded.
void load(const unsigned char* bytes, int count, int entries) {
    if (VARI0 == nullptr) return;
    pvi = reinterpret_cast<int*>(VARI0);
    pvi1 = pvi;
    for (int i = 0; i < count; ++i) *pvi1++ = bytes[i];
    platform::vga_setpalvec(0, entries, pvi);
}

unsigned tick() { return Ctime() / kTickCentiseconds; }

// Holds the load on screen until the next tick, and takes that tick as the new reference.
unsigned next_tick(unsigned reference) {
    while (tick() == reference) {
    }
    return tick();
}

unsigned char lowered(int value, long long by) {
    return static_cast<unsigned char>(value > by ? value - by : 0);
}

void fade_out(long long step, unsigned reference) {
    for (long long n = kFadeFrom - kFadeOutSlope * step; n > 0; --n) {
        for (int j = 0; j < kPalBytes; ++j) pal[j] = lowered(pal[j], step);
        paletapal();
        reference = next_tick(reference);
    }
    std::memset(pal, 0, kPalBytes);
    paletapal();
}

void fade_in(long long s, unsigned reference, const int* full) {
    for (long long k = kFadeFrom; k > kFadeInTo; k -= s) {
        for (int j = 0; j < kPalBytes; ++j) pal[j] = lowered(full[j], k);
        paletapal();
        reference = next_tick(reference);
    }
}

}  // namespace

void paleta() { load(tleta, sizeof tleta, kStandard); }

void paletapal() { load(pal, kPalBytes, 256); }

void paletablock(int slot) {
    if (slot < 0 || slot >= kBlockSlots || grafip[slot] == nullptr) return;
    std::memcpy(pal, grafip[slot], kPalBytes);
    paletapal();
}

void getcolors() {
    for (int i = 0; i < kStandard; ++i) {
        const unsigned char* want = tleta + 3 * i;
        COLOR[i] = kMissing;
        for (int e = 0; e < 256; ++e) {
            if (std::memcmp(pal + 3 * e, want, 3) == 0) {
                COLOR[i] = static_cast<unsigned char>(e);
                break;
            }
        }
    }
}

// Step 0 would fade in for ever: it returns at once and changes nothing.
void fade(int step) {
    if (step == 0) return;
    unsigned reference = tick();
    int full[kPalBytes];
    for (int j = 0; j < kPalBytes; ++j) full[j] = pal[j];
    if (step > 0)
        fade_out(step, reference);
    else
        fade_in(-static_cast<long long>(step), reference, full);
    for (int j = 0; j < kPalBytes; ++j) pal[j] = static_cast<unsigned char>(full[j]);
    if (step < 0) paletapal();
}

}  // namespace vora256
