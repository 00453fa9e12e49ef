#include "legacy/ParseMbdb.h"
#include "legacy/LegacyText.h"

#include "common/SHA1Util.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <ostream>

namespace {

constexpr std::int64_t kHeaderSize = 6;
// The bytes of a property at the least: two empty strings, each FF FF or a zero length.
constexpr std::int64_t kSmallestProperty = 4;
// How many bytes of a mapped list are read before the pages behind them are given back.
constexpr std::size_t kReleaseStep = 4 << 20;

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> parts) {
    return std::any_of(parts.begin(), parts.end(),
                       [&](std::string_view part) { return text.find(part) != std::string_view::npos; });
}

// The extension of the path's last component, dot included; empty when it has none (a name
// whose only dot leads it, like ".profile", has none).
std::string ExtensionOf(const std::string& path) {
    std::string_view name = path;
    while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
    if (const auto slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    std::string extension(name.substr(dot));
    std::erase(extension, ' ');
    return extension;
}

std::int32_t RecordTypeOf(const MDFileInfo& info) {
    if ((info.intMode & 0xE000) != 0x8000) return 1;
    const std::string extension = ExtensionOf(info.FileName);
    if (ParseMbdb::isDBData(extension)) return 5;
    if (ParseMbdb::isPictureData(extension)) return 3;
    if (ParseMbdb::isVideoData(extension)) return 4;
    if (ParseMbdb::isPlistData(extension)) return 2;
    return 6;
}

// Reads one record at cursor into info; on failure names the field that ran short.
class RecordReader {
public:
    RecordReader(FileBytes bytes, std::int64_t& cursor) : bytes_(bytes), cursor_(cursor) {}

    bool text(std::string& field, const char* name) {
        auto value = mbdb::getstring(bytes_, cursor_);
        if (!value) return fail(name);
        field = std::move(*value);
        return true;
    }
    bool number(std::int32_t& field, int width, const char* name) {
        const auto value = mbdb::getint(bytes_, cursor_, width);
        if (!value) return fail(name);
        field = static_cast<std::int32_t>(*value);
        return true;
    }
    const char* failed() const { return failed_; }
    std::int64_t failedAt() const { return failedAt_; }

private:
    bool fail(const char* name) {
        failed_ = name;
        failedAt_ = cursor_;
        return false;
    }

    FileBytes bytes_;
    std::int64_t& cursor_;
    const char* failed_ = nullptr;
    std::int64_t failedAt_ = 0;
};

void SetError(std::string* error, std::string text) {
    if (error) *error = "Manifest.mbdb: " + std::move(text);
}

// The list read up to a record that the end of the file cuts short: the records before it are
// whole and stay listed; the cut is named in *error and in the log.
bool CutShort(std::size_t count, std::string* error, std::string text) {
    std::string reason = "Manifest.mbdb: " + std::move(text) + "; the " + std::to_string(count) +
                         " records before it are listed";
    std::cerr << reason << '\n';
    if (error) *error = std::move(reason);
    return true;
}

}  // namespace

namespace mbdb {

std::optional<std::uint32_t> getint(FileBytes bytes, std::int64_t& cursor, int n) {
    if (n < 0 || !bytes.has(cursor, n)) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < n; ++i) value = (value << 8) | bytes[cursor + i];
    cursor += n;
    return value;
}

std::optional<std::string> getstring(FileBytes bytes, std::int64_t& cursor) {
    if (!bytes.has(cursor, 2)) return std::nullopt;
    if (bytes[cursor] == 0xFF && bytes[cursor + 1] == 0xFF) {
        cursor += 2;
        return std::string();
    }
    std::int64_t at = cursor;
    const std::int64_t length = *getint(bytes, at, 2);
    const std::string_view raw = bytes.text(at, length);
    if (raw.size() != static_cast<std::size_t>(length)) return std::nullopt;
    cursor = at + length;
    const std::string_view text = raw.substr(0, std::min(raw.find('\0'), raw.size()));
    if (!IsValidUtf8(text)) return std::string("<null>");
    return std::string(text);
}

void printArrary(FileBytes bytes, std::int64_t first, std::int64_t end, int mode, std::ostream& out) {
    first = std::max<std::int64_t>(first, 0);
    end = std::min(end, bytes.length());
    for (std::int64_t i = first; i < end; ++i) {
        std::array<char, 48> line{};
        const unsigned value = bytes[i];
        if (mode == 2)
            std::snprintf(line.data(), line.size(), "\nA[%lld] ==%x", static_cast<long long>(i), value);
        else if (mode == 3)
            std::snprintf(line.data(), line.size(), "\nA[%lld] ==%d", static_cast<long long>(i), value);
        else
            std::snprintf(line.data(), line.size(), "\nA[%lld] ==%c", static_cast<long long>(i), value);
        out << line.data();
    }
    out << "\n";
}

}  // namespace mbdb

namespace {
bool VisitRecords(FileBytes bytes, const ParseMbdb::Visitor& visit, std::string* error,
                  const std::function<void(std::int64_t)>& readUpTo);
}  // namespace

std::optional<ParseMbdb::Records> ParseMbdb::ProcessMbdbFile(const std::string& path, std::string* error) {
    Records records;
    if (!VisitMbdbFile(path, [&](std::shared_ptr<MDFileInfo> info) { records.push_back(std::move(info)); }, error))
        return std::nullopt;
    return records;
}

