#pragma once

#include "common/Types.h"
#include "config/ApplicationConfig.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Properties of an event: entries of a key and a value. An entry with fewer than two items is
// left out; items after the second are ignored.
using PropertyList = std::vector<std::vector<std::string>>;

// The scan's counts that the "Recovery Info2" event carries.
struct RecoveryCounts {
    std::int32_t DeletedSMSCount = 0, SMSCount = 0;
    std::int32_t DeletedContactCount = 0, ContactCount = 0;
    std::int32_t DeletedCallLogCount = 0, CallLogCount = 0;
    std::int32_t DeletedCalendarCount = 0, CalendarCount = 0;
    std::int32_t DeletedNoteCount = 0, NoteCount = 0;
    std::int32_t DeletedWhatsAppCount = 0, WhatsAppCount = 0;
    std::int32_t DeletedPhotosCount = 0, PhotosCount = 0;
    std::int32_t DeletedVideosCount = 0, VideosCount = 0;
    std::int32_t DeletedInternetCount = 0, InternetCount = 0;
};

// What the "Software Build Info" event says of the host and the device being read.
struct BuildInfo {
    // The operating system's name and version ("Debian GNU/Linux 12").
    std::string osVersion;
    std::int32_t iosMajorVersion = 0;
    std::int32_t iosMinorVersion = 0;
};

// A failure that the "Crash Report" event tells of.
struct CrashReport {
    std::string exception;  // its description
    std::string stack;      // its call stack, one frame a line (may be empty)
    std::string name;       // its kind
    std::string reason;     // why
};

// Whether the environment lets usage events go out: not when TORVANE_NO_ANALYTICS is set to
// anything but "" or "0".
bool AnalyticsAllowedByEnvironment();

// The usage-event client. An event is a JSON text
//
//   {"event": "NAME","properties": {"KEY": "VALUE",...,"distinct_id": "ID","token": "TOKEN"}}
//
// (one blank after each colon, none after a comma; some events use a template of their own),
// encoded in Base64 and sent as the `data` parameter of a GET of
// "<base address>/track/?data=<Base64>;ip=1". Names, keys and values are escaped as JSON
// strings, so every event is valid JSON.
//
// Events go out only while the configuration turns analytics on (analyticsEnabled, with an
// analyticsUrl that is not a placeholder) and the environment allows them. Sending never
// blocks the caller: events are queued and sent, one at a time, by a thread of the client's
// own, each request with a short time limit; a failure is logged and the event dropped. Safe
// to use from any thread.
class mixPanel {
public:
    static constexpr std::string_view kToken = "8c2f71e04a9d3b65f10e7a2c94d8b036";

    struct Options {
        // The configuration, read at every event.
        std::function<ApplicationConfig()> configuration = &ApplicationConfig::sharedObject;
        bool allowedByEnvironment = AnalyticsAllowedByEnvironment();
        // The source of the identity (read once, at the first event sent).
        std::function<OptString()> macAddress;
        // The time limit of one request.
        std::chrono::milliseconds timeout{5000};
        // Events waiting beyond this are dropped (with a line on stderr).
        std::size_t maxQueued = 64;
    };

    mixPanel();
    explicit mixPanel(Options options);
    // Gives what is queued at most one request time limit to go out, then stops.
    ~mixPanel();
    mixPanel(const mixPanel&) = delete;
    mixPanel& operator=(const mixPanel&) = delete;

    // ---- Event texts ----
    static std::string generateMixPanelJSON(std::string_view event, const PropertyList& properties,
                                            bool isNumeric, std::string_view identity,
                                            std::string_view token = kToken);
    // "Software Build Info", written by its own template.
    static std::string softwareBuildInfoText(const ApplicationConfig& config, const BuildInfo& info,
                                             std::string_view identity,
                                             std::string_view token = kToken);
    // "Crash Report", written by its own template.
    static std::string crashReportText(const CrashReport& report, std::string_view identity,
                                       std::string_view token = kToken);
    // "Build Type", "Product Type", "Version" and "Build Number".
    static PropertyList standardProperties(const ApplicationConfig& config);
    // The 18 counts of "Recovery Info2", in order.
    static PropertyList recoveryInfoProperties(const RecoveryCounts& counts);
    // The request address of an event text; the Base64 text stands in it as it is.
    static std::string trackAddress(std::string_view baseAddress, std::string_view eventText);
    // A text as a JSON string, quotes included.
    static std::string jsonString(std::string_view text);

    // ---- Sending ----
    // Whether events go out now.
    bool enabled() const;
    // This computer's identity (AnalyticsIdentity of the MAC address).
    std::string distinctId();
    void sendToMixPanelwithEvent(std::string_view event, const PropertyList& properties,
                                 bool isNumeric);
    // Queues an event text; returns at once.
    void sendMixPanel(const std::string& eventText);
    // Waits until the queue has gone out (sent or failed), at most one request time limit.
    void flush();

    // ---- The events ----
    void publishMessageEvent(const std::string& name);
    // "BP-" and the button name.
    void PublishButtonEvent(const std::string& buttonName);
    void publishRatingEvent(const std::string& name, std::int32_t stars);
    // "Recovery Info2", numeric.
    void PublishReportInfosEvent(const RecoveryCounts& counts);
    void softwareBuildInfo(const BuildInfo& info);
    void sendCrashReport(const CrashReport& report);

private:
    struct Destination {
        bool enabled = false;
        std::string baseAddress;
    };
    Destination destination(const ApplicationConfig& config) const;
    void enqueue(std::string address);
    void run(std::stop_token stop);

    const Options options_;
    std::once_flag identityOnce_;
    std::string identity_;

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<std::string> queue_;  // request addresses
    bool sending_ = false;
    std::jthread sender_;
};
