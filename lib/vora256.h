// SPDX-License-Identifier: MIT
// vora256: drawing into the banked 640x480x256 screen, image blocks, PCX pictures, the
// bitmap font, palette and fades, keyboard and mouse, clock and tones.
//
// Everything is a free function over module globals. Screen pixels are reached only
// through the 64 KiB bank window at pvx; BANCO names the bank mapped there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "vga_sizes.h"

namespace vora256 {

// ---- sizes the library's areas share ----

constexpr int kPitch = vga::kWidth;  // bytes from one screen row to the next
constexpr int kBankBytes = vga::kBankBytes;
constexpr int kPictureBanks = vga::kScreenBanks;
constexpr int kPaletteBytes = vga::kPaletteBytes;
// The modes of `mode`: 640x480 in 256 colours, and text.
constexpr int kGraphicsMode = 10;
constexpr int kTextMode = 2;
constexpr int kPalBytes = 769;      // those and the spare byte that pictures and blocks carry
constexpr int kBlockSlots = 16;
constexpr int kBlockHeader = 4;     // a block's width and height, 16-bit little-endian

// ---- screen mode and banked drawing ----

extern int BANCO;             // bank mapped into the window
extern unsigned char* pvx;    // first byte of the window
extern unsigned char* pvm;    // last byte of the window
extern unsigned char* pv;     // shared read/write position in the window
extern int INK;               // drawing and text colour (low byte)
extern int PAPER;             // text background (low byte)
extern int MOUSE;             // 1: the mouse is in use
extern unsigned char* VARI0;  // 5,000-byte scratch buffer, held while in graphics mode

void mode(int n);
int dmode();
void newbank(signed char b);
void plot(int x, int y);
int point(int x, int y);
void clear(int colour);
void bar(int x1, int y1, int x2, int y2);
void line(int x1, int y1, int x2, int y2);
void box(int x1, int y1, int x2, int y2);

// Walking consecutive screen bytes through the window, as every pixel mover does:
// linear offset of (x, y); point pv at an offset, returning the window bytes after pv;
// step pv to the next screen byte, moving to the next bank after the window's last byte.
unsigned offset_of(int x, int y);
std::uint16_t seek(unsigned offset);
inline void advance(std::uint16_t& left) {
    if (left == 0) {
        newbank(static_cast<signed char>(BANCO + 1));
        pv = pvx;
        left = 0xFFFF;
    } else {
        ++pv;
        --left;
    }
}
// One row-long run from a linear offset: filled with a value, written from or read into
// consecutive bytes. Each crosses a bank boundary where the run meets one.
void fill_run(unsigned offset, unsigned char value, int n);
void write_run(unsigned offset, const unsigned char* from, int n);
void read_run(unsigned offset, unsigned char* into, int n);

// ---- palette and fades ----

extern unsigned char pal[800];         // 256 RGB triples (6-bit) and a spare byte 768
extern const unsigned char tleta[48];  // the 16 standard colours
extern unsigned char COLOR[16];        // where getcolors found them, or 254
extern int* pvi;                       // hand-over array in VARI0
extern int* pvi1;                      // its write position

void paleta();
void paletapal();
void paletablock(int slot);
void getcolors();
void fade(int step);

// ---- image blocks ----

extern unsigned char* grafi[kBlockSlots];   // block: the header, then pixels
extern unsigned char* grafip[kBlockSlots];  // the palette that came with it (kPalBytes used)
extern int SETIM;                           // putz: opaque up to 255, low byte transparent from 256

// Gives back the slot's block and takes storage for a w x h one with its header written,
// then gives back and takes the palette copy. False when memory can't be had: the slot is
// then empty, and keeps its old palette copy if the block itself was missing.
bool newblock(int slot, int w, int h);
void getblock(int slot, int x, int y, int w, int h);
void putblock(int slot, int x, int y);
void getz(int slot, int x, int y, int bx, int by, int w, int h);
void putz(int slot, int x, int y, int bx, int by, int w, int h);

// ---- data files ----

// A data file opened for reading ("rb"), or nullptr as for a missing file when it can't be
// opened or is not a regular file (a FIFO, a device, a folder); never waits.
std::FILE* abre_datos(const char* path);
// Replaces a data file whole, one game at a time: `funde` gets the file as it is on disk
// (`hay` false when there is none) and gives the bytes to write, or false to leave it. False
// when the file could not be replaced; it is then as it was.
using Funde = bool (*)(const std::vector<unsigned char>& disco, bool hay, std::vector<unsigned char>& nuevo);
bool guarda_datos(const char* path, Funde funde);

// ---- PCX pictures ----

extern int CX;         // where loadpcx puts the picture's top-left pixel
extern int CY;
extern std::FILE* pf;  // the loaders' file

void loadpcx(const char* path);
void loadblock(int slot, const char* path);

// ---- bitmap font and text ----

extern unsigned char tabla[2040];  // 255 glyphs of 8x8, codes 0-254
extern int FONTX;                  // magnification
extern int FONTY;

void loadfont(const char* path);
void impri(int x, int y, int ch);
void printc(int x, int y, const char* text);
void printn(int x, int y, int n);
void error(int code);

// ---- keyboard and line input ----

extern char VARI[80];  // the typed line; printn's and loadfont's scratch
extern unsigned char sfteclado;  // Shift held
extern unsigned char agteclado;  // AltGr held
extern unsigned char bmteclado;  // caps lock on
extern unsigned char nuteclado;  // num lock on
extern const unsigned char m0teclado[128];
extern const unsigned char m1teclado[128];
extern const unsigned char m2teclado[128];

int inkey2();
int inkey();
void inputc(int x, int y, const char* text);
long inputn(int x, int y, const char* text);

// ---- mouse pointer ----

extern int XMOUSE;
extern int YMOUSE;
extern int KMOUSE;  // 1 left, 2 right or middle, else the platform's bits
extern int CMOUSE;  // 1 when the last poll saw a change
extern int PMOUSE;  // outline colour
extern int IMOUSE;  // filling colour
extern const unsigned char tmouse[160];
extern unsigned char xmouse[160];  // background saved under the pointer

void mouse(int type);
void mouses(int x, int y, int mode);

// ---- clock, delays and tones ----

extern int SPEED;

unsigned Ctime();
// Seconds of the time of day, from the same clock as Ctime (the countdown reads it).
std::time_t time(std::time_t* t);
void espera(int n);
void waits(int n);
void velocidad();
void sonido(int divisor, int n);
void Sbeep(int divisor);
int inportb(int port);
void outportb(int port, int value);

}  // namespace vora256