bool ParseMbdb::VisitMbdbFile(const std::string& path, const Visitor& visit, std::string* error) {
    std::string reason;
    const MappedFile file = MappedFile::open(path, &reason);
    if (file.empty()) {
        SetError(error, reason.empty() ? "cannot read " + path : reason);
        return false;
    }
    // The pages behind the records read are given back as the walk goes on.
    std::size_t released = 0;
    return VisitRecords(file.bytes(), visit, error, [&](std::int64_t done) {
        if (static_cast<std::size_t>(done) - released < kReleaseStep) return;
        released = static_cast<std::size_t>(done);
        file.release(released);
    });
}

std::optional<ParseMbdb::Records> ParseMbdb::ProcessMbdbData(FileBytes bytes, std::string* error) {
    Records records;
    if (!VisitMbdbData(bytes, [&](std::shared_ptr<MDFileInfo> info) { records.push_back(std::move(info)); }, error))
        return std::nullopt;
    return records;
}

bool ParseMbdb::VisitMbdbData(FileBytes bytes, const Visitor& visit, std::string* error) {
    return VisitRecords(bytes, visit, error, {});
}

namespace {

bool VisitRecords(FileBytes bytes, const ParseMbdb::Visitor& visit, std::string* error,
                  const std::function<void(std::int64_t)>& readUpTo) {
    if (error) error->clear();
    if (bytes.empty()) {
        SetError(error, "the file is empty");
        return false;
    }
    if (bytes.text(0, 4) != "mbdb") {
        SetError(error, "no \"mbdb\" header: not a backup file list");
        return false;
    }
    if (!bytes.has(0, kHeaderSize)) {
        SetError(error, "the file ends inside its header");
        return false;
    }
    std::size_t count = 0;
    std::int64_t cursor = kHeaderSize;
    while (cursor < bytes.length()) {
        auto info = std::make_shared<MDFileInfo>();
        info->intStartOffset = static_cast<std::int32_t>(cursor);
        const std::int64_t start = cursor;
        RecordReader read(bytes, cursor);
        const auto endsInside = [&](const std::string& field) {
            return "the record at offset " + std::to_string(start) + " ends inside its " + field +
                   " (at offset " + std::to_string(read.failedAt()) + ", the file has " +
                   std::to_string(bytes.length()) + " bytes)";
        };
        std::int32_t ignored = 0;
        const bool whole =
            read.text(info->Domain, "domain") && read.text(info->FileName, "path") &&
            read.text(info->strlinkTarget, "link target") && read.text(info->strDataHash, "data hash") &&
            read.text(info->strUnknown1, "encryption key") && read.number(info->intMode, 2, "mode") &&
            read.number(info->intUnknown2, 4, "inode number") &&
            read.number(info->intUnknown3, 4, "inode number") &&
            read.number(info->intUserID, 4, "user id") && read.number(info->intGroupID, 4, "group id") &&
            read.number(info->intmTime, 4, "modification time") &&
            read.number(info->intaTime, 4, "access time") && read.number(info->intcTime, 4, "change time") &&
            read.number(ignored, 4, "file length") && read.number(info->intfileLen, 4, "file length") &&
            read.number(info->intflag, 1, "flag") && read.number(info->intNumberofProps, 1, "property count");
        if (!whole) return CutShort(count, error, endsInside(read.failed()));
        if (info->intNumberofProps > 0) {
            const std::int64_t left = bytes.length() - cursor;
            if (info->intNumberofProps * kSmallestProperty > left)
                return CutShort(count, error,
                                "the record at offset " + std::to_string(start) + " declares " +
                                    std::to_string(info->intNumberofProps) + " properties, more than the " +
                                    std::to_string(left) + " bytes left in the file can hold");
            info->dicProperties.emplace();
            for (std::int32_t i = 0; i < info->intNumberofProps; ++i) {
                std::string name;
                std::string value;
                if (!read.text(name, "property name") || !read.text(value, "property value"))
                    return CutShort(count, error,
                                    endsInside(std::string(read.failed()) + " " + std::to_string(i + 1)));
                if (!name.empty()) (*info->dicProperties)[name] = std::move(value);
            }
        }
        info->RecordType = RecordTypeOf(*info);
        info->strHash = ParseMbdb::digest(info->Domain + "-" + info->FileName);
        visit(std::move(info));
        ++count;
        if (readUpTo) readUpTo(cursor);
    }
    return true;
}

}  // namespace

std::string ParseMbdb::digest(std::string_view text) {
    return SHA1Util::SHA1HashStringForUTF8String(text);
}

bool ParseMbdb::isDBData(std::string_view extension) {
    return ContainsAny(extension, {".db", ".sqlite", ".DB", ".SQLITE"}) || extension == ".cd";
}

bool ParseMbdb::isPictureData(std::string_view extension) {
    return ContainsAny(extension, {".bmp", ".gif", ".jpg", ".jpeg", ".png", ".tiff", ".BMP", ".GIF",
                                   ".JPG", ".JPEG", ".PNG", ".TIFF"});
}

bool ParseMbdb::isVideoData(std::string_view extension) {
    return ContainsAny(extension, {".mp3", ".wav", ".mov", ".vob", ".avi", ".mp4", ".divx", ".aiff",
                                   ".caf", ".m4a", ".MP3", ".WAV", ".MOV", ".VOB", ".AVI", ".MP4",
                                   ".DIVX"});
}

bool ParseMbdb::isPlistData(std::string_view extension) {
    return ContainsAny(extension, {".plist", ".Plist", ".PLIST"});
}
