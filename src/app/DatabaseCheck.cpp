#include "app/DatabaseCheck.h"

#include "app/BackupDatabaseTable.h"
#include "app/BackupFolderCheck.h"
#include "app/MainWindow.h"
#include "common/PropertyList.h"
#include "database/DatabaseHealth.h"
#include "database/DatabaseParts.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"
#include "services/NotesServices.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace {

// The data types whose databases are checked, each with the words for its databases. The
// address book comes first: the messages and calls read it too, under its own name.
struct TypeLabel {
    DataType type;
    const char* label;
};
constexpr TypeLabel kLabels[] = {
    {DataType::DataTypeContacts, "address book"},
    {DataType::DataTypeSMS, "messages database"},
    {DataType::DataTypeCallHistory, "call history database"},
    {DataType::DataTypeWhatsApp, "WhatsApp database"},
    {DataType::DataTypeNotes, "notes database"},
    {DataType::DataTypeCalendar, "calendar database"},
    {DataType::DataTypeInternetHistory, "browser history database"},
    {DataType::DataTypePhotosVideos, "photo library"},
};

const std::map<std::string, std::string>& Labels() {
    static const std::map<std::string, std::string> labels = [] {
        std::map<std::string, std::string> byName;
        for (const TypeLabel& entry : kLabels)
            for (const std::string& name : BackupFolderCheck::databaseNames(entry.type))
                byName.emplace(name, entry.label);
        return byName;
    }();
    return labels;
}

// The tables that make a backup database what its name says; a file holding none of them
// (an empty file, another kind of database) gives the scan nothing to read.
const std::map<std::string, std::vector<std::string>>& ExpectedTables() {
    namespace N = BackupDatabaseNames;
    static const std::map<std::string, std::vector<std::string>> tables = {
        {N::kSms, {"message"}},
        {N::kAddressBook, {"ABPerson"}},
        {N::kCallHistoryBeforeIOS8, {"call"}},
        {N::kCallHistory, {"ZCALLRECORD"}},
        {N::kWhatsApp, {"ZWAMESSAGE"}},
        {N::kWhatsAppFallback, {"ZWAMESSAGE"}},
        {N::kNotes, {"ZNOTE"}},
        {NotesServices::NotesIOS9SqliteDbName, {"ZICCLOUDSYNCINGOBJECT", "ZICNOTEDATA", "ZNOTE"}},
        {N::kCalendar, {"CalendarItem", "Event"}},
        {N::kInternetHistory, {"history_items"}},
    };
    return tables;
}

// Whether the name is among the names, compared as SQLite compares names (ASCII letters in
// either case).
bool ContainsName(const std::vector<std::string>& names, const std::string& name) {
    const auto lower = [](std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return text;
    };
    const std::string wanted = lower(name);
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return lower(n) == wanted; });
}

// What a readable file lacks, in words; empty when it has one of the tables it should hold (a
// view of that name counts: what is wrong with it is said among the missing parts).
std::string MissingTables(const std::string& backupName, const DatabaseHealth& health) {
    const auto expected = ExpectedTables().find(backupName);
    if (expected == ExpectedTables().end() || !health.readable) return {};
    for (const std::string& table : expected->second)
        if (ContainsName(health.tables, table) || ContainsName(health.views, table)) return {};
    std::string names;
    for (const std::string& table : expected->second) names += (names.empty() ? "" : " or ") + table;
    return "it has no table " + names +
           (health.tables.empty() ? " (it holds no tables at all)" : " (it is another kind of database)");
}

// The kind of each backup database whose records are read with SQL.
const std::map<std::string, DatabaseKind>& Kinds() {
    namespace N = BackupDatabaseNames;
    static const std::map<std::string, DatabaseKind> kinds = [] {
        std::map<std::string, DatabaseKind> byName = {
            {N::kSms, DatabaseKind::Messages},
            {N::kAddressBook, DatabaseKind::AddressBook},
            {N::kCallHistoryBeforeIOS8, DatabaseKind::CallHistory},
            {N::kCallHistory, DatabaseKind::CallHistory},
            {N::kWhatsApp, DatabaseKind::WhatsApp},
            {N::kWhatsAppFallback, DatabaseKind::WhatsApp},
            {N::kNotes, DatabaseKind::Notes},
            {NotesServices::NotesIOS9SqliteDbName, DatabaseKind::Notes},
            {N::kCalendar, DatabaseKind::Calendar},
        };
        for (const DataType type : {DataType::DataTypeInternetHistory, DataType::DataTypePhotosVideos})
            for (const std::string& name : BackupFolderCheck::databaseNames(type))
                byName.emplace(name, type == DataType::DataTypePhotosVideos ? DatabaseKind::PhotoLibrary
                                                                            : DatabaseKind::InternetHistory);
        return byName;
    }();
    return kinds;
}

// What a database that SQLite reads whole lacks of the tables and columns its records are read
// with (another shape than the phone's: a table dropped or made a view, a column renamed), in
// words; empty when it lacks nothing that is read.
std::string MissingParts(const std::string& backupName, const std::string& path, std::int32_t iOSMajor) {
    const auto kind = Kinds().find(backupName);
    if (kind == Kinds().end()) return {};
    const auto database = SqliteConnection::OpenReadOnly(path);
    if (!database || !database->isOpen()) return {};
    std::string words;
    for (const std::string& part : MissingDatabaseParts(kind->second, *database, iOSMajor))
        words += (words.empty() ? "" : "; ") + part;
    return words;
}

}  // namespace

std::string DatabaseLabel(const std::string& backupName) {
    const auto found = Labels().find(backupName);
    return found != Labels().end() ? found->second : backupName;
}

void CheckDatabases(DataType type, const ScanContext& context, MainWindowActions& window) {
    BrimleyAppDelegate& record = context.sink();
    std::set<std::string> seen;
    for (const std::string& name : BackupFolderCheck::databaseNames(type)) {
        if (context.cancelled()) return;
        if (!seen.insert(name).second) continue;
        const OptString path = context.locate(name);
        if (!path) continue;
        // Safari's history of iOS 7 and earlier is a property list, read as one: no database.
        if (PropertyListFile::looksLikePropertyList(*path)) continue;
        const DatabaseHealth health = DatabaseHealth::Examine(*path, context.stop);
        if (context.cancelled()) continue;
        const std::string missing = MissingTables(name, health);
        // A whole file of another shape is read as far as it goes; what it lacks is named.
        const std::string parts =
            health.ok() && missing.empty() ? MissingParts(name, *path, context.iOSMajorVersion()) : std::string();
        if (health.ok() && missing.empty() && parts.empty()) continue;
        auto problem = std::make_shared<DatabaseProblem>();
        problem->database = DatabaseLabel(name);
        problem->fileName = name;
        problem->what = !parts.empty() ? parts : health.ok() ? missing : health.describe();
        problem->unreadable = !health.readable || !missing.empty();
        const std::string line =
            "the " + problem->database + " (" + name + ") is damaged: " + problem->what +
            (problem->unreadable ? "; its deleted records are still carved" : "");
        std::cerr << ("scan: " + line + "\n");
        if (record.DatabaseProblems.appendUnlessKey(problem, &DatabaseProblem::FileNameKey))
            window.updateStatus(4, line);
    }
}
