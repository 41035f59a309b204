// SPDX-License-Identifier: MIT
// brin: the picture-swap puzzle. A 640x480 picture is cut into 4x5 cells of 160x96; the
// player swaps pairs of cells until the picture is whole, against a countdown.
#pragma once

#include <cstdint>

namespace brin {

// ---- game driver ----

// The program: start-up, then title, levels, game over and high scores for ever.
// Ends the process (status 0) on Escape in a level or when the graphics mode is missing.
[[noreturn]] void brin_main();

// ---- level play loop ----

extern int nivel;   // level number, 0 for the first level of a game
extern int tiempo;  // seconds allowed for the level
extern long tie;    // deadline of the level, in seconds of the time of day
extern int pun1;    // seconds left; while scoring, the points still to count
extern int pun2;    // the number the countdown last drew
extern int punx;    // the game's total
extern int m;       // the cursor's cell
extern int marca;   // the marked cell, or kSinMarca
extern int t;       // character of the last key code
extern int tt;      // scancode of the last key code
extern int xm;      // where the pointer was last drawn
extern int ym;

constexpr int kSinMarca = 2000;

// Plays levels from `nivel` on until a countdown runs out.
void niveles();

// ---- board and tiles ----

constexpr int kAncho = 160;  // cell size: 4 across and 5 down fill the screen
constexpr int kAlto = 96;

extern int cuadro[20];  // the piece shown in each cell
extern int z1, zz1;     // where the cursor frame was last drawn
extern int z2, zz2;     // where the mark frame was last drawn

// The C library's generator as the game was written for it (glibc's random and srandom),
// the same on every platform: a clock reading deals the same shuffle everywhere.
void srandom(unsigned seed);
long random();
int rnd(int n);
void desordena(int k);
void mover(int a, int b);
void negro(int c);
void recuadro(int c);
void recuadro1(int c);
// The grid lines between the cells, in grid colour; with `bordes`, also those on the
// screen's top and left edges.
void rejilla(bool bordes);
// Top-left pixel of a cell.
int celda_x(int c);
int celda_y(int c);

// ---- high-score table ----

extern std::uint16_t puntos[6];    // scores, best first; [5] is swap space
extern unsigned char nombres[48];  // byte 6*r + e: character r of entry e's name

// Fills the table from max.pun, or says it can't and goes on with an empty one.
void leer_puntos();
void puntuar(int score);

// ---- help overlay ----

void ayuda();

}  // namespace brin
