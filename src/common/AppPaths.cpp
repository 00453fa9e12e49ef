#include "common/AppPaths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <vector>

// The folder the build was configured with; an installed build would point this at its share
// folder.
#ifndef TORVANE_SOURCE_RESOURCES_DIR
#define TORVANE_SOURCE_RESOURCES_DIR "/usr/share/torvane/resources"
#endif

namespace {

constexpr const char* kAppFolder = "torvane";

struct Overrides {
    std::mutex mutex;
    OptString documents;
    OptString config;
    OptString data;
    OptString cache;
    OptString state;
    OptString resources;
};

Overrides& overrides() {
    static Overrides instance;
    return instance;
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

OptString readOverride(OptString Overrides::*field) {
    Overrides& o = overrides();
    std::lock_guard lock(o.mutex);
    return o.*field;
}

void writeOverride(OptString Overrides::*field, const OptString& path) {
    Overrides& o = overrides();
    std::lock_guard lock(o.mutex);
    if (path && !path->empty())
        o.*field = withoutTrailingSlashes(*path);
    else
        o.*field = std::nullopt;
}

// An environment value usable as a base folder. The XDG rules ignore relative paths.
OptString absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') return std::nullopt;
    return withoutTrailingSlashes(value);
}

std::string homeDirectory() {
    if (OptString home = absoluteFromEnvironment("HOME")) return *home;
    // No usable $HOME (a service environment): ask the user database.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return withoutTrailingSlashes(found->pw_dir);
    }
    std::cerr << "AppPaths: no home directory known, using /tmp\n";
    return "/tmp";
}

std::string xdgLocation(OptString Overrides::*field, const char* variable,
                        const char* homeRelative) {
    if (OptString set = readOverride(field)) return *set;
    const std::string base =
        absoluteFromEnvironment(variable).value_or(homeDirectory() + "/" + homeRelative);
    return base + "/" + kAppFolder;
}

bool makeDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return true;
    std::cerr << ("AppPaths: cannot create " + path + ": " + std::strerror(errno) + "\n");
    return false;
}

}  // namespace

std::string AppPaths::documentsDirectory() {
    if (OptString set = readOverride(&Overrides::documents)) return *set;
    if (OptString fromEnvironment = absoluteFromEnvironment("XDG_DOCUMENTS_DIR"))
        return *fromEnvironment;
    return homeDirectory() + "/Documents";
}

std::string AppPaths::configDirectory() {
    return xdgLocation(&Overrides::config, "XDG_CONFIG_HOME", ".config");
}

std::string AppPaths::dataDirectory() {
    return xdgLocation(&Overrides::data, "XDG_DATA_HOME", ".local/share");
}

std::string AppPaths::cacheDirectory() {
    return xdgLocation(&Overrides::cache, "XDG_CACHE_HOME", ".cache");
}

std::string AppPaths::stateDirectory() {
    return xdgLocation(&Overrides::state, "XDG_STATE_HOME", ".local/state");
}

std::string AppPaths::workingDirectory() {
    std::string path = cacheDirectory() + "/work";
    ensurePrivateDirectory(path);
    return path;
}

std::string AppPaths::resourcesDirectory() {
    if (OptString set = readOverride(&Overrides::resources)) return *set;
    const char* fromEnvironment = std::getenv("TORVANE_RESOURCES_DIR");
    if (fromEnvironment != nullptr && fromEnvironment[0] != '\0')
        return withoutTrailingSlashes(fromEnvironment);
    return withoutTrailingSlashes(TORVANE_SOURCE_RESOURCES_DIR);
}

void AppPaths::setDocumentsDirectory(const OptString& path) {
    writeOverride(&Overrides::documents, path);
}
void AppPaths::setConfigDirectory(const OptString& path) {
    writeOverride(&Overrides::config, path);
}
void AppPaths::setDataDirectory(const OptString& path) {
    writeOverride(&Overrides::data, path);
}
void AppPaths::setCacheDirectory(const OptString& path) {
    writeOverride(&Overrides::cache, path);
}
void AppPaths::setStateDirectory(const OptString& path) {
    writeOverride(&Overrides::state, path);
}
void AppPaths::setResourcesDirectory(const OptString& path) {
    writeOverride(&Overrides::resources, path);
}

bool AppPaths::ensurePrivateDirectory(const std::string& requested) {
    const std::string path = withoutTrailingSlashes(requested);
    if (path.empty()) return false;

    // Missing parents are made one by one, each private, as the XDG rules ask.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (!makeDirectory(path.substr(0, slash))) return false;
    }
    if (!makeDirectory(path)) return false;

    // Opened without following a link, so the checks and the mode change apply to this very folder.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        std::cerr << ("AppPaths: " + path + " is not a usable folder (a link or a file?): " +
                      std::strerror(errno) + "\n");
        return false;
    }
    bool ok = true;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        std::cerr << ("AppPaths: cannot inspect " + path + ": " + std::strerror(errno) + "\n");
        ok = false;
    } else if (info.st_uid != ::geteuid()) {
        std::cerr << ("AppPaths: " + path + " belongs to another user\n");
        ok = false;
    } else if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
        std::cerr << ("AppPaths: cannot make " + path + " private: " + std::strerror(errno) + "\n");
        ok = false;
    }
    ::close(fd);
    return ok;
}
