#pragma once

#include "common/Types.h"
#include "records/DeviceInfo.h"

#include <cstddef>
#include <string>
#include <vector>


// The home screen's list of known devices: one copy of the details of every device or backup
// read, identified by its device identifier (compared in lower case). Nothing else stores
// devices. Main thread only.
class KnownDevices {
public:
    // After a reading: a record with an identifier (and, for a backup, a product version of
    // more than 2 characters) is copied in, replacing the entry of the same identifier in its
    // place or appended. Then, when the reading left the record without a device name, the
    // entry named by the last path component of `backupDirectory` is dropped.
    void afterReading(const DeviceInfo& read, bool fromBackup, const std::string& backupDirectory);
    // After the backup folder `listedFolder` was listed: every entry whose identifier is not the
    // name of an entry of the listing is dropped, except a backup that was read from a folder
    // elsewhere (chosen with Browse, or named on the command line) and is still there.
    void keepListed(const std::vector<std::string>& listedNames, const std::string& listedFolder);

    const std::vector<DeviceInfo>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    // The first entry whose identifier equals the lower-cased identifier; none.
    const DeviceInfo* find(const OptString& uniqueDeviceID) const;
    // Its position; -1 without one.
    int indexOf(const OptString& uniqueDeviceID) const;

private:
    std::vector<DeviceInfo> entries_;
};

// The backups in a MobileSync backup folder: the names of its entries in the file system's
// order (a folder that cannot be listed gives none), and which of them are read as backups.
namespace BackupFolderListing {

// The entry names, hidden entries left out.
std::vector<std::string> list(const std::string& folder);
// Whether a listed entry is read: a folder named like a device identifier (40 hexadecimal
// characters, or the newer form of 8 and 16 hexadecimal characters joined by a hyphen), and
// the last entry of the listing whatever its name.
bool isRead(const std::vector<std::string>& names, std::size_t index);

}  // namespace BackupFolderListing
