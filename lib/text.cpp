// SPDX-License-Identifier: MIT
// Bitmap font and text.
#include <cstdio>
#include <cstring>

#include "vora256.h"

namespace vora256 {

unsigned char tabla[2040] = {};
int FONTX = 1;
int FONTY = 1;

namespace {

constexpr int kGlyphs = 255;
constexpr int kMaxChars = 40;

// Code 255 has no glyph in the table: it is drawn as a cell without ink.
unsigned char glyph_row(int code, int row) {
    return code < kGlyphs ? tabla[8 * code + row] : 0;
}

unsigned char colour_of(unsigned char bits, int bit) {
    return static_cast<unsigned char>((bits >> bit) & 1 ? INK : PAPER);
}

// 1x1: one bank selection per cell, and one more where the cell crosses into the next bank.
void unmagnified(int x, int y, int code) {
    unsigned offset = offset_of(x, y);
    seek(offset);
    unsigned window_offset = offset & 0xFFFF;
    for (int row = 0; row < 8; ++row) {
        unsigned char bits = glyph_row(code, row);
        for (int bit = 7; bit >= 0; --bit) {
            if (window_offset > 0xFFFF) {
                newbank(static_cast<signed char>(BANCO + 1));
                window_offset -= kBankBytes;
            }
            pv = pvx + window_offset;
            *pv = colour_of(bits, bit);
            ++window_offset;
        }
        window_offset += kPitch - 8;
    }
}

// Any magnification: every pixel's own offset, a bank selected only when it changes.
void magnified(int x, int y, int code) {
    unsigned offset = offset_of(x, y);
    for (int row = 0; row < 8; ++row) {
        unsigned char bits = glyph_row(code, row);
        for (int j = 0; j < FONTY; ++j) {
            for (int bit = 7; bit >= 0; --bit) {
                unsigned char colour = colour_of(bits, bit);
                for (int i = 0; i < FONTX; ++i) {
                    seek(offset++);
                    *pv = colour;
                }
            }
            offset += unsigned(kPitch) - 8u * static_cast<unsigned>(FONTX);
        }
    }
}

}  // namespace

void loadfont(const char* path) {
    std::FILE* f = abre_datos(path);
    if (f == nullptr) return;
    // A short file fills the header and the table as far as it reaches and leaves the rest
    // as it was, so how much each read took does not matter.
    if (std::fread(VARI, 1, 1, f) == 1) {
        if (VARI[0] == 'S') {
            [[maybe_unused]] std::size_t header = std::fread(VARI + 1, 1, 9, f);
            [[maybe_unused]] std::size_t glyphs = std::fread(tabla, 1, sizeof tabla, f);
        } else {
            tabla[0] = static_cast<unsigned char>(VARI[0]);
            [[maybe_unused]] std::size_t glyphs = std::fread(tabla + 1, 1, sizeof tabla - 1, f);
        }
    }
    std::fclose(f);
}

void impri(int x, int y, int ch) {
    int code = ch & 0xFF;
    if (FONTX == 1 && FONTY == 1)
        unmagnified(x, y, code);
    else
        magnified(x, y, code);
}

void printc(int x, int y, const char* text) {
    for (int i = 0; i < kMaxChars && text[i] != 0; ++i) {
        impri(x, y, static_cast<unsigned char>(text[i]));
        x += 8 * FONTX;
    }
}

void printn(int x, int y, int n) {
    std::memset(VARI, 0, kMaxChars);
    std::snprintf(VARI, kMaxChars, "%d", n);
    printc(x, y, VARI);
}

void error(int code) {
    const char* message = "Error desconocido";
    switch (code) {
    case 2: message = "Fichero no encontrado"; break;
    case 8: message = "Memoria insuficiente"; break;
    case 13: message = "Dato invalido"; break;
    default: break;
    }
    printc(0, 0, message);
}

}  // namespace vora256
