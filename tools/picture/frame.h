// SPDX-License-Identifier: MIT
// Bringing a picture of any size to the game's 640x480.
#pragma once

#include "picture.h"

namespace tools {

enum class Framing {
    crop,  // fill the whole frame, cutting what sticks out on two sides, centred
    fit,   // show all of the picture, with black bars where it doesn't fill the frame
};

Image frame(const Image& source, int width, int height, Framing how);

}  // namespace tools
