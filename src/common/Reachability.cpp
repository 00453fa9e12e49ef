#include "common/Reachability.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <memory>

namespace Reachability {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> PercentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        const char decoded = static_cast<char>(high * 16 + low);
        if (decoded == '\0') return std::nullopt;
        out.push_back(decoded);
        i += 2;
    }
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

struct Endpoint {
    std::string host;
    std::string port;
};

std::optional<Endpoint> EndpointOf(std::string_view location) {
    const std::size_t schemeEnd = location.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0) return std::nullopt;
    const std::string_view scheme = location.substr(0, schemeEnd);
    std::string_view rest = location.substr(schemeEnd + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos)
        rest = rest.substr(at + 1);  // user information
    Endpoint endpoint;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        endpoint.host = std::string(rest.substr(1, close - 1));
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            port = after.substr(1);
        }
    } else {
        const std::size_t colon = rest.find(':');
        endpoint.host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos) port = rest.substr(colon + 1);
    }
    if (endpoint.host.empty()) return std::nullopt;
    if (port.empty()) {
        if (StartsWithNoCase(scheme, "https") && scheme.size() == 5)
            port = "443";
        else if (StartsWithNoCase(scheme, "http") && scheme.size() == 4)
            port = "80";
        else
            return std::nullopt;
    }
    unsigned number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (error != std::errc() || end != port.data() + port.size() || number == 0 || number > 65535)
        return std::nullopt;
    endpoint.port = std::to_string(number);
    return endpoint;
}

bool Connects(const addrinfo& address, std::chrono::milliseconds timeout) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0) return false;
    bool connected = false;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
        connected = true;
    } else if (errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        int ready = 0;
        do {
            ready = ::poll(&waiting, 1, static_cast<int>(timeout.count()));
        } while (ready < 0 && errno == EINTR);
        if (ready == 1) {
            int error = 0;
            socklen_t length = sizeof error;
            connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        }
    }
    ::close(fd);
    return connected;
}

}  // namespace

std::optional<std::string> LocalPathOf(std::string_view location) {
    if (!location.empty() && location.front() == '/') return std::string(location);
    if (!StartsWithNoCase(location, "file:")) return std::nullopt;
    std::string_view rest = location.substr(5);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost")))
            return std::nullopt;
        rest = rest.substr(slash);
    }
    if (rest.empty() || rest.front() != '/') return std::nullopt;
    rest = rest.substr(0, rest.find_first_of("?#"));
    return PercentDecoded(rest);
}

bool IsReachable(std::string_view location, std::chrono::milliseconds timeout) {
    if (const auto path = LocalPathOf(location)) {
        struct stat status {};
        if (::stat(path->c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
        const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return false;
        ::close(fd);
        return true;
    }
    const auto endpoint = EndpointOf(location);
    if (!endpoint) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(endpoint->host.c_str(), endpoint->port.c_str(), &hints, &found) != 0)
        return false;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);
    if (timeout.count() < 0) timeout = std::chrono::milliseconds(0);
    for (const addrinfo* address = found; address; address = address->ai_next)
        if (Connects(*address, timeout)) return true;
    return false;
}

}  // namespace Reachability
