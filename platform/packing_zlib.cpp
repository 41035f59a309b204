// SPDX-License-Identifier: MIT
// A recording's digests and packing from zlib, for the window and the simulator.
#include <zlib.h>

#include <algorithm>
#include <utility>

#include "packing.h"

namespace platform::recording {

std::uint32_t crc32_of(std::uint32_t crc, const unsigned char* bytes, std::size_t size) {
    return static_cast<std::uint32_t>(::crc32(crc, bytes, static_cast<uInt>(size)));  // chunks of 64 KiB at most
}

namespace {

constexpr std::size_t kChunk = 65536;

void put_le32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t le32(const std::uint8_t* b) {
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// ---- packing ----

z_stream deflating;
bool deflating_open = false;

}  // namespace

void pack_begin() {
    if (deflating_open) deflateEnd(&deflating);
    deflating = z_stream{};
    deflating_open = deflateInit(&deflating, 9) == Z_OK;
}

// A block: its length, the CRC-32 of its bytes, and the bytes deflate gives for the part,
// flushed so that everything packed so far unpacks from the blocks up to here.
bool pack_block(const std::vector<std::uint8_t>& part, bool last, std::vector<std::uint8_t>& file) {
    if (!deflating_open) return false;
    std::vector<std::uint8_t> packed;
    deflating.next_in = const_cast<Bytef*>(part.data());
    deflating.avail_in = static_cast<uInt>(part.size());
    int status = Z_OK;
    do {
        std::size_t had = packed.size();
        packed.resize(had + kChunk);
        deflating.next_out = packed.data() + had;
        deflating.avail_out = kChunk;
        status = deflate(&deflating, last ? Z_FINISH : Z_SYNC_FLUSH);
        packed.resize(packed.size() - deflating.avail_out);
    } while (status == Z_OK && (deflating.avail_out == 0 || last));
    bool ok = last ? status == Z_STREAM_END : status == Z_OK || status == Z_BUF_ERROR;
    if (last || !ok) {
        deflateEnd(&deflating);
        deflating_open = false;
    }
    if (!ok) return false;
    put_le32(file, static_cast<std::uint32_t>(packed.size()));
    put_le32(file, crc32_of(0, packed.data(), packed.size()));
    file.insert(file.end(), packed.begin(), packed.end());
    return true;
}

// ---- unpacking ----

namespace {

struct Unpacking {
    z_stream z{};
    bool open = false;
    bool blocks = false;  // format 3: blocks, each with its length and CRC-32
    std::size_t most = 0;
    std::size_t at = 0;  // the place in the file of the next byte to come
    bool ended = false;  // the stream's end came
    Unpacked out;
    // The block coming, in format 3.
    std::uint8_t head[8] = {};
    std::size_t head_had = 0, left = 0, block_at = 0;
    std::uint32_t crc = 0;
} u;

void damaged_at(std::size_t where) {
    if (u.out.error.empty()) u.out.error = "is damaged at byte " + std::to_string(where);
}

// Unpacks the bytes, which stand at `u.at` in the file; damage is said at `where`, or where
// the stream found it when that is not given.
void inflate_bytes(const std::uint8_t* bytes, std::size_t size, std::size_t where) {
    u.z.next_in = const_cast<Bytef*>(bytes);
    u.z.avail_in = static_cast<uInt>(size);
    while (u.z.avail_in > 0 && u.out.error.empty()) {
        if (u.ended) {
            damaged_at(where != 0 ? where : u.at + (size - u.z.avail_in));  // nothing may follow the stream
            break;
        }
        // One byte past the most the contents may hold tells a stream that holds more.
        std::vector<std::uint8_t>& c = u.out.contents;
        std::size_t had = c.size(), room = std::min(kChunk, u.most + 1 - had);
        // Grown by doubling, never past what the contents may hold.
        if (c.capacity() < had + room) c.reserve(std::min(u.most + 1, std::max(2 * c.capacity(), had + room)));
        c.resize(had + room);
        u.z.next_out = c.data() + had;
        u.z.avail_out = static_cast<uInt>(room);
        uInt before = u.z.avail_in;
        int status = inflate(&u.z, Z_NO_FLUSH);
        c.resize(c.size() - u.z.avail_out);
        if (status == Z_STREAM_END) u.ended = true;
        bool stuck = status == Z_BUF_ERROR && u.z.avail_in == before && c.size() == had;
        if ((status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) || stuck || c.size() > u.most)
            damaged_at(where != 0 ? where : u.at + (size - u.z.avail_in));
    }
    u.at += size;
}

// Format 3: the blocks' lengths and CRC-32s read, their bytes unpacked; a block that fails
// its CRC is damaged where it begins.
void take_blocks(const std::uint8_t* bytes, std::size_t size) {
    while (size > 0 && u.out.error.empty()) {
        if (u.head_had == 0) {
            if (u.ended) {
                damaged_at(u.at);  // nothing may follow the block that ends the stream
                break;
            }
            u.block_at = u.at;
            u.crc = 0;
        }
        std::size_t n = std::min(size, sizeof u.head - u.head_had);
        std::copy(bytes, bytes + n, u.head + u.head_had);
        u.head_had += n;
        u.at += n;
        bytes += n;
        size -= n;
        if (u.head_had < sizeof u.head) break;
        if (u.left == 0) u.left = le32(u.head);
        n = std::min(size, u.left);
        u.crc = crc32_of(u.crc, bytes, n);
        inflate_bytes(bytes, n, u.block_at);
        bytes += n;
        size -= n;
        u.left -= n;
        if (u.left == 0) {
            if (u.crc != le32(u.head + 4)) damaged_at(u.block_at);
            u.head_had = 0;
        }
    }
}

}  // namespace

void unpack_begin(std::uint16_t format, std::size_t most, std::size_t from) {
    if (u.open) inflateEnd(&u.z);
    u = Unpacking{};
    u.open = inflateInit(&u.z) == Z_OK;
    if (!u.open) u.out.error = "can't be unpacked: out of memory";
    u.blocks = format >= 3;
    u.most = most;
    u.at = from;
}

bool unpack_more(const std::uint8_t* bytes, std::size_t size) {
    if (u.blocks)
        take_blocks(bytes, size);
    else
        inflate_bytes(bytes, size, 0);
    return u.out.error.empty();
}

Unpacked unpack_end() {
    if (u.open) inflateEnd(&u.z);
    u.open = false;
    // Before format 3 the stream holds exactly the length the file declares.
    if (!u.blocks && u.ended && u.out.contents.size() != u.most) damaged_at(u.at);
    // A whole block holds the stream's end; a stream that stops before it was cut short.
    bool in_block = u.blocks && u.head_had > 0;
    u.out.cut_short = u.out.error.empty() && (!u.ended || in_block);
    return std::move(u.out);
}

}  // namespace platform::recording
