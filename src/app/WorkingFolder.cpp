#include "app/WorkingFolder.h"

#include "common/AppPaths.h"
#include "common/FileUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <vector>

WorkingFolder::WorkingFolder() : WorkingFolder(AppPaths::workingDirectory()) {}

WorkingFolder::WorkingFolder(const std::string& base) {
    if (!AppPaths::ensurePrivateDirectory(base)) return;
    // mkdtemp makes the folder with mode 0700 under a name nobody else holds.
    std::string pattern = base + "/scan-" + std::to_string(::getpid()) + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        std::cerr << ("WorkingFolder: cannot create a folder in " + base + ": " +
                      std::strerror(errno) + "\n");
        return;
    }
    path_ = name.data();
}

WorkingFolder::~WorkingFolder() {
    if (isUsable()) FileUtils::removeFileFromPath(path_);
}

void WorkingFolder::clear() {
    if (!isUsable()) return;
    // Each entry is removed without following links, so nothing outside the folder goes.
    if (const auto names = FileUtils::getContentsofDirectory(path_))
        for (const std::string& name : *names) FileUtils::removeFileFromPath(path_ + "/" + name);
}

bool WorkingFolder::recreate() {
    if (!isUsable()) return false;
    clear();
    bool made = true;
    for (const std::string& folder : {photosDirectory(), videosDirectory(), extractDirectory()}) {
        if (::mkdir(folder.c_str(), 0700) != 0) {
            std::cerr << ("WorkingFolder: cannot create " + folder + ": " + std::strerror(errno) +
                          "\n");
            made = false;
        }
    }
    return made;
}
