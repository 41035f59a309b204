// SPDX-License-Identifier: MIT
// brin-hall against games recorded by brin-sim on the tests' small level set: honest games
// enter with the score and the name their game wrote, every other kind of submission is
// refused with its reason, the limits hold before any work, and the storage stays whole
// under many clients at once, two halls, SIGTERM and kill -9. The same program runs on
// SQLite files and, given --postgres, on a PostgreSQL server it starts itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "hall_process.h"
#include "recording.h"
#include "recording_format.h"
#include "scenario/game_files.h"
#include "support.h"

using namespace hall_test;
using nlohmann::json;

namespace {

const std::string kQuantum = "--quantum-us 1000";  // the same games in a third of the time
const scenario::Bytes kStartTable =
    scenario::table_file({{40, "uno"}, {30, "dos"}, {20, "tres"}, {10, "cuatro"}, {5, "cinco"}});

// The games every test sends, recorded once.
struct Games {
    std::string folder;  // the tests' level set
    Bytes honest;        // solves the first level and enters "<i>ana"
    Bytes other;         // the same game, entered as "bob"
    Bytes merged;        // the same, entered as "eve", its save merging a table with 30000 for "cheat"
    Bytes idle;          // a level that runs out: no new score
    Bytes foreign;       // made with another 1.pcx
    int score = 0;       // what the honest game entered
};

// A name typed with the Spanish keyboard's < and > (the key left of Z, and with Shift).
std::string typed_html_name(double t) {
    return scenario::at(t, "key 86") + scenario::at(t + 0.1, "key 23") + scenario::at(t + 0.2, "press 42") +
           scenario::at(t + 0.3, "key 86") + scenario::at(t + 0.4, "release 42") + scenario::type(t + 0.4, "ana") +
           scenario::at(t + 0.9, "key " + std::to_string(scenario::kEnter));
}

Bytes record(const std::string& folder, const std::string& script, const std::string& environment = "") {
    scenario::write(folder + "max.pun", kStartTable);
    scenario::Played run = scenario::play(folder, script, kQuantum + " --record game.brinrec", environment);
    EXPECT_EQ(run.status, 0) << run.stderr_text;
    return scenario::read(folder + "game.brinrec");
}

// The score of the entry of `name` in a table file.
int score_of(const Bytes& table, const std::string& name) {
    for (int e = 0; e < 5; ++e) {
        std::string entry;
        for (int r = 0; r < 8 && table[10 + 6 * r + e] != 0; ++r) entry += static_cast<char>(table[10 + 6 * r + e]);
        if (entry == name) return table[2 * e] | table[2 * e + 1] << 8;
    }
    return -1;
}

Games make_games() {
    Games g;
    g.folder = scenario::game_folder();
    scenario::write(g.folder + "max.pun", kStartTable);
    scenario::Plan p = scenario::plan_game(g.folder, scenario::kPlayWithFile, kQuantum);
    std::string end = scenario::at(p.name_entry + 3, "end");
    g.honest = record(g.folder, p.clicks + typed_html_name(p.name_entry) + end);
    g.score = score_of(scenario::read(g.folder + "max.pun"), "<i>ana");
    g.other = record(g.folder, p.clicks + scenario::name_then_enter(p.name_entry, "bob") + end);
    scenario::write(g.folder + "max.pun.other", scenario::table_file({{30000, "cheat"}, {40, "uno"}}));
    g.merged =
        record(g.folder, p.clicks + scenario::name_then_enter(p.name_entry, "eve") + end,
               "BRIN_FAULT=another-game-saved LD_PRELOAD='" BRIN_FAULT_SHIM "' ASAN_OPTIONS=verify_asan_link_order=0");
    EXPECT_EQ(score_of(scenario::read(g.folder + "max.pun"), "cheat"), 30000) << "the other table was not merged";
    g.idle = record(g.folder, scenario::at(p.solved + 5, "end"));
    std::string elsewhere = scenario::game_folder();
    scenario::write(elsewhere + "1.pcx", scenario::level_picture(3));
    g.foreign = record(elsewhere, scenario::at(scenario::kPlayWithFile + 1, "end"));
    return g;
}

const Games& games() {
    static const Games g = make_games();
    return g;
}

// The recording with one frame's check changed, in the middle of the game.
Bytes with_a_frame_changed(const Bytes& file) {
    platform::recording::Loaded r = platform::recording::parse(file);
    std::vector<std::size_t> frames;
    const Bytes& b = r.body;
    std::size_t at = r.stream_at;
    auto varint = [&] {
        std::uint64_t v = 0;
        for (int shift = 0; at < b.size(); shift += 7) {
            v |= std::uint64_t{b[at] & 0x7Fu} << shift;
            if ((b[at++] & 0x80) == 0) break;
        }
        return v;
    };
    for (bool end = false; at < b.size() && !end;) {
        switch (b[at++]) {
        case 6:
        case 8:
        case 9:
            at += 1;
            break;
        case 7:
            varint();
            varint();
            at += 1;
            break;
        case 10:
            frames.push_back(at);
            at += 4;
            break;
        case 12:
            end = true;
            break;
        case 13:
            at += 1;
            at += varint();
            break;
        default:
            varint();
            break;  // polls, repeats, tones
        }
    }
    EXPECT_GT(frames.size(), 10u);
    Bytes body = r.body;
    body[frames[frames.size() / 2]] ^= 0x40;
    return platform::recording::format::file_of(body);
}

json answer(const Reply& r) { return json::parse(r.body, nullptr, false); }

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// ---- the storage's own view ----

void expect_whole(const std::string& database, std::size_t games) {
    EXPECT_TRUE(storage().intact(database));
    auto rows = storage().rows(database);
    EXPECT_EQ(rows.size(), games);
    for (const auto& row : rows) EXPECT_EQ(sha256(row.recording), row.id) << "a game kept in part";
}

class HallTest : public ::testing::Test {
protected:
    void SetUp() override { database = storage().fresh(); }
    std::string database;
};

TEST_F(HallTest, AnHonestGameEntersWithTheScoreAndNameItsGameWrote) {
    const Games& g = games();
    ASSERT_GT(g.score, 5) << "the honest game entered no score";
    Hall hall(database, g.folder);
    Reply first = post(hall.port(), g.honest);
    ASSERT_EQ(first.status, 201) << first.body << hall.log();
    json j = answer(first);
    EXPECT_EQ(j["score"], g.score);
    EXPECT_EQ(j["name"], "<i>ana");
    EXPECT_EQ(j["place"], 1);
    EXPECT_EQ(j["id"], sha256(g.honest));
    Reply again = post(hall.port(), g.honest);
    EXPECT_EQ(again.status, 200) << "the same file sent twice is one game";
    EXPECT_EQ(answer(again)["new"], false);

    json listed = answer(get(hall.port(), "/api/games"));
    ASSERT_EQ(listed["sets"].size(), 2u);
    EXPECT_EQ(listed["sets"][0]["set"], "brin");
    EXPECT_TRUE(listed["sets"][0]["games"].empty());
    ASSERT_EQ(listed["sets"][1]["games"].size(), 1u);
    EXPECT_EQ(listed["sets"][1]["games"][0]["name"], "<i>ana");
    Reply file = get(hall.port(), j["recording"].get<std::string>());
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.body, text(g.honest));
    EXPECT_EQ(get(hall.port(), "/api/games/" + std::string(64, '0') + ".brinrec").status, 404);
    EXPECT_EQ(get(hall.port(), "/api/games/..%2f..%2fetc%2fpasswd.brinrec").status, 404);
    EXPECT_EQ(hall.stop(), 0);
    expect_whole(database, 1);
}

