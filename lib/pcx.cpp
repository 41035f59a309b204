// SPDX-License-Identifier: MIT
// PCX pictures: 8-bit single-plane run-length encoded, 256 colours in the last 768 bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "vora256.h"

namespace vora256 {

int CX = 0;
int CY = 0;
std::FILE* pf = nullptr;

namespace {

constexpr int kHeader = 128;
constexpr long long kScreenBytes = static_cast<long long>(kPictureBanks) * kBankBytes;
constexpr unsigned kRun = 0xC0;                // bytes above it start a run

// The next byte of the file; past its end every read gives 255.
unsigned char next_byte() {
    int c = std::getc(pf);
    return c == EOF ? 255 : static_cast<unsigned char>(c);
}

struct Picture {
    int width;   // xmax + 1 rounded up to even: the length of an encoded row
    int height;  // ymax + 1
    std::uint64_t pixels() const { return std::uint64_t(width) * std::uint64_t(height); }
};

// The header goes through pal; the palette read at the end overwrites it. A file shorter
// than its header reads 255 for the bytes it lacks, as it does past the end of the pixels.
Picture read_header() {
    for (int i = 0; i < kHeader; ++i) pal[i] = next_byte();
    int width = (pal[8] | pal[9] << 8) + 1;
    int height = (pal[10] | pal[11] << 8) + 1;
    return {width + (width & 1), height};
}

// Decodes `count` pixels and hands them on a run at a time to `put(value, length)`, which
// says whether to go on. A run that passes the last pixel is cut there.
template <typename Put>
void decode(std::uint64_t count, Put put) {
    while (count > 0) {
        unsigned value = next_byte();
        unsigned run = 1;
        if (value > kRun) {
            run = value - kRun;
            value = next_byte();
        }
        if (run > count) run = static_cast<unsigned>(count);
        count -= run;
        if (!put(static_cast<unsigned char>(value), static_cast<int>(run))) return;
    }
}

// The last 768 bytes of the file, 8-bit levels made 6-bit. A file shorter than that gives
// all it has from its first byte on, and the bytes it lacks are 0. The spare byte 768 gets
// nothing from the file and is shifted like the rest.
void read_palette() {
    std::fseek(pf, 0, SEEK_END);
    long size = std::ftell(pf);
    std::fseek(pf, size > kPaletteBytes ? size - kPaletteBytes : 0, SEEK_SET);
    std::size_t got = std::fread(pal, 1, kPaletteBytes, pf);
    std::memset(pal + got, 0, kPaletteBytes - got);
    for (int i = 0; i < kPalBytes; ++i) pal[i] >>= 2;
}

// Where loadpcx writes: rows of `width` pixels from (CX, CY) at linear offsets, a row wider
// than the rest of the screen row running on into the next. Pixels at negative coordinates
// or past screen memory (banks 0-4) are dropped.
class Pen {
public:
    explicit Pen(int width) : width_(width), x0_(static_cast<std::int16_t>(CX)), y_(static_cast<std::int16_t>(CY)) {}

    // Paints n pixels of one value from the current position on; false once every pixel
    // still to come would be dropped.
    bool put(unsigned char value, int n) {
        while (n > 0) {
            int here = std::min(n, width_ - column_);
            paint(value, here);
            n -= here;
            column_ += here;
            if (column_ == width_) {
                column_ = 0;
                ++y_;
                if (row_start() >= kScreenBytes) return false;
            }
        }
        return true;
    }

private:
    long long row_start() const { return x0_ + static_cast<long long>(kPitch) * y_; }

    // n pixels within the current row, less those left of column 0 or past screen memory.
    void paint(unsigned char value, int n) {
        if (y_ < 0) return;
        long long x = x0_ + column_;
        long long skip = x < 0 ? std::min<long long>(-x, n) : 0;
        long long from = row_start() + column_ + skip;
        long long length = std::min<long long>(n - skip, kScreenBytes - from);
        if (length > 0) fill_run(static_cast<unsigned>(from), value, static_cast<int>(length));
    }

    int width_;
    int x0_;
    long long y_;
    int column_ = 0;
};

bool open_picture(const char* path) {
    pf = abre_datos(path);
    return pf != nullptr;
}

void close_picture() {
    std::fclose(pf);
    pf = nullptr;
}

}  // namespace

void loadpcx(const char* path) {
    if (!open_picture(path)) return;
    std::memset(pal, 0, kPalBytes);
    paletapal();
    Picture picture = read_header();
    Pen pen(picture.width);
    decode(picture.pixels(), [&pen](unsigned char value, int n) { return pen.put(value, n); });
    read_palette();
    paletapal();
    close_picture();
}

void loadblock(int slot, const char* path) {
    if (slot < 0 || slot >= kBlockSlots || !open_picture(path)) return;
    Picture picture = read_header();
    if (!newblock(slot, picture.width, picture.height)) {
        error(8);
        close_picture();
        return;
    }
    unsigned char* into = grafi[slot] + kBlockHeader;
    decode(picture.pixels(), [&into](unsigned char value, int n) {
        std::memset(into, value, static_cast<std::size_t>(n));
        into += n;
        return true;
    });
    read_palette();
    std::memcpy(grafip[slot], pal, kPalBytes);
    close_picture();
}

}  // namespace vora256
