// SPDX-License-Identifier: MIT
// Whole games on brin-sim with damaged data files: each run reaches a level, lets its
// countdown run out and shows the high-score table. The game must come through every one
// (a sanitizer build turns any stray read or write into a failed run) and show what the
// files hold as far as they hold it.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "scenario/game_files.h"
#include "support.h"

using namespace scenario;

namespace {

constexpr double kPlaying = 21;  // the first level is shuffled and counting down
constexpr int kBlackOut = 100;   // divisor of the game-over sequence's first tone

// The table's rows: entry i's name cells at (210 + 16 j, 160 + 16 i), its score at
// (388, 160 + 16 i), in colour i + 2 on black, at 2x.
constexpr int kNameX = 210, kScoreX = 388, kRowY = 160, kRowStep = 16, kPaper = 0;
int ink_of_row(int i) { return i + 2; }

// A high-score file out of order, with letters, zero and 255 among its name bytes, and
// going on well past its 58 bytes.
Bytes long_scores() {
    Bytes b(10000);
    const int scores[] = {300, 65535, 7, 1200, 42};
    for (int e = 0; e < 5; ++e) {
        b[2 * e] = static_cast<unsigned char>(scores[e] & 0xFF);
        b[2 * e + 1] = static_cast<unsigned char>(scores[e] >> 8);
    }
    for (std::size_t i = 10; i < b.size(); ++i) b[i] = static_cast<unsigned char>("abc\0\xff"[i % 5]);
    return b;
}

template <typename Case>
std::string case_name(const ::testing::TestParamInfo<Case>& c) {
    return c.param.name;
}

Bytes prefix(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(n)); }

class Hostile : public ::testing::Test {
protected:
    // When the first game's time-out starts the game-over sequence, with sound files. The
    // damaged files change no timing: none of the loaders reads the clock.
    static void SetUpTestSuite() {
        std::string folder = game_folder();
        write(folder + "max.pun", prefix(long_scores(), 58));
        Played run = play(folder, at(120, "end"));
        black_out = tone_time(run, kBlackOut, kPlaying);
    }

    void SetUp() override {
        ASSERT_GT(black_out, kPlaying + 55) << "the reference game never timed out";
        folder = game_folder();
        write(folder + "max.pun", prefix(long_scores(), 58));
    }

    // Plays one game through with a shot in the level and one of the table. The run ends
    // cleanly, the level times out on time, and the table's frame is drawn.
    void play_through() {
        double table = black_out + 11.5;
        // A time limit, should a file make the game wait.
        run = play(folder, at(kPlaying, "shot level") + at(table, "shot table") + at(table + 0.1, "end"), "",
                   "timeout -s KILL 120");
        ASSERT_EQ(run.status, 0) << run.stderr_text;
        EXPECT_NEAR(tone_time(run, kBlackOut, kPlaying), black_out, 0.01);
        level = shot(run, "level");
        table_shot = shot(run, "table");
        ASSERT_EQ(table_shot.at(20, 20), 5);
        ASSERT_EQ(table_shot.at(600, 360), 5);
    }

    // Every cell of the table's five rows shows the glyph of its name byte or score digit, in
    // the row's colour; code 255 has no glyph, so its cell has no ink.
    void expect_table(const Bytes& scores_file, const Bytes& glyphs) const {
        const Bytes none(8, 0);
        auto glyph = [&](int code) { return code < 255 ? &glyphs[8 * static_cast<std::size_t>(code)] : none.data(); };
        for (int i = 0; i < 5; ++i) {
            int y = kRowY + kRowStep * i;
            for (int j = 0; j < 8; ++j)
                EXPECT_TRUE(shows_glyph(table_shot, kNameX + 16 * j, y, 2, 2, ink_of_row(i),
                                        glyph(scores_file[10 + 6 * j + i])))
                    << "entry " << i << " character " << j;
            std::string digits = std::to_string(scores_file[2 * i] | scores_file[2 * i + 1] << 8);
            for (std::size_t k = 0; k < digits.size(); ++k)
                EXPECT_TRUE(shows_glyph(table_shot, kScoreX + 16 * static_cast<int>(k), y, 2, 2, ink_of_row(i),
                                        glyph(digits[k])))
                    << "entry " << i << " digit " << k;
            EXPECT_EQ(table_shot.at(kScoreX + 16 * static_cast<int>(digits.size()) + 4, y + 4), kPaper)
                << "entry " << i;
        }
    }

