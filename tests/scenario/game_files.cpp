// SPDX-License-Identifier: MIT
#include "game_files.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "support.h"

namespace scenario {
namespace {

struct Picture {
    int width, height;
    Bytes pixels;
    Bytes palette = Bytes(768, 0);  // 8-bit levels
    void set_colour(int index, int r, int g, int b) {
        palette[3 * index] = static_cast<unsigned char>(r);
        palette[3 * index + 1] = static_cast<unsigned char>(g);
        palette[3 * index + 2] = static_cast<unsigned char>(b);
    }
    void fill(int x, int y, int w, int h, unsigned char v) {
        for (int r = y; r < y + h; ++r) std::fill_n(pixels.begin() + r * width + x, w, v);
    }
};

// Rows run-length encoded (widths here are even), in a PCX file.
Bytes pcx(const Picture& p) {
    Bytes body;
    for (int y = 0; y < p.height; ++y) {
        const unsigned char* row = &p.pixels[static_cast<std::size_t>(y * p.width)];
        for (int x = 0; x < p.width;) {
            int run = 1;
            while (x + run < p.width && run < 63 && row[x + run] == row[x]) ++run;
            if (run > 1 || row[x] >= 0xC0) body.push_back(static_cast<unsigned char>(0xC0 + run));
            body.push_back(row[x]);
            x += run;
        }
    }
    return test::pcx_file(p.width - 1, p.height - 1, body, p.palette);
}

void standard_colours(Picture& p) {
    p.set_colour(0, 0, 0, 0);
    p.set_colour(1, 255, 255, 255);
    p.set_colour(2, 0, 255, 255);
    p.set_colour(5, 255, 255, 0);
    p.set_colour(7, 255, 0, 0);
    p.set_colour(254, 200, 200, 200);
}

}  // namespace

// Tile p is flat colour 16 + p; pictures differ by their tile colours.
Bytes level_picture(int n) {
    Picture p{640, 480, Bytes(640 * 480, 0)};
    standard_colours(p);
    for (int piece = 0; piece < 20; ++piece) {
        p.set_colour(kTileColour + piece, 40 + 9 * piece, 30 * n, 250 - 10 * piece);
        p.fill(160 * (piece % 4), 96 * (piece / 4), 160, 96, static_cast<unsigned char>(kTileColour + piece));
    }
    return pcx(p);
}

namespace {

// Title graphics: the opening, title and game-over images as flat rectangles 10, 11, 12.
Bytes title_picture() {
    Picture p{332, 98, Bytes(332 * 98, 0)};
    standard_colours(p);
    p.set_colour(10, 0, 128, 0);
    p.set_colour(11, 0, 0, 160);
    p.set_colour(12, 128, 0, 128);
    p.fill(218, 0, 112, 36, 10);
    p.fill(0, 0, 205, 55, 11);
    p.fill(88, 62, 244, 36, 12);
    return pcx(p);
}

}  // namespace

std::string game_folder() {
    std::string dir = test::temp_dir();
    write(dir + "topaz.fon", test::test_glyphs());
    for (int n = 1; n <= 4; ++n) write(dir + std::to_string(n) + ".pcx", level_picture(n));
    write(dir + "brin.pcx", title_picture());
    return dir;
}

Bytes read(const std::string& path) { return test::read_file(path); }
void write(const std::string& path, const Bytes& bytes) { test::write_file(path, bytes); }

std::string at(double t, const std::string& command) {
    std::ostringstream line;
    line << t << " " << command << "\n";
    return line.str();
}

namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// The shell commands of one run, in a file of their own so that the shell running them is
// the process that becomes brin-sim; the run's exit status goes to NAME/status.
std::string run_command(const Launch& r, const std::string& script_file) {
    std::ofstream(r.folder + script_file) << r.script;
    std::string environment = r.environment.empty() ? "" : "env " + r.environment + " ";
    std::ofstream(r.folder + r.name + ".sh")
        << "cd " << quoted(r.folder) << " && rm -rf " << quoted(r.name) << " && mkdir " << quoted(r.name)
        << " || exit 1\n"
        << (r.before.empty() ? "" : r.before + " || exit 1\n") << "exec " << environment << "'" BRIN_SIM "' --script "
        << quoted(script_file) << " --out " << quoted(r.name) << " " << r.arguments << " > "
        << quoted(r.name + "/stdout.txt") << " 2> " << quoted(r.name + "/stderr.txt") << "\n";
    return "sh " + quoted(r.folder + r.name + ".sh") + "; echo $? > " + quoted(r.folder + r.name + "/status");
}

Played result_of(const Launch& r) {
    Played run;
    run.out = r.folder + r.name + "/";
    Bytes text = read(run.out + "status");
    std::string status(text.begin(), text.end());
    run.status = status.empty() ? -1 : std::stoi(status);
    text = read(run.out + "stdout.txt");
    run.stdout_text.assign(text.begin(), text.end());
    text = read(run.out + "stderr.txt");
    run.stderr_text.assign(text.begin(), text.end());
    return run;
}

}  // namespace

