// SPDX-License-Identifier: MIT
// Fuzz target for the key bytes: the input is what the console would deliver. The bytes go
// once through inkey2, one call each, and once into inputc, followed by an Enter so that the
// line ends. The first byte also picks the magnification the line is echoed at.
#include <cstdlib>
#include <cstring>

#include "fresh_machine.h"
#include "machine.h"

namespace {

constexpr int kEnter = 28;

void modifiers_released() { vora256::sfteclado = vora256::agteclado = vora256::bmteclado = vora256::nuteclado = 0; }

void queue(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] & 0x80)
            sim::release(data[i]);
        else
            sim::press(data[i]);
    }
}

// Each call takes one byte and gives a 16-bit key code.
void each_byte_through_inkey2(const std::uint8_t* data, std::size_t size) {
    queue(data, size);
    for (std::size_t i = 0; i < size; ++i) {
        int code = vora256::inkey2();
        if (code < 0 || code > 0xFFFF) std::abort();
    }
    if (platform::machine::key_waiting()) std::abort();
}

// The line it leaves is at most 38 characters.
void bytes_into_inputc(const std::uint8_t* data, std::size_t size) {
    modifiers_released();
    queue(data, size);
    sim::key(kEnter);
    int size_pick = size > 0 ? data[0] % 4 + 1 : 1;
    vora256::FONTX = size_pick;
    vora256::FONTY = size_pick;
    vora256::inputc(20, 100, "");
    if (strnlen(vora256::VARI, sizeof vora256::VARI) > 38) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    test::switch_on();
    modifiers_released();
    each_byte_through_inkey2(data, size);
    bytes_into_inputc(data, size);
    vora256::mode(0);
    return 0;
}
