// SPDX-License-Identifier: MIT
// The pacing of the back-ends that run in real time, rule by rule, driven through a back-end
// of the test's own: a clock that moves only while the game works or rests, input that comes
// at set times, and every rest and frame noted.
#include <gtest/gtest.h>

#include <sys/select.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "machine.h"
#include "platform.h"

namespace {

namespace machine = platform::machine;
using machine::Poll;

constexpr std::int64_t kFrameUs = 16667;
constexpr std::int64_t kStartUs = 5000000;
// The time of day at the steady clock's 0: no whole centisecond, so rests to one show.
constexpr std::int64_t kOriginUs = 1700000000003456;

std::int64_t clock_us = 0;

struct Input {
    std::int64_t at_us;
    int key;  // -1: the mouse's buttons changed to `buttons`
    int buttons;
};
std::deque<Input> coming;
struct Rest {
    std::int64_t from_us, asked_us;
};
std::vector<Rest> rests;
std::vector<std::int64_t> frames;
std::int64_t mouse_passed_us = -1;  // when the machine last got a mouse event

bool input_due(std::int64_t by_us) {
    return !coming.empty() && coming.front().at_us <= by_us && (coming.front().key >= 0 || !machine::mouse_held());
}

bool take_input() {
    bool any = false;
    for (; input_due(clock_us); coming.pop_front(), any = true) {
        if (coming.front().key >= 0) {
            machine::push_key(static_cast<std::uint8_t>(coming.front().key));
            continue;
        }
        machine::mouse_device(0, 0, coming.front().buttons);
        machine::button_changed();
        mouse_passed_us = clock_us;
    }
    return any;
}

bool rest(std::int64_t us) {
    rests.push_back({clock_us, us});
    if (!input_due(clock_us + us)) {
        clock_us += us;
        return false;
    }
    clock_us = std::max(clock_us, coming.front().at_us);
    return take_input();
}

void show(const std::uint32_t*, int, int) { frames.push_back(clock_us); }

// One poll of the game, after `work_us` of its own work.
void game_poll(Poll what, std::int64_t work_us = 2) {
    clock_us += work_us;
    timeval tv{};
    fd_set keys;
    FD_ZERO(&keys);
    FD_SET(0, &keys);
    switch (what) {
    case Poll::clock:
        platform::gettimeofday(&tv, nullptr);
        break;
    case Poll::seconds:
        platform::time(nullptr);
        break;
    case Poll::keys:
        platform::select(1, &keys, nullptr, nullptr, &tv);
        break;
    case Poll::mouse:
        platform::mouse_update();
        break;
    }
}

void play_until(std::int64_t until_us, Poll what, std::int64_t work_us = 2) {
    while (clock_us < until_us) game_poll(what, work_us);
}

// A new colour for every pixel of the screen.
void change_picture() {
    static int level = 0;
    int red[3] = {++level & 63, 0, 0};
    platform::vga_setpalvec(0, 1, red);
}

std::int64_t time_of_day(std::int64_t steady_us) { return kOriginUs + steady_us; }

// The first rest begun in [from, to) for which `odd` holds, or null.
template <typename Odd>
const Rest* first_rest(std::int64_t from_us, std::int64_t to_us, Odd odd) {
    for (const Rest& r : rests)
        if (r.from_us >= from_us && r.from_us < to_us && odd(r)) return &r;
    return nullptr;
}

// The share of [from, to) the game spent resting.
double rested_share(std::int64_t from_us, std::int64_t to_us) {
    std::int64_t rested = 0;
    for (const Rest& r : rests)
        rested += std::max<std::int64_t>(0, std::min(to_us, r.from_us + r.asked_us) - std::max(from_us, r.from_us));
    return static_cast<double>(rested) / static_cast<double>(to_us - from_us);
}

class Pacing : public ::testing::Test {
protected:
    void SetUp() override { start(); }
    void TearDown() override { platform::vga_setmode(platform::TEXT); }

