// SPDX-License-Identifier: MIT
// Whole games on brin-sim showing behaviours of the game that look like faults but are the
// original design's, kept on purpose (docs/behaviour.md lists them). Each test fails if the
// behaviour is "fixed".
#include <algorithm>
#include <cmath>
#include <sstream>

#include "game_files.h"
#include "support.h"

using namespace scenario;

namespace {

constexpr int kBlack = 0, kWhite = 1, kCyan = 2, kYellow = 5, kRed = 7;  // in the test pictures
constexpr int kEscape = 1, kSpace = 57;
constexpr int kLeft = 4;  // the mouse's left button

// Game times, in virtual seconds, from the simulator's clock.
constexpr double kClickDone = 0.16;  // a click's tone and pause, until its swap is made
constexpr double kCountUp = 0.08;    // a point of the level's score counted into the total
// From a level's last swap to the next level being played, less the count-up: the pass that
// sees the picture whole, waits(1), waits(2), the fades out and in, and the next level's
// pause, fade, shuffle and fade; with a margin.
constexpr double kBetweenLevels = 15;

// Script lines in time order, as brin-sim takes them; lines of the same time keep theirs.
std::string in_order(const std::string& script) {
    std::vector<std::string> lines;
    std::istringstream in(script);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::stable_sort(lines.begin(), lines.end(),
                     [](const std::string& a, const std::string& b) { return std::stod(a) < std::stod(b); });
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

std::string key(double t, int k) { return at(t, "key " + std::to_string(k)); }
std::string mouse(double t, int x, int y, int buttons) {
    return at(t, "mouse " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(buttons));
}

int cell_of(const std::array<int, 20>& cells, int piece) {
    return static_cast<int>(std::find(cells.begin(), cells.end(), piece) - cells.begin());
}

// The countdown, drawn 20 pixels into the cell that holds piece 3; -1 when none is drawn.
long countdown(const Screen& s) {
    int h = cell_of(board(s), 3);
    return read_number(s, 160 * (h % 4) + 20, 96 * (h / 4) + 20, 4, 5, kYellow);
}

// Whether the 96 x 40 box of the countdown in piece 3's cell still shows only the piece.
bool countdown_box_untouched(const Screen& s) {
    int h = cell_of(board(s), 3);
    for (int y = 96 * (h / 4) + 20; y < 96 * (h / 4) + 60; ++y)
        for (int x = 160 * (h % 4) + 20; x < 160 * (h % 4) + 116; ++x)
            if (s.at(x, y) != kTileColour + 3) return false;
    return true;
}

// The countdown's number in the pass at virtual time t, from one reading `shown` at `seen`:
// the game counts whole seconds of the clock, which turn at whole virtual seconds.
long countdown_at(double t, long shown, double seen) {
    return shown - static_cast<long>(std::floor(t) - std::floor(seen));
}

// A player who plays level after level from the screen: looks at each shuffled board, then
// puts it back with clicks, half a second each.
class Player {
public:
    explicit Player(std::string folder) : folder_(std::move(folder)) {}

    // The level now being played, as a shot at `playing()`.
    Screen look() {
        Played run = play(folder_, script_ + at(playing_, "shot look") + at(playing_, "end"));
        EXPECT_EQ(run.status, 0) << run.stderr_text;
        Screen s = shot(run, "look");
        EXPECT_GT(countdown(s), 0) << "no level being played at " << playing_;
        return s;
    }

    // Solves the level with its last click at `last` (as soon as may be when 0). Returns
    // the time of that click.
    double solve(const Screen& looked, int level, double last = 0) {
        auto cells = board(looked);
        double clicks = 2.0 * static_cast<double>(solving_swaps(cells).size());
        double start = last > 0 ? last - 0.5 * (clicks - 1) : playing_ + 1;
        EXPECT_GE(start, playing_ + 0.5) << "too late to solve level " << level;
        double end = 0;
        script_ += solving_clicks(cells, start, &end);
        last = end - 0.5;
        long score = (level + 1) * countdown_at(last, countdown(looked), playing_);
        playing_ = last + kClickDone + kBetweenLevels + kCountUp * static_cast<double>(score);
        return last;
    }

    std::string& script() { return script_; }
    double playing() const { return playing_; }

private:
    std::string folder_;
    std::string script_;
    double playing_ = kPlayWithoutFile;
};

class GameQuirks : public ::testing::Test {
protected:
    void SetUp() override { folder = game_folder(); }
    std::string folder;
};

// Escape acts at the top of the pass after the one that read it. Read in the pass that
// finds the picture whole, it lets the level be scored and the next one be set up, and
// ends the program at the top of that level's first pass, before its countdown is drawn.
// The score texts, drawn without setting the paper, keep the countdown's red behind them.
TEST_F(GameQuirks, EscapeReadAsTheLevelIsSolvedEndsTheProgramOnlyAtTheNextLevel) {
    Player player(folder);
    double last = player.solve(player.look(), 0);
    double scoring = last + kClickDone + 1.5;
    std::string script =
        player.script() + at(last + 0.1, "press " + std::to_string(kEscape)) + at(scoring, "shot scoring");
    Played run = play(folder, in_order(script), "--limit " + std::to_string(static_cast<int>(last) + 60));
    ASSERT_EQ(run.status, 0) << "the game did not end by itself";

    Screen scored = shot(run, "scoring");
    long score = read_number(scored, 270, 320, 4, 4, kCyan);
    ASSERT_GT(score, 0);
    EXPECT_GT(tone_time(run, 100 * static_cast<int>(score), last), last);  // counted up
    int red = 0;
    for (int y = 200; y < 232; ++y)
        for (int x = 230; x < 262; ++x) {  // the cell of the P of PUNTOS
            ASSERT_TRUE(scored.at(x, y) == kCyan || scored.at(x, y) == kRed) << x << ", " << y;
            red += scored.at(x, y) == kRed;
        }
    EXPECT_GT(red, 100);

    Bytes palette = read(run.out + "final.pal");
    ASSERT_EQ(palette.size(), 768u);
    EXPECT_EQ(palette[3 * kTileColour + 1], 60 >> 2);  // 2.pcx's colours: the next level
    Screen final_screen = shot(run, "final");
    EXPECT_NE(board(final_screen), board(scored));  // shuffled
    EXPECT_TRUE(countdown_box_untouched(final_screen));
}

// The mark is never cleared at a level's or a game's start: a mark left when a countdown
// runs out is still set in the next game's first level, and Space swaps with it.
TEST_F(GameQuirks, AMarkLeftAtATimeOutSurvivesIntoTheNextGame) {
    std::string mark = mouse(24, click_x(0), click_y(0), kLeft) + mouse(24.25, click_x(0), click_y(0), 0);
    Played whole = play(folder, mark + at(200, "end"));
    double black_out = tone_time(whole, 100, 30);  // the game-over sequence's first tone
    ASSERT_GT(black_out, 80);
    double fanfare = black_out;  // the last tone of the next game's title: thrice ten tones
    for (int round = 0; round < 3; ++round) fanfare = tone_time(whole, 5400, fanfare + 0.01);
    ASSERT_GT(fanfare, black_out);
    double playing = fanfare + 10;

    Played run = play(folder, mark + at(playing, "shot before") + key(playing + 0.5, kSpace) +
                                  at(playing + 1, "shot after") + at(playing + 1.1, "end"));
    ASSERT_EQ(run.status, 0);
    Screen before = shot(run, "before"), after = shot(run, "after");
    ASSERT_GT(countdown(before), 50) << "the second game's first level is not being played";
    auto was = board(before), now = board(after);
    std::swap(was[0], was[3]);  // the cursor starts on cell 3; the mark is on cell 0
    EXPECT_EQ(now, was);
}

// The name of the shot taken at moment i (built in steps: GCC 12 sees a false overlap in
// a literal added to a temporary string).
std::string moment(std::size_t i) {
    std::string name = "q";
    name += std::to_string(i);
    return name;
}

// The countdown is drawn only when its number differs from the one drawn last, and that
// number is never reset. A level solved with 30 seconds left, followed by a level of 30
// seconds, shows no countdown until the next second turns.
TEST_F(GameQuirks, AFirstCountdownEqualToTheLastOneDrawnIsNotDrawn) {
    Player player(folder);
    for (int level = 0; level < 3; ++level) player.solve(player.look(), level);
    Screen fourth = player.look();  // 60 seconds; the fifth level has 30
    double playing = player.playing();
    long shown = countdown(fourth);
    double second_of_30 = std::floor(playing) + static_cast<double>(shown - 30);
    double last = player.solve(fourth, 3, second_of_30 + 0.5);
    ASSERT_EQ(countdown_at(last, shown, playing), 30);
    // The mouse moves while the score is counted: the next level's first pass draws the
    // pointer, which tells a shot taken after that pass.
    player.script() += mouse(last + 3, 600, 400, 0);

    double late = player.playing() + 4;
    Played run = play(folder, player.script() + at(late, "shot late") + at(late, "end"));
    long late_count = countdown(shot(run, "late"));
    ASSERT_GT(late_count, 20);
    ASSERT_LT(late_count, 30);
    double started = std::floor(late) - static_cast<double>(30 - late_count);  // the second the level began in

    std::string shots;
    const double within[] = {0.2, 0.4, 0.6, 0.8, 0.95};
    for (std::size_t i = 0; i < std::size(within); ++i) shots += at(started + within[i], "shot " + moment(i));
    run = play(folder, player.script() + shots + at(started + 1.5, "shot turned") + at(started + 1.6, "end"));
    ASSERT_EQ(run.status, 0);
    int after_first_pass = 0;
    for (std::size_t i = 0; i < std::size(within); ++i) {
        Screen s = shot(run, moment(i));
        if (s.at(600, 400) != kBlack || s.at(601, 402) != kWhite) continue;  // no pointer yet
        ++after_first_pass;
        EXPECT_TRUE(countdown_box_untouched(s)) << "at " << within[i] << " s into the level's first second";
    }
    EXPECT_GT(after_first_pass, 0);
    EXPECT_EQ(countdown(shot(run, "turned")), 29);
}

// Holding the left button while the mouse moves is a click at every pass that sees a
// change: the press marks a cell, the move onto another swaps them.
TEST_F(GameQuirks, MovingWithTheButtonHeldSwaps) {
    Played look = play(folder, at(kPlayWithoutFile, "shot before") + at(kPlayWithoutFile, "end"));
    auto was = board(shot(look, "before"));
    double t = kPlayWithoutFile + 1;
    std::string drag = mouse(t, click_x(0), click_y(0), kLeft) + mouse(t + 0.5, click_x(5), click_y(5), kLeft) +
                       mouse(t + 1, click_x(5), click_y(5), 0);
    Played run = play(folder, drag + at(t + 1.5, "shot after") + at(t + 1.6, "end"));
    ASSERT_EQ(run.status, 0);
    std::swap(was[0], was[5]);
    EXPECT_EQ(board(shot(run, "after")), was);
}

// Escape on the help page only closes the page, as any key with a character does: the
// page's own "ESC - SALIR" holds only during play.
TEST_F(GameQuirks, EscapeOnTheHelpPageOnlyClosesIt) {
    double t = kPlayWithoutFile;
    Played run = play(folder, at(t, "shot before") + key(t + 0.2, kEnter) + key(t + 0.5, kEscape) +
                                  at(t + 1, "shot after") + at(t + 3, "shot later") + at(t + 3.1, "end"));
    ASSERT_EQ(run.status, 0);
    Screen before = shot(run, "before"), after = shot(run, "after"), later = shot(run, "later");
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) ASSERT_EQ(after.at(x, y), before.at(x, y)) << x << ", " << y;
    EXPECT_LT(countdown(later), countdown(after));  // the level goes on
}

}  // namespace
