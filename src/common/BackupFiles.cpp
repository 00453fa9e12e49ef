#include "common/BackupFiles.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <iostream>
#include <memory>

namespace {

bool StatRegular(const std::string& path, struct stat& info) {
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The path with every link resolved; none when it cannot be resolved.
OptString Resolved(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real) return std::nullopt;
    return std::string(real.get());
}

}  // namespace

bool BackupFiles::staysInside(const std::string& backupDirectory, const std::string& path) {
    std::string folder = backupDirectory;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string prefix = folder == "/" ? folder : folder + "/";
    if (folder.empty() || path.size() <= prefix.size() ||
        path.compare(0, prefix.size(), prefix) != 0)
        return false;
    // Each part below the folder, from the first down: plain folders and files need no more.
    bool linked = false;
    for (std::size_t slash = path.find('/', prefix.size());; slash = path.find('/', slash + 1)) {
        const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
        struct stat info {};
        if (::lstat(part.c_str(), &info) != 0) return false;
        if (S_ISLNK(info.st_mode)) {
            linked = true;
            break;
        }
        if (slash == std::string::npos) break;
    }
    if (!linked) return true;
    const OptString target = Resolved(path);
    const OptString root = Resolved(folder);
    const bool inside = target && root && (*root == "/" || target->rfind(*root + "/", 0) == 0);
    if (!inside)
        std::cerr << ("backup: " + path +
                      " is a link that leads out of the backup folder; it is not followed\n");
    return inside;
}

OptString BackupFiles::locate(const std::string& backupDirectory, const std::string& fileName) {
    // A name that could climb out of the folder is no backup name.
    if (backupDirectory.empty() || fileName.empty() || fileName.find('/') != std::string::npos ||
        fileName == "." || fileName == "..")
        return std::nullopt;
    struct stat info {};
    std::string flat = backupDirectory + "/" + fileName;
    if (StatRegular(flat, info) && staysInside(backupDirectory, flat)) return flat;
    if (fileName.size() > 2) {
        std::string sharded = backupDirectory + "/" + fileName.substr(0, 2) + "/" + fileName;
        if (StatRegular(sharded, info) && staysInside(backupDirectory, sharded)) return sharded;
    }
    return std::nullopt;
}

bool BackupFiles::holdsNonEmpty(const std::string& backupDirectory, const std::string& fileName) {
    const OptString path = locate(backupDirectory, fileName);
    struct stat info {};
    return path && StatRegular(*path, info) && info.st_size > 0;
}
