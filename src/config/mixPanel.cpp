#include "config/mixPanel.h"

#include "common/ApplicationDetailsUtil.h"
#include "common/Base64.h"
#include "config/HostNetworkIdentity.h"
#include "config/HttpGet.h"

#include <cstdlib>
#include <iostream>
#include <utility>

namespace {

// Whether the text is a JSON number; a numeric property that is not one is written quoted.
bool IsJsonNumber(std::string_view s) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        return i - start;
    };
    if (i < s.size() && s[i] == '-') ++i;
    if (i < s.size() && s[i] == '0') {
        ++i;
    } else if (digits() == 0) {
        return false;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (digits() == 0) return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == s.size();
}

// The length of the well-formed UTF-8 sequence at s[i], or 0.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

std::string Quoted(std::string_view text) {
    return mixPanel::jsonString(text);
}

}  // namespace

bool AnalyticsAllowedByEnvironment() {
    const char* value = std::getenv("TORVANE_NO_ANALYTICS");
    return value == nullptr || value[0] == '\0' || std::string_view(value) == "0";
}

mixPanel::mixPanel() : mixPanel(Options{}) {}

mixPanel::mixPanel(Options options) : options_(std::move(options)) {}

mixPanel::~mixPanel() {
    flush();
    if (sender_.joinable()) {
        sender_.request_stop();
        sender_.join();
    }
}

// ---- Event texts ----

std::string mixPanel::jsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += "\\ufffd";  // a byte that is not UTF-8
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0x0F];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string mixPanel::generateMixPanelJSON(std::string_view event, const PropertyList& properties,
                                           bool isNumeric, std::string_view identity,
                                           std::string_view token) {
    std::string text = "{\"event\": " + Quoted(event) + ",\"properties\": {";
    for (const auto& entry : properties) {
        if (entry.size() < 2) continue;
        const std::string& value = entry[1];
        text += Quoted(entry[0]) + ": " +
                (isNumeric && IsJsonNumber(value) ? value : Quoted(value)) + ",";
    }
    text += "\"distinct_id\": " + Quoted(identity) + ",\"token\": " + Quoted(token) + "}}";
    return text;
}

std::string mixPanel::softwareBuildInfoText(const ApplicationConfig& config, const BuildInfo& info,
                                            std::string_view identity, std::string_view token) {
    const OptString product =
        ApplicationConfig::getProductTypeAsString(config.currentAppProductType);
    std::string text = "{\"event\": \"Software Build Info\",\"properties\": {";
    text += "\"Build Type\":" + Quoted(config.getBuildTypeFull()) + ",";
    text += "\"Product Type\":" + Quoted(product.value_or("")) + ",";
    text += "\"Product Version\":" +
            Quoted(ApplicationDetailsUtil::getApplicationVersion().value_or("")) + ",";
    text += "\"Build Number\": " + Quoted(ApplicationDetailsUtil::getBuildNumber()) + ",";
    text += "\"OS version\":" + Quoted(info.osVersion) + ",";
    text += "\"distinct_id\":" + Quoted(identity) + ",";
    text +=
        "\"ios_version\":" +
        Quoted(std::to_string(info.iosMajorVersion) + "." + std::to_string(info.iosMinorVersion)) +
        ",";
    text += "\"token\":" + Quoted(token) + "}}";
    return text;
}

std::string mixPanel::crashReportText(const CrashReport& report, std::string_view identity,
                                      std::string_view token) {
    return "{\"event\": \"Crash Report\",\"properties\": {\"exception\": " +
           Quoted(report.exception) + ",\"stack\": " + Quoted(report.stack) +
           ",\"name\": " + Quoted(report.name) + ",\"reason\": " + Quoted(report.reason) +
           ",\"distinct_id\": " + Quoted(identity) + ",\"token\": " + Quoted(token) + "}}";
}

PropertyList mixPanel::standardProperties(const ApplicationConfig& config) {
    return {
        {"Build Type", config.getBuildTypeFull()},
        {"Product Type",
         ApplicationConfig::getProductTypeAsString(config.currentAppProductType).value_or("")},
        {"Version", ApplicationDetailsUtil::getApplicationVersion().value_or("")},
        {"Build Number", ApplicationDetailsUtil::getBuildNumber()},
    };
}

PropertyList mixPanel::recoveryInfoProperties(const RecoveryCounts& c) {
    const auto n = [](std::int32_t count) { return std::to_string(count); };
    return {
        {"Messages recovered", n(c.DeletedSMSCount)},
        {"Mess retrieved-", n(c.SMSCount)},
        {"Contacts recovered", n(c.DeletedContactCount)},
        {"Contacts retrieved", n(c.ContactCount)},
        {"Calls recovered", n(c.DeletedCallLogCount)},
        {"Call retrieved", n(c.CallLogCount)},
        {"Calendar recovered", n(c.DeletedCalendarCount)},
        {"Calendar retrieved", n(c.CalendarCount)},
        {"Notes recovered", n(c.DeletedNoteCount)},
        {"Notes retrieved", n(c.NoteCount)},
        {"Whatsapp recovered", n(c.DeletedWhatsAppCount)},
        {"Whatsapp retrieved", n(c.WhatsAppCount)},
        {"photos recovered", n(c.DeletedPhotosCount)},
        {"phot retrieved", n(c.PhotosCount)},
        {"videos recovered", n(c.DeletedVideosCount)},
        {"videos retrieved", n(c.VideosCount)},
        {"internet recovered", n(c.DeletedInternetCount)},
        {"internet retrieved", n(c.InternetCount)},
    };
}