// A save that merged another game's table brings its entries into the table the replay
// writes; only the player's own counts.
TEST_F(HallTest, AnEntryMergedFromAnotherGamesTableDoesNotCount) {
    const Games& g = games();
    Hall hall(database, g.folder);
    Reply r = post(hall.port(), g.merged);
    ASSERT_EQ(r.status, 201) << r.body;
    EXPECT_EQ(answer(r)["name"], "eve");
    EXPECT_EQ(answer(r)["score"], g.score);
}

TEST_F(HallTest, GamesThatDidNotPlayTheSameOrEnteredNothingAreRefusedWithTheReason) {
    const Games& g = games();
    Hall hall(database, g.folder, {"--max-minutes", "1"});
    Hall patient(database, g.folder);
    struct Case {
        const char* what;
        Bytes file;
        const Hall& hall;
        std::vector<std::string> said;
    } cases[] = {
        {"a frame's check changed",
         with_a_frame_changed(g.honest),
         patient,
         {"did not replay the same: poll ", "the frame differs"}},
        {"other pictures", g.foreign, patient, {"was made with another 1.pcx"}},
        {"no new score", g.idle, patient, {"holds no game that entered a new score"}},
        {"longer than the hall takes", g.honest, hall, {"is longer (3 min) than the hall takes (1 min)"}},
    };
    for (const Case& c : cases) {
        Reply r = post(c.hall.port(), c.file);
        EXPECT_EQ(r.status, 422) << c.what << ": " << r.body;
        for (const std::string& said : c.said)
            EXPECT_NE(answer(r)["refused"].get<std::string>().find(said), std::string::npos)
                << c.what << ": " << r.body;
    }
    expect_whole(database, 0);
}

