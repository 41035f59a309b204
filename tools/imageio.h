// SPDX-License-Identifier: MIT
// Reading the pictures players bring, and writing PNG previews and PCX levels.
#pragma once

#include <cstddef>
#include <string>

#include "picture.h"

namespace tools {

// A PNG or JPEG file, recognised by its first bytes, as 8-bit sRGB the right way up:
// transparency is laid over black, a PNG that names no gamma is taken as sRGB at any depth,
// a JPEG's Exif orientation is undone and its CMYK or YCCK inks are turned into light.
// A large picture is shrunk as it is read, by a whole factor that leaves it at least
// `least_width` wide and `least_height` high, so that it is never held whole; one larger than
// 100 million pixels is refused before it is decoded.
// Throws std::runtime_error with a message fit for the player.
Image read_picture(const std::string& path, int least_width = 0, int least_height = 0);

// The orientation (1-8, 1 being as stored) in a JPEG's APP1 segment, given without its
// marker and length; 1 when the segment is no Exif block or holds no sound orientation.
int exif_orientation(const unsigned char* segment, std::size_t size);

void write_png(const std::string& path, const Image& image);

// pcx_bytes as a file, replaced whole or not at all: a link in its place (the launcher's to
// the shipped picture) is replaced, and the file it points to never written. Throws
// std::runtime_error when it can't be written.
void write_pcx(const std::string& path, const Indexed& picture);

// An indexed picture as the screen shows it: each component cut to its 6-bit level.
Image shown(const Indexed& picture);

}  // namespace tools
