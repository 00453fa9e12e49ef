#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class BrimleyAppDelegate;

// The numbers of the scan report: one row per data type that the last scan read (every type
// when it read them all, or before any scan), the deleted and the existing records, under a
// title naming the device. The counts are the record's count fields as the scan left them, not
// recounted from the lists.
struct ScanReport {
    struct Row {
        std::string caption;
        std::int32_t deleted = 0;
        std::int32_t existing = 0;
        // The row's place among the nine rows of a whole report (0 Messages ... 8 Safari).
        int place = 0;
        // Whether the scan looked for this data type at all: not for the types a scan of one
        // type leaves out, nor for photos and videos in a fast scan.
        bool scanned = true;
    };

    // Which rows a report has: those of the scanned data type, or all nine (the rows of the
    // types the scan did not read then count 0).
    enum class Rows { Scanned, All };

    // "Scan report - <device name>".
    std::string title;
    // Of Messages, WhatsApp, Contacts, Calls, Calendar, Notes, Photos, Videos, Safari, in this
    // order, those of the scanned data type.
    std::vector<Row> rows;
    // One line per database the scan could not read, wholly or in part: which one, and what
    // could not be read.
    std::vector<std::string> damagedDatabases;
    // One line per sound database whose deleted records the older carving path did not search,
    // having no routine for its layout: which one, and why.
    std::vector<std::string> notSearchedDatabases;
    // The user stopped the scan: the numbers are those reached until then.
    bool stopped = false;
    // Why deleted records were not searched (an unusable signature file); none when they were.
    std::optional<std::string> carvingProblem;
    // Photos and videos the scan found but could not copy (no working folder, a full disk).
    std::size_t mediaNotCopied = 0;

    static ScanReport fromRecord(const BrimleyAppDelegate& record, Rows which = Rows::Scanned);

    // The report as lines of text: the title, a header line, one line per row, and after
    // them the damaged databases, if any.
    std::string text() const;
};
