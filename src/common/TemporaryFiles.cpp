#include "common/TemporaryFiles.h"

#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

namespace TemporaryFiles {

namespace {

struct Registry {
    std::mutex mutex;
    std::multiset<std::string> paths;
    bool ending = false;
};

Registry& TheRegistry() {
    // Never destroyed: removeAll may run while static objects are going away.
    static Registry* registry = new Registry();
    return *registry;
}

}  // namespace

std::string make(const std::function<std::string()>& create) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    if (r.ending) return {};
    std::string path = create();
    if (!path.empty()) r.paths.insert(path);
    return path;
}

bool add(const std::string& path) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    if (r.ending) return false;
    r.paths.insert(path);
    return true;
}

void forget(const std::string& path) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    const auto found = r.paths.find(path);
    if (found != r.paths.end()) r.paths.erase(found);
}

void removeAll() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.ending = true;
    for (const std::string& path : r.paths) {
        // Links are removed, never followed. A thread that is still writing may add a file
        // to a folder while it goes; a few tries take that too.
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::error_code error;
            std::filesystem::remove_all(path, error);
            if (!error) break;
        }
    }
    r.paths.clear();
}

}  // namespace TemporaryFiles