    static void start() {
        platform::vga_setmode(platform::TEXT);
        machine::reset();
        clock_us = kStartUs;
        coming.clear();
        rests.clear();
        frames.clear();
        mouse_passed_us = -1;
        ASSERT_EQ(platform::vga_setmode(platform::G640x480x256), 0);
        ASSERT_EQ(platform::mouse_init("", 0, 0), 0);
    }
};

TEST_F(Pacing, AGameOnlyWaitingRestsToTheNextCentisecondOrSecondWhateverKeysWait) {
    struct Case {
        const char* rule;
        Poll poll;
        std::int64_t tick_us;
        bool key;
    };
    const Case cases[] = {
        {"a game spinning on the clock rests to the next centisecond", Poll::clock, 10000, false},
        {"a game reading whole seconds rests to the next second", Poll::seconds, 1000000, false},
        {"a key pressed where none is read, and waiting, is no reason to spin", Poll::clock, 10000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        start();
        const std::int64_t key_us = kStartUs + 500000 + 1234;
        if (c.key) coming.push_back({key_us, 30, 0});
        play_until(kStartUs + 3000000, c.poll);

        // Settled, from the first second on: rests fill the time and each ends on a tick.
        const std::int64_t from_us = kStartUs + 1000000;
        EXPECT_GT(rested_share(from_us, clock_us), 0.99);
        const Rest* off = first_rest(
            from_us, clock_us, [&](const Rest& r) { return time_of_day(r.from_us + r.asked_us) % c.tick_us != 0; });
        EXPECT_EQ(off, nullptr) << "a rest of " << off->asked_us << " us from " << off->from_us;
        if (!c.key) continue;
        EXPECT_TRUE(machine::key_waiting());
        // Input taken in, the game has a millisecond to act on it before it rests again.
        auto next = std::find_if(rests.begin(), rests.end(), [&](const Rest& r) { return r.from_us >= key_us; });
        ASSERT_NE(next, rests.end());
        EXPECT_GE(next->from_us, key_us + 1000);
        EXPECT_LT(next->from_us, key_us + 1100);
    }
}

TEST_F(Pacing, AChangeShowsAtOnceAfterAQuietSpellOrInAnswerToInputAndAStreamOfThemOnceARefresh) {
    play_until(kStartUs + 200000, Poll::clock);
    ASSERT_EQ(frames.size(), 1u);  // the whole picture, as the display opened

    // The time from a change to the frame that shows it, the game polling `what`.
    auto shown_after = [](Poll what) {
        const std::size_t before = frames.size();
        const std::int64_t changed_us = clock_us;
        change_picture();
        while (frames.size() == before && clock_us < changed_us + 100000) game_poll(what);
        return frames.size() > before ? frames[before] - changed_us : clock_us - changed_us;
    };
    EXPECT_LE(shown_after(Poll::clock), 1000) << "after a quiet spell";

    // A palette register no pixel uses: a change that shows nothing takes no refresh.
    play_until(clock_us + 100000, Poll::clock);
    int unused[3] = {63, 63, 63};
    platform::vga_setpalvec(1, 1, unused);
    play_until(clock_us + 2000, Poll::clock);
    EXPECT_LE(shown_after(Poll::clock), 1000) << "after a change that showed nothing";

    // A key taken in and read (a poll looked at the screen meanwhile): what the game draws
    // next shows at its next poll.
    play_until(clock_us + 100000, Poll::clock);
    coming.push_back({clock_us + 5000, 30, 0});
    while (!machine::key_waiting()) game_poll(Poll::keys);
    game_poll(Poll::keys);
    EXPECT_LE(shown_after(Poll::keys), 10) << "in answer to a key";

    // A fade: the picture changes at every poll for half a second.
    const std::size_t fade = frames.size();
    for (const std::int64_t until_us = clock_us + 500000; clock_us < until_us;) {
        change_picture();
        game_poll(Poll::clock);
    }
    ASSERT_GT(frames.size(), fade + 30);
    for (std::size_t i = fade + 1; i < frames.size(); ++i) {
        EXPECT_GE(frames[i] - frames[i - 1], kFrameUs - 1000) << "frame " << i;
        EXPECT_LE(frames[i] - frames[i - 1], kFrameUs) << "frame " << i;
    }
}

TEST_F(Pacing, AGameBusyForLongerThanARefreshRestsForNothingOnceARefresh) {
    const std::int64_t work_us = 12000;  // every poll in a centisecond of its own: never idle
    play_until(kStartUs + 1000000, Poll::clock, work_us);
    ASSERT_GT(rests.size(), 30u);
    for (std::size_t i = 0; i < rests.size(); ++i) {
        EXPECT_EQ(rests[i].asked_us, 0);
        if (i > 0) {
            EXPECT_LE(rests[i].from_us - rests[i - 1].from_us, kFrameUs + work_us);
        }
    }
}

TEST_F(Pacing, AClickHoldsTheMouseUntilTheGamePollsItOrAQuarterOfASecond) {
    struct Case {
        const char* rule;
        bool mouse_polled;  // 20 ms after the click
    };
    const Case cases[] = {
        {"the game's mouse poll ends the hold", true},
        {"a click the game never looks at lapses after 250 ms", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        start();
        const std::int64_t click_us = kStartUs + 100000 + 777;
        coming.push_back({click_us, -1, 4});
        coming.push_back({click_us + 5000, -1, 0});
        std::int64_t released_us = click_us + 250000;
        if (c.mouse_polled) {
            play_until(click_us + 20000, Poll::clock);
            game_poll(Poll::mouse);
            released_us = clock_us;
        }
        play_until(click_us + 400000, Poll::clock);

        EXPECT_GE(mouse_passed_us, released_us);
        EXPECT_LE(mouse_passed_us, released_us + 1100);
        const Rest* long_rest = first_rest(click_us, mouse_passed_us, [](const Rest& r) { return r.asked_us > 1000; });
        EXPECT_EQ(long_rest, nullptr) << "a rest of " << long_rest->asked_us << " us while the mouse was held";
    }
}

}  // namespace

// ---- the test's back-end ----

namespace platform::machine {

namespace real_time {
std::int64_t steady_us() { return clock_us; }
std::int64_t time_of_day_us() { return time_of_day(clock_us); }
bool take_input() { return ::take_input(); }
bool rest(std::int64_t us) { return ::rest(us); }
void show(const std::uint32_t* pixels, int top, int rows) { ::show(pixels, top, rows); }
}  // namespace real_time

bool open_display() {
    display_opened(kFrameUs);
    return true;
}
void close_display() { display_closed(); }
bool open_mouse_device() { return true; }
void speaker(int) {}
void port_access(unsigned short, unsigned char, bool) {}
void data_wanted(const char*) {}

}  // namespace platform::machine
