#pragma once

#include "common/Types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

// File and folder helpers. Paths are plain texts; joining a folder and a name puts one "/"
// between them. Every write goes to a temporary name in the target folder and is renamed into
// place, so a failed write leaves no half file; failures answer false (or none, 0, "") and
// leave a line on stderr.
class FileUtils {
public:
    // The user's documents folder (see AppPaths::documentsDirectory).
    static std::string documentsDirectoryPath();
    static std::string documentsDirectoryPathForResource(const std::string& name);

    // Whether anything (file or folder, a symbolic link counted by its target) exists there.
    static bool fileExistsAtPath(const std::string& directory, const std::string& fileName);
    static bool fileExistsAtPath(const std::string& path);
    // What a file of this mode (st_mode) is when it is no regular file, in words: "a folder",
    // "a pipe (FIFO)", "a device", "a socket", else "no regular file"; empty for a regular file.
    static std::string kindOfNonRegularFile(unsigned int mode);
    // True only for an existing folder (or a link to one).
    static bool directoryExistsAtPath(const std::string& path);
    // The names of the folders directly inside the directory; empty when none or unlistable.
    static std::vector<std::string> allSubdirectoriesofDirectory(const std::string& directory);

    // The first of "prefix.ext", "prefix1.ext", "prefix2.ext", ... not taken by an entry of the
    // directory (case-sensitive; folders count). None when the directory cannot be listed.
    static OptString nextSequentialFileName(const std::string& prefix,
                                            const std::string& fileExtenstion,
                                            const std::string& directoryPath);

    // Write the bytes under the next sequential name of the documents folder, the temporary
    // folder or any folder; true when written.
    static bool writeFileToDocuemntsDirectory(const Bytes& data, const std::string& prefix,
                                              const std::string& extension);
    static bool writeFileToTemporaryDirectory(const Bytes& data, const std::string& prefix,
                                              const std::string& extension);
    static bool writeFileToAnyDirectory(const Bytes& data, const std::string& prefix,
                                        const std::string& extension, const std::string& path);

    // Copies the application resource of that name (AppPaths::resourcesDirectory) into the
    // documents folder unless something of that name is there already. A failure is logged only.
    static void copyResourceFileToDocumentsDirectory(const std::string& name);
    static void copyResourcesToDocumentsDirectory(const std::vector<std::string>& names);
    // The same as copyResourcesToDocumentsDirectory.
    static void exportPhotosToDirectory(const std::vector<std::string>& names);
    // Removes that entry of the documents folder (a folder with its contents). False when there
    // is nothing of that name or it could not be removed.
    static bool deleteFileFromDocumentsDirectory(const std::string& name);

    // The private temporary folder (AppPaths::workingDirectory), created on demand, ending in "/".
    static std::string temporaryDirectoryPath();
    static std::string temporaryDirectoryPathForResource(const std::string& name);

    // Creates "path/name" with every missing parent. True when it was created or already was a
    // folder; false otherwise (for instance when a file stands there).
    static bool createNewDirectoryAtPath(const std::string& path, const std::string& name);

    // The whole contents of a regular file; none when it cannot be read.
    static std::optional<Bytes> getDataFromPath(const std::string& path);
    // The same for a file that must not exceed maxBytes (a resource, a configuration): none,
    // with the reason in *error when given, for a file that is larger, not a regular file (a
    // FIFO, a folder) or cannot be read. Never blocks on a FIFO and never reads past the limit.
    static std::optional<Bytes> getDataFromPath(const std::string& path, std::size_t maxBytes,
                                                std::string* error = nullptr);
    // The names directly inside the directory (not "." or ".."), sorted by byte value so that
    // every run sees the same order; none when it cannot be listed.
    static std::optional<std::vector<std::string>> getContentsofDirectory(
        const std::string& directory);
    // Removes a file, a symbolic link (not its target) or a folder with everything in it. True
    // when removed; false when nothing was there or the removal failed.
    static bool removeFileFromPath(const std::string& path);
    // The item's own size (a symbolic link is not followed); 0 when it cannot be read.
    static std::uint64_t fileSizeAtPath(const std::string& path);

    // Writes the bytes to the path, replacing what was there; true when written.
    bool CreateFile(const Bytes& data, const std::string& filePath) const;

    // The sum of the sizes of every item below the directory at any depth, folders included
    // (symbolic links counted as links, not followed); 0 for anything but a directory.
    static std::int64_t getDirectorySize(const std::string& directory);
    // "%3.1f unit" with the unit stepping up from "bytes" through "KB", "MB", "GB" to "TB" while
    // the number is above 1024; "" for a count not above 0.
    static std::string formattedFileSizeStringFromSizeBytes(std::int64_t sizeBytes);
    // The directory's size (FileManagerUtil::sizeForFolderAtPath), formatted as above.
    static std::string getDirectorySizeAsStringfromPath(const std::string& directory);
    // The first bytes of a regular file, exactly as many as could be read up to readThisMuch.
    // None for a negative count or a file that cannot be opened or read.
    static std::optional<Bytes> readStartofFile(const std::string& path, std::int32_t readThisMuch);
};

// Folder sizes as the file manager reports them.
class FileManagerUtil {
public:
    // For an existing directory, the sum of the sizes of every item below it at any depth,
    // folders included, an item whose size cannot be read counting 0; otherwise 0. The last
    // error met, if any, is stored in *error (left alone when there is none).
    static std::uint64_t sizeForFolderAtPath(const std::string& path,
                                             std::error_code* error = nullptr);
};
