#pragma once

#include "common/Types.h"

#include <string>

// Where a backup keeps a device file of a given backup name (the 40-digit SHA-1): directly in
// the backup folder, or (iOS 10 on) in the sub-folder named by the name's first two digits.
// Only regular files count. An empty backup folder path finds nothing.
class BackupFiles {
public:
    // The path of the file, the flat place tried first; none when neither place holds it.
    static OptString locate(const std::string& backupDirectory, const std::string& fileName);
    // Whether the backup holds the file with at least one byte in it.
    static bool holdsNonEmpty(const std::string& backupDirectory, const std::string& fileName);
};
