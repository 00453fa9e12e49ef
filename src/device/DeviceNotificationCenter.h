#pragma once

#include "device/DevicePlist.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The process-wide notification centre of the device layer: AFC copies post their begin,
// progress and done notifications here ("AFCFileCopyBegin", "AFCFileCopyProgress",
// "AFCFileCopyDone"). Observers run on the posting thread. Any thread.
class DeviceNotificationCenter {
public:
    // name, the posting object, the notification's information.
    using Observer = std::function<void(const std::string&, const void*, const PlistValue&)>;

    static DeviceNotificationCenter& defaultCenter();

    // Observes one name; the token removes the observer again.
    std::uint64_t addObserver(const std::string& name, Observer observer);
    void removeObserver(std::uint64_t token);
    void postNotificationName(const std::string& name, const void* object, const PlistValue& info);

private:
    struct Entry {
        std::uint64_t token;
        std::string name;
        Observer observer;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t nextToken_ = 1;
};
