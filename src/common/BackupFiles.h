#pragma once

#include "common/Types.h"

#include <string>

// Where a backup keeps a device file of a given backup name (the 40-digit SHA-1): directly in
// the backup folder, or (iOS 10 on) in the sub-folder named by the name's first two digits.
// Only regular files count. An empty backup folder path finds nothing.
//
// Reading a backup never leaves it: a file reached through a symbolic link (the file itself or
// its sub-folder) that points outside the backup folder does not count as the backup's.
class BackupFiles {
public:
    // The path of the file, the flat place tried first; none when neither place holds it.
    static OptString locate(const std::string& backupDirectory, const std::string& fileName);
    // Whether the backup holds the file with at least one byte in it.
    static bool holdsNonEmpty(const std::string& backupDirectory, const std::string& fileName);
    // Whether a path below the backup folder ("<folder>/<name>" or "<folder>/<sub>/<name>")
    // stays inside it: true when no part of it below the folder is a link, or when it still
    // lies inside the folder with every link resolved. False for a path that is not below the
    // folder, or that does not exist. A link that leads out is logged.
    static bool staysInside(const std::string& backupDirectory, const std::string& path);
};