Played play(const std::string& folder, const std::string& script, const std::string& arguments,
            const std::string& environment, const std::string& before) {
    Launch r{folder, "out", script, arguments, environment, before};
    std::string command = run_command(r, "script.txt");
    if (std::system(command.c_str()) == -1) throw std::runtime_error("no shell to run brin-sim");
    return result_of(r);
}

std::vector<Played> play_together(const std::vector<Launch>& runs) {
    std::string command;
    for (const Launch& r : runs) {
        command += '(';
        command += run_command(r, r.name + ".txt");
        command += ") &\n";
    }
    command += "wait\n";
    if (std::system(command.c_str()) == -1) throw std::runtime_error("no shell to run brin-sim");
    std::vector<Played> played;
    for (const Launch& r : runs) played.push_back(result_of(r));
    return played;
}

Screen shot(const Played& run, const std::string& name) {
    Screen s{read(run.out + name + ".vram")};
    if (s.vram.size() != 5 * 65536) throw std::runtime_error("no shot " + name);
    return s;
}

std::array<int, 20> board(const Screen& screen) {
    std::array<int, 20> cells{};
    for (int c = 0; c < 20; ++c) cells[c] = screen.at(sample_x(c), sample_y(c)) - kTileColour;
    return cells;
}

std::vector<std::pair<int, int>> solving_swaps(std::array<int, 20> cells) {
    std::vector<std::pair<int, int>> swaps;
    for (int c = 0; c < 20; ++c) {
        if (cells[c] == c) continue;
        int d = static_cast<int>(std::find(cells.begin(), cells.end(), c) - cells.begin());
        swaps.push_back({c, d});
        std::swap(cells[c], cells[d]);
    }
    return swaps;
}

std::string solving_clicks(std::array<int, 20> cells, double start, double* end) {
    std::ostringstream script;
    auto click = [&](int cell) {
        script << start << " mouse " << click_x(cell) << " " << click_y(cell) << " 4\n"
               << start + 0.25 << " mouse " << click_x(cell) << " " << click_y(cell) << " 0\n";
        start += 0.5;
    };
    for (auto [c, d] : solving_swaps(cells)) {
        click(c);
        click(d);
    }
    if (end != nullptr) *end = start;
    return script.str();
}

bool shows_glyph(const Screen& screen, int x, int y, int fx, int fy, int ink, const unsigned char* glyph) {
    for (int py = 0; py < 8 * fy; ++py)
        for (int px = 0; px < 8 * fx; ++px) {
            bool on = (glyph[py / fy] >> (7 - px / fx)) & 1;
            if ((screen.at(x + px, y + py) == ink) != on) return false;
        }
    return true;
}

