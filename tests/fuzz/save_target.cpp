// SPDX-License-Identifier: MIT
// Fuzz target for the save of the high-score table. The input holds a table file read at
// start-up, a total, the key bytes of a typed name and, when the first byte says so, the
// table another game saved (or removed) before this one saves. After the save the file must
// be the table the game shows, 58 bytes, holding the scores it was sorted into less the
// fifth it pushed out, and no file of the save may be left behind.
//
//   byte 0        bit 0: another game changed the file; bit 1: removed it instead
//                 bit 2: no file at start-up
//   bytes 1-2     the total, low byte first
//   byte 3        n, then n key bytes (an Enter follows them)
//   byte 4 + n    m, then m bytes of the start-up file; the rest is the other game's file
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "brin.h"
#include "fresh_machine.h"
#include "input_file.h"

namespace {

using Bytes = std::vector<unsigned char>;

char folder[] = "/tmp/brin-save-fuzzXXXXXX";

void remove_folder() { std::filesystem::remove_all(folder); }

bool in_own_folder() {
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) return false;
    std::atexit(remove_folder);
    return true;
}

bool write_table(const unsigned char* data, std::size_t size) {
    int fd = open("max.pun", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool written = fuzz::write_all(fd, data, size);
    return close(fd) == 0 && written;
}

Bytes file() {
    Bytes bytes(100, 0);
    int fd = open("max.pun", O_RDONLY);
    if (fd < 0) return {};
    ssize_t n = read(fd, bytes.data(), bytes.size());
    close(fd);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

// The table as the game reads a file: the first 58 bytes, zero where it is shorter.
Bytes as_read(Bytes bytes) {
    bytes.resize(58, 0);
    return bytes;
}

Bytes in_memory() {
    Bytes b(58);
    for (int e = 0; e < 5; ++e) {
        b[2 * e] = static_cast<unsigned char>(brin::puntos[e] & 0xFF);
        b[2 * e + 1] = static_cast<unsigned char>(brin::puntos[e] >> 8);
    }
    std::copy(brin::nombres, brin::nombres + 48, b.begin() + 10);
    return b;
}

std::vector<int> sorted_scores(const Bytes& table) {
    std::vector<int> s;
    for (int e = 0; e < 5; ++e) s.push_back(table[2 * e] | table[2 * e + 1] << 8);
    std::sort(s.begin(), s.end());
    return s;
}

bool save_left_files() {
    for (const auto& entry : std::filesystem::directory_iterator("."))
        if (entry.path().filename().string().rfind("max.pun.new", 0) == 0) return true;
    return false;
}

struct Input {
    unsigned flags = 0;
    int total = 0;
    const std::uint8_t* keys = nullptr;
    std::size_t key_count = 0;
    const std::uint8_t* start_file = nullptr;
    std::size_t start_size = 0;
    const std::uint8_t* other_file = nullptr;
    std::size_t other_size = 0;
};

bool parse(const std::uint8_t* data, std::size_t size, Input& in) {
    if (size < 5) return false;
    in.flags = data[0];
    in.total = data[1] | data[2] << 8;
    in.key_count = std::min<std::size_t>(data[3], size - 4);
    in.keys = data + 4;
    std::size_t at = 4 + in.key_count;
    if (at >= size) return false;
    in.start_size = std::min<std::size_t>(data[at], size - at - 1);
    in.start_file = data + at + 1;
    in.other_file = in.start_file + in.start_size;
    in.other_size = size - (at + 1 + in.start_size);
    return true;
}

void type(const Input& in) {
    for (std::size_t i = 0; i < in.key_count; ++i) {
        if (in.keys[i] & 0x80)
            sim::release(in.keys[i]);
        else
            sim::press(in.keys[i]);
    }
    sim::key(28);  // Enter
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = in_own_folder();
    if (!ready) std::abort();
    Input in;
    if (!parse(data, size, in)) return 0;
    std::remove("max.pun");
    if ((in.flags & 4) == 0 && !write_table(in.start_file, in.start_size)) return 0;

    test::switch_on();
    vora256::sfteclado = vora256::agteclado = vora256::bmteclado = vora256::nuteclado = 0;
    sim::set_quantum_us(100000);
    std::memset(brin::puntos, 0, sizeof brin::puntos);
    std::memset(brin::nombres, 0, sizeof brin::nombres);
    brin::leer_puntos();
    bool enters = static_cast<std::int16_t>(in.total) > brin::puntos[4];
    Bytes start = file();
    if (in.flags & 2)
        std::remove("max.pun");
    else if ((in.flags & 1) && !write_table(in.other_file, in.other_size))
        return 0;
    Bytes before = file();
    type(in);
    brin::puntuar(in.total);
    vora256::mode(0);

    Bytes after = file();
    if (save_left_files()) std::abort();
    if (!enters) {
        if (after != before) std::abort();
        return 0;
    }
    if (after != in_memory()) std::abort();  // the file is the table shown
    // The table it went into, as on disk just before (this game's own when the file was
    // removed or cut short of a table meanwhile), keeps its scores but the fifth; the new
    // one is there if it beat that fifth.
    Bytes base = as_read((in.flags & 2) || before.size() < 58 ? start : before);
    int fifth = base[8] | base[9] << 8;
    std::vector<int> expected = sorted_scores(base);
    if (in.total > fifth) {
        expected.erase(std::find(expected.begin(), expected.end(), fifth));
        expected.push_back(in.total);
        std::sort(expected.begin(), expected.end());
    }
    if (sorted_scores(after) != expected) std::abort();
    return 0;
}
