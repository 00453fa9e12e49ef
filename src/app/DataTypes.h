#pragma once

#include "app/WindowTypes.h"
#include "export/ExportRun.h"
#include "records/DataType.h"
#include "records/ScanContext.h"
#include "services/ServiceIndex.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

class BrimleyAppDelegate;

// One kind of record the program recovers, shows and exports, with every number and name the
// rest of the program knows it by. DataTypes() lists them all; the scan worker, the deleted-
// record run controller, the scan report, the clearing of a scan, the export and the command
// line all loop over that one table, and the numbering schemes (DataType, ServiceIndex, TabTag)
// meet only here.
//
// Adding a data type means writing its records, queries, service and export columns in their
// own files and adding one entry to the table (see docs/ARCHITECTURE.md).
struct DataTypeDescriptor {
    // Reads the type's existing rows into the context's results record and answers how many
    // it listed. Runs on the scan worker's thread.
    using LiveLoader = std::size_t (*)(const ScanContext& context);
    // Empties the type's lists and counts in the record.
    using Clear = void (*)(BrimleyAppDelegate& record);
    using Count = std::atomic<std::int32_t> BrimleyAppDelegate::*;

    // The main window's tab that shows the records; unique within the table.
    TabTag tab;
    // The choice on the home screen (and of --type) that scans this type; none for types that
    // no scan fills.
    std::optional<DataType> dataType;
    // The recovery service that recovers its deleted records (and, for photos, videos and
    // the browser history, its existing ones too).
    std::optional<ServiceIndex> service;
    // How logs and error messages name it ("call history").
    const char* name;
    // The words --type accepts for it (in any letter case): its own name first, the one the
    // usage text shows, then the names its export files give it ("sms", "callhistory").
    std::vector<std::string_view> commandLineNames;

    // ---- The live step of a scan (in table order) ----
    LiveLoader loadExisting = nullptr;
    // Shown while its rows are read ("Retrieving  <statusName>") and in the count line
    // ("<n> <countName> Retreived").
    const char* statusName = "";
    const char* countName = "";
    // Whether its screen is redrawn once the rows are read.
    bool redrawAfterLoad = false;

    // ---- The deleted-record run (one thread per service, in table order) ----
    // The messages and call-history services name their partners from the contacts that the
    // contacts service lists, so they start only once it has finished.
    bool waitsForContacts = false;
    // The status line when its thread begins; none.
    const char* recoveryStatus = nullptr;
    // Once its service has ended: back to the messages tab, and the tab bar redrawn.
    bool updatesMainViewAfterRecovery = false;
    bool refreshesTabsAfterRecovery = false;

    // ---- The scan report ----
    // The row caption and its place in the report; no row when empty.
    const char* reportCaption = "";
    int reportRow = -1;
    Count deletedCount = nullptr;
    Count existingCount = nullptr;

    // ---- Clearing and export ----
    Clear clear = nullptr;
    ExportFile exportFile;
};

// Every data type, in the order a scan reads their existing rows.
std::span<const DataTypeDescriptor> DataTypes();

// The entry of a tab, of a --type word, of a service; null when none has it.
const DataTypeDescriptor* DataTypeOfTab(TabTag tab);
const DataTypeDescriptor* DataTypeOfCommandLineName(std::string_view name);
const DataTypeDescriptor* DataTypeOfService(ServiceIndex index);

// The service that recovers a data type; none for DataTypeAll and codes of no type.
std::optional<ServiceIndex> ServiceIndexForDataType(DataType type);
// The data type a service recovers.
DataType DataTypeForServiceIndex(ServiceIndex index);
// The tab a scan opens for its data type (the scan's "button type"); a scan of every type, or
// of photos and videos, opens the photo tab.
TabTag ButtonTypeFor(DataType type);

// Whether a scan in recovery mode `recoverMode` (the record's _RecoverMode: 0 fast, 1 full) runs
// the step of data type `step`: a fast scan reads the databases only and examines no photo or
// video, neither among the backup's files nor in its photo library.
constexpr bool RunsInMode(std::int32_t recoverMode, DataType step) {
    return recoverMode == 1 || step != DataType::DataTypePhotosVideos;
}

// The files of an export, in tab order.
std::vector<ExportFile> ExportFiles();
