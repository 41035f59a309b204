// SPDX-License-Identifier: MIT
// A recording's digests and packing in the browser, which has no zlib: the CRC-32 comes from
// the page's crc32.js (the npm package crc-32), run on the wasm memory in place, and the page
// packs and unpacks with the browser's deflate streams (recordings.js).
#include <emscripten.h>

#include <algorithm>

#include "packing.h"

EM_JS(std::uint32_t, page_crc32, (std::uint32_t crc, const unsigned char* bytes, std::size_t size),
      { return CRC32.buf(HEAPU8.subarray(bytes, bytes + size), crc); });
// The contents the page unpacked of the replay's file: their size, or copied into `into`.
EM_JS(int, page_unpacked_size, (), { return brinRecordings.unpacked().body.length; });
EM_JS(void, page_unpacked, (std::uint8_t * into, std::size_t room),
      { HEAPU8.set(brinRecordings.unpacked().body.subarray(0, room), into); });
// Where the page found its packed part damaged (-1: nowhere), and whether it was cut short.
EM_JS(double, page_damaged_at, (), { return brinRecordings.unpacked().damagedAt; });
EM_JS(bool, page_cut_short, (), { return brinRecordings.unpacked().cutShort; });

namespace platform::recording {

std::uint32_t crc32_of(std::uint32_t crc, const unsigned char* bytes, std::size_t size) {
    return page_crc32(crc, bytes, size);
}

// The page packs the contents when it offers the file.
void pack_begin() {}

bool pack_block(const std::vector<std::uint8_t>& part, bool, std::vector<std::uint8_t>& file) {
    file.insert(file.end(), part.begin(), part.end());
    return true;
}

// The page unpacked the file before the game started, within what its contents may hold.
namespace {
std::size_t most_contents = 0;
}

void unpack_begin(std::uint16_t, std::size_t most, std::size_t) { most_contents = most; }

bool unpack_more(const std::uint8_t*, std::size_t) { return false; }

Unpacked unpack_end() {
    Unpacked u;
    u.contents.resize(std::min(static_cast<std::size_t>(page_unpacked_size()), most_contents));
    page_unpacked(u.contents.data(), u.contents.size());
    if (double at = page_damaged_at(); at >= 0)
        u.error = "is damaged at byte " + std::to_string(static_cast<long long>(at));
    u.cut_short = page_cut_short();
    return u;
}

}  // namespace platform::recording
