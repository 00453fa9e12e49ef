#include "legacy/DDFileReader.h"
#include "legacy/LegacyText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsSpaceOrBreak(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

std::pair<std::size_t, std::size_t> rangeOfData_dd(std::span<const std::uint8_t> haystack,
                                                   std::span<const std::uint8_t> needle) {
    if (needle.empty() || needle.size() > haystack.size()) return {kNotFound, needle.size()};
    const auto found = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    if (found == haystack.end()) return {kNotFound, needle.size()};
    return {static_cast<std::size_t>(found - haystack.begin()), needle.size()};
}

std::unique_ptr<DDFileReader> DDFileReader::initWithFilePath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<DDFileReader>(
        new DDFileReader(path, fd, static_cast<std::uint64_t>(info.st_size)));
}

DDFileReader::DDFileReader(std::string path, int fileHandle, std::uint64_t length)
    : filePath_(std::move(path)), fileHandle_(fileHandle), totalFileLength_(length) {}

DDFileReader::~DDFileReader() {
    if (fileHandle_ >= 0) ::close(fileHandle_);
}

std::optional<std::string> DDFileReader::readLine() {
    if (currentOffset_ >= totalFileLength_) return std::nullopt;
    const auto* delimiter = reinterpret_cast<const std::uint8_t*>(lineDelimiter_.data());
    const std::span<const std::uint8_t> needle(delimiter, lineDelimiter_.size());
    const std::uint64_t chunk = std::max<std::uint64_t>(chunkSize_, 1);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(chunk, 1 << 20)));
    std::string line;
    bool found = false;
    while (!found && currentOffset_ < totalFileLength_) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size(), totalFileLength_ - currentOffset_));
        const ssize_t got = ::pread(fileHandle_, buffer.data(), want, static_cast<off_t>(currentOffset_));
        if (got < 0 && errno == EINTR) continue;
        // A file that shrank or cannot be read ends where it stopped giving bytes.
        if (got <= 0) {
            totalFileLength_ = currentOffset_;
            break;
        }
        // Search the new bytes together with the tail of the line so far, so that a delimiter
        // split over two chunks is still found.
        const std::size_t before = line.size();
        line.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(got));
        const std::size_t from = before >= needle.size() ? before - (needle.size() - 1) : 0;
        const auto* base = reinterpret_cast<const std::uint8_t*>(line.data());
        const auto range = rangeOfData_dd({base + from, line.size() - from}, needle);
        std::size_t keep = line.size();
        if (range.first != kNotFound) {
            found = true;
            keep = from + range.first + range.second;
        }
        line.resize(keep);
        currentOffset_ += keep - before;
    }
    if (line.empty() || !IsValidUtf8(line)) return std::nullopt;
    return line;
}

std::optional<std::string> DDFileReader::readTrimmedLine() {
    auto line = readLine();
    if (!line) return line;
    std::size_t begin = 0;
    std::size_t end = line->size();
    while (begin < end && IsSpaceOrBreak(static_cast<unsigned char>((*line)[begin]))) ++begin;
    while (end > begin && IsSpaceOrBreak(static_cast<unsigned char>((*line)[end - 1]))) --end;
    return line->substr(begin, end - begin);
}

void DDFileReader::enumerateLinesUsingBlock(
    const std::function<void(const std::string& line, bool* stop)>& block) {
    bool stop = false;
    while (!stop) {
        const auto line = readLine();
        if (!line) break;
        block(*line, &stop);
    }
}
