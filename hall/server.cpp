// SPDX-License-Identifier: MIT
// The hall's connections. cpp-httplib's own waits a read timeout per read, so a client that
// sends a byte now and then could hold a connection for ever; here every request must
// arrive whole within its time, and a connection's idle wait ends when the hall stops.
#include "server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace hall {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeepAliveRequests = 100;
constexpr auto kKeepAlive = std::chrono::seconds(5);
constexpr auto kWriteTimeout = std::chrono::seconds(10);
constexpr auto kStopCheck = std::chrono::milliseconds(100);
// A body left unread is taken in a little longer before the close, or the close would reset
// the connection and the client could lose the answer already sent.
constexpr auto kDrain = std::chrono::seconds(2);
constexpr std::size_t kDrainBytes = 4 << 20;

thread_local Connection* current = nullptr;

int remaining_ms(Clock::time_point until) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1000000));
}

// Waits for `events` on `fd` until `until`; false when it did not come in time.
bool wait_for(int fd, short events, Clock::time_point until) {
    for (;;) {
        pollfd p{fd, events, 0};
        int ready = poll(&p, 1, remaining_ms(until));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

void address_of(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_storage a{};
    socklen_t size = sizeof a;
    int got = peer ? getpeername(fd, reinterpret_cast<sockaddr*>(&a), &size)
                   : getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    char host[NI_MAXHOST], service[NI_MAXSERV];
    if (got != 0 || getnameinfo(reinterpret_cast<sockaddr*>(&a), size, host, sizeof host, service, sizeof service,
                                NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return;
    ip = host;
    port = std::atoi(service);
}

}  // namespace

Connection::Connection(int fd) : fd_(fd) {}

bool Connection::is_readable() const { return at_ < filled_ || wait_for(fd_, POLLIN, deadline_); }

bool Connection::is_writable() const { return wait_for(fd_, POLLOUT, Clock::now() + kWriteTimeout); }

ssize_t Connection::read(char* ptr, size_t size) {
    if (at_ == filled_) {
        if (!is_readable()) {
            timed_out_ = true;
            return -1;
        }
        ssize_t n;
        do n = recv(fd_, buffer_, sizeof buffer_, 0);
        while (n < 0 && errno == EINTR);
        if (n <= 0) return n;
        at_ = 0;
        filled_ = static_cast<std::size_t>(n);
    }
    std::size_t n = std::min(size, filled_ - at_);
    std::memcpy(ptr, buffer_ + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
}

ssize_t Connection::write(const char* ptr, size_t size) {
    answered_ = true;
    if (!is_writable()) return -1;
    ssize_t n;
    do n = send(fd_, ptr, size, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n;
}

void Connection::get_remote_ip_and_port(std::string& ip, int& port) const { address_of(fd_, true, ip, port); }
void Connection::get_local_ip_and_port(std::string& ip, int& port) const { address_of(fd_, false, ip, port); }
socket_t Connection::socket() const { return fd_; }

bool Connection::await_request(const httplib::Server& server) {
    auto until = Clock::now() + kKeepAlive;
    while (at_ == filled_) {
        if (!server.is_running() || Clock::now() >= until) return false;
        if (wait_for(fd_, POLLIN, std::min(until, Clock::now() + kStopCheck))) break;
    }
    started_ = Clock::now();
    return true;
}

void Connection::start_request(std::chrono::seconds to_send) {
    deadline_ = started_ + to_send;
    timed_out_ = closing_ = answered_ = false;
}

void Connection::say_timed_out() {
    static const std::string kAnswer = "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
    write(kAnswer.data(), kAnswer.size());
}

Connection* Connection::of_this_thread() { return current; }

void Connection::drain() {
    shutdown(fd_, SHUT_WR);
    auto until = Clock::now() + kDrain;
    char discard[65536];
    for (std::size_t left = kDrainBytes; left > 0 && wait_for(fd_, POLLIN, until);) {
        ssize_t n = recv(fd_, discard, sizeof discard, 0);
        if (n <= 0) break;
        left -= std::min(left, static_cast<std::size_t>(n));
    }
}

void HallServer::widen_backlog() { ::listen(svr_sock_, SOMAXCONN); }

bool HallServer::process_and_close_socket(socket_t sock) {
    Connection c(sock);
    current = &c;
    bool ok = true;
    for (int left = kKeepAliveRequests; left > 0 && c.await_request(*this); --left) {
        c.start_request(to_send_);
        bool closed = false;
        ok = process_request(c, left == 1, closed, [](httplib::Request&) {});
        if (!ok && c.timed_out() && !c.answered()) c.say_timed_out();
        if (!ok || closed || c.closing()) break;
    }
    current = nullptr;
    if (c.closing()) c.drain();
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return ok;
}

}  // namespace hall
