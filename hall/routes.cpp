// SPDX-License-Identifier: MIT
// The hall's HTTP routes: games submitted, listed and downloaded, the hall's page, and the
// browser edition at /. Every limit is checked before the work it guards.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <mutex>

#include "hall.h"
#include "hall_page.h"
#include "server.h"

namespace hall {

namespace {

using nlohmann::json;

constexpr int kListed = 100;        // games listed per level set
constexpr int kConnections = 64;    // requests served at once, most of them waiting
constexpr int kRetryWhenFull = 30;  // seconds, said to a client the full queue turns away

std::mutex running_mutex;  // a stop comes from another thread
HallServer* running = nullptr;
std::mutex log_mutex;

std::string text_of(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

Answer refused(int status, const std::string& why, int retry_after = 0) {
    Answer a{status, text_of(json{{"accepted", false}, {"refused", why}})};
    a.retry_after = retry_after;
    return a;
}

std::string date_of(std::int64_t seconds) {
    std::time_t t = seconds;
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

json entry_json(const Entry& e, int place) {
    return json{{"id", e.id},
                {"set", e.set_name},
                {"place", place},
                {"score", e.score},
                {"name", e.name},
                {"length_s", static_cast<double>(e.length_us / 100000) / 10},
                {"date", date_of(e.added)},
                {"recording", "/api/games/" + e.id + ".brinrec"}};
}

Answer entry_answer(Storage& storage, const Entry& e, bool added) {
    json j = entry_json(e, storage.place(e));
    j["accepted"] = true;
    j["new"] = added;
    return Answer{added ? 201 : 200, text_of(j)};
}

// A verified game kept, or the reason it is not.
Answer verified(const Settings& s, const std::vector<LevelSet>& sets, Storage& storage, const std::string& id,
                const Bytes& file) {
    Verdict v = verify(s, sets, file);
    if (!v.refused.empty()) return refused(422, v.refused);
    Entry e{id, v.set->key, v.set->name, v.score.points, name_text(v.score), v.length_us, std::time(nullptr)};
    bool added = storage.add(e, file);
    if (!added) e = storage.find(id).value_or(e);  // another hall or request was first
    return entry_answer(storage, e, added);
}

// The body, up to the limit: after the limits that need no body, before any work on it.
Answer submission(const Settings& s, const std::vector<LevelSet>& sets, Storage& storage, const httplib::Request& req,
                  const httplib::ContentReader& read) {
    Connection* c = Connection::of_this_thread();
    auto early = [&](Answer a) {
        c->close_after_answer();  // its body is left unread
        return a;
    };
    if (int wait = rate_wait(req.remote_addr, s.rate); wait > 0)
        return early(refused(429, "too many games sent from here: wait a minute", wait));
    if (!queue_has_room()) return early(refused(503, "the hall is busy: try again soon", kRetryWhenFull));
    if (!req.has_header("Content-Length") && !req.has_header("Transfer-Encoding"))
        return early(refused(400, "send a recording: the body was empty"));  // none follows the head
    if (req.get_header_value<std::uint64_t>("Content-Length") > s.max_body)
        return early(refused(413, "a recording is at most " + std::to_string(s.max_body) + " bytes"));
    Bytes file;
    bool too_big = false;
    bool whole = read([&](const char* data, std::size_t size) {
        too_big = file.size() + size > s.max_body;
        if (!too_big) file.insert(file.end(), data, data + size);
        return !too_big;
    });
    if (too_big) return early(refused(413, "a recording is at most " + std::to_string(s.max_body) + " bytes"));
    if (c->timed_out()) return early(refused(408, "the recording took too long to arrive"));
    if (!whole) return early(refused(400, "the recording did not arrive whole"));
    if (file.empty()) return refused(400, "send a recording: the body was empty");
    std::string id = digest_of(file);
    if (auto known = storage.find(id)) return entry_answer(storage, *known, false);
    auto answer =
        submit([&s, &sets, &storage, id, file = std::move(file)] { return verified(s, sets, storage, id, file); });
    if (!answer) return refused(503, "the hall is busy: try again soon", kRetryWhenFull);
    return answer->get();
}

json listing(const std::vector<LevelSet>& sets, Storage& storage) {
    json out = json::array();
    for (const LevelSet& set : sets) {
        json games = json::array();
        int place = 0;
        for (const Entry& e : storage.best(set.key, kListed)) games.push_back(entry_json(e, ++place));
        out.push_back(json{{"set", set.name}, {"key", set.key}, {"games", games}});
    }
    return json{{"sets", out}};
}

void reply(httplib::Response& res, const Answer& a) {
    res.status = a.status;
    if (a.retry_after > 0) res.set_header("Retry-After", std::to_string(a.retry_after));
    if (Connection* c = Connection::of_this_thread(); c != nullptr && c->closing())
        res.set_header("Connection", "close");
    res.set_content(a.body, "application/json; charset=utf-8");
}

// The path as it can go on one line of a log: control bytes written as \xNN.
std::string loggable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    return out;
}

void log(const httplib::Request& req, const httplib::Response& res) {
    double seconds = 0;
    if (Connection* c = Connection::of_this_thread())
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - c->started()).count();
    char took[32];
    std::snprintf(took, sizeof took, "%.3f", seconds);
    std::lock_guard lock(log_mutex);
    std::cerr << req.remote_addr << " \"" << loggable(req.method) << " " << loggable(req.path) << "\" " << res.status
              << " " << res.body.size() << " " << took << " s\n";
}

void serve_page(HallServer& server) {
    for (const PageFile& f : kPage)
        server.Get(f.path, [&f](const httplib::Request&, httplib::Response& res) {
            res.set_content(reinterpret_cast<const char*>(f.bytes), f.size, f.type);
        });
    server.Get("/hall", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/hall/"); });
}

}  // namespace

bool serve(const Settings& s, const std::vector<LevelSet>& sets, Storage& storage,
           const std::function<void(int port)>& bound) {
    HallServer server(std::chrono::seconds(s.read_seconds));
    server.new_task_queue = [] { return new httplib::ThreadPool(kConnections); };
    server.set_default_headers({{"X-Content-Type-Options", "nosniff"}});
    server.Post("/api/games",
                [&](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& read) {
                    reply(res, submission(s, sets, storage, req, read));
                });
    server.Get("/api/games", [&](const httplib::Request&, httplib::Response& res) {
        reply(res, Answer{200, text_of(listing(sets, storage))});
    });
    server.Get(R"(/api/games/([0-9a-f]{64})\.brinrec)", [&](const httplib::Request& req, httplib::Response& res) {
        std::optional<Bytes> file = storage.recording(req.matches[1]);
        if (!file) return reply(res, refused(404, "no such game in the hall"));
        res.set_header("Content-Disposition",
                       "attachment; filename=\"brin-" + req.matches[1].str().substr(0, 12) + ".brinrec\"");
        res.set_content(reinterpret_cast<const char*>(file->data()), file->size(), "application/octet-stream");
    });
    serve_page(server);
    server.set_file_extension_and_mimetype_mapping("wasm", "application/wasm");
    server.set_file_extension_and_mimetype_mapping("webmanifest", "application/manifest+json");
    if (!s.site.empty() && !server.set_mount_point("/", s.site))
        std::cerr << "brin-hall: no browser edition in " << s.site << ": / is not served\n";
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& error) {
            std::lock_guard lock(log_mutex);
            std::cerr << "brin-hall: " << error.what() << "\n";
        }
        reply(res, refused(500, "the hall can't keep games now"));
    });
    server.set_logger(log);
    int port = s.port;
    if (port == 0)
        port = server.bind_to_any_port(s.host);
    else if (!server.bind_to_port(s.host, port))
        port = -1;
    if (port < 0) return false;
    server.widen_backlog();
    bound(port);
    {
        std::lock_guard lock(running_mutex);
        running = &server;
    }
    server.listen_after_bind();
    std::lock_guard lock(running_mutex);
    running = nullptr;
    return true;
}

void stop_serving() {
    std::lock_guard lock(running_mutex);
    if (running != nullptr) running->stop();
}

}  // namespace hall
