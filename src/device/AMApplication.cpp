#include "device/AMApplication.h"

#include "device/AMDevice.h"

#include <algorithm>
#include <cctype>

AMApplication::AMApplication(PlistValue info) : info_(std::move(info)) {
    bundleid_ = info_.stringFor("CFBundleIdentifier");
    const OptString display = info_.stringFor("CFBundleDisplayName");
    if (display && !display->empty())
        appname_ = display;
    else if (const OptString name = info_.stringFor("CFBundleName"))
        appname_ = name;
    else
        appname_ = info_.stringFor("CFBundleExecutable");
}

PlistValue AMApplication::valueForKey(const std::string& key) const {
    if (key == "appname") return appname_ ? PlistValue::string(*appname_) : PlistValue();
    if (key == "bundleid") return bundleid_ ? PlistValue::string(*bundleid_) : PlistValue();
    return info_.get(key);
}

OptString AMApplication::appdir() const {
    return info_.stringFor("Container");
}

std::string AMApplication::description() const {
    return "<AMApplication name=" + appname_.value_or("(null)") + " id=" +
           bundleid_.value_or("(null)") + ">";
}

std::size_t AMApplication::hash() const {
    return std::hash<std::string>{}(bundleid_.value_or(""));
}

int AMApplication::compare(const AMApplication& other) const {
    if (!appname_ || !other.appname_) return appname_ ? 1 : (other.appname_ ? -1 : 0);
    const auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    return lower(*appname_).compare(lower(*other.appname_)) < 0
               ? -1
               : (lower(*appname_) == lower(*other.appname_) ? 0 : 1);
}

std::unique_ptr<AMInstallationProxy> AMInstallationProxy::initWithAMDevice(AMDevice& device) {
    std::unique_ptr<AMInstallationProxy> made(new AMInstallationProxy());
    return made->initWithName("com.apple.mobile.installation_proxy", device) ? std::move(made) : nullptr;
}

AMInstallationProxyDelegate* AMInstallationProxy::proxyDelegate() const {
    return dynamic_cast<AMInstallationProxyDelegate*>(delegate());
}

namespace {

PlistValue Request(const char* command) {
    PlistValue request = PlistValue::dictionary();
    request.set("Command", PlistValue::string(command));
    return request;
}

PlistValue Options(std::initializer_list<std::pair<const char*, PlistValue>> entries) {
    PlistValue options = PlistValue::dictionary();
    for (const auto& [key, value] : entries) options.set(key, value);
    return options;
}

}  // namespace

bool AMInstallationProxy::longOperation(const PlistValue& request) {
    AMInstallationProxyDelegate* delegate = proxyDelegate();
    if (delegate) delegate->operationStarted(request);
    const bool sent = sendXMLRequest(request);
    if (sent) {
        for (;;) {
            const PlistValue reply = readXMLReply();
            if (!reply) break;
            if (delegate) delegate->operationContinues(reply);
            if (reply.stringFor("Status") == "Complete") break;
        }
    }
    if (delegate) delegate->operationCompleted(request);
    return sent;
}

std::optional<std::vector<std::shared_ptr<const AMApplication>>> AMInstallationProxy::browse() {
    return browseFiltered({});
}

std::optional<std::vector<std::shared_ptr<const AMApplication>>> AMInstallationProxy::browseFiltered(
    const Predicate& keep) {
    PlistValue request = Request("Browse");
    request.set("ClientOptions", Options({{"ApplicationType", PlistValue::string("Any")}}));
    if (!sendXMLRequest(request)) return std::nullopt;
    std::optional<std::vector<std::shared_ptr<const AMApplication>>> result;
    for (;;) {
        const PlistValue reply = readXMLReply();
        if (!reply) break;
        if (!result) {
            result.emplace();
            // A hint only: a lying total must not make us reserve without bound.
            if (const auto total = reply.get("Total").asInteger(); total && *total > 0)
                result->reserve(static_cast<std::size_t>(std::min<std::int64_t>(*total, 4096)));
        }
        const PlistValue list = reply.get("CurrentList");
        for (std::size_t i = 0; i < list.size(); ++i) {
            PlistValue entry = list.at(i);
            if (entry.kind() != PlistValue::Kind::Dictionary) continue;
            auto app = std::make_shared<const AMApplication>(std::move(entry));
            if (!keep || keep(*app)) result->push_back(std::move(app));
        }
        if (reply.stringFor("Status") != "BrowsingApplications") break;
    }
    return result;
}

bool AMInstallationProxy::archive(const std::string& bundleId, bool container, bool payload,
                                  bool uninstall) {
    const char* type = container && payload ? "All" : container ? "DocumentsOnly" : payload ? "ApplicationOnly" : nullptr;
    if (!type) return false;
    PlistValue request = Request("Archive");
    request.set("ApplicationIdentifier", PlistValue::string(bundleId));
    request.set("ClientOptions", Options({{"ArchiveType", PlistValue::string(type)},
                                          {"SkipUninstall", PlistValue::boolean(!uninstall)}}));
    return longOperation(request);
}

bool AMInstallationProxy::restore(const std::string& bundleId) {
    PlistValue request = Request("Restore");
    request.set("ApplicationIdentifier", PlistValue::string(bundleId));
    return longOperation(request);
}

std::optional<std::vector<std::string>> AMInstallationProxy::archivedAppBundleIds() {
    const PlistValue info = archivedAppInfo();
    if (!info) return std::nullopt;
    return info.keys();
}

PlistValue AMInstallationProxy::archivedAppInfo() {
    if (!sendXMLRequest(Request("LookupArchives"))) return {};
    return readXMLReply().get("LookupResult");
}

bool AMInstallationProxy::removeArchive(const std::string& bundleId) {
    PlistValue request = Request("RemoveArchive");
    request.set("ApplicationIdentifier", PlistValue::string(bundleId));
    longOperation(request);
    return false;
}

std::optional<std::map<std::string, std::shared_ptr<const AMApplication>>> AMInstallationProxy::lookupType(
    const OptString& type, const OptString& attribute) {
    PlistValue options = Options({{"ApplicationType", PlistValue::string(type.value_or("Any"))}});
    if (attribute) options.set("Attribute", PlistValue::string(*attribute));
    PlistValue request = Request("Lookup");
    request.set("ClientOptions", std::move(options));
    AMInstallationProxyDelegate* delegate = proxyDelegate();
    if (delegate) delegate->operationStarted(request);
    const PlistValue reply = sendXMLRequest(request) ? readXMLReply() : PlistValue();
    if (!reply) {
        if (delegate) delegate->operationCompleted(request);
        return std::nullopt;
    }
    if (delegate) delegate->operationContinues(reply);
    std::map<std::string, std::shared_ptr<const AMApplication>> result;
    const PlistValue found = reply.get("LookupResult");
    for (const std::string& id : found.keys())
        result[id] = std::make_shared<const AMApplication>(found.get(id));
    return result;
}

bool AMInstallationProxy::install(const std::string& packagePath) {
    PlistValue request = Request("Install");
    request.set("PackagePath", PlistValue::string(packagePath));
    request.set("ClientOptions", Options({{"PackageType", PlistValue::string("Developer")}}));
    longOperation(request);
    return false;
}

bool AMInstallationProxy::upgrade(const std::string& bundleId, const std::string& packagePath) {
    PlistValue request = Request("Upgrade");
    request.set("PackagePath", PlistValue::string(packagePath));
    request.set("ApplicationIdentifier", PlistValue::string(bundleId));
    request.set("ClientOptions", Options({{"PackageType", PlistValue::string("Developer")}}));
    longOperation(request);
    return false;
}
