#include "config/ApplicationConfig.h"

#include "common/AppPaths.h"
#include "common/FileUtils.h"

#include <iostream>
#include <mutex>
#include <utility>

namespace {

constexpr std::int32_t kMaxLanguageChoiceBytes = 4096;

struct Shared {
    std::mutex mutex;
    ApplicationConfig config;
};

Shared& shared() {
    static Shared instance;
    return instance;
}

// Characters that stand in a file address as they are; every other byte is percent-encoded.
bool PlainInAddress(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

std::string FileAddress(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "file://";
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (PlainInAddress(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

}  // namespace

ApplicationConfig ApplicationConfig::sharedObject() {
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    return s.config;
}

void ApplicationConfig::setSharedObject(ApplicationConfig config) {
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    s.config = std::move(config);
}

void ApplicationConfig::updateSharedObject(const std::function<void(ApplicationConfig&)>& change) {
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    change(s.config);
}

OptString ApplicationConfig::configurationResourceName(std::int64_t edition) {
    switch (edition) {
        case 0:
            return "TM640RetailApplicationConfiguration";
        case 2:
            return "PB740RetailApplicationConfiguration";
        default:
            return std::nullopt;
    }
}

OptString ApplicationConfig::languageFilePrefix(std::int64_t edition) {
    switch (edition) {
        case 0:
            return "TM640R";
        case 2:
            return "PB740R";
        default:
            return std::nullopt;
    }
}

std::string ApplicationConfig::getBuildTypeFull() const {
    return buildVersion == 0 || buildVersion == 2 ? "Retail" : "unknown";
}

std::string ApplicationConfig::getBuildType() const {
    return buildVersion == 0 || buildVersion == 2 ? "0" : "";
}

OptString ApplicationConfig::getProductTypeAsString(std::int32_t productType) {
    switch (productType) {
        case 0:
            return "Torvane";
        case 1:
            return "Pellhurst";
        case 2:
            return "TorvaneExternal";
        case 3:
            return "TorvaneAdWords";
        default:
            return std::nullopt;
    }
}

void ApplicationConfig::setlanguageFile() {
    const OptString prefix = languageFilePrefix(buildVersion);
    if (!prefix || !selectedLanguage) return;
    languageFileName = *prefix + "-" + *selectedLanguage;
}

std::string ApplicationConfig::languageChoicePath() {
    return AppPaths::configDirectory() + "/lan.txt";
}

void ApplicationConfig::writeSelectedLanguageInFile(const std::string& language) {
    const std::string folder = AppPaths::configDirectory();
    if (!AppPaths::ensurePrivateDirectory(folder)) return;
    if (!FileUtils().CreateFile(Bytes(language.begin(), language.end()), languageChoicePath()))
        std::cerr << "configuration: the language choice could not be stored\n";
}

void ApplicationConfig::setSelectedLanguageFromFile() {
    const std::string path = languageChoicePath();
    OptString chosen;
    // A language name is short; a larger file is not read beyond what a name could need.
    if (FileUtils::fileExistsAtPath(path)) {
        if (const auto bytes = FileUtils::readStartofFile(path, kMaxLanguageChoiceBytes))
            chosen = std::string(bytes->begin(), bytes->end());
    }
    if (!chosen || chosen->empty()) {
        selectedLanguage = "English";
        writeSelectedLanguageInFile("English");
    } else {
        selectedLanguage = std::move(chosen);
    }
    setlanguageFile();
}

OptString ApplicationConfig::resolvedAddress(const OptString& configured) {
    if (!configured || configured->empty()) return std::nullopt;
    if (configured->find("://") != std::string::npos || configured->rfind("mailto:", 0) == 0)
        return configured;
    if (configured->front() == '/') return FileAddress(*configured);
    return FileAddress(AppPaths::resourcesDirectory() + "/" + *configured);
}
