// SPDX-License-Identifier: MIT
// The sizes of the VGA the game runs on, named once for the library (vora256.h) and the
// machine (machine.h). A folder of its own, so that the game sees these and no more of the
// platform.
#pragma once

namespace vga {

constexpr int kWidth = 640;  // also the bytes from one screen row to the next
constexpr int kHeight = 480;
constexpr int kRight = kWidth - 1;    // the last column
constexpr int kBottom = kHeight - 1;  // the last row
constexpr int kBankBytes = 65536;     // the window, and each bank of screen memory
constexpr int kBanks = 8;
constexpr int kScreenBanks = 5;     // banks 0-4 hold the picture and its margin rows
constexpr int kPaletteBytes = 768;  // 256 registers of red, green and blue

}  // namespace vga
