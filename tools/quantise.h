// SPDX-License-Identifier: MIT
// From true colour to the game's 256 colours, with libimagequant, keeping the rules of
// colours.h.
#pragma once

#include "colours.h"
#include "picture.h"

namespace tools {

// `dithering` from 0 (none) to 1 (full Floyd-Steinberg). The same image always gives
// the same bytes. Throws std::runtime_error if the quantiser fails. With `keep_last_black`
// entry 255 is left black: the game fills the screen with colour 255 before the title
// palette comes into force.
Indexed quantise(const Image& image, float dithering, bool keep_last_black = false);

}  // namespace tools
