#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A tiny HTTP server on 127.0.0.1 (an ephemeral port) for tests of the code that fetches or
// sends: it records the request target of every request ("/track/?data=...") and answers each
// with one fixed status and body, or, when told to hang, reads the request and never answers.
// One connection at a time; nothing but the loopback address is ever reached.
class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // "http://127.0.0.1:<port>".
    std::string address() const;
    void answer(int status, std::string body);
    // Requests are read and recorded but never answered (the connection stays open).
    void hang();

    std::vector<std::string> requestTargets() const;
    // Waits until `count` requests have come, at most `limit`; whether they came.
    bool waitForRequests(std::size_t count,
                         std::chrono::milliseconds limit = std::chrono::seconds(20)) const;

private:
    void serve(std::stop_token stop);
    void handle(int connection, std::stop_token stop);

    int listener_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int status_ = 200;
    std::string body_;
    bool hang_ = false;
    std::vector<std::string> targets_;
    std::vector<int> held_;  // connections left unanswered
    std::jthread thread_;
};

}  // namespace testsupport
