// SPDX-License-Identifier: MIT
// A recording's digests and packing from zlib, for the window and the simulator.
#include <zlib.h>

#include <algorithm>

#include "machine.h"
#include "packing.h"

namespace platform::recording {

std::uint32_t crc32_of(std::uint32_t crc, const unsigned char* bytes, std::size_t size) {
    return static_cast<std::uint32_t>(::crc32(crc, bytes, static_cast<uInt>(size)));  // chunks of 64 KiB at most
}

// The picture's banks are digested one by one and each digest kept until its bank changes:
// a frame mostly changes one or two, and digesting all five each frame would cost a window
// more than the rest of recording together.
std::uint32_t frame_crc() {
    static long digested[machine::kScreenBanks] = {-1, -1, -1, -1, -1};
    static uLong digest_of[machine::kScreenBanks];
    const unsigned char* screen = machine::screen_memory();  // what the window holds written back first
    uLong c = ::crc32(0, nullptr, 0);
    for (int b = 0; b < machine::kScreenBanks; ++b) {
        auto length = static_cast<uInt>(
            std::min(machine::kBankSize, machine::kWidth * machine::kHeight - b * machine::kBankSize));
        if (machine::bank_changes(b) != digested[b]) {
            digest_of[b] = ::crc32(0, screen + std::size_t{machine::kBankSize} * b, length);
            digested[b] = machine::bank_changes(b);
        }
        c = crc32_combine(c, digest_of[b], length);
    }
    return static_cast<std::uint32_t>(::crc32(c, machine::palette_registers(), machine::kPaletteBytes));
}

bool pack(const std::vector<std::uint8_t>& contents, std::vector<std::uint8_t>& file) {
    std::size_t from = file.size();
    uLongf packed = compressBound(static_cast<uLong>(contents.size()));
    file.resize(from + packed);
    if (compress2(file.data() + from, &packed, contents.data(), static_cast<uLong>(contents.size()), 9) != Z_OK)
        return false;
    file.resize(from + packed);
    return true;
}

std::vector<std::uint8_t> unpack(const std::vector<std::uint8_t>& file, std::size_t from, std::size_t declared,
                                 std::string& error, bool& cut_short) {
    std::vector<std::uint8_t> body;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        error = "can't be unpacked: out of memory";
        return body;
    }
    z.next_in = const_cast<Bytef*>(file.data() + from);
    z.avail_in = static_cast<uInt>(file.size() - from);
    // Grown as the contents come, never past what they declare: a file that claims much and
    // holds little costs little.
    int status = Z_OK;
    while (status == Z_OK && body.size() < declared) {
        std::size_t had = body.size();
        body.resize(std::min(declared, had + std::max<std::size_t>(had, 65536)));
        z.next_out = body.data() + had;
        z.avail_out = static_cast<uInt>(body.size() - had);
        status = inflate(&z, Z_SYNC_FLUSH);
        body.resize(body.size() - z.avail_out);
    }
    // Past the declared length, only the end of the packed stream may remain.
    if (status == Z_OK && body.size() == declared) {
        std::uint8_t spare;
        z.next_out = &spare;
        z.avail_out = 1;
        status = inflate(&z, Z_SYNC_FLUSH);
        if (z.avail_out == 0) status = Z_DATA_ERROR;
    }
    std::size_t in = z.total_in;
    bool input_left = z.avail_in > 0;
    inflateEnd(&z);
    cut_short = (status == Z_OK || status == Z_BUF_ERROR) && !input_left && body.size() < declared;
    bool whole = status == Z_STREAM_END && body.size() == declared && !input_left;
    if (!whole && !cut_short) error = "is damaged at byte " + std::to_string(from + in);
    return body;
}

}  // namespace platform::recording
