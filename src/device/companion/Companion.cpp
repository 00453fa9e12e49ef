// The companion library: copies files into the companion application's Documents container on
// a connected device, over the device's house_arrest service and AFC. The application opens it
// at run time and calls its two functions by name.

#include <libimobiledevice/afc.h>
#include <libimobiledevice/house_arrest.h>
#include <libimobiledevice/libimobiledevice.h>
#include <plist/plist.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kDone = 0;
constexpr int kBadArguments = -1;
constexpr int kNoDevice = -2;
constexpr int kNoCompanionApp = -3;
constexpr int kDeviceRefused = -4;
constexpr int kLocalFileUnreadable = -5;

void Log(const std::string& line) {
    std::fprintf(stderr, "torvane-companion: %s\n", line.c_str());
}

bool StaysInside(const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (path.compare(start, end - start, "..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    return true;
}

// A path inside the vended Documents container. A relative path that starts with the container's
// "Documents" folder (as the application names its folders there) is taken from the container's
// top; any other relative path lies inside Documents.
std::string InContainer(const std::string& path) {
    if (path.rfind("/Documents", 0) == 0) return path;
    if (path == "Documents" || path.rfind("Documents/", 0) == 0) return "/" + path;
    if (!path.empty() && path[0] == '/') return "/Documents" + path;
    return "/Documents/" + path;
}

// The device, its house_arrest client and the AFC client on the vended container.
class Container {
public:
    int open(const char* udid, const char* bundleId) {
        if (idevice_new_with_options(&device_, udid, IDEVICE_LOOKUP_USBMUX) != IDEVICE_E_SUCCESS) {
            device_ = nullptr;
            Log(std::string("no connected device ") + udid);
            return kNoDevice;
        }
        if (house_arrest_client_start_service(device_, &arrest_, "torvane-companion") !=
            HOUSE_ARREST_E_SUCCESS) {
            arrest_ = nullptr;
            Log("the device's house_arrest service did not start (is the device unlocked and trusted?)");
            return kDeviceRefused;
        }
        plist_t result = nullptr;
        if (house_arrest_send_command(arrest_, "VendDocuments", bundleId) != HOUSE_ARREST_E_SUCCESS ||
            house_arrest_get_result(arrest_, &result) != HOUSE_ARREST_E_SUCCESS || !result) {
            if (result) plist_free(result);
            Log("no answer to the container request");
            return kDeviceRefused;
        }
        const bool refused = plist_dict_get_item(result, "Error") != nullptr;
        plist_free(result);
        if (refused) {
            Log(std::string("the companion application ") + bundleId + " is not installed on the device");
            return kNoCompanionApp;
        }
        if (afc_client_new_from_house_arrest_client(arrest_, &afc_) != AFC_E_SUCCESS) {
            afc_ = nullptr;
            Log("no file access to the companion application's container");
            return kDeviceRefused;
        }
        return kDone;
    }
    afc_client_t afc() const { return afc_; }
    ~Container() {
        if (afc_) afc_client_free(afc_);
        if (arrest_) house_arrest_client_free(arrest_);
        if (device_) idevice_free(device_);
    }

private:
    idevice_t device_ = nullptr;
    house_arrest_client_t arrest_ = nullptr;
    afc_client_t afc_ = nullptr;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int CreateAppFolder(const char* folder, const char* udid,
                                                                      const char* bundleId) {
    if (!folder || !udid || !bundleId || !StaysInside(folder)) {
        Log("CreateAppFolder: a folder inside the container, a device and an application are needed");
        return kBadArguments;
    }
    Container container;
    if (const int opened = container.open(udid, bundleId); opened != kDone) return opened;
    const std::string path = InContainer(folder);
    if (afc_make_directory(container.afc(), path.c_str()) != AFC_E_SUCCESS) {
        Log("the device refused to make " + path);
        return kDeviceRefused;
    }
    return kDone;
}

extern "C" __attribute__((visibility("default"))) int CopyAppFile(const char* localFile, const char* deviceFile,
                                                                  const char* udid, const char* bundleId) {
    if (!localFile || !deviceFile || !udid || !bundleId || !StaysInside(deviceFile)) {
        Log("CopyAppFile: a local file, a file inside the container, a device and an application are needed");
        return kBadArguments;
    }
    std::ifstream input(localFile, std::ios::binary);
    if (!input) {
        Log(std::string("cannot read ") + localFile);
        return kLocalFileUnreadable;
    }
    Container container;
    if (const int opened = container.open(udid, bundleId); opened != kDone) return opened;
    const std::string path = InContainer(deviceFile);
    std::uint64_t handle = 0;
    if (afc_file_open(container.afc(), path.c_str(), AFC_FOPEN_WRONLY, &handle) != AFC_E_SUCCESS) {
        Log("the device refused to create " + path);
        return kDeviceRefused;
    }
    std::vector<char> buffer(65536);
    int result = kDone;
    while (input) {
        input.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::uint32_t>(input.gcount());
        if (got == 0) break;
        std::uint32_t written = 0;
        if (afc_file_write(container.afc(), handle, buffer.data(), got, &written) != AFC_E_SUCCESS ||
            written != got) {
            Log("writing " + path + " on the device failed");
            result = kDeviceRefused;
            break;
        }
    }
    afc_file_close(container.afc(), handle);
    return result;
}
