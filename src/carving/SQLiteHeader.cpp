#include "carving/SQLiteHeader.h"

#include "carving/PagedFile.h"

#include <algorithm>
#include <array>

bool SQLiteHeader::ReadSQLiteDatabaseHeader(const std::string& path) {
    *this = SQLiteHeader();
    PagedFile file;
    if (!file.open(path)) return false;
    std::array<std::uint8_t, kHeaderSize> bytes{};
    const std::int64_t got = file.readAt(0, bytes.data(), bytes.size());
    if (got < kHeaderSize) return false;
    return ReadFromBytes(ByteView(bytes.data(), bytes.size()), file.size(), path);
}

bool SQLiteHeader::ReadFromBytes(ByteView firstBytes, std::int64_t fileSize,
                                 const std::string& path) {
    *this = SQLiteHeader();
    if (firstBytes.size() < static_cast<std::size_t>(kHeaderSize) || fileSize < kHeaderSize)
        return false;
    const std::uint8_t* h = firstBytes.data();
    Signature_.assign(reinterpret_cast<const char*>(h), static_cast<std::size_t>(kHeaderSize));
    const std::uint32_t storedPageSize = ReadBigEndian16(h + 16);
    PageSize_ = storedPageSize == 1 ? 65536 : storedPageSize;
    reservedSpace_ = h[20];
    fileChangeCounter_ = ReadBigEndian32(h + 24);
    NumberOfPages_ = ReadBigEndian32(h + 28);
    PageNumberOfFirstListTrunkPage_ = ReadBigEndian32(h + 32);
    TotalNumberOfFreeListPages_ = ReadBigEndian32(h + 36);
    SchemaFormat_ = ReadBigEndian32(h + 44);
    HighestNUmberedRootPageNumber_ = static_cast<std::int32_t>(ReadBigEndian32(h + 52));
    IsAutoVacuum_ = HighestNUmberedRootPageNumber_ > 0;
    versionValidFor_ = ReadBigEndian32(h + 92);
    SQLiteDatabaseFileFullPath_ = path;
    fileSizeInBytes_ = fileSize;
    return true;
}

bool SQLiteHeader::isUsable() const {
    return fileSizeInBytes_ >= kHeaderSize && PageSize_ >= 512 && PageSize_ <= 65536 &&
           (PageSize_ & (PageSize_ - 1)) == 0;
}

bool SQLiteHeader::WritesSmallIntegersAsOneByte() const {
    return SchemaFormat_ >= 1 && SchemaFormat_ < 4;
}

std::int64_t SQLiteHeader::PageCountInFile() const {
    if (!isUsable()) return 0;
    const std::int64_t wholePages = fileSizeInBytes_ / PageSize_;
    // Versions before 3.7.0 did not keep the count current; SQLite then goes by the file size.
    const bool countIsCurrent = NumberOfPages_ > 0 && fileChangeCounter_ == versionValidFor_;
    return countIsCurrent ? std::min(NumberOfPages_, wholePages) : wholePages;
}
