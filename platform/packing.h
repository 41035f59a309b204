// SPDX-License-Identifier: MIT
// What a recording takes from a compression library: CRC-32 digests and the packing of its
// contents. packing_zlib.cpp has them from zlib, for the window and the simulator;
// web/packing.cpp from the page, which packs and unpacks with the browser's deflate streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::recording {

// zlib's crc32: `crc` (0 to begin) continued over the bytes.
std::uint32_t crc32_of(std::uint32_t crc, const unsigned char* bytes, std::size_t size);

// The CRC-32 of the 640x480 picture in screen memory, continued over the palette registers.
std::uint32_t frame_crc();

// Appends the contents to `file`, packed as one zlib stream where the build packs them
// itself (the browser's page packs what follows the prefix); false when it could not.
bool pack(const std::vector<std::uint8_t>& contents, std::vector<std::uint8_t>& file);

// The contents of `file`, whose packed part starts at `from`, no longer than `declared`.
// `error` for a file whose packed part is damaged; one cut short leaves them shorter than
// declared and `cut_short` set.
std::vector<std::uint8_t> unpack(const std::vector<std::uint8_t>& file, std::size_t from, std::size_t declared,
                                 std::string& error, bool& cut_short);

}  // namespace platform::recording
