// Whole games played by brin-sim in a folder of small data files made here: a font whose
// glyphs all differ, four level pictures whose tiles are flat colours that tell the pieces
// apart, and title graphics of three flat rectangles.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace scenario {

constexpr int kTileColour = 16;  // piece p is painted in palette entry 16 + p

using Bytes = std::vector<unsigned char>;

// A fresh folder holding topaz.fon, 1.pcx-4.pcx and brin.pcx; ends in '/'.
std::string game_folder();

struct Played {
    int status = -1;
    std::string out;     // the output folder, ending in '/'
    std::string stdout_text;
    std::string stderr_text;
};

// Runs brin-sim in `folder` with the script and extra arguments; outputs go to folder/out.
Played play(const std::string& folder, const std::string& script, const std::string& arguments = "");

Bytes read(const std::string& path);
void write(const std::string& path, const Bytes& bytes);

// A shot's screen memory (banks 0-4).
struct Screen {
    Bytes vram;
    unsigned char at(int x, int y) const { return vram.at(static_cast<std::size_t>(x + 640 * y)); }
};
Screen shot(const Played& run, const std::string& name);

// The piece shown in each cell, read from a point of the cell that nothing else covers.
std::array<int, 20> board(const Screen& screen);

// Mouse clicks, one second per swap from `start`, that put the pieces back.
std::string solving_clicks(std::array<int, 20> cells, double start, double* end = nullptr);

// The number drawn by printn at (x, y) at magnification fx, fy in colour `ink`, read back
// glyph by glyph with the test font; -1 if a cell matches no digit or minus sign.
long read_number(const Screen& screen, int x, int y, int fx, int fy, int ink);

// The tones.log of a run as (microseconds, divisor) pairs.
std::vector<std::pair<long long, int>> tones(const Played& run);

}  // namespace scenario
