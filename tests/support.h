// SPDX-License-Identifier: MIT
// What every library test starts from: a fresh simulated machine in graphics mode.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fresh_machine.h"
#include "sim.h"
#include "vora256.h"

namespace test {

constexpr int kScreenBytes = 5 * 65536;
constexpr int kAllBytes = 8 * 65536;

class Machine : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// A copy of all eight banks, to compare before and after.
std::vector<unsigned char> snapshot();
// Linear offsets at which two snapshots differ.
std::vector<int> differences(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);
int offset(int x, int y);

// A font whose every glyph differs from every other, written to a file in a fresh
// temporary folder; returns the 2040 glyph bytes.
std::vector<unsigned char> test_glyphs();
std::string temp_dir();
void write_file(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> read_file(const std::string& path);

// The value pattern_at(o) at every linear offset o of banks 0-4, a pattern in which
// neighbouring pixels and rows differ; written through the bank window.
unsigned char pattern_at(int offset);
void paint_pattern();
// A PCX file: the 128-byte header with xmax and ymax, the encoded pixels, the 0x0C marker
// and a 768-byte palette.
std::vector<unsigned char> pcx_file(int xmax, int ymax, const std::vector<unsigned char>& body,
                                    const std::vector<unsigned char>& palette);
// A 768-byte palette whose bytes differ and use all 8 bits.
std::vector<unsigned char> test_palette();
// Where the committed test files are.
std::string fixture(const std::string& name);

}  // namespace test
