#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

// The first occurrence of needle in haystack, as (location, needle length); the location is
// kNotFound when there is none, and for an empty needle.
inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
std::pair<std::size_t, std::size_t> rangeOfData_dd(std::span<const std::uint8_t> haystack,
                                                   std::span<const std::uint8_t> needle);

// Reads a text file line by line, a small chunk at a time, so a file of any size costs no more
// memory than its longest line. A line is returned with its delimiter (the last line of a file
// without a final delimiter has none); a delimiter of several bytes is found even where it
// straddles two chunks.
class DDFileReader {
public:
    // A reader at the start of the file; none when the file cannot be opened or is not a
    // regular file.
    static std::unique_ptr<DDFileReader> initWithFilePath(const std::string& path);
    ~DDFileReader();
    DDFileReader(const DDFileReader&) = delete;
    DDFileReader& operator=(const DDFileReader&) = delete;

    // The next line, delimiter included; none at the end of the file, when the file cannot be
    // read, or when the line is not valid UTF-8.
    std::optional<std::string> readLine();
    // The next line with white space and line breaks removed from both ends; none as readLine.
    std::optional<std::string> readTrimmedLine();
    // Calls block with each line in turn until the lines end or block sets its stop flag.
    void enumerateLinesUsingBlock(const std::function<void(const std::string& line, bool* stop)>& block);

    const std::string& lineDelimiter() const { return lineDelimiter_; }
    void setLineDelimiter(std::string delimiter) { lineDelimiter_ = std::move(delimiter); }
    std::uint64_t chunkSize() const { return chunkSize_; }
    // A chunk size of 0 reads one byte at a time.
    void setChunkSize(std::uint64_t size) { chunkSize_ = size; }

    const std::string& filePath() const { return filePath_; }
    std::uint64_t currentOffset() const { return currentOffset_; }
    std::uint64_t totalFileLength() const { return totalFileLength_; }

private:
    DDFileReader(std::string path, int fileHandle, std::uint64_t length);

    std::string filePath_;
    int fileHandle_ = -1;
    std::uint64_t currentOffset_ = 0;
    std::uint64_t totalFileLength_ = 0;
    std::string lineDelimiter_ = "\n";
    std::uint64_t chunkSize_ = 10;
};
