#pragma once

#include "device/MobileDeviceFramework.h"
#include "support/DeviceSimulator.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

// The main loop of a device test: work posted from the device layer's threads runs on the
// test's own thread inside runUntil.
class TestLoop {
public:
    RunLoopPoster poster() {
        return [this](std::function<void()> work) {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
            changed_.notify_all();
        };
    }
    // Runs posted work until `done` holds; false when it did not within the limit.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            std::function<void()> work;
            {
                std::unique_lock lock(mutex_);
                // Short slices: `done` may also turn true through another thread's work.
                const auto slice = std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
                if (!changed_.wait_until(lock, slice, [&] { return !queue_.empty(); })) {
                    if (std::chrono::steady_clock::now() >= end) return done();
                    continue;
                }
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            work();
        }
        return true;
    }
    // Runs whatever is queued now, waiting at most `quiet` for more.
    void drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(300)) {
        runUntil([] { return false; }, quiet);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> queue_;
};

// A phone as most tests want it: trusted, unlocked, with the usual lockdown values.
inline SimulatedDevice TestPhone(const std::string& udid, const std::string& name = "Anna's iPhone") {
    SimulatedDevice phone;
    phone.udid = udid;
    phone.values = {{"DeviceName", name},
                    {"UniqueDeviceID", udid},
                    {"ProductVersion", "9.3.2"},
                    {"ProductType", "iPhone8,1"},
                    {"DeviceClass", "iPhone"},
                    {"SerialNumber", "F2LQX0ABGRY5"},
                    {"FirmwareVersion", "iBoot-2817.60.2"},
                    {"PhoneNumber", "+49 170 1234567"},
                    {"InternationalMobileSubscriberIdentity", "262019876543210"},
                    {"InternationalMobileEquipmentIdentity", "356789012345678"},
                    {"IntegratedCircuitCardIdentity", "8949019876543210123"}};
    return phone;
}
