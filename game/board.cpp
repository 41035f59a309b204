// SPDX-License-Identifier: MIT
// The board: which piece stands in which cell, and the screen pixels moved with it.
#include <cstdint>
#include <utility>

#include "brin.h"
#include "vora256.h"

namespace brin {

using namespace vora256;

int cuadro[20];
int z1 = 0, zz1 = 0;
int z2 = 0, zz2 = 0;

namespace {

// Cells p and q swap their pixels through the two scratch areas of block slot 1.
void intercambia(int p, int q) {
    getz(1, celda_x(p), celda_y(p), 0, 0, kAncho, kAlto);
    getz(1, celda_x(q), celda_y(q), 0, 100, kAncho, kAlto);
    putz(1, celda_x(q), celda_y(q), 0, 0, kAncho, kAlto);
    putz(1, celda_x(p), celda_y(p), 0, 100, kAncho, kAlto);
}

// The four lines around the cell at (x, y); they lie on the grid lines of its edges.
void marco(int x, int y) {
    line(x, y, x + kAncho - 1, y);
    line(x, y + kAlto, x + kAncho - 1, y + kAlto);
    line(x, y, x, y + kAlto - 1);
    line(x + kAncho, y, x + kAncho, y + kAlto - 1);
}

// Erases the frame last drawn at (x, y) in grid colour and draws it at cell c.
void mueve_marco(int& x, int& y, int c, int colour) {
    INK = COLOR[1];
    marco(x, y);
    x = celda_x(c);
    y = celda_y(c);
    INK = COLOR[colour];
    marco(x, y);
}

}  // namespace

int celda_x(int c) { return kAncho * (c % 4); }
int celda_y(int c) { return kAlto * (c / 4); }

namespace {

// An additive feedback generator over 31 words, each new one the sum of those 31 and 3 back.
constexpr int kWords = 31;
constexpr int kLag = 3;
std::uint32_t words[kWords];
int front = kLag, rear = 0;
bool seeded = false;

}  // namespace

void srandom(unsigned seed) {
    auto word = static_cast<std::int32_t>(seed == 0 ? 1 : seed);
    words[0] = static_cast<std::uint32_t>(word);
    for (int i = 1; i < kWords; ++i) {
        // 16807 * word modulo 2^31 - 1, without overflowing 32 bits
        std::int32_t hi = word / 127773, lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0) word += 2147483647;
        words[i] = static_cast<std::uint32_t>(word);
    }
    front = kLag;
    rear = 0;
    seeded = true;
    for (int i = 0; i < 10 * kWords; ++i) random();
}

long random() {
    if (!seeded) srandom(1);  // as the C library starts
    words[front] += words[rear];
    long value = words[front] >> 1;
    front = (front + 1) % kWords;
    rear = (rear + 1) % kWords;
    return value;
}

// rand's low 16 bits (random's, in the C library the game was written for) divided into
// n + 1 equal ranges; the few top values that would give n + 1 are drawn again.
int rnd(int n) {
    int d = 65535 / (n + 1);
    for (;;) {
        int r = static_cast<int>(random() & 0xFFFF);
        if (r / d <= n) return r / d;
    }
}

void desordena(int) {
    for (int i = 0; i < 20; ++i) {
        int a = rnd(19);
        sonido(20 * a, i / 4);
        std::swap(cuadro[a], cuadro[i]);
        intercambia(a, i);
    }
}

void mover(int a, int b) {
    mouses(xm, ym, 3);
    std::swap(cuadro[a], cuadro[b]);
    intercambia(a, b);
    rejilla(true);
    mouses(xm, ym, 2);
}

void negro(int c) {
    INK = COLOR[0];
    bar(celda_x(c), celda_y(c), celda_x(c) + kAncho - 1, celda_y(c) + kAlto);
}

void rejilla(bool bordes) {
    INK = COLOR[1];
    for (int x = bordes ? 0 : kAncho; x < 4 * kAncho; x += kAncho) line(x, 0, x, 5 * kAlto - 1);
    for (int y = bordes ? 0 : kAlto; y < 5 * kAlto; y += kAlto) line(0, y, 4 * kAncho - 1, y);
}

void recuadro(int c) { mueve_marco(z1, zz1, c, 7); }

void recuadro1(int c) { mueve_marco(z2, zz2, c, 5); }

}  // namespace brin
