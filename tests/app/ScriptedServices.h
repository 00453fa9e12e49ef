#pragma once

// Recovery services that do what a test asks instead of recovering anything: each notes when
// it begins and ends, and in between runs the body the test gave its name (waiting for
// something, throwing, or nothing). The manager they make is the record's ServicesManager.

#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "services/CalendarsService.h"
#include "services/CallHistoryService.h"
#include "services/ContactServices.h"
#include "services/DcimService.h"
#include "services/InternetHistoryService.h"
#include "services/MessageServices.h"
#include "services/NotesServices.h"
#include "services/ServicesManager.h"
#include "services/WhatsAppService.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

class ScriptedServices {
public:
    using Body = std::function<void(std::stop_token)>;

    // Gives the service of that name ("photos", "contacts", "notes", "calls", "whatsapp",
    // "calendar", "messages", "internet") something to do.
    void script(const std::string& name, Body body) {
        std::lock_guard lock(mutex_);
        bodies_[name] = std::move(body);
    }

    std::unique_ptr<ServicesManager> manager(BrimleyAppDelegate& record);

    // "contacts:begin", "contacts:end", ... in the order they happened.
    std::vector<std::string> log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }
    // The position of an entry in the log; -1 when it is not there.
    long position(const std::string& entry) const {
        const auto entries = log();
        const auto found = std::find(entries.begin(), entries.end(), entry);
        return found == entries.end() ? -1 : static_cast<long>(found - entries.begin());
    }
    std::size_t begun() const {
        std::lock_guard lock(mutex_);
        return begun_;
    }
    // Waits until `count` services have begun (a minute at most, so that a broken run fails
    // rather than hangs).
    bool waitUntilBegun(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::minutes(1), [&] { return begun_ >= count; });
    }
    // A body that returns only when its run is cancelled.
    static Body untilStopped() {
        return [](std::stop_token stop) {
            std::mutex m;
            std::condition_variable_any cv;
            std::unique_lock lock(m);
            cv.wait(lock, stop, [] { return false; });
        };
    }
    void clearLog() {
        std::lock_guard lock(mutex_);
        log_.clear();
        begun_ = 0;
    }

    void run(const std::string& name, std::stop_token stop) {
        Body body;
        {
            std::lock_guard lock(mutex_);
            log_.push_back(name + ":begin");
            ++begun_;
            const auto found = bodies_.find(name);
            if (found != bodies_.end()) body = found->second;
        }
        changed_.notify_all();
        if (body) body(stop);
        {
            std::lock_guard lock(mutex_);
            log_.push_back(name + (stop.stop_requested() ? ":stopped" : ":end"));
        }
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Body> bodies_;
    std::vector<std::string> log_;
    std::size_t begun_ = 0;
};

template <class Service>
class ScriptedService final : public Service {
public:
    ScriptedService(ScriptedServices& owner, std::string name)
        : owner_(owner), name_(std::move(name)) {}
    void RecoverFromIOSBackup(const ScanContext& context) override {
        owner_.run(name_, context.stop);
    }

private:
    ScriptedServices& owner_;
    std::string name_;
};

inline std::unique_ptr<ServicesManager> ScriptedServices::manager(BrimleyAppDelegate& record) {
    ServicesManager::Services s;
    s.whatsAppServ = std::make_unique<ScriptedService<WhatsAppService>>(*this, "whatsapp");
    s.callHistoryServ = std::make_unique<ScriptedService<CallHistoryService>>(*this, "calls");
    s.calendarServ = std::make_unique<ScriptedService<CalendarsService>>(*this, "calendar");
    s.noteServ = std::make_unique<ScriptedService<NotesServices>>(*this, "notes");
    s.messageServ = std::make_unique<ScriptedService<messageServicesIOS7_8>>(*this, "messages");
    s.contactServ = std::make_unique<ScriptedService<contactServices>>(*this, "contacts");
    s.dcmiServ = std::make_unique<ScriptedService<DcimService>>(*this, "photos");
    s.internetHistoryServ =
        std::make_unique<ScriptedService<InternetHistoryService>>(*this, "internet");
    return std::make_unique<ServicesManager>(std::move(s), record.deviceInfo.get());
}
