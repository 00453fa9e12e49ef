#include "app/ScanReport.h"

#include "app/DataTypes.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"

#include <algorithm>
#include <sstream>

ScanReport ScanReport::fromRecord(const BrimleyAppDelegate& record, Rows which) {
    ScanReport report;
    const auto device = record.deviceInfo.get();
    report.title = "Scan report - " + (device ? device->DeviceName().value_or("") : std::string());
    report.stopped = record.IsCancelFlag.load();
    // A scan of one data type reads that type only (photos and videos: both rows).
    const std::optional<DataType> scanned = record.scannedDataType.get();
    const auto wasScanned = [&](const DataTypeDescriptor& d) {
        return !scanned || (d.dataType && RunsStep(*scanned, *d.dataType));
    };
    std::vector<const DataTypeDescriptor*> rows;
    for (const auto& d : DataTypes())
        if (d.reportRow >= 0 && (which == Rows::All || wasScanned(d))) rows.push_back(&d);
    std::sort(rows.begin(), rows.end(),
              [](const auto* a, const auto* b) { return a->reportRow < b->reportRow; });
    const std::int32_t mode = record._RecoverMode.load();
    for (const auto* d : rows) {
        Row row{d->reportCaption, 0, 0, d->reportRow};
        row.scanned = wasScanned(*d) && (!scanned || !d->dataType || RunsInMode(mode, *d->dataType));
        if (wasScanned(*d)) {
            row.deleted = (record.*(d->deletedCount)).load();
            row.existing = (record.*(d->existingCount)).load();
        }
        report.rows.push_back(row);
    }
    for (const auto& problem : record.DatabaseProblems.snapshot())
        if (problem)
            (problem->noOlderRoutine ? report.notSearchedDatabases : report.damagedDatabases)
                .push_back(problem->database + " (" + problem->fileName + "): " + problem->what);
    report.carvingProblem = record.carvingProblem.get();
    report.mediaNotCopied = record.MediaNotCopied.size();
    return report;
}

std::string ScanReport::text() const {
    std::ostringstream out;
    const auto cell = [&](const std::string& text, std::size_t width, bool right) {
        const std::string pad(width > text.size() ? width - text.size() : 0, ' ');
        out << (right ? pad + text : text + pad);
    };
    out << title << '\n';
    cell("Data found", 12, false);
    cell("Deleted", 10, true);
    cell("Existing", 10, true);
    out << '\n';
    for (const Row& row : rows) {
        cell(row.caption, 12, false);
        if (row.scanned) {
            cell(std::to_string(row.deleted), 10, true);
            cell(std::to_string(row.existing), 10, true);
        } else {
            // Photos and videos in a fast scan: the scan did not look for them, so no counts.
            cell("not scanned", 20, true);
        }
        out << '\n';
    }
    if (!damagedDatabases.empty()) {
        out << "Damaged databases (what they hold is listed as far as it could be read):\n";
        for (const std::string& line : damagedDatabases) out << "  " << line << '\n';
    }
    if (!notSearchedDatabases.empty()) {
        out << "Deleted records not searched (the databases are sound):\n";
        for (const std::string& line : notSearchedDatabases) out << "  " << line << '\n';
    }
    if (mediaNotCopied)
        out << "Photos and videos not copied (missing from the lists): " << mediaNotCopied << '\n';
    if (carvingProblem)
        out << "Deleted records were not searched: " << *carvingProblem << '\n';
    return out.str();
}
