#include "config/HttpGet.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace {

void InitialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    std::string body;
    std::size_t limit = 0;
    bool tooLarge = false;
    std::stop_token stop;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer.body.size() + bytes > transfer.limit) {
        transfer.tooLarge = true;
        return 0;  // ends the transfer
    }
    transfer.body.append(data, bytes);
    return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool EndsWithLabel(const std::string& host, std::string_view domain) {
    if (host == domain) return true;
    return host.size() > domain.size() &&
           host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.';
}

}  // namespace

std::optional<WebAddressParts> ParseWebAddress(std::string_view address) {
    if (address.empty() || address.find('\0') != std::string_view::npos) return std::nullopt;
    InitialiseCurl();
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
    if (!url) return std::nullopt;
    const std::string text(address);
    if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return std::nullopt;
    WebAddressParts parts;
    char* scheme = nullptr;
    char* host = nullptr;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && scheme)
        parts.scheme = Lower(scheme);
    if (curl_url_get(url.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK && host)
        parts.host = Lower(host);
    curl_free(scheme);
    curl_free(host);
    if (parts.scheme.empty()) return std::nullopt;
    // A trailing dot names the same host.
    while (!parts.host.empty() && parts.host.back() == '.') parts.host.pop_back();
    return parts;
}

bool IsPlaceholderAddress(std::string_view address) {
    const auto parts = ParseWebAddress(address);
    if (!parts) return false;
    for (std::string_view domain :
         {"example.com", "example.net", "example.org", "example", "invalid", "test"})
        if (EndsWithLabel(parts->host, domain)) return true;
    return false;
}

HttpResponse HttpGet(const HttpRequest& request) {
    HttpResponse response;
    InitialiseCurl();
    const auto parts = ParseWebAddress(request.address);
    if (!parts || (parts->scheme != "https" && parts->scheme != "http")) {
        response.error = "not a web address: " + request.address;
        return response;
    }
    if (request.httpsOnly && parts->scheme != "https") {
        response.error = "refused, not an https address: " + request.address;
        return response;
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        response.error = "cannot start a request";
        return response;
    }
    Transfer transfer;
    transfer.limit = request.maxBodyBytes;
    transfer.stop = request.stop;
    const char* protocols = request.httpsOnly ? "https" : "http,https";
    const long timeoutMs = static_cast<long>(std::max<std::int64_t>(1, request.timeout.count()));

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.address.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Torvane");

    const CURLcode result = curl_easy_perform(c);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
    if (result != CURLE_OK) {
        if (transfer.tooLarge)
            response.error =
                "the answer is larger than " + std::to_string(request.maxBodyBytes) + " bytes";
        else if (result == CURLE_ABORTED_BY_CALLBACK)
            response.error = "stopped";
        else
            response.error = curl_easy_strerror(result);
        return response;
    }
    if (response.status < 200 || response.status > 299) {
        response.error = "HTTP status " + std::to_string(response.status);
        return response;
    }
    response.ok = true;
    response.body = std::move(transfer.body);
    return response;
}
