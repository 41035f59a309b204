// Reading the pictures players bring, and writing PNG previews.
#pragma once

#include <string>

#include "picture.h"

namespace tools {

// A PNG or JPEG file, recognised by its first bytes, as 8-bit RGB (transparency is laid
// over black). Throws std::runtime_error with a message fit for the player.
Image read_picture(const std::string& path);

void write_png(const std::string& path, const Image& image);

// An indexed picture as the screen shows it: each component cut to its 6-bit level.
Image shown(const Indexed& picture);

}  // namespace tools
