#include "device/DeviceServices.h"

#include "device/AMDevice.h"

#include <chrono>
#include <vector>

namespace {

PlistValue Array(std::initializer_list<PlistValue> items) {
    PlistValue array = PlistValue::array();
    for (const PlistValue& item : items) array.append(item);
    return array;
}

bool ValidUtf8(const char* bytes, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = 0;
        if (c < 0x80)
            extra = 0;
        else if ((c >> 5) == 0x6)
            extra = 1;
        else if ((c >> 4) == 0xe)
            extra = 2;
        else if ((c >> 3) == 0x1e)
            extra = 3;
        else
            return false;
        if (extra > size - i - 1) return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 0x2) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace

// ---- System log ----

namespace {

// Each whole record of one read, as AMSyslogRelayCallBack describes them.
template <class Tell>
void ForEachRecord(const char* bytes, std::size_t size, Tell tell) {
    std::size_t i = 0;
    while (i < size) {
        while (i < size && bytes[i] == '\n') ++i;
        const std::size_t start = i;
        while (i < size && bytes[i] != '\0') ++i;
        if (i >= size) return;  // no NUL before the read's end: the rest is dropped
        if (i > start) {
            const bool valid = ValidUtf8(bytes + start, i - start);
            tell(valid ? OptString(std::string(bytes + start, i - start)) : std::nullopt);
        }
        ++i;
    }
}

}  // namespace

void AMSyslogRelay::AMSyslogRelayCallBack(const char* bytes, std::size_t size,
                                          AMSyslogRelayListener* listener) {
    if (listener) ForEachRecord(bytes, size, [listener](OptString line) { listener->syslogMessage(line); });
}

std::unique_ptr<AMSyslogRelay> AMSyslogRelay::initWithAMDevice(AMDevice& device,
                                                              AMSyslogRelayListener* listener,
                                                              RunLoopPoster mainLoop) {
    if (!mainLoop) return nullptr;
    std::unique_ptr<AMSyslogRelay> made(new AMSyslogRelay());
    if (!made->initWithName("com.apple.syslog_relay", device)) return nullptr;
    made->listener_ = listener;
    AMSyslogRelay* relay = made.get();
    made->reader_ = std::jthread([relay, mainLoop = std::move(mainLoop)](std::stop_token stop) {
        std::vector<char> buffer(16384);
        while (!stop.stop_requested()) {
            std::size_t got = 0;
            const std::int32_t status = AMServiceReceive(relay->service_, buffer.data(), buffer.size(), &got, 250);
            if (got > 0) {
                if (relay->listener_)
                    ForEachRecord(buffer.data(), got, [&](OptString line) {
                        mainLoop([alive = relay->alive_, listener = relay->listener_, line = std::move(line)] {
                            if (*alive) listener->syslogMessage(line);
                        });
                    });
                continue;
            }
            if (status != kAMDReceiveTimeout) return;  // the log has ended
        }
    });
    return made;
}

AMSyslogRelay::~AMSyslogRelay() {
    *alive_ = false;
    if (reader_.joinable()) {
        reader_.request_stop();
        reader_.join();
    }
    AMServiceClose(service_);
}

// ---- File relay ----

std::unique_ptr<AMFileRelay> AMFileRelay::initWithAMDevice(AMDevice& device) {
    std::unique_ptr<AMFileRelay> made(new AMFileRelay());
    if (!made->initWithName("com.apple.mobile.file_relay", device)) return nullptr;
    made->used_ = false;
    return made;
}

bool AMFileRelay::getFileSets(const std::vector<std::string>& names, std::ostream& into) {
    if (used_) {
        setLastError("AlreadyUsed");
        return false;
    }
    used_ = true;
    PlistValue sources = PlistValue::array();
    for (const std::string& name : names) sources.append(PlistValue::string(name));
    PlistValue request = PlistValue::dictionary();
    request.set("Sources", std::move(sources));
    if (!sendXMLRequest(request)) return false;
    const PlistValue reply = readXMLReply();
    if (!reply) return false;
    if (const PlistValue error = reply.get("Error"); error) {
        setLastError(error.asText().value_or("Error"));
        return false;
    }
    return slurpInto(into);
}

bool AMFileRelay::slurpInto(std::ostream& into) {
    ServiceInputStream input = inputStreamFromSocket();
    std::vector<char> buffer(1024);
    for (;;) {
        const long got = input.read(buffer.data(), buffer.size());
        if (got < 0) {
            setLastError(input.error());
            return false;
        }
        if (got == 0) {
            clearLastError();
            return true;
        }
        into.write(buffer.data(), got);
        if (!into) {
            setLastError("File truncated on write, nr=" + std::to_string(got) + " nw=0");
            return false;
        }
    }
}

// ---- Notification proxy ----

std::unique_ptr<AMNotificationProxy> AMNotificationProxy::initWithAMDevice(AMDevice& device,
                                                                          RunLoopPoster mainLoop) {
    std::unique_ptr<AMNotificationProxy> made(new AMNotificationProxy());
    if (!made->initWithName("com.apple.mobile.notification_proxy", device) || !mainLoop) return nullptr;
    // Work posted for a proxy that has gone meanwhile is dropped.
    std::weak_ptr<State> weak = made->state_;
    RunLoopPoster guarded = [weak, mainLoop](std::function<void()> work) {
        mainLoop([weak, work = std::move(work)] {
            if (const auto alive = weak.lock()) work();
        });
    };
    AMDListenForNotifications(made->service_, AMNotificationProxy_callback, made->state_.get(),
                              std::move(guarded));
    return made;
}

AMNotificationProxy::~AMNotificationProxy() {
    if (service_) AMDShutdownNotificationProxy(service_);
}

void AMNotificationProxy::AMNotificationProxy_callback(const std::string& name, void* context) {
    auto* state = static_cast<State*>(context);
    std::vector<Entry> entries;
    {
        std::lock_guard lock(state->mutex);
        const auto found = state->messages.find(name);
        if (found == state->messages.end()) return;
        entries = found->second;
    }
    for (const Entry& entry : entries) entry.callback(name);
}

bool AMNotificationProxy::postNotification(const std::string& name) {
    return AMDPostNotification(service_, name, nullptr) == 0;
}

void AMNotificationProxy::addObserver(const void* observer, Callback callback, const std::string& name) {
    if (!observer || !callback) return;
    bool first = false;
    {
        std::lock_guard lock(state_->mutex);
        const auto found = state_->messages.find(name);
        if (found != state_->messages.end()) {
            for (const Entry& entry : found->second)
                if (entry.observer == observer) return;
            found->second.push_back({observer, std::move(callback)});
        } else {
            first = true;
            state_->messages[name].push_back({observer, std::move(callback)});
        }
    }
    if (first) AMDObserveNotification(service_, name);
}

void AMNotificationProxy::removeObserver(const void* observer, const std::string& name) {
    std::lock_guard lock(state_->mutex);
    const auto found = state_->messages.find(name);
    if (found == state_->messages.end()) return;
    auto& list = found->second;
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->observer == observer) {
            list.erase(it);
            return;
        }
}

