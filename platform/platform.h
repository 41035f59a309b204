// SPDX-License-Identifier: MIT
// The machine the library runs on: the svgalib calls, the console's raw key bytes, the
// clock and the speaker ports, with the names and signatures the library was written
// against, and the files it keeps. Three back-ends implement it: sim/ (deterministic, for tests), sdl/ (a window) and
// web/ (a browser page).
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

// A data file was opened for reading (nullptr: it could not be), at its start: a
// recording notes what the game read. It leaves the file at its start.
void data_file(const char* path, std::FILE* f);
// What a save of the file got from the world: whether it could read the file again (`read`;
// `found` false: there was none, and the bytes), then whether it could write it. A recording
// notes the answers, a replay gives the recorded ones in their place. data_read_again is
// false when the save fails there; data_may_write false when it must not write (a replay of
// a save that could not); data_written gives `written` back.
bool data_read_again(const char* path, bool read, store::Bytes& bytes, bool& found);
bool data_may_write(const char* path);
bool data_written(const char* path, bool written);

// Byte I/O ports; only the speaker's 0x42, 0x43 and 0x61 do anything.
unsigned char inb(unsigned short port);
void outb(unsigned char value, unsigned short port);

}  // namespace platform
