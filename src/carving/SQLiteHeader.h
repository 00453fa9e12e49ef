#pragma once

#include "carving/SQLiteUtils.h"

#include <cstdint>
#include <string>

// The fields of a SQLite database file header that the carver walks by. Only the first 100 bytes
// of the file are read, so a header costs the same for any file size.
class SQLiteHeader {
public:
    // The smallest file that holds a whole header; shorter files are not carved.
    static constexpr std::int64_t kHeaderSize = 100;

    SQLiteHeader() = default;
    // Reads the header of the file at path; the object is returned even when that failed.
    explicit SQLiteHeader(const std::string& path) { ReadSQLiteDatabaseHeader(path); }

    // Reads the header of the file at path. False, with every field zero, when the file is
    // missing, unreadable or shorter than a header.
    bool ReadSQLiteDatabaseHeader(const std::string& path);
    // Takes the fields from the first bytes of a file of fileSize bytes.
    bool ReadFromBytes(ByteView firstBytes, std::int64_t fileSize, const std::string& path = {});

    // Whether a header was read and its page size is one SQLite can write (a power of two from
    // 512 to 65536). A file without a usable header is not carved.
    bool isUsable() const;
    // Pages that the file really holds: the header's page count when SQLite itself would trust it
    // (non-zero, and written by a version that keeps it current), otherwise the file size in
    // whole pages; never more whole pages than the file has.
    std::int64_t PageCountInFile() const;

    // NumberOfPages x PageSize.
    std::int64_t SQLiteDatabaseSizeInBytes() const { return NumberOfPages_ * PageSize_; }

    std::int64_t PageSize() const { return PageSize_; }
    std::int64_t NumberOfPages() const { return NumberOfPages_; }
    std::int64_t PageNumberOfFirstListTrunkPage() const { return PageNumberOfFirstListTrunkPage_; }
    std::int64_t TotalNumberOfFreeListPages() const { return TotalNumberOfFreeListPages_; }
    std::int32_t HighestNUmberedRootPageNumber() const { return HighestNUmberedRootPageNumber_; }
    // The schema format number (1 to 4) of the file.
    std::uint32_t SchemaFormat() const { return SchemaFormat_; }
    // Whether SQLite writes the integers 0 and 1 into this file as one-byte integers (serial
    // type 1): the serial types 8 and 9 for them came with schema format 4, and a file first
    // made with an older format keeps it.
    bool WritesSmallIntegersAsOneByte() const;
    bool IsAutoVacuum() const { return IsAutoVacuum_; }
    std::uint8_t reservedSpace() const { return reservedSpace_; }
    // The header bytes as ASCII text.
    const std::string& Signature() const { return Signature_; }
    const std::string& SQLiteDatabaseFileFullPath() const { return SQLiteDatabaseFileFullPath_; }
    std::int64_t fileSizeInBytes() const { return fileSizeInBytes_; }

private:
    std::int64_t PageSize_ = 0;
    std::int64_t NumberOfPages_ = 0;
    std::int64_t PageNumberOfFirstListTrunkPage_ = 0;
    std::int64_t TotalNumberOfFreeListPages_ = 0;
    std::uint32_t SchemaFormat_ = 0;
    std::int32_t HighestNUmberedRootPageNumber_ = 0;
    bool IsAutoVacuum_ = false;
    std::uint8_t reservedSpace_ = 0;
    // The in-header page count is current only when these two agree (SQLite 3.7.0 and later).
    std::uint32_t fileChangeCounter_ = 0;
    std::uint32_t versionValidFor_ = 0;
    std::string Signature_;
    std::string SQLiteDatabaseFileFullPath_;
    std::int64_t fileSizeInBytes_ = 0;
};