std::string gzipped(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A recording whose contents are the most a recording may hold: zeros, a bomb of deflate.
Bytes recording_bomb() { return platform::recording::format::file_of(Bytes(platform::recording::kMaxBody, 0)); }

TEST_F(HallTest, HostileRequestsAreRefusedAndTheHallKeepsAnswering) {
    const Games& g = games();
    Hall hall(database, g.folder, {"--read-seconds", "2"});
    std::mt19937 random(7);
    std::string garbage(5000, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    std::string big(1500000, 'x');
    std::string bomb = gzipped(std::string(std::size_t{64} << 20, '\0'));
    const std::string post_head = "POST /api/games HTTP/1.1\r\nHost: h\r\n";
    struct Case {
        const char* what;
        std::string head, body;
        int status;
        std::chrono::milliseconds gap{0};
        std::size_t piece = 0;
    } cases[] = {
        {"garbage", post_head + "Content-Length: 5000\r\n\r\n", garbage, 422},
        {"an empty body", post_head + "Content-Length: 0\r\n\r\n", "", 400},
        {"no body at all", post_head + "\r\n", "", 400},
        {"a body over the limit", post_head + "Content-Length: 1500000\r\n\r\n", big, 413},
        {"a body over the limit in chunks", post_head + "Transfer-Encoding: chunked\r\n\r\n",
         "16e360\r\n" + big + "\r\n0\r\n\r\n", 413},
        {"a deflate bomb",
         post_head + "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(bomb.size()) + "\r\n\r\n", bomb,
         413},
        {"a recording bomb", post_head + "Content-Length: " + std::to_string(recording_bomb().size()) + "\r\n\r\n",
         text(recording_bomb()), 422},
        {"a slow sender", post_head + "Content-Length: 1000\r\n\r\n", std::string(1000, 'x'), 408,
         std::chrono::milliseconds(300), 1},
        {"a slow head", "", post_head + "X-Slow: " + std::string(200, 'x') + "\r\n\r\n", 408,
         std::chrono::milliseconds(300), 1},
    };
    for (const Case& c : cases) {
        Reply r = c.gap.count() > 0 ? request(hall.port(), c.head, c.body, c.gap, c.piece)
                                    : request(hall.port(), c.head, c.body);
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.head << r.body;
        EXPECT_EQ(get(hall.port(), "/api/games").status, 200) << "after " << c.what;
    }
    EXPECT_EQ(post(hall.port(), g.honest).status, 201) << hall.log();
    EXPECT_EQ(hall.stop(), 0);
    expect_whole(database, 1);
}

// An answer's Retry-After, in seconds; 0 when it has none.
int retry_after(const Reply& r) {
    std::string value = r.header("Retry-After");
    return value.empty() ? 0 : std::stoi(value);
}

TEST_F(HallTest, LimitsAreSaidBeforeAnyWork) {
    const Games& g = games();
    {
        Hall hall(database, g.folder, {"--rate", "2"});
        EXPECT_EQ(post(hall.port(), g.idle).status, 422);
        EXPECT_EQ(post(hall.port(), g.idle).status, 422);
        Reply third = post(hall.port(), g.honest);
        EXPECT_EQ(third.status, 429) << third.body;
        EXPECT_GE(retry_after(third), 1);
    }
    {
        Hall hall(database, g.folder, {"--queue", "0"});
        Reply busy = post(hall.port(), g.honest);
        EXPECT_EQ(busy.status, 503) << busy.body;
        EXPECT_GE(retry_after(busy), 1);
    }
    expect_whole(database, 0);
}

// 100 submissions from 20 clients at once: two honest games many times over, and garbage.
TEST_F(HallTest, ManyClientsAtOnceAreAllAnsweredAndEachGameIsKeptOnce) {
    const Games& g = games();
    Hall hall(database, g.folder, {"--queue", "100", "--rate", "1000"});
    const Bytes garbage(300, 'g');
    std::mutex m;
    std::map<std::string, std::map<int, int>> statuses;  // by what was sent
    std::vector<std::thread> clients;
    for (int c = 0; c < 20; ++c)
        clients.emplace_back([&, c] {
            for (int i = 0; i < 5; ++i) {
                int kind = (c + i) % 5;
                const Bytes& file = kind < 2 ? g.honest : kind < 4 ? g.other : garbage;
                Reply r = post(hall.port(), file);
                std::lock_guard lock(m);
                ++statuses[kind < 2 ? "honest" : kind < 4 ? "other" : "garbage"][r.status];
            }
        });
    for (auto& c : clients) c.join();
    EXPECT_EQ(statuses["honest"][201], 1);
    EXPECT_EQ(statuses["honest"][200], 39);
    EXPECT_EQ(statuses["other"][201], 1);
    EXPECT_EQ(statuses["other"][200], 39);
    EXPECT_EQ(statuses["garbage"][422], 20);
    json listed = answer(get(hall.port(), "/api/games"));
    ASSERT_EQ(listed["sets"][1]["games"].size(), 2u);
    EXPECT_EQ(hall.stop(), 0);
    expect_whole(database, 2);
}

// Replays held at their start until the test lets them go (gated_verifier.sh).
class Gate {
public:
    Gate() : folder_(test::temp_dir()) {
        setenv("HALL_GATE", folder_.c_str(), 1);
        setenv("HALL_GATE_SIM", BRIN_SIM, 1);
    }
    std::vector<std::string> options() const { return {"--verifier", GATED_VERIFIER}; }
    // The process of the first replay that started, once one has.
    pid_t started() const {
        for (int i = 0; i < 12000; ++i) {
            for (const auto& e : std::filesystem::directory_iterator(folder_)) {
                std::string name = e.path().filename();
                if (name.rfind("started.", 0) == 0) return std::stoi(name.substr(8));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "no replay started";
        return -1;
    }
    void open() const { scenario::write(folder_ + "go", {}); }

private:
    std::string folder_;
};

bool gone(pid_t pid) {
    for (int i = 0; i < 1000 && kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return kill(pid, 0) != 0;
}

TEST_F(HallTest, SigtermAnswersTheVerificationsInFlightFirst) {
    const Games& g = games();
    Gate gate;
    Hall hall(database, g.folder, gate.options());
    Reply sent;
    std::thread client([&] { sent = post(hall.port(), g.honest); });
    gate.started();
    kill(hall.pid(), SIGTERM);
    gate.open();
    int status = hall.stop();
    client.join();
    EXPECT_EQ(sent.status, 201) << sent.body;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    expect_whole(database, 1);
}

// Killed during a replay, which goes with it, and then at moments around a game's keeping:
// each time the storage holds the games wholly or not at all, and a hall started again
// goes on with it.
TEST_F(HallTest, KillNineAtAnyMomentLeavesEachGameWhollyInOrOut) {
    const Games& g = games();
    {
        Gate gate;
        Hall hall(database, g.folder, gate.options());
        std::thread client([&] { post(hall.port(), g.honest); });
        pid_t replay = gate.started();
        hall.kill_now();
        client.join();
        EXPECT_TRUE(gone(replay)) << "the replay outlived the hall";
    }
    expect_whole(database, 0);
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round) {
        Hall hall(database, g.folder);
        std::thread client([&] { post(hall.port(), round % 2 == 0 ? g.honest : g.other); });
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1500));
        hall.kill_now();
        client.join();
        EXPECT_TRUE(storage().intact(database));
        for (const auto& row : storage().rows(database)) EXPECT_EQ(sha256(row.recording), row.id);
    }
    Hall again(database, g.folder);
    EXPECT_NE(post(again.port(), g.honest).status, 0);
    EXPECT_NE(post(again.port(), g.other).status, 0);
    EXPECT_EQ(again.stop(), 0);
    expect_whole(database, 2);
}

// Two halls on one storage, given the same games at once: each game is kept once.
TEST_F(HallTest, TwoHallsSharingTheStorageKeepEachGameOnce) {
    const Games& g = games();
    Hall one(database, g.folder), two(database, g.folder);
    std::atomic<int> added{0}, answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c)
        clients.emplace_back([&, c] {
            Reply r = post((c % 2 == 0 ? one : two).port(), c < 4 ? g.honest : g.other);
            added += r.status == 201;
            answered += r.status == 200 || r.status == 201;
        });
    for (auto& c : clients) c.join();
    EXPECT_EQ(added, 2);
    EXPECT_EQ(answered, 8);
    expect_whole(database, 2);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--postgres" && !use_postgres()) {
        std::puts("PostgreSQL is not installed: skipped");
        return 77;
    }
    return RUN_ALL_TESTS();
}
