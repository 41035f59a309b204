// SPDX-License-Identifier: MIT
// The hall's HTTP server: cpp-httplib's, with connections whose every request must arrive
// whole within its time (server.cpp).
#pragma once

#include <httplib.h>

#include <chrono>

namespace hall {

class Connection : public httplib::Stream {
public:
    explicit Connection(int fd);
    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override;

    // Waits for the next request while the server runs; false when none comes.
    bool await_request(const httplib::Server& server);
    void start_request(std::chrono::seconds to_send);
    // The request took longer to arrive than it may.
    bool timed_out() const { return timed_out_; }
    // Whether anything of an answer was sent; if not, a request that timed out is told so.
    bool answered() const { return answered_; }
    void say_timed_out();
    // Closes the connection after this answer: its request's body was left unread.
    void close_after_answer() { closing_ = true; }
    bool closing() const { return closing_; }
    // Ends the sending and reads what the client still sends, for a little while.
    void drain();
    std::chrono::steady_clock::time_point started() const { return started_; }

    // The connection whose request this thread is answering.
    static Connection* of_this_thread();

private:
    int fd_;
    char buffer_[4096];
    std::size_t at_ = 0, filled_ = 0;
    std::chrono::steady_clock::time_point started_, deadline_;
    bool timed_out_ = false, closing_ = false, answered_ = false;
};

class HallServer : public httplib::Server {
public:
    explicit HallServer(std::chrono::seconds to_send) : to_send_(to_send) {}
    // Once bound: many clients may connect at once, and cpp-httplib's backlog is 5.
    void widen_backlog();

private:
    bool process_and_close_socket(socket_t sock) override;
    std::chrono::seconds to_send_;
};

}  // namespace hall
