// SPDX-License-Identifier: MIT
// A simulated machine just switched on: what library tests and fuzz targets start from.
#pragma once

#include <cstdlib>
#include <cstring>

#include "sim.h"
#include "vora256.h"

namespace test {

// All sixteen block slots empty, as at program start.
inline void empty_slots() {
    for (int slot = 0; slot < 16; ++slot) {
        std::free(vora256::grafi[slot]);
        std::free(vora256::grafip[slot]);
        vora256::grafi[slot] = nullptr;
        vora256::grafip[slot] = nullptr;
    }
}

// A fresh machine in the graphics mode, with the library's settings, palette buffer and
// block slots as at program start. Ended with vora256::mode(0).
inline void switch_on() {
    sim::reset();
    vora256::BANCO = 0;
    vora256::INK = 9;
    vora256::PAPER = 1;
    vora256::FONTX = 1;
    vora256::FONTY = 1;
    vora256::MOUSE = 1;
    vora256::SETIM = 1;
    vora256::CX = 0;
    vora256::CY = 0;
    std::memset(vora256::pal, 0, sizeof vora256::pal);
    std::memset(vora256::COLOR, 0, sizeof vora256::COLOR);
    empty_slots();
    vora256::mode(10);
}

}  // namespace test
