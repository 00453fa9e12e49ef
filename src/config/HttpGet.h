#pragma once

#include "common/Types.h"

#include <chrono>
#include <cstddef>
#include <stop_token>
#include <string>
#include <string_view>

// One HTTP GET through libcurl, for the update feed and the analytics events. Every request
// has a time limit, never follows a redirect to another scheme, never reads more than its
// body limit and stops early when its stop token is asked to stop. Safe to use from any
// thread; no signal is used for the time limits.
struct HttpRequest {
    std::string address;
    // The whole request, connecting included, ends after this.
    std::chrono::milliseconds timeout{10000};
    std::size_t maxBodyBytes = 1u << 20;
    // Only https addresses are fetched (redirects included); any other is refused.
    bool httpsOnly = false;
    std::stop_token stop;
};

struct HttpResponse {
    // The transfer completed with a 2xx status.
    bool ok = false;
    long status = 0;
    std::string body;
    // Why it failed, for the log; empty when ok.
    std::string error;
};

HttpResponse HttpGet(const HttpRequest& request);

// The parts of a web address that the requests care about; none when it is not one.
struct WebAddressParts {
    std::string scheme;  // lower case
    std::string host;    // lower case
};
std::optional<WebAddressParts> ParseWebAddress(std::string_view address);

// Whether the address is a placeholder under a name reserved for examples (example.com,
// example.net, example.org and their sub-domains; the .example, .invalid and .test domains).
// Such an address stands in a configuration until a real one is filled in; nothing is
// fetched from it.
bool IsPlaceholderAddress(std::string_view address);
