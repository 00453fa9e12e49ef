#include "support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport {

namespace {

// Waits until the descriptor can be read or the stop is asked for; whether it can be read.
bool WaitReadable(int fd, const std::stop_token& stop) {
    while (!stop.stop_requested()) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, 20);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
    return false;
}

void SendAll(int fd, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("loopback server: no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        throw std::runtime_error("loopback server: cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::jthread([this](std::stop_token stop) { serve(stop); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    thread_.request_stop();
    if (thread_.joinable()) thread_.join();
    for (const int fd : held_) ::close(fd);
    ::close(listener_);
}

std::string LoopbackHttpServer::address() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void LoopbackHttpServer::answer(int status, std::string body) {
    std::lock_guard lock(mutex_);
    status_ = status;
    body_ = std::move(body);
    hang_ = false;
}

void LoopbackHttpServer::hang() {
    std::lock_guard lock(mutex_);
    hang_ = true;
}

std::vector<std::string> LoopbackHttpServer::requestTargets() const {
    std::lock_guard lock(mutex_);
    return targets_;
}

bool LoopbackHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return targets_.size() >= count; });
}

void LoopbackHttpServer::serve(std::stop_token stop) {
    while (WaitReadable(listener_, stop)) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        handle(connection, stop);
    }
}

void LoopbackHttpServer::handle(int connection, std::stop_token stop) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < (64u << 10)) {
        if (!WaitReadable(connection, stop)) break;
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    // "GET <target> HTTP/1.1"
    const std::size_t firstBlank = request.find(' ');
    const std::size_t secondBlank =
        firstBlank == std::string::npos ? std::string::npos : request.find(' ', firstBlank + 1);
    std::string target = secondBlank == std::string::npos
                             ? std::string()
                             : request.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    int status = 0;
    std::string body;
    bool hang = false;
    {
        std::lock_guard lock(mutex_);
        if (!request.empty()) targets_.push_back(std::move(target));
        status = status_;
        body = body_;
        hang = hang_;
        changed_.notify_all();
    }
    if (hang) {
        held_.push_back(connection);
        return;
    }
    SendAll(connection, "HTTP/1.1 " + std::to_string(status) +
                            " Answer\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n" + body);
    ::shutdown(connection, SHUT_WR);
    ::close(connection);
}

}  // namespace testsupport
