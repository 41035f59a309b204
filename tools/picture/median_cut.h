// SPDX-License-Identifier: MIT
// A colour quantiser of our own, for the browser edition: libimagequant is GPL-3.0+ and the
// page is MIT. It lays out the palette as quantise() does (255 colours at the screen's 6-bit
// levels, the standard colours at their entries, the help ink repeating white) and dithers
// by error diffusion scaled by `dithering`, 0 to 1. The same image always gives the same bytes.
#pragma once

#include "colours.h"
#include "picture.h"

namespace tools {

Indexed quantise_median_cut(const Image& image, float dithering);

}  // namespace tools
