// SPDX-License-Identifier: MIT
// Whole games played by brin-sim in a folder of small data files made here: a font whose
// glyphs all differ, four level pictures whose tiles are flat colours that tell the pieces
// apart, and title graphics of three flat rectangles.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace scenario {

constexpr int kTileColour = 16;  // piece p is painted in palette entry 16 + p

using Bytes = std::vector<unsigned char>;

// A fresh folder holding topaz.fon, 1.pcx-4.pcx and brin.pcx; ends in '/'.
std::string game_folder();
// The level picture n.pcx of that folder: tile p in flat colour kTileColour + p.
Bytes level_picture(int n);

struct Played {
    int status = -1;
    std::string out;  // the output folder, ending in '/'
    std::string stdout_text;
    std::string stderr_text;
};

// Virtual seconds at which the first level is being played: after the start-up (with its
// three-second message when max.pun is missing), the title sequence and the level's
// shuffle. Later moments are measured from the tone log.
constexpr double kPlayWithoutFile = 23;
constexpr double kPlayWithFile = 20;

constexpr int kEnter = 28;  // console key numbers

// One script line: COMMAND at virtual second t.
std::string at(double t, const std::string& command);

// Runs brin-sim in `folder` with the script, extra arguments and variables set in its
// environment ("NAME=value ..."), after the shell commands `before` as play_together runs
// them; outputs go to folder/out. A run killed by a signal has the shell's status, 128 +
// the signal.
Played play(const std::string& folder, const std::string& script, const std::string& arguments = "",
            const std::string& environment = "", const std::string& before = "");

// One of several runs of brin-sim at once: its script goes to folder/NAME.txt, its outputs to
// folder/NAME/. `before` is shell commands run in the folder by the process that then becomes
// brin-sim (its $$ is brin-sim's process id); `arguments` and `environment` as for play. Run
// in the background, they ignore SIGINT and SIGQUIT, as the shell has it.
struct Launch {
    std::string folder;
    std::string name;
    std::string script;
    std::string arguments;
    std::string environment;
    std::string before;
};
// Starts them all together and waits for all; the results in the same order.
std::vector<Played> play_together(const std::vector<Launch>& runs);

Bytes read(const std::string& path);
void write(const std::string& path, const Bytes& bytes);

// A shot's screen memory (banks 0-4).
struct Screen {
    Bytes vram;
    unsigned char at(int x, int y) const { return vram.at(static_cast<std::size_t>(x + 640 * y)); }
};
Screen shot(const Played& run, const std::string& name);

// A point of a cell that nothing but its piece covers: not the grid, the frames, the
// countdown or the pointer after a click.
inline int sample_x(int cell) { return 160 * (cell % 4) + 140; }
inline int sample_y(int cell) { return 96 * (cell / 4) + 80; }
// The piece shown in each cell, read at its sample point.
std::array<int, 20> board(const Screen& screen);

// The swaps (cell, cell) that put the pieces back, in order.
std::vector<std::pair<int, int>> solving_swaps(std::array<int, 20> cells);
// Where a click chooses a cell: a point of it away from the countdown and the frames.
inline int click_x(int cell) { return 160 * (cell % 4) + 60; }
inline int click_y(int cell) { return 96 * (cell / 4) + 70; }
// Mouse clicks, one second per swap from `start`, that put the pieces back.
std::string solving_clicks(std::array<int, 20> cells, double start, double* end = nullptr);

// Whether the character cell at (x, y), magnified fx, fy, shows the 8-row glyph: colour
// `ink` exactly where the glyph has a 1 bit.
bool shows_glyph(const Screen& screen, int x, int y, int fx, int fy, int ink, const unsigned char* glyph);

// The number drawn by printn at (x, y) at magnification fx, fy in colour `ink`, read back
// glyph by glyph with the test font; -1 if a cell matches no digit or minus sign.
long read_number(const Screen& screen, int x, int y, int fx, int fy, int ink);

// Whether "Error archivo MAX.PUN" shows at (1, 1), 2x, in yellow: a save that failed,
// over the name entry.
bool save_error_shown(const Screen& screen);

// The high-score table a screen shows, as the 58 bytes of its file with the swap column
// (offsets 15, 21, ... 57) zero; read back with the test font. Empty when a cell of it
// shows no glyph or a score no number.
Bytes shown_table(const Screen& screen);
// A table file as the game reads it (the first 58 bytes, zero past its end) with the swap
// column zero, to compare with a table shown.
Bytes without_swap_column(Bytes file);

// A table file of entries (score, name), best first, with the swap column zero.
struct Entry {
    int score;
    std::string name;
};
Bytes table_file(const std::vector<Entry>& entries);
// The table with an entry sorted in as the game does it: the entry takes the fifth place
// if it beats it and rises above lower scores, staying below equal ones.
Bytes with_entry(const Bytes& table, const Entry& entry);

// The tones.log of a run as (microseconds, divisor) pairs.
std::vector<std::pair<long long, int>> tones(const Played& run);
// First moment, in seconds, of a tone with this divisor at or after `from`; -1 if none.
double tone_time(const Played& run, int divisor, double from = 0);

// Letters typed one key each, 0.1 s apart from t on.
std::string type(double t, const std::string& text);
// A name typed from t on, then Enter.
std::string name_then_enter(double t, const std::string& name);

// A game whose first level is solved from the screen and whose second runs out.
struct Plan {
    std::string clicks;     // the swaps of the first level
    double solved = 0;      // when the last click is done
    double black_out = 0;   // negro(1)'s tone, in the game-over sequence
    double name_entry = 0;  // the name can be typed from here on
};
// Works the plan out from two runs in `folder`, whose first level is played from `playing`,
// with extra arguments for brin-sim that the game will be played with.
Plan plan_game(const std::string& folder, double playing, const std::string& arguments = "");

}  // namespace scenario
