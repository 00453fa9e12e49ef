#pragma once

#include "legacy/LegacyBytes.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The file list of an older backup (Manifest.mbdb, iOS 5 to 9): one record per phone file with
// its domain, relative path, owner, times, size and properties. All integers are big-endian.
//
//   file:   "mbdb", two version bytes (5 0), then records to the end of the file
//   record: domain, path, link target, data hash, encryption key (strings); mode (2);
//           inode (8); user id, group id, mtime, atime, ctime (4 each); size (8); flag (1);
//           property count n (1); n times a name string and a value string
//   string: a 2-byte length and that many bytes; FF FF for a string that is absent

// One file of the list: where it lives on the phone.
class FileProperty {
public:
    virtual ~FileProperty() = default;
    std::int32_t StartOffset = 0;
    std::string Domain;
    std::string FileName;
};

// One record of the list, and the name under which the backup folder keeps the file.
class MDFileInfo : public FileProperty {
public:
    std::string strlinkTarget;  // "" when the file is no symbolic link
    std::string strDataHash;    // the data-hash field read as text ("<null>" when not UTF-8)
    std::string strUnknown1;    // the encryption-key field, read as text
    std::string strHash;        // the backup file name: 40 lower-case hexadecimal characters
    std::int32_t intMode = 0;
    std::int32_t intUnknown2 = 0;  // first 4 bytes of the inode number
    std::int32_t intUnknown3 = 0;  // last 4 bytes of the inode number
    std::int32_t intUserID = 0;
    std::int32_t intGroupID = 0;
    std::int32_t intmTime = 0;  // Unix seconds
    std::int32_t intaTime = 0;
    std::int32_t intcTime = 0;
    std::int32_t intfileLen = 0;  // the low 32 bits of the size
    std::int32_t intflag = 0;
    std::int32_t intNumberofProps = 0;
    // Property values by name; present only when the record has properties.
    std::optional<std::map<std::string, std::string>> dicProperties;
    // 1 not a regular file, 2 property list, 3 picture, 4 audio or video, 5 database, 6 other.
    std::int32_t RecordType = 0;
    std::int32_t intStartOffset = 0;  // where the record begins in the file
};

class ParseMbdb {
public:
    using Records = std::vector<std::shared_ptr<MDFileInfo>>;

    // The records of the file in file order. None, with the reason in *error when given, when
    // the file cannot be read, is empty or has no "mbdb" header. A record that runs past the
    // end of the file, or declares more properties than the rest of the file can hold, ends the
    // list: the whole records before it are answered, and *error names the cut (it stays
    // empty for a list read to its end).
    static std::optional<Records> ProcessMbdbFile(const std::string& path, std::string* error = nullptr);
    // The same over bytes already in memory.
    static std::optional<Records> ProcessMbdbData(FileBytes bytes, std::string* error = nullptr);

    // The same, record by record: each whole record goes to the visitor as it is read and is
    // kept only if the visitor keeps it, so that a reader that wants a few of them holds no
    // more. False where ProcessMbdbFile answers none.
    using Visitor = std::function<void(std::shared_ptr<MDFileInfo>)>;
    static bool VisitMbdbFile(const std::string& path, const Visitor& visit, std::string* error = nullptr);
    static bool VisitMbdbData(FileBytes bytes, const Visitor& visit, std::string* error = nullptr);

    // The SHA-1 of the text's UTF-8 bytes as 40 lower-case hexadecimal characters.
    static std::string digest(std::string_view text);

    // Tests of a file extension (dot included), by the substrings each kind's extensions hold.
    static bool isDBData(std::string_view extension);
    static bool isPictureData(std::string_view extension);
    static bool isVideoData(std::string_view extension);
    static bool isPlistData(std::string_view extension);
};

namespace mbdb {

// The n bytes at the cursor as one big-endian number (its low 32 bits); the cursor moves past
// them. None, and the cursor unmoved, when they run past the end of the data.
std::optional<std::uint32_t> getint(FileBytes bytes, std::int64_t& cursor, int n);
// The string at the cursor: "" for FF FF, else the bytes of its length up to the first 00 byte,
// "<null>" when they are not UTF-8; the cursor moves past the whole string. None, and the
// cursor unmoved, when the length or the bytes run past the end of the data.
std::optional<std::string> getstring(FileBytes bytes, std::int64_t& cursor);
// Writes one line per byte from first up to end (clipped to the data): mode 2 in hexadecimal,
// mode 3 in decimal, otherwise as a character.
void printArrary(FileBytes bytes, std::int64_t first, std::int64_t end, int mode, std::ostream& out);

}  // namespace mbdb
