// SPDX-License-Identifier: MIT
// Fuzz target for the font loader: the input is a font file. After loadfont every code,
// 255 included, is drawn at 1x1, and a line of the top codes at the game's larger sizes, so
// that whatever the table now holds is drawn. The lines lie within bank 1, where drawing is
// quick; code 255 is also drawn over the boundary of banks 0 and 1 at every size.
#include <cstring>

#include "fresh_machine.h"
#include "input_file.h"

namespace {

constexpr int kBank1Top = 110;

void at_size(int fx, int fy) {
    vora256::FONTX = fx;
    vora256::FONTY = fy;
    vora256::impri(250, 100, 255);
}

void every_code_at_1x1() {
    at_size(1, 1);
    for (int code = 0; code < 256; ++code) vora256::impri(8 * (code % 80), kBank1Top + 8 * (code / 80), code);
}

// Codes 255 down to 216, at the sizes of the messages (2x2) and of the countdown (4x5).
void a_line_magnified() {
    char line[41];
    for (int i = 0; i < 40; ++i) line[i] = static_cast<char>(255 - i);
    line[40] = 0;
    const int sizes[][2] = {{2, 2}, {4, 5}};
    for (const auto& s : sizes) {
        at_size(s[0], s[1]);
        vora256::printc(0, kBank1Top, line);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputFile font(data, size);
    if (!font.ok()) return 0;
    test::switch_on();
    std::memset(vora256::tabla, 0, sizeof vora256::tabla);
    vora256::loadfont(font.path());
    every_code_at_1x1();
    a_line_magnified();
    vora256::mode(0);
    return 0;
}
