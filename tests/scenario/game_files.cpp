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

Played play(const std::string& folder, const std::string& script, const std::string& arguments,
            const std::string& environment) {
    std::ofstream(folder + "script.txt") << script;
    Played run;
    run.out = folder + "out/";
    std::string command = "cd '" + folder + "' && rm -rf out && mkdir out && " + environment + " '" BRIN_SIM
                          "' --script script.txt --out out " + arguments + " > out/stdout.txt 2> out/stderr.txt";
    int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    Bytes text = read(run.out + "stdout.txt");
    run.stdout_text.assign(text.begin(), text.end());
    text = read(run.out + "stderr.txt");
    run.stderr_text.assign(text.begin(), text.end());
    return run;
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

Plan plan_game(const std::string& folder, double playing) {
    Plan p;
    Played look = play(folder, at(playing, "shot shuffled") + at(playing, "end"));
    EXPECT_EQ(look.status, 0);
    p.clicks = solving_clicks(board(shot(look, "shuffled")), playing + 1, &p.solved);
    Played whole = play(folder, p.clicks + at(p.solved + 100, "end"));
    p.black_out = tone_time(whole, 100, p.solved + 20);
    EXPECT_GT(p.black_out, p.solved + 60);
    // 20 cells of 16 cs, the game-over image for 3 s, fade out and in, and a margin.
    p.name_entry = p.black_out + 3.2 + 3 + 3.4 + 0.4 + 1;
    return p;
}

}  // namespace scenario