void AMNotificationProxy::removeObserver(const void* observer) {
    std::vector<std::string> names;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& [name, list] : state_->messages) names.push_back(name);
    }
    for (const std::string& name : names) removeObserver(observer, name);
}

std::size_t AMNotificationProxy::observerCount(const std::string& name) const {
    std::lock_guard lock(state_->mutex);
    const auto found = state_->messages.find(name);
    return found == state_->messages.end() ? 0 : found->second.size();
}

// ---- Springboard ----

std::unique_ptr<AMSpringboardServices> AMSpringboardServices::initWithAMDevice(AMDevice& device) {
    std::unique_ptr<AMSpringboardServices> made(new AMSpringboardServices());
    return made->initWithName("com.apple.springboardservices", device) ? std::move(made) : nullptr;
}

PlistValue AMSpringboardServices::getIconState() {
    PlistValue request = PlistValue::dictionary();
    request.set("command", PlistValue::string("getIconState"));
    return sendXMLRequest(request) ? readXMLReply() : PlistValue();
}

PlistValue AMSpringboardServices::getIconPNGData(const std::string& bundleId) {
    PlistValue request = PlistValue::dictionary();
    request.set("command", PlistValue::string("getIconPNGData"));
    request.set("bundleId", PlistValue::string(bundleId));
    return sendXMLRequest(request) ? readXMLReply() : PlistValue();
}

std::optional<std::vector<std::uint8_t>> AMSpringboardServices::getIcon(const std::string& bundleId) {
    return getIconPNGData(bundleId).get("pngData").asData();
}

// ---- Mobile sync ----

std::unique_ptr<AMMobileSync> AMMobileSync::initWithAMDevice(AMDevice& device) {
    std::unique_ptr<AMMobileSync> made(new AMMobileSync());
    if (!made->initWithName("com.apple.mobilesync", device)) return nullptr;
    made->sendXMLRequest(Array({PlistValue::string("DLMessageVersionExchange"),
                                PlistValue::string("DLVersionsOk"), PlistValue::integer(100),
                                PlistValue::integer(100)}));
    return made;
}

AMMobileSync::~AMMobileSync() {
    sendXMLRequest(Array({PlistValue::string("DLMessageDisconnect"),
                          PlistValue::string("So long and thanks for all the fish")}));
}

PlistValue AMMobileSync::getContactData() {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    sendXMLRequest(Array({PlistValue::string("DLMessageProcessMessage"),
                          Array({PlistValue::string("SDMessageGetAllRecordsFromDevice"),
                                 PlistValue::string("com.apple.Contacts"), PlistValue::string("---"),
                                 PlistValue::date(now), PlistValue::integer(106),
                                 PlistValue::string("___EmptyParameterString___")})}));
    return {};
}