long read_number(const Screen& screen, int x, int y, int fx, int fy, int ink) {
    static const Bytes glyphs = test::test_glyphs();
    std::string text;
    for (int cx = x;; cx += 8 * fx) {
        auto is = [&](int code) { return shows_glyph(screen, cx, y, fx, fy, ink, &glyphs[8 * code]); };
        int code = 0;
        for (int c : {'-', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'})
            if (is(c)) code = c;
        if (code == 0) break;
        text += static_cast<char>(code);
    }
    return text.empty() || text == "-" ? -1 : std::stol(text);
}

bool save_error_shown(const Screen& screen) {
    static const Bytes glyphs = test::test_glyphs();
    constexpr int kYellow = 5;  // where the test pictures keep it
    const std::string message = "Error archivo MAX.PUN";
    for (std::size_t k = 0; k < message.size(); ++k)
        if (!shows_glyph(screen, 1 + 16 * static_cast<int>(k), 1, 2, 2, kYellow,
                         &glyphs[8 * static_cast<std::size_t>(message[k])]))
            return false;
    return true;
}

Bytes shown_table(const Screen& screen) {
    static const Bytes glyphs = test::test_glyphs();
    Bytes table(58, 0);
    for (int i = 0; i < 5; ++i) {
        int y = 160 + 16 * i, ink = i + 2;  // the rows of the table, each in its colour
        for (int j = 0; j < 8; ++j) {
            int code = 0;
            while (code < 255 &&
                   !shows_glyph(screen, 210 + 16 * j, y, 2, 2, ink, &glyphs[8 * static_cast<std::size_t>(code)]))
                ++code;
            if (code == 255) return {};
            table[10 + 6 * static_cast<std::size_t>(j) + static_cast<std::size_t>(i)] =
                static_cast<unsigned char>(code);
        }
        long score = read_number(screen, 388, y, 2, 2, ink);
        if (score < 0) return {};
        table[2 * static_cast<std::size_t>(i)] = static_cast<unsigned char>(score & 0xFF);
        table[2 * static_cast<std::size_t>(i) + 1] = static_cast<unsigned char>(score >> 8);
    }
    return table;
}

Bytes without_swap_column(Bytes file) {
    file.resize(58, 0);
    for (std::size_t at = 15; at < 58; at += 6) file[at] = 0;
    return file;
}

namespace {

std::vector<Entry> entries_of(const Bytes& table) {
    std::vector<Entry> entries;
    for (std::size_t e = 0; e < 5; ++e) {
        Entry entry{table[2 * e] | table[2 * e + 1] << 8, ""};
        for (std::size_t r = 0; r < 8 && table[10 + 6 * r + e] != 0; ++r)
            entry.name += static_cast<char>(table[10 + 6 * r + e]);
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace

Bytes table_file(const std::vector<Entry>& entries) {
    Bytes table(58, 0);
    for (std::size_t e = 0; e < entries.size() && e < 5; ++e) {
        table[2 * e] = static_cast<unsigned char>(entries[e].score & 0xFF);
        table[2 * e + 1] = static_cast<unsigned char>(entries[e].score >> 8);
        for (std::size_t r = 0; r < entries[e].name.size() && r < 8; ++r)
            table[10 + 6 * r + e] = static_cast<unsigned char>(entries[e].name[r]);
    }
    return table;
}

Bytes with_entry(const Bytes& table, const Entry& entry) {
    std::vector<Entry> entries = entries_of(table);
    if (entry.score <= entries[4].score) return without_swap_column(table);
    entries[4] = entry;
    for (std::size_t k = 4; k > 0 && entries[k - 1].score < entries[k].score; --k)
        std::swap(entries[k - 1], entries[k]);
    return table_file(entries);
}

std::vector<std::pair<long long, int>> tones(const Played& run) {
    std::ifstream in(run.out + "tones.log");
    std::vector<std::pair<long long, int>> out;
    long long us = 0;
    int divisor = 0;
    while (in >> us >> divisor) out.push_back({us, divisor});
    return out;
}

double tone_time(const Played& run, int divisor, double from) {
    for (auto [us, d] : tones(run))
        if (d == divisor && us >= from * 1e6) return static_cast<double>(us) / 1e6;
    return -1;
}

namespace {

// Console key numbers of letters; anything else is a space.
int key_of(char c) {
    const char* rows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
    const int first[] = {16, 30, 44};
    for (int r = 0; r < 3; ++r)
        if (const char* p = std::strchr(rows[r], c)) return first[r] + static_cast<int>(p - rows[r]);
    return 57;
}

}  // namespace

std::string type(double t, const std::string& text) {
    std::string out;
    for (char c : text) out += at(t += 0.1, "key " + std::to_string(key_of(c)));
    return out;
}

std::string name_then_enter(double t, const std::string& name) {
    return type(t, name) + at(t + 0.2 + 0.1 * static_cast<double>(name.size()), "key " + std::to_string(kEnter));
}

Plan plan_game(const std::string& folder, double playing, const std::string& arguments) {
    Plan p;
    Played look = play(folder, at(playing, "shot shuffled") + at(playing, "end"), arguments);
    EXPECT_EQ(look.status, 0);
    p.clicks = solving_clicks(board(shot(look, "shuffled")), playing + 1, &p.solved);
    Played whole = play(folder, p.clicks + at(p.solved + 100, "end"), arguments);
    p.black_out = tone_time(whole, 100, p.solved + 20);
    EXPECT_GT(p.black_out, p.solved + 60);
    // 20 cells of 16 cs, the game-over image for 3 s, fade out and in, and a margin.
    p.name_entry = p.black_out + 3.2 + 3 + 3.4 + 0.4 + 1;
    return p;
}

}  // namespace scenario
