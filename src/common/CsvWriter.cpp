#include "common/CsvWriter.h"

#include "common/FileName.h"
#include "common/SafeFiles.h"
#include "common/TemporaryFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Line breaks that a CSV reader would take as the end of a record: LF, VT, FF, CR, and the
// Unicode next-line, line-separator and paragraph-separator characters (in UTF-8).
bool NeedsQuoting(std::string_view field) {
    for (std::size_t i = 0; i < field.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        if (c == ',' || c == '"' || (c >= 0x0A && c <= 0x0D)) return true;
        if (c == 0xC2 && i + 1 < field.size() && static_cast<unsigned char>(field[i + 1]) == 0x85)
            return true;
        if (c == 0xE2 && i + 2 < field.size() && static_cast<unsigned char>(field[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(field[i + 2]) == 0xA8 ||
             static_cast<unsigned char>(field[i + 2]) == 0xA9))
            return true;
    }
    return false;
}

}  // namespace

CsvWriter::CsvWriter(std::string path, Placement placement)
    : path_(std::move(path)), placement_(placement) {
    // A hidden name beside the target, short enough for any target name. mkstemp creates it
    // exclusively, so nothing planted under that name is written through.
    std::string pattern = TemporaryPatternBeside(path_, "tmp");
    int fd = -1;
    int error = ECANCELED;  // unless mkstemp runs: the program is ending
    tempPath_ = TemporaryFiles::make([&] {
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        fd = ::mkstemp(buf.data());
        error = errno;
        return fd < 0 ? std::string() : std::string(buf.data());
    });
    if (fd < 0) {
        std::cerr << "CSV: cannot create a file beside " << path_ << ": " << std::strerror(error)
                  << '\n';
        return;
    }
    file_ = ::fdopen(fd, "w");
    if (!file_) {
        ::close(fd);
        ::unlink(tempPath_.c_str());
        std::cerr << "CSV: cannot open " << tempPath_ << '\n';
        return;
    }
    // mkstemp creates 0600; an export is an ordinary document of the user.
    ::fchmod(fd, 0666 & ~SafeFiles::CurrentUmask());
    ok_ = true;
}

CsvWriter::~CsvWriter() {
    if (!closed_) abandon();
}

std::string CsvWriter::EncodeField(std::string_view field) {
    if (!NeedsQuoting(field)) return std::string(field);
    std::string out;
    out.reserve(field.size() + 2);
    out.push_back('"');
    for (char c : field) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

void CsvWriter::put(std::string_view text) {
    if (!ok_ || !file_) return;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        std::cerr << "CSV: write failed on " << tempPath_ << '\n';
        ok_ = false;
    }
}

void CsvWriter::writeField(std::string_view field) {
    if (fieldsInLine_ > 0) put(",");
    put(EncodeField(field));
    ++fieldsInLine_;
}

void CsvWriter::writeField(const OptString& field) {
    writeField(field ? std::string_view(*field) : std::string_view());
}

void CsvWriter::writeLine() {
    put("\n");
    fieldsInLine_ = 0;
}

void CsvWriter::writeLineOfFields(std::initializer_list<OptString> fields) {
    for (const auto& f : fields) writeField(f);
    writeLine();
}

void CsvWriter::writeLineOfFields(const std::vector<OptString>& fields) {
    for (const auto& f : fields) writeField(f);
    writeLine();
}

void CsvWriter::abandon() {
    closed_ = true;
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        TemporaryFiles::forget(tempPath_);
    }
    ok_ = false;
}

bool CsvWriter::closeFile() {
    if (closed_) return ok_;
    if (!file_ || !ok_) {
        abandon();
        return false;
    }
    bool good = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
    good = (std::fclose(file_) == 0) && good;
    file_ = nullptr;
    if (good) {
        const int error = placement_ == Placement::NewFileOnly
                              ? SafeFiles::MoveWithoutReplacing(tempPath_, path_)
                              : (std::rename(tempPath_.c_str(), path_.c_str()) == 0 ? 0 : errno);
        if (error != 0) {
            std::cerr << "CSV: cannot move " << tempPath_ << " to " << path_ << ": "
                      << (error == EEXIST ? "something of that name is there already"
                                          : std::strerror(error))
                      << '\n';
            good = false;
        }
    }
    if (!good) ::unlink(tempPath_.c_str());
    TemporaryFiles::forget(tempPath_);
    closed_ = true;
    ok_ = good;
    return good;
}