std::string mixPanel::trackAddress(std::string_view baseAddress, std::string_view eventText) {
    std::string base(baseAddress);
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base + "/track/?data=" + Base64::base64EncodedString(eventText).value_or("") + ";ip=1";
}

// ---- Sending ----

mixPanel::Destination mixPanel::destination(const ApplicationConfig& config) const {
    Destination d;
    if (!options_.allowedByEnvironment || !config.analyticsEnabled || !config.analyticsUrl)
        return d;
    const auto parts = ParseWebAddress(*config.analyticsUrl);
    if (!parts || (parts->scheme != "http" && parts->scheme != "https") ||
        IsPlaceholderAddress(*config.analyticsUrl))
        return d;
    d.enabled = true;
    d.baseAddress = *config.analyticsUrl;
    return d;
}

bool mixPanel::enabled() const {
    return options_.configuration && destination(options_.configuration()).enabled;
}

std::string mixPanel::distinctId() {
    std::call_once(identityOnce_, [this] {
        const OptString mac = options_.macAddress ? options_.macAddress() : getMacAddress();
        identity_ = AnalyticsIdentity(mac, kToken);
    });
    return identity_;
}

void mixPanel::sendToMixPanelwithEvent(std::string_view event, const PropertyList& properties,
                                       bool isNumeric) {
    if (!enabled()) return;
    sendMixPanel(generateMixPanelJSON(event, properties, isNumeric, distinctId()));
}

void mixPanel::sendMixPanel(const std::string& eventText) {
    if (!options_.configuration) return;
    const Destination d = destination(options_.configuration());
    if (!d.enabled) return;
    enqueue(trackAddress(d.baseAddress, eventText));
}

void mixPanel::enqueue(std::string address) {
    std::lock_guard lock(mutex_);
    if (queue_.size() >= options_.maxQueued) {
        std::cerr << "analytics: too many events waiting; one is dropped\n";
        return;
    }
    queue_.push_back(std::move(address));
    if (!sender_.joinable()) sender_ = std::jthread([this](std::stop_token stop) { run(stop); });
    changed_.notify_all();
}

void mixPanel::flush() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, options_.timeout, [this] { return queue_.empty() && !sending_; });
}

void mixPanel::run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!changed_.wait(lock, stop, [this] { return !queue_.empty(); })) return;
        // Stopping drops what is still waiting.
        if (stop.stop_requested()) return;
        std::string address = std::move(queue_.front());
        queue_.pop_front();
        sending_ = true;
        lock.unlock();

        HttpRequest request;
        request.address = std::move(address);
        request.timeout = options_.timeout;
        request.maxBodyBytes = 64u << 10;
        request.stop = stop;
        const HttpResponse response = HttpGet(request);
        if (!response.ok && !stop.stop_requested())
            std::cerr << ("analytics: an event was not sent: " + response.error + "\n");

        lock.lock();
        sending_ = false;
        changed_.notify_all();
    }
}

// ---- The events ----

void mixPanel::publishMessageEvent(const std::string& name) {
    if (!enabled()) return;
    sendToMixPanelwithEvent(name, standardProperties(options_.configuration()), false);
}

void mixPanel::PublishButtonEvent(const std::string& buttonName) {
    if (!enabled()) return;
    PropertyList properties = standardProperties(options_.configuration());
    properties.push_back(
        {"Version & Build", ApplicationDetailsUtil::getApplicationVersion().value_or("") + " " +
                                ApplicationDetailsUtil::getBuildNumber()});
    sendToMixPanelwithEvent("BP-" + buttonName, properties, false);
}

void mixPanel::publishRatingEvent(const std::string& name, std::int32_t stars) {
    if (!enabled()) return;
    PropertyList properties = {{"Rating", std::to_string(stars)}};
    for (auto& entry : standardProperties(options_.configuration()))
        properties.push_back(std::move(entry));
    sendToMixPanelwithEvent(name, properties, false);
}

void mixPanel::PublishReportInfosEvent(const RecoveryCounts& counts) {
    if (!enabled()) return;
    sendToMixPanelwithEvent("Recovery Info2", recoveryInfoProperties(counts), true);
}

void mixPanel::softwareBuildInfo(const BuildInfo& info) {
    if (!enabled()) return;
    sendMixPanel(softwareBuildInfoText(options_.configuration(), info, distinctId()));
}

void mixPanel::sendCrashReport(const CrashReport& report) {
    if (!enabled()) return;
    sendMixPanel(crashReportText(report, distinctId()));
}
