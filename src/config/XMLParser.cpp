#include "config/XMLParser.h"

#include "common/AppPaths.h"
#include "common/ApplicationDetailsUtil.h"
#include "common/FileUtils.h"
#include "config/HttpGet.h"
#include "config/XmlTree.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <iostream>

namespace {

using Field = OptString ApplicationConfig::*;

// The settings with a text field of their own, in the order they are applied; `languages`
// comes between updaterAppUrl and iTunesDownload.
struct TextSetting {
    const char* element;
    Field field;
};
constexpr TextSetting kBeforeLanguages[] = {
    {"updateUrl", &ApplicationConfig::updateUrl},
    {"supportUrl", &ApplicationConfig::supportUrl},
    {"supportTicketUrl", &ApplicationConfig::supportTicketUrl},
    {"webManualUrl", &ApplicationConfig::userGuideUrl},
    {"facebookUrl", &ApplicationConfig::facebookUrl},
    {"twitterUrl", &ApplicationConfig::twitterUrl},
    {"googlePlusUrl", &ApplicationConfig::googlePlusUrl},
    {"websiteUrl", &ApplicationConfig::websiteUrl},
    {"supportemail", &ApplicationConfig::supportemail},
    {"bannerURL", &ApplicationConfig::BannerURL},
    {"updaterAppUrl", &ApplicationConfig::updaterAppUrl},
};
constexpr TextSetting kAfterLanguages[] = {
    {"iTunesDownload", &ApplicationConfig::iTunesDownload},
    {"remoteRecoverySignaturesPath", &ApplicationConfig::recoverySignaturePath},
    {"appStoreURL", &ApplicationConfig::appStoreURL},
    {"appBundleIdentifier", &ApplicationConfig::appBundleIdentifier},
    {"analyticsUrl", &ApplicationConfig::analyticsUrl},
};

constexpr std::chrono::milliseconds kFeedTimeout{15000};
constexpr std::size_t kMaxFeedBytes = 1u << 20;

// One GET over https only, with the feed's time limit; none on any failure, logged unless the
// caller stopped it.
std::optional<std::string> FetchOverHttps(const std::string& address, std::size_t maxBytes,
                                          const char* what, std::stop_token stop) {
    HttpRequest request;
    request.address = address;
    request.timeout = kFeedTimeout;
    request.maxBodyBytes = maxBytes;
    request.httpsOnly = true;
    request.stop = std::move(stop);
    HttpResponse response = HttpGet(request);
    if (!response.ok) {
        if (!request.stop.stop_requested()) std::cerr << what << ": " << address << ": " << response.error << '\n';
        return std::nullopt;
    }
    return std::move(response.body);
}

// "true", "yes" or "1", in any case and with blanks around: on. Anything else: off.
bool SwitchValue(std::string text) {
    const auto notBlank = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notBlank));
    text.erase(std::find_if(text.rbegin(), text.rend(), notBlank).base(), text.end());
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text == "true" || text == "yes" || text == "1";
}

std::vector<std::string> SplitAtCommas(const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            names.push_back(text.substr(start));
            return names;
        }
        names.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

void ApplyBlock(ApplicationConfig& config, const XmlNode& block) {
    const auto apply = [&](const TextSetting& setting) {
        if (const XmlNode* child = block.firstChild(setting.element))
            config.*setting.field = child->textContent();
    };
    for (const TextSetting& setting : kBeforeLanguages) apply(setting);
    if (const XmlNode* languages = block.firstChild("languages")) {
        config.languageArray = SplitAtCommas(languages->textContent());
        config.setSelectedLanguageFromFile();
        config.setlanguageFile();
    }
    for (const TextSetting& setting : kAfterLanguages) apply(setting);
    if (const XmlNode* analytics = block.firstChild("analyticsEnabled"))
        config.analyticsEnabled = SwitchValue(analytics->textContent());
}

}  // namespace

void XMLParser::loadConfig() {
    // Read into a copy, so that no lock is held while files are read and written.
    ApplicationConfig config = ApplicationConfig::sharedObject();
    loadConfig(config);
    ApplicationConfig::setSharedObject(std::move(config));
}

void XMLParser::setPresets(ApplicationConfig& config) {
    config.currentAppProductType = 2;
    config.buildVersion = 0;
    config.RestoreAvailable = true;
    config.applicationVersion = ApplicationDetailsUtil::getApplicationVersion();
}