    static double black_out;
    std::string folder;
    Played run;
    Screen level, table_shot;
};

double Hostile::black_out = 0;

// ---- pictures: the same damaged file as the title graphics and as the first level ----

enum class Shows { blank, top_rows, whole_board, title_screen };

struct PictureCase {
    const char* name;
    Bytes file;
    Shows level;
};

// The colour at a point of every cell that the grid, the frames and the countdown leave.
std::array<int, 20> cell_colours(const Screen& s) {
    std::array<int, 20> colours{};
    for (int c = 0; c < 20; ++c) colours[c] = s.at(sample_x(c), sample_y(c));
    return colours;
}

// The first level picture cut just after the count byte of the run that reaches `pixels`.
Bytes cut_in_a_run(std::size_t pixels) {
    Bytes file = level_picture(1);
    std::size_t at = 128, decoded = 0;
    while (decoded < pixels) {
        bool run = file[at] > 0xC0;
        decoded += run ? file[at] - 0xC0u : 1u;
        at += run ? 2 : 1;
    }
    while (file[at] <= 0xC0) ++at;
    file.resize(at + 1);
    return file;
}

std::vector<PictureCase> picture_cases() {
    Bytes header = prefix(level_picture(1), 128);
    Bytes huge = level_picture(1);
    std::fill_n(huge.begin() + 8, 4, 0xFF);
    Bytes no_palette = level_picture(1);
    no_palette.resize(no_palette.size() - 769);
    return {
        {"empty", {}, Shows::blank},
        {"one_byte", {10}, Shows::blank},
        {"header_alone", header, Shows::blank},
        {"claims_65535x65535", huge, Shows::blank},
        {"cut_in_a_run", cut_in_a_run(640 * 250), Shows::top_rows},
        {"without_palette", no_palette, Shows::whole_board},
        {"missing", {}, Shows::title_screen},
    };
}

