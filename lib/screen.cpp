// SPDX-License-Identifier: MIT
// Screen mode and banked drawing.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform.h"
#include "vora256.h"

namespace vora256 {

int BANCO = 0;
unsigned char* pvx = nullptr;
unsigned char* pvm = nullptr;
unsigned char* pv = nullptr;
int INK = 9;
int PAPER = 1;
int MOUSE = 1;
unsigned char* VARI0 = nullptr;

namespace {

constexpr int kScratchBytes = 5000;

void enter_graphics() {
    VARI0 = static_cast<unsigned char*>(std::malloc(kScratchBytes));
    platform::vga_setmode(platform::G640x480x256);
    platform::gl_setcontextvga(platform::G640x480x256);
    platform::gl_enableclipping();
    if (MOUSE == 1) {
        platform::vga_setmousesupport(1);
        if (platform::mouse_init("/dev/mouse", platform::vga_getmousetype(), 10) != 0)
            std::printf("El raton no puede funcionar\n");
    }
    platform::keyboard_init();
    platform::mouse_setxrange(0, platform::currentcontext.width - 1);
    platform::mouse_setyrange(0, platform::currentcontext.height - 1);
    platform::mouse_setposition(320, 200);
    pvx = platform::currentcontext.vbuf;
    pvm = pvx + 65535;
}

void leave_graphics() {
    std::free(VARI0);
    VARI0 = nullptr;
    platform::keyboard_close();
    platform::vga_setmode(platform::TEXT);
}

void horizontal(int x1, int x2, int y) {
    if (x1 > x2) std::swap(x1, x2);
    x1 = std::max(x1, 0);
    x2 = std::min(x2, vga::kRight);
    if (x1 > x2) return;
    int n = x2 - x1 + 1;
    unsigned start = offset_of(x1, y);
    seek(start);
    int w = static_cast<int>(start & 0xFFFF);
    if (w + n <= 65534) {
        std::memset(pv, INK & 0xFF, static_cast<std::size_t>(n));
        return;
    }
    for (int x = x1; x <= x2; ++x) plot(x, y);
}

void vertical(int x, int y1, int y2) {
    if (y1 > y2) std::swap(y1, y2);
    y1 = std::max(y1, 0);
    y2 = std::min(y2, vga::kBottom);
    for (int y = y1; y <= y2; ++y) plot(x, y);
}

// Drawn from the end with the smaller y; the accumulator starts at 0, so the minor
// coordinate moves late. Deltas and accumulator are 16-bit, as on the original machine.
void general(int x1, int y1, int x2, int y2) {
    if (y1 > y2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    auto dx = static_cast<std::uint16_t>(std::abs(x2 - x1));
    auto dy = static_cast<std::uint16_t>(y2 - y1);
    int step = x2 > x1 ? 1 : -1;
    std::uint16_t acc = 0;
    int x = x1;
    int y = y1;
    plot(x, y);
    if (dx > dy) {
        for (unsigned i = 0; i < dx; ++i) {
            x += step;
            acc = static_cast<std::uint16_t>(acc + dy);
            if (acc >= dx) {
                acc = static_cast<std::uint16_t>(acc - dx);
                ++y;
            }
            plot(x, y);
        }
    } else {
        for (unsigned i = 0; i < dy; ++i) {
            ++y;
            acc = static_cast<std::uint16_t>(acc + dx);
            if (acc >= dy) {
                acc = static_cast<std::uint16_t>(acc - dy);
                x += step;
            }
            plot(x, y);
        }
    }
}

}  // namespace

void mode(int n) {
    if (n == kGraphicsMode)
        enter_graphics();
    else
        leave_graphics();
}

int dmode() { return platform::vga_getcurrentmode(); }

void newbank(signed char b) {
    BANCO = b;
    platform::vga_setpage(b);
}

unsigned offset_of(int x, int y) {
    return static_cast<unsigned>(x) + unsigned(kPitch) * static_cast<unsigned>(y);
}

std::uint16_t seek(unsigned offset) {
    int bank = static_cast<int>((offset >> 16) & 7);
    if (bank != BANCO) newbank(static_cast<signed char>(bank));
    std::uint16_t window_offset = offset & 0xFFFF;
    pv = pvx + window_offset;
    return static_cast<std::uint16_t>(0xFFFF - window_offset);
}

namespace {

// The part of a run that fits in the current window, then the rest from the next bank.
template <typename Copy>
void split_run(unsigned offset, int n, Copy copy) {
    if (n <= 0) return;
    int here = std::min(n, seek(offset) + 1);
    copy(pv, 0, here);
    pv += here - 1;
    if (here == n) return;
    newbank(static_cast<signed char>(BANCO + 1));
    pv = pvx;
    copy(pv, here, n - here);
    pv += n - here - 1;
}

}  // namespace

void fill_run(unsigned offset, unsigned char value, int n) {
    split_run(offset, n, [value](unsigned char* at, int, int count) {
        std::memset(at, value, static_cast<std::size_t>(count));
    });
}

void write_run(unsigned offset, const unsigned char* from, int n) {
    split_run(offset, n, [from](unsigned char* at, int done, int count) {
        std::memcpy(at, from + done, static_cast<std::size_t>(count));
    });
}

void read_run(unsigned offset, unsigned char* into, int n) {
    split_run(offset, n, [into](unsigned char* at, int done, int count) {
        std::memcpy(into + done, at, static_cast<std::size_t>(count));
    });
}

void plot(int x, int y) {
    seek(offset_of(x, y));
    *pv = static_cast<unsigned char>(INK);
}

int point(int x, int y) {
    seek(offset_of(x, y));
    return *pv;
}

void clear(int colour) {
    for (int bank = 0; bank < kPictureBanks; ++bank) {
        newbank(static_cast<signed char>(bank));
        std::memset(pvx, colour & 0xFF, kBankBytes);
    }
}

void bar(int x1, int y1, int x2, int y2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    x1 = std::clamp(x1, 0, vga::kRight);
    x2 = std::clamp(x2, 0, vga::kRight);
    y1 = std::clamp(y1, 0, vga::kBottom);
    y2 = std::clamp(y2, 0, vga::kBottom);
    for (int y = y1; y <= y2; ++y) fill_run(offset_of(x1, y), static_cast<unsigned char>(INK), x2 - x1 + 1);
}

void line(int x1, int y1, int x2, int y2) {
    if (x1 == x2)
        vertical(x1, y1, y2);
    else if (y1 == y2)
        horizontal(x1, x2, y1);
    else
        general(x1, y1, x2, y2);
}

void box(int x1, int y1, int x2, int y2) {
    line(x1, y1, x2, y1);
    line(x2, y1, x2, y2);
    line(x2, y2, x1, y2);
    line(x1, y2, x1, y1);
}

}  // namespace vora256
