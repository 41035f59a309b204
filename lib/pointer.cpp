// SPDX-License-Identifier: MIT
// Mouse pointer: polling with change detection, and the arrow drawn into screen memory.
#include <cstdint>

#include "platform.h"
#include "vora256.h"

namespace vora256 {

int XMOUSE = 0;
int YMOUSE = 0;
int KMOUSE = 0;
int CMOUSE = 0;
int PMOUSE = 0;
int IMOUSE = 7;

// 0 outline (PMOUSE), 1 filling (IMOUSE), 3 leaves the screen as it is.
const unsigned char tmouse[160] = {
    0, 0, 3, 3, 3, 3, 3, 3, 3, 3,  //
    0, 1, 0, 3, 3, 3, 3, 3, 3, 3,  //
    0, 1, 1, 0, 3, 3, 3, 3, 3, 3,  //
    0, 1, 1, 1, 0, 3, 3, 3, 3, 3,  //
    0, 1, 1, 1, 1, 0, 3, 3, 3, 3,  //
    0, 1, 1, 1, 1, 1, 0, 3, 3, 3,  //
    0, 1, 1, 1, 1, 1, 1, 0, 3, 3,  //
    0, 1, 1, 1, 1, 1, 1, 1, 0, 3,  //
    0, 1, 1, 1, 1, 1, 1, 1, 1, 0,  //
    0, 1, 1, 1, 1, 1, 0, 0, 0, 0,  //
    0, 1, 1, 0, 1, 1, 0, 3, 3, 3,  //
    0, 1, 0, 3, 0, 1, 1, 0, 3, 3,  //
    0, 0, 3, 3, 0, 1, 1, 0, 3, 3,  //
    3, 3, 3, 3, 3, 0, 1, 1, 0, 3,  //
    3, 3, 3, 3, 3, 0, 1, 1, 0, 3,  //
    3, 3, 3, 3, 3, 3, 0, 0, 0, 3,  //
};
unsigned char xmouse[160] = {};

namespace {

constexpr int kColumns = 10;
constexpr int kRows = 16;
constexpr unsigned char kClear = 3;

// The previous poll's results.
int MXz = 0;
int MYz = 0;
int MKz = 0;

// The platform's bits (4 left, 2 middle, 1 right) with the single buttons renumbered:
// right becomes 2, then left 1.
int renumbered(int buttons) {
    if (buttons == platform::MOUSE_RIGHTBUTTON) buttons = 2;
    if (buttons == platform::MOUSE_LEFTBUTTON) buttons = 1;
    return buttons;
}

void draw_row(unsigned offset, const unsigned char* shape) {
    std::uint16_t left = seek(offset);
    for (int i = 0; i < kColumns; ++i) {
        if (i > 0) advance(left);
        if (shape[i] != kClear) *pv = static_cast<unsigned char>(shape[i] == 0 ? PMOUSE : IMOUSE);
    }
}

}  // namespace

void mouse(int type) {
    if (type != 3 && type != 9) return;
    platform::mouse_update();
    XMOUSE = platform::mouse_getx();
    YMOUSE = platform::mouse_gety();
    KMOUSE = renumbered(platform::mouse_getbutton());
    CMOUSE = XMOUSE != MXz || YMOUSE != MYz || KMOUSE != MKz ? 1 : 0;
    MXz = XMOUSE;
    MYz = YMOUSE;
    MKz = KMOUSE;
}

// Each pointer row is one run through the bank window; the rows lie 640 bytes apart, so a
// column past 639 shows at the left of the next screen row and nothing is clipped.
void mouses(int x, int y, int mode) {
    if (MOUSE == 0) return;
    unsigned first = offset_of(x, y);
    seek(first);
    for (int r = 0; r < kRows; ++r) {
        unsigned offset = first + unsigned(kPitch) * unsigned(r);
        unsigned char* saved = xmouse + kColumns * r;
        switch (mode) {
        case 1:
            draw_row(offset, tmouse + kColumns * r);
            break;
        case 2:
            read_run(offset, saved, kColumns);
            break;
        case 3:
            write_run(offset, saved, kColumns);
            break;
        default:
            return;
        }
    }
}

}  // namespace vora256
