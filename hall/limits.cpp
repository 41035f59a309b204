// SPDX-License-Identifier: MIT
// What keeps one client from taking the hall: submissions per address and minute, and a
// bounded queue of verifications served by a few workers. A full queue is said at once
// rather than making everyone wait.
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "hall.h"

namespace hall {

namespace {

using Clock = std::chrono::steady_clock;

// A bucket of a minute's submissions, refilled as the minute goes by.
struct Bucket {
    double tokens = 0;
    Clock::time_point filled;
};

std::mutex rate_mutex;
std::map<std::string, Bucket> buckets;
constexpr std::size_t kMaxAddresses = 10000;  // past that the full buckets are forgotten

double refilled(Bucket& b, Clock::time_point now, int per_minute) {
    double minutes = std::chrono::duration<double>(now - b.filled).count() / 60;
    b.tokens = std::min<double>(per_minute, b.tokens + minutes * per_minute);
    b.filled = now;
    return b.tokens;
}

std::mutex queue_mutex;
std::condition_variable queue_changed;
std::deque<std::packaged_task<Answer()>> jobs;
std::vector<std::thread> workers;
std::size_t room = 0;
bool stopping = false;

void work() {
    for (;;) {
        std::packaged_task<Answer()> job;
        {
            std::unique_lock lock(queue_mutex);
            queue_changed.wait(lock, [] { return stopping || !jobs.empty(); });
            if (jobs.empty()) return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        job();
    }
}

}  // namespace

int rate_wait(const std::string& address, int per_minute) {
    std::lock_guard lock(rate_mutex);
    Clock::time_point now = Clock::now();
    if (buckets.size() > kMaxAddresses) {
        for (auto b = buckets.begin(); b != buckets.end();)
            b = refilled(b->second, now, per_minute) >= per_minute ? buckets.erase(b) : std::next(b);
    }
    auto [at, added] = buckets.try_emplace(address, Bucket{static_cast<double>(per_minute), now});
    double tokens = refilled(at->second, now, per_minute);
    if (tokens >= 1) {
        at->second.tokens -= 1;
        return 0;
    }
    return static_cast<int>(std::ceil((1 - tokens) * 60 / per_minute));
}

void start_queue(int count, int capacity) {
    room = static_cast<std::size_t>(capacity);
    for (int i = 0; i < count; ++i) workers.emplace_back(work);
}

bool queue_has_room() {
    std::lock_guard lock(queue_mutex);
    return !stopping && jobs.size() < room;
}

std::optional<std::future<Answer>> submit(std::function<Answer()> job) {
    std::lock_guard lock(queue_mutex);
    if (stopping || jobs.size() >= room) return std::nullopt;
    std::packaged_task<Answer()> task(std::move(job));
    std::future<Answer> answer = task.get_future();
    jobs.push_back(std::move(task));
    queue_changed.notify_one();
    return answer;
}

void stop_queue() {
    {
        std::lock_guard lock(queue_mutex);
        stopping = true;
    }
    queue_changed.notify_all();
    for (auto& w : workers) w.join();
    workers.clear();
}

}  // namespace hall