void XMLParser::loadConfig(ApplicationConfig& config) {
    setPresets(config);
    const std::optional<std::string> data = dataFilePath(config.buildVersion);
    if (!data) {
        std::cerr << "configuration: no configuration file for edition " << config.buildVersion
                  << "; the presets stand\n";
        return;
    }
    if (!applyConfiguration(config, *data))
        std::cerr << "configuration: the configuration file is not XML; the presets stand\n";
}

bool XMLParser::applyConfiguration(ApplicationConfig& config, std::string_view document) {
    const std::optional<XmlNode> root = XmlNode::parse(document);
    if (!root) return false;
    for (const XmlNode* block : root->descendants("configuration")) ApplyBlock(config, *block);
    return true;
}

std::optional<std::string> XMLParser::dataFilePath(std::int64_t edition) {
    if (ApplicationConfig::checkNetwork())
        if (std::optional<std::string> remote = loadXMLDataFromWeb(edition)) return remote;
    return loadXMLDataFromItself(edition);
}

OptString XMLParser::remoteConfigurationAddress(std::int64_t edition, const std::string& server) {
    const char* product = edition == 0 ? "TM640" : edition == 2 ? "PB740" : nullptr;
    const OptString name = ApplicationConfig::configurationResourceName(edition);
    if (!product || !name) return std::nullopt;
    std::string base = server;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base + "/software/" + product + "/9.2.0.0/Retail/configuration/" + *name + ".xml";
}

std::optional<std::string> XMLParser::loadXMLDataFromWeb(std::int64_t edition, std::stop_token stop) {
    return loadXMLDataFromWeb(edition, kConfigurationServer,
                              [&stop](const std::string& url) { return fetchConfiguration(url, stop); });
}

std::optional<std::string> XMLParser::loadXMLDataFromWeb(std::int64_t edition, const std::string& server,
                                                         const FeedFetcher& fetch) {
    const OptString address = remoteConfigurationAddress(edition, server);
    if (!address || IsPlaceholderAddress(*address) || !fetch) return std::nullopt;
    return fetch(*address);
}

namespace {
// A configuration file is a few kilobytes.
constexpr std::size_t kMaxConfigurationBytes = 1u << 20;
}  // namespace

std::optional<std::string> XMLParser::loadXMLDataFromItself(std::int64_t edition) {
    const OptString name = ApplicationConfig::configurationResourceName(edition);
    if (!name) return std::nullopt;
    const std::string path = AppPaths::resourcesDirectory() + "/" + *name + ".xml";
    if (!FileUtils::fileExistsAtPath(path)) return std::nullopt;
    const auto bytes = FileUtils::getDataFromPath(path, kMaxConfigurationBytes);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::string XMLParser::getCurrentVersionFromWeb(std::stop_token stop) {
    const OptString version = ApplicationDetailsUtil::getApplicationVersion();
    OptString address;
    ApplicationConfig::updateSharedObject([&](ApplicationConfig& config) {
        config.applicationVersion = version;
        address = config.updateUrl;
    });
    return getCurrentVersionFromWeb(
        address, [&stop](const std::string& url) { return fetchFeed(url, stop); });
}

std::string XMLParser::getCurrentVersionFromWeb(const OptString& updateUrl,
                                                const FeedFetcher& fetch) {
    if (!updateUrl || updateUrl->empty() || IsPlaceholderAddress(*updateUrl) || !fetch) return "";
    const std::optional<std::string> body = fetch(*updateUrl);
    if (!body) return "";
    return versionFromFeed(*body);
}

std::string XMLParser::versionFromFeed(std::string_view document) {
    const std::optional<XmlNode> root = XmlNode::parse(document);
    if (!root) return "";
    for (const XmlNode* item : root->descendants("item"))
        if (const XmlNode* version = item->firstChild("version")) return version->textContent();
    return "";
}

std::optional<std::string> XMLParser::fetchFeed(const std::string& address, std::stop_token stop) {
    return FetchOverHttps(address, kMaxFeedBytes, "update check", std::move(stop));
}

std::optional<std::string> XMLParser::fetchConfiguration(const std::string& address, std::stop_token stop) {
    return FetchOverHttps(address, XmlNode::kMaxDocumentBytes, "remote configuration", std::move(stop));
}
