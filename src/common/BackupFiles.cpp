#include "common/BackupFiles.h"

#include <sys/stat.h>

namespace {

bool StatRegular(const std::string& path, struct stat& info) {
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

OptString BackupFiles::locate(const std::string& backupDirectory, const std::string& fileName) {
    // A name that could climb out of the folder is no backup name.
    if (backupDirectory.empty() || fileName.empty() || fileName.find('/') != std::string::npos ||
        fileName == "." || fileName == "..")
        return std::nullopt;
    struct stat info {};
    std::string flat = backupDirectory + "/" + fileName;
    if (StatRegular(flat, info)) return flat;
    if (fileName.size() > 2) {
        std::string sharded = backupDirectory + "/" + fileName.substr(0, 2) + "/" + fileName;
        if (StatRegular(sharded, info)) return sharded;
    }
    return std::nullopt;
}

bool BackupFiles::holdsNonEmpty(const std::string& backupDirectory, const std::string& fileName) {
    const OptString path = locate(backupDirectory, fileName);
    struct stat info {};
    return path && StatRegular(*path, info) && info.st_size > 0;
}
