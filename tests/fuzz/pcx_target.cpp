// SPDX-License-Identifier: MIT
// Fuzz target for the picture loaders: the input is a picture file, given to loadpcx and
// then to loadblock on a freshly switched-on simulated machine. Header bytes 12-15 (the
// resolution, which the loaders never read) also place the picture: CX and CY from -1023 to
// 1023, around and past every edge of screen memory. (Far above the screen a tall picture
// only costs time: its rows are decoded and dropped.)
#include "fresh_machine.h"
#include "input_file.h"

namespace {

int position_at(const std::uint8_t* data, std::size_t size, std::size_t at) {
    if (size < at + 2) return 0;
    return static_cast<std::int16_t>(data[at] | data[at + 1] << 8) % 1024;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputFile picture(data, size);
    if (!picture.ok()) return 0;
    test::switch_on();
    vora256::CX = position_at(data, size, 12);
    vora256::CY = position_at(data, size, 14);
    vora256::loadpcx(picture.path());
    vora256::loadblock(0, picture.path());
    vora256::mode(0);
    return 0;
}