class HostilePicture : public Hostile, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(HostilePicture, TheLevelIsPlayedOnWhateverItDrew) {
    const PictureCase& c = GetParam();
    if (c.level == Shows::title_screen) {
        std::remove((folder + "1.pcx").c_str());
    } else {
        write(folder + "brin.pcx", c.file);
        write(folder + "1.pcx", c.file);
    }
    play_through();
    std::array<int, 20> colours = cell_colours(level);
    auto count = [&](auto test) { return std::count_if(colours.begin(), colours.end(), test); };
    auto tile = [](int v) { return v >= kTileColour && v < kTileColour + 20; };
    switch (c.level) {
    case Shows::blank:  // every byte past the end of the file decodes as colour 255
        EXPECT_EQ(count([](int v) { return v == 255; }), 20);
        break;
    case Shows::top_rows: {  // the rows decoded before the cut, then colour 255
        EXPECT_EQ(count(tile), 8);
        EXPECT_EQ(count([](int v) { return v == 255; }), 12);
        std::vector<int> pieces;
        for (int v : colours)
            if (tile(v)) pieces.push_back(v - kTileColour);
        std::sort(pieces.begin(), pieces.end());
        EXPECT_EQ(pieces, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
        break;
    }
    case Shows::whole_board: {  // the pixels are all there; only the colours are wrong
        std::array<int, 20> cells = board(level);
        std::sort(cells.begin(), cells.end());
        for (int p = 0; p < 20; ++p) EXPECT_EQ(cells[p], p);
        break;
    }
    case Shows::title_screen: {  // the title image, shuffled, with black around it
        EXPECT_EQ(count(tile), 0);
        int title = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) title += level.at(x, y) == 11;
        EXPECT_GT(title, 5000);
        break;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostilePicture, ::testing::ValuesIn(picture_cases()), case_name<PictureCase>);

// ---- fonts ----

struct FontCase {
    const char* name;
    Bytes file;
};

// What the glyph table holds after reading a font file into an empty one: the bytes after
// a 10-byte header when the first is 'S', as far as they reach, then zeros.
Bytes glyph_table_of(const Bytes& file) {
    std::size_t from = !file.empty() && file[0] == 'S' ? 10 : 0;
    Bytes table(2040, 0);
    for (std::size_t i = from; i < file.size() && i - from < table.size(); ++i) table[i - from] = file[i];
    return table;
}

std::vector<FontCase> font_cases() {
    Bytes glyphs = test::test_glyphs();
    Bytes headed = {'S', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X'};
    headed.insert(headed.end(), glyphs.begin(), glyphs.end());
    return {
        {"empty", {}},
        {"nine_bytes", prefix(glyphs, 9)},
        {"ten_bytes", prefix(glyphs, 10)},
        {"one_glyph_row_short", prefix(glyphs, 2039)},
        {"headed_2050_bytes", headed},
        {"header_and_500_bytes", prefix(headed, 510)},
    };
}

class HostileFont : public Hostile, public ::testing::WithParamInterface<FontCase> {};

TEST_P(HostileFont, TextIsDrawnWithWhatTheFileHeld) {
    write(folder + "topaz.fon", GetParam().file);
    play_through();
    expect_table(prefix(long_scores(), 58), glyph_table_of(GetParam().file));
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFont, ::testing::ValuesIn(font_cases()), case_name<FontCase>);

// ---- high-score files ----

struct ScoresCase {
    const char* name;
    Bytes file;
};

std::vector<ScoresCase> scores_cases() {
    Bytes all_255 = prefix(long_scores(), 58);
    std::fill(all_255.begin() + 10, all_255.end(), 255);
    const Bytes full = long_scores();
    return {
        {"empty", {}},
        {"ends_in_the_scores", prefix(full, 7)},
        {"ends_in_the_names", prefix(full, 33)},
        {"one_byte_short", prefix(full, 57)},
        {"exact", prefix(full, 58)},
        {"one_byte_long", prefix(full, 59)},
        {"ten_thousand_bytes", full},
        {"names_all_255", all_255},
    };
}

class HostileScores : public Hostile, public ::testing::WithParamInterface<ScoresCase> {};

// A short file fills the table as far as it reaches, the rest stays zero (scores 0 and
// empty names); a long one is read up to its 58th byte. Scores show as read, out of order.
TEST_P(HostileScores, TheTableShowsWhatTheFileHeld) {
    const Bytes& file = GetParam().file;
    write(folder + "max.pun", file);
    play_through();
    Bytes read_in(58, 0);
    std::copy_n(file.begin(), std::min<std::size_t>(file.size(), 58), read_in.begin());
    expect_table(read_in, test::test_glyphs());
}

INSTANTIATE_TEST_SUITE_P(Files, HostileScores, ::testing::ValuesIn(scores_cases()), case_name<ScoresCase>);

// ---- FIFOs in the place of data files: each counts as missing, and nothing waits on it ----

struct FifoCase {
    const char* name;
    const char* file;
};

class HostileFifo : public Hostile, public ::testing::WithParamInterface<FifoCase> {};

TEST_P(HostileFifo, AFifoIsAMissingFile) {
    std::string path = folder + GetParam().file;
    std::remove(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
    play_through();
    std::array<int, 20> cells = board(level);
    int tiles = static_cast<int>(std::count_if(cells.begin(), cells.end(), [](int p) { return p >= 0 && p < 20; }));
    if (std::string(GetParam().file) == "topaz.fon") expect_table(prefix(long_scores(), 58), Bytes(2040, 0));
    EXPECT_EQ(tiles, std::string(GetParam().file) == "1.pcx" ? 0 : 20);  // the level's picture, or none
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFifo,
                         ::testing::Values(FifoCase{"level_picture", "1.pcx"}, FifoCase{"title_graphics", "brin.pcx"},
                                           FifoCase{"font", "topaz.fon"}),
                         case_name<FifoCase>);

}  // namespace
