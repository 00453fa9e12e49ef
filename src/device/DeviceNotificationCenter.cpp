#include "device/DeviceNotificationCenter.h"

#include <algorithm>

DeviceNotificationCenter& DeviceNotificationCenter::defaultCenter() {
    static DeviceNotificationCenter center;
    return center;
}

std::uint64_t DeviceNotificationCenter::addObserver(const std::string& name, Observer observer) {
    std::lock_guard lock(mutex_);
    const std::uint64_t token = nextToken_++;
    entries_.push_back({token, name, std::move(observer)});
    return token;
}

void DeviceNotificationCenter::removeObserver(std::uint64_t token) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [token](const Entry& e) { return e.token == token; });
}

void DeviceNotificationCenter::postNotificationName(const std::string& name, const void* object,
                                                     const PlistValue& info) {
    std::vector<Observer> observers;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_)
            if (e.name == name) observers.push_back(e.observer);
    }
    for (const Observer& observer : observers) observer(name, object, info);
}
