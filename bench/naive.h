// SPDX-License-Identifier: MIT
// The straightforward way to do what the library does: one pixel at a time, each with its
// own bank check, as plot and point do. Each benchmark runs the library's way and this way
// in the same run, so that the figure to read is their ratio.
#pragma once

#include <cstdio>
#include <cstring>

#include "fresh_machine.h"
#include "platform.h"
#include "sim.h"
#include "vora256.h"

namespace naive {

// A fresh machine in the graphics mode; running out of virtual time is not an error here.
inline void start() {
    test::switch_on();
    sim::on_limit([] {});
}

inline unsigned char* at(unsigned offset) {
    int bank = static_cast<int>((offset >> 16) & 7);
    if (bank != vora256::BANCO) vora256::newbank(static_cast<signed char>(bank));
    return vora256::pvx + (offset & 0xFFFF);
}

inline void put(unsigned offset, unsigned char value) { *at(offset) = value; }
inline unsigned char get(unsigned offset) { return *at(offset); }
inline unsigned offset(int x, int y) { return static_cast<unsigned>(x + 640 * y); }

inline void clear(int colour) {
    for (unsigned o = 0; o < 5u * 65536u; ++o) put(o, static_cast<unsigned char>(colour));
}

// Two 160 x 96 cells exchanged pixel by pixel.
inline void swap_cells(int x1, int y1, int x2, int y2) {
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 160; ++x) {
            unsigned a = offset(x1 + x, y1 + y), b = offset(x2 + x, y2 + y);
            unsigned char v = get(a);
            put(a, get(b));
            put(b, v);
        }
}

inline void impri(int x, int y, int ch) {
    const unsigned char* glyph = vora256::tabla + 8 * (ch & 0xFF);
    for (int py = 0; py < 8 * vora256::FONTY; ++py)
        for (int px = 0; px < 8 * vora256::FONTX; ++px) {
            bool ink = (glyph[py / vora256::FONTY] >> (7 - px / vora256::FONTX)) & 1;
            put(offset(x + px, y + py), static_cast<unsigned char>(ink ? vora256::INK : vora256::PAPER));
        }
}

inline void printc(int x, int y, const char* text) {
    for (int i = 0; i < 40 && text[i] != 0; ++i)
        impri(x + 8 * vora256::FONTX * i, y, static_cast<unsigned char>(text[i]));
}

// The pointer's 10 x 16 background saved, the arrow drawn, the background put back.
inline void pointer(int x, int y, unsigned char (&saved)[160]) {
    for (int i = 0; i < 160; ++i) saved[i] = get(offset(x + i % 10, y + i / 10));
    for (int i = 0; i < 160; ++i)
        if (vora256::tmouse[i] != 3)
            put(offset(x + i % 10, y + i / 10),
                static_cast<unsigned char>(vora256::tmouse[i] == 0 ? vora256::PMOUSE : vora256::IMOUSE));
    for (int i = 0; i < 160; ++i) put(offset(x + i % 10, y + i / 10), saved[i]);
}

// A PCX picture decoded byte by byte, every pixel placed on its own; then its palette.
inline void loadpcx(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return;
    unsigned char header[128];
    if (std::fread(header, 1, sizeof header, f) != sizeof header) {
        std::fclose(f);
        return;
    }
    int width = (header[8] | header[9] << 8) + 1;
    width += width & 1;
    int height = (header[10] | header[11] << 8) + 1;
    for (int x = 0, y = 0; y < height;) {
        int b = std::getc(f);
        int run = 1;
        if (b > 0xC0) {
            run = b - 0xC0;
            b = std::getc(f);
        }
        for (; run > 0 && y < height; --run) {
            put(offset(x, y), static_cast<unsigned char>(b));
            if (++x == width) {
                x = 0;
                ++y;
            }
        }
    }
    std::fseek(f, -768, SEEK_END);
    if (std::fread(vora256::pal, 1, 768, f) == 768)
        for (int i = 0; i < 768; ++i) vora256::pal[i] >>= 2;
    std::fclose(f);
    vora256::paletapal();
}

}  // namespace naive
