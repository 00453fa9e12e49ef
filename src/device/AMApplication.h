#pragma once

#include "common/Types.h"
#include "device/AMService.h"
#include "device/DevicePlist.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class AMDevice;

// One application installed on the device, made from its bundle-information dictionary. The
// record never changes.
class AMApplication {
public:
    // Keeps the dictionary; the name is the first present of a non-empty CFBundleDisplayName,
    // CFBundleName and CFBundleExecutable.
    explicit AMApplication(PlistValue info);

    const OptString& bundleid() const { return bundleid_; }
    const OptString& appname() const { return appname_; }
    const PlistValue& info() const { return info_; }
    // "appname" and "bundleid" give those fields; any other key is looked up in info (an empty
    // value when it is missing).
    PlistValue valueForKey(const std::string& key) const;
    // The "Container" entry.
    OptString appdir() const;
    // "<AMApplication name=<name> id=<bundle id>>".
    std::string description() const;
    std::size_t hash() const;
    // The names, ignoring case (an absent name orders first).
    int compare(const AMApplication& other) const;
    bool isEqual(const AMApplication& other) const { return compare(other) == 0; }

private:
    PlistValue info_;
    OptString appname_;
    OptString bundleid_;
};

// Told of the installation service's long operations; every operation is optional.
class AMInstallationProxyDelegate : public AMServiceDelegate {
public:
    virtual void operationStarted(const PlistValue& /*request*/) {}
    virtual void operationContinues(const PlistValue& /*reply*/) {}
    virtual void operationCompleted(const PlistValue& /*request*/) {}
};

// The client of the device's installation service ("com.apple.mobile.installation_proxy").
class AMInstallationProxy : public AMService {
public:
    using Predicate = std::function<bool(const AMApplication&)>;

    static std::unique_ptr<AMInstallationProxy> initWithAMDevice(AMDevice& device);

    // Every application, or none when the first reply never came.
    std::optional<std::vector<std::shared_ptr<const AMApplication>>> browse();
    std::optional<std::vector<std::shared_ptr<const AMApplication>>> browseFiltered(const Predicate& keep);
    bool archive(const std::string& bundleId, bool container, bool payload, bool uninstall);
    bool restore(const std::string& bundleId);
    std::optional<std::vector<std::string>> archivedAppBundleIds();
    PlistValue archivedAppInfo();
    bool removeArchive(const std::string& bundleId);
    // Bundle identifier to application; none on failure.
    std::optional<std::map<std::string, std::shared_ptr<const AMApplication>>> lookupType(
        const OptString& type, const OptString& attribute);
    bool install(const std::string& packagePath);
    bool upgrade(const std::string& bundleId, const std::string& packagePath);

private:
    AMInstallationProxy() = default;
    AMInstallationProxyDelegate* proxyDelegate() const;
    // Sends the request and reads replies until "Complete" or none; true when it was sent.
    bool longOperation(const PlistValue& request);
};
