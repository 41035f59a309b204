// SPDX-License-Identifier: MIT
// Files the simulator and the tools write: a FILE that closes itself, pictures as PNG and
// sound as WAV.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace platform::files {

struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, Closer>;

// Each file is written whole through the store's writer (store.h): never half written,
// never through a symbolic link.

// `size` bytes as the whole of a file; false when it can't be written.
bool write_file(const std::string& path, const unsigned char* data, std::size_t size);

// A width x height picture of 8-bit red-green-blue triples, row by row, as a PNG file;
// false when it can't be written.
bool write_png(const std::string& path, int width, int height, const unsigned char* rgb);

// 16-bit mono PCM in a RIFF WAVE file; false when it can't be written.
bool write_wav(const char* path, const std::vector<float>& samples, int rate);

}  // namespace platform::files
