#include "app/BackupFolderCheck.h"

#include "app/BackupDatabaseTable.h"
#include "app/DeviceDetails.h"
#include "common/BackupFiles.h"
#include "common/FileUtils.h"
#include "records/DeviceInfo.h"
#include "services/InternetHistoryService.h"
#include "services/NotesServices.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

namespace {

using Problem = BackupFolderCheck::Problem;

BackupFolderCheck Fail(Problem problem, std::string message) {
    return {problem, std::move(message)};
}

// errno's text when the file cannot be opened and read from; empty when it can.
std::string ReadError(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    char byte = 0;
    const ssize_t n = ::read(fd, &byte, 1);
    const int error = n < 0 ? errno : 0;
    ::close(fd);
    return error != 0 ? std::strerror(error) : std::string();
}

// What stands at `path` in place of a file, in words ("a folder", "a link that leads nowhere");
// empty when nothing is there.
std::string WhatIsThere(const std::string& path) {
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) != 0) return {};
    struct stat target {};
    if (S_ISLNK(entry.st_mode) && ::stat(path.c_str(), &target) != 0) return "a link that leads nowhere";
    if (S_ISLNK(entry.st_mode) && S_ISREG(target.st_mode)) return "a link that leads out of the backup folder";
    const mode_t mode = S_ISLNK(entry.st_mode) ? target.st_mode : entry.st_mode;
    const std::string link = S_ISLNK(entry.st_mode) ? "a link to " : "";
    const std::string kind = FileUtils::kindOfNonRegularFile(mode);
    return link + (kind.empty() ? "no regular file" : kind);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

const std::vector<std::string>& BackupFolderCheck::databaseNames(DataType dataType) {
    namespace N = BackupDatabaseNames;
    static const std::map<DataType, std::vector<std::string>> kNames = {
        {DataType::DataTypeSMS, {N::kSms, N::kAddressBook}},
        {DataType::DataTypeContacts, {N::kAddressBook}},
        {DataType::DataTypeCallHistory,
         {N::kCallHistoryBeforeIOS8, N::kCallHistory, N::kAddressBook}},
        {DataType::DataTypeWhatsApp, {N::kWhatsApp, N::kWhatsAppFallback}},
        {DataType::DataTypeNotes, {N::kNotes, NotesServices::NotesIOS9SqliteDbName}},
        {DataType::DataTypeCalendar, {N::kCalendar}},
        {DataType::DataTypeInternetHistory,
         {InternetHistoryService::kHistoryDatabaseNames.begin(),
          InternetHistoryService::kHistoryDatabaseNames.end()}},
        // The photo library, under its name of iOS 7 on and of iOS 4 to 6.
        {DataType::DataTypePhotosVideos,
         {"12b144c0bd44f2b3dffd9186d3f9c05b917cee25", "bedec6d42efe57123676bfa31e98ab68b713195f"}},
    };
    static const std::vector<std::string> kAll = [] {
        std::vector<std::string> all;
        for (const auto& [type, names] : kNames) all.insert(all.end(), names.begin(), names.end());
        return all;
    }();
    static const std::vector<std::string> kNone;
    if (dataType == DataType::DataTypeAll) return kAll;
    const auto found = kNames.find(dataType);
    return found != kNames.end() ? found->second : kNone;
}

BackupFolderCheck BackupFolderCheck::beforeReading(const std::string& folder) {
    struct stat info {};
    if (folder.empty() || ::stat(folder.c_str(), &info) != 0)
        return Fail(Problem::Missing, "There is no folder " + folder + ".");
    if (!S_ISDIR(info.st_mode))
        return Fail(Problem::Missing, folder + " is no folder; give the backup's folder.");
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return Fail(Problem::Unreadable,
                    "The folder " + folder + " cannot be read: " + std::strerror(errno) + ".");
    ::closedir(listing);
    for (const std::string& path :
         {DeviceDetailsReader::infoPlistPath(folder), folder + "/Manifest.plist"}) {
        if (!Exists(path) || !BackupFiles::staysInside(folder, path)) continue;
        if (const std::string error = ReadError(path); !error.empty())
            return Fail(Problem::Unreadable,
                        "The file " + path + " cannot be read: " + error + ".");
    }
    return {};
}

BackupFolderCheck BackupFolderCheck::afterReading(const std::string& folder, bool usable,
                                                  const DeviceInfo& details, DataType dataType) {
    if (!usable)
        return Fail(Problem::NotABackup,
                    folder +
                        " is not an iOS backup folder: it has no Info.plist or "
                        "Manifest.plist that names the device's iOS version.");
    if (details.knownIfEncrypted() && details.isEncrypted())
        return Fail(Problem::Encrypted,
                    "The backup in " + folder +
                        " is encrypted: its files cannot be read without the backup's password, "
                        "which Torvane does not use. Make an unencrypted backup and scan that.");
    for (const std::string& name : databaseNames(dataType)) {
        const OptString path = BackupFiles::locate(folder, name);
        if (!path) {
            // Something that is no file stands where the database belongs: the database cannot
            // be read, which is not the same as a backup without it.
            for (const std::string& place : {folder + "/" + name, folder + "/" + name.substr(0, 2) + "/" + name})
                if (const std::string what = WhatIsThere(place); !what.empty())
                    return Fail(Problem::Unreadable, "The file " + place + " of the backup cannot be read: it is " +
                                                         what + ", not a database file.");
            continue;
        }
        if (const std::string error = ReadError(*path); !error.empty())
            return Fail(Problem::Unreadable,
                        "The file " + *path + " of the backup cannot be read: " + error + ".");
    }
    // The file list names the photos a full scan copies; something that is no file in its
    // place could hold the scan for ever.
    if (dataType == DataType::DataTypeAll || dataType == DataType::DataTypePhotosVideos)
        for (const char* list : {"Manifest.db", "Manifest.mbdb"}) {
            const std::string place = folder + "/" + list;
            struct stat info {};
            if (::stat(place.c_str(), &info) == 0 && S_ISREG(info.st_mode) && BackupFiles::staysInside(folder, place))
                continue;
            if (const std::string what = WhatIsThere(place); !what.empty())
                return Fail(Problem::Unreadable, "The file " + place + " of the backup cannot be read: it is " + what +
                                                     ", not the backup's file list.");
        }
    return {};
}

std::string BackupFolderCheck::exportInsideBackup(const std::string& folder, const std::string& exportFolder) {
    namespace fs = std::filesystem;
    if (folder.empty() || exportFolder.empty()) return {};
    // Links and "..": the folders as they are reached; what does not exist yet stays as written.
    std::error_code error;
    const fs::path backup = fs::weakly_canonical(fs::absolute(folder, error), error);
    if (error) return {};
    const fs::path target = fs::weakly_canonical(fs::absolute(exportFolder, error), error);
    if (error) return {};
    auto part = target.begin();
    for (const fs::path& step : backup) {
        if (step.empty()) continue;  // a trailing separator
        if (part == target.end() || *part != step) return {};
        ++part;
    }
    return "The export folder " + exportFolder + " is " +
           (part == target.end() || part->empty() ? "the backup folder " : "inside the backup folder ") + folder +
           ", which is only ever read; export into another folder.";
}
