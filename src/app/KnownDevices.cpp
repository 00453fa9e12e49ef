#include "app/KnownDevices.h"

#include "records/DeviceInfo.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool SameDevice(const DeviceInfo& entry, const std::string& lowerId) {
    return entry.UniqueDeviceID() && Lower(*entry.UniqueDeviceID()) == lowerId;
}

bool IsHex(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
}

}  // namespace

void KnownDevices::afterReading(const DeviceInfo& read, bool fromBackup,
                                const std::string& backupDirectory) {
    const OptString& id = read.UniqueDeviceID();
    const bool enters = id && !id->empty() &&
                        (!fromBackup || (read.ProductVersion() && read.ProductVersion()->size() > 2));
    if (enters) {
        const std::string lowerId = Lower(*id);
        const auto same = std::find_if(entries_.begin(), entries_.end(),
                                       [&](const DeviceInfo& e) { return SameDevice(e, lowerId); });
        if (same != entries_.end())
            *same = read;
        else
            entries_.push_back(read);
    }
    if (!read.DeviceName()) {
        const std::string folder =
            std::filesystem::path(backupDirectory).lexically_normal().filename().string();
        const std::string name = folder.empty()
            ? std::filesystem::path(backupDirectory).parent_path().filename().string()
            : folder;
        if (!name.empty())
            std::erase_if(entries_, [&](const DeviceInfo& e) {
                return e.UniqueDeviceID() && *e.UniqueDeviceID() == name;
            });
    }
}

void KnownDevices::keepListed(const std::vector<std::string>& listedNames,
                              const std::string& listedFolder) {
    const auto normal = [](const std::string& path) {
        std::string text = std::filesystem::path(path).lexically_normal().string();
        while (text.size() > 1 && text.back() == '/') text.pop_back();
        return text;
    };
    const std::string listed = normal(listedFolder);
    const auto readElsewhere = [&](const DeviceInfo& e) {
        const OptString& location = e.BackupLocation();
        if (!location || location->empty()) return false;
        std::error_code error;
        return normal(std::filesystem::path(normal(*location)).parent_path().string()) != listed &&
               std::filesystem::is_directory(*location, error);
    };
    std::erase_if(entries_, [&](const DeviceInfo& e) {
        if (!e.UniqueDeviceID()) return true;
        if (std::find(listedNames.begin(), listedNames.end(), *e.UniqueDeviceID()) != listedNames.end())
            return false;
        return !readElsewhere(e);
    });
}

const DeviceInfo* KnownDevices::find(const OptString& uniqueDeviceID) const {
    const int at = indexOf(uniqueDeviceID);
    return at < 0 ? nullptr : &entries_[static_cast<std::size_t>(at)];
}

int KnownDevices::indexOf(const OptString& uniqueDeviceID) const {
    if (!uniqueDeviceID) return -1;
    const std::string lowerId = Lower(*uniqueDeviceID);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (SameDevice(entries_[i], lowerId)) return static_cast<int>(i);
    return -1;
}

namespace BackupFolderListing {

std::vector<std::string> list(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    if (error) return names;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        std::string name = it->path().filename().string();
        if (!name.empty() && name.front() != '.') names.push_back(std::move(name));
    }
    return names;
}

bool isRead(const std::vector<std::string>& names, std::size_t index) {
    if (index >= names.size()) return false;
    if (index + 1 == names.size()) return true;
    const std::string& name = names[index];
    if (name.size() == 40) return true;
    if (name.size() == 25 && name[8] == '-') return IsHex(name.substr(0, 8)) && IsHex(name.substr(9));
    return false;
}

}  // namespace BackupFolderListing
