#pragma once

#include "common/CsvWriter.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

class BrimleyAppDelegate;

// What became of one file of an export.
enum class ExportStatus {
    Written,         // the file is in place
    NothingToWrite,  // no record (or no ticked one): no file, an older one left as it was
    AlreadyThere,    // a file of that name was there already and was left alone
    Failed,          // not written; nothing half-written is left behind
};

struct ExportEntry {
    ExportEntry() = default;
    ExportEntry(std::string path_, ExportStatus status_, std::size_t records_, bool media_ = false,
                std::string cause_ = {})
        : path(std::move(path_)), status(status_), records(records_), media(media_), cause(std::move(cause_)) {}

    std::string path;
    ExportStatus status = ExportStatus::NothingToWrite;
    // Lines of a CSV file; 1 for a copied photo or video.
    std::size_t records = 0;
    // A copied photo or video, not a file of records (whatever its name).
    bool media = false;
    // Why it was not written, where that is known beyond the write itself ("its file ... is
    // missing from the backup"); empty otherwise.
    std::string cause;
};

// Writes one CSV file per data type from the lists of the shared state record: no header
// line, the records one per line in list order (existing before deleted), the first column a
// running number (or the record's own SlNo for lists that have no ticks), dates as
// "yyyy/MM/dd hh:mm a". It chooses no folder or name; the caller gives each file's full path.
//
// An operation reads its lists during the call (a snapshot of each, the existing records and
// then the deleted ones, taken when its turn comes) and keeps nothing. A file
// with no record to write is not created. Records count as ticked when isChecked is exactly 1;
// the map, account, application and user-dictionary records carry no tick, so onlyTicked does
// not apply to them.
class Exporter {
public:
    // One of the operations below.
    using Operation = ExportEntry (Exporter::*)(const std::string& path, bool onlyTicked) const;

    // placement: whether a file already under a path is replaced (a path the user chose) or
    // left alone, the write then failing (a file inside a new export folder).
    explicit Exporter(const BrimleyAppDelegate& state,
                      CsvWriter::Placement placement = CsvWriter::Placement::Replace);

    // How many records the operation would write now; 0 for ExportDeleted and unknown ones.
    std::size_t RecordsToWrite(Operation operation, bool onlyTicked) const;

    ExportEntry ExportSMS(const std::string& path, bool onlyTicked) const;
    ExportEntry ExportWhatsApp(const std::string& path, bool onlyTicked) const;
    ExportEntry ExportNotes(const std::string& path, bool onlyTicked) const;
    ExportEntry ExportCalendar(const std::string& path, bool onlyTicked) const;
    ExportEntry ExportCallLog(const std::string& path, bool onlyTicked) const;
    ExportEntry ExportContact(const std::string& path, bool onlyTicked) const;
    ExportEntry ExportInternetData(const std::string& path, bool onlyTicked) const;
    ExportEntry ExportMapHistory(const std::string& path, bool onlyTicked) const;
    ExportEntry ExportAccountData(const std::string& path, bool onlyTicked) const;
    ExportEntry ExportApplicationData(const std::string& path, bool onlyTicked) const;
    ExportEntry KeyboardDictionary(const std::string& path, bool onlyTicked) const;
    // Deleted records are part of each type's file; this writes nothing.
    ExportEntry ExportDeleted(const std::string& path, bool onlyTicked) const;

    // The index one past the first zero byte at or after `inital`; none when the bytes hold no
    // zero byte there (or `inital` lies past their end). Used by the byte-pattern carvers to
    // find the end of a C string.
    static std::optional<std::uint64_t> GetTheLengthOfTheStringBytes(
        std::span<const std::uint8_t> bytes, std::uint64_t inital);

private:
    const BrimleyAppDelegate& state_;
    CsvWriter::Placement placement_;
};
