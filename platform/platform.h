// SPDX-License-Identifier: MIT
// The machine the library runs on: the svgalib calls, the console's raw key bytes, the
// clock and the speaker ports, with the names and signatures the library was written
// against, and the files it keeps (store.h). machine.cpp implements it once for every
// back-end; a back-end never includes it (machine.h is its contract).
#pragma once

#include <sys/select.h>
#include <sys/time.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <ctime>

#include "store.h"  // the data files, read and replaced

namespace platform {

// svgalib
constexpr int TEXT = 0;
constexpr int G640x480x256 = 10;

constexpr int MOUSE_LEFTBUTTON = 4;
constexpr int MOUSE_MIDDLEBUTTON = 2;
constexpr int MOUSE_RIGHTBUTTON = 1;

// The part of vgagl's context that the library reads.
struct GraphicsContext {
    int width = 0;
    int height = 0;
    unsigned char* vbuf = nullptr;  // the 64 KiB bank window
};
extern GraphicsContext currentcontext;

int vga_setmode(int mode);
int vga_getcurrentmode();
void vga_setpage(int page);
int vga_setpalvec(int start, int num, const int* pal);
int gl_setcontextvga(int mode);
void gl_enableclipping();

void vga_setmousesupport(int enable);
int vga_getmousetype();
int mouse_init(const char* dev, int type, int samplerate);
void mouse_setxrange(int x1, int x2);
void mouse_setyrange(int y1, int y2);
void mouse_setposition(int x, int y);
int mouse_update();
int mouse_getx();
int mouse_gety();
int mouse_getbutton();

int keyboard_init();
void keyboard_close();

// The console: key bytes on standard input (descriptor 0 only).
int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, timeval* timeout);
ssize_t read(int fd, void* buf, std::size_t count);
// The library reads a line of text (true) or is done with it (false). A request to end the
// program that comes meanwhile ends the line as Enter would, and the program at the first
// poll after it: a name typed for the high scores is saved first.
void line_input(bool reading);

// The clock.
int gettimeofday(timeval* tv, void* tz);
std::time_t time(std::time_t* t);

// Byte I/O ports; only the speaker's 0x42, 0x43 and 0x61 do anything.
unsigned char inb(unsigned short port);
void outb(unsigned char value, unsigned short port);

}  // namespace platform
