#pragma once

#include "records/DataType.h"

#include <string>
#include <vector>

class DeviceInfo;

// Whether a folder can be scanned as an iOS backup, and if not, why not, in words for the user.
struct BackupFolderCheck {
    enum class Problem {
        None,
        Missing,     // no such folder, or not a folder
        NotABackup,  // no Info.plist or Manifest.plist that names the device's iOS version
        Encrypted,   // its files are encrypted with keys that are not at hand
        Unreadable,  // a file that the scan needs cannot be read
    };

    Problem problem = Problem::None;
    std::string message;

    bool ok() const { return problem == Problem::None; }

    // Before the backup's details are read: the folder exists, is a folder and can be listed,
    // and its Info.plist and Manifest.plist, where present, can be read.
    static BackupFolderCheck beforeReading(const std::string& folder);

    // After the details were read (`usable`: a product version was found): the folder is a
    // backup, not an encrypted one, and every database of the data type that it holds can be
    // read.
    static BackupFolderCheck afterReading(const std::string& folder, bool usable,
                                          const DeviceInfo& details, DataType dataType);

    // Why an export into `exportFolder` would write into the backup `folder` (the folder itself
    // or any folder below it, also through links); empty when it would not. A backup folder is
    // only ever read.
    static std::string exportInsideBackup(const std::string& folder, const std::string& exportFolder);

    // The backup names of the databases that a scan of the data type reads.
    static const std::vector<std::string>& databaseNames(DataType dataType);
};
