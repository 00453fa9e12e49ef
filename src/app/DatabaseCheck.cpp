#include "app/DatabaseCheck.h"

#include "app/BackupFolderCheck.h"
#include "app/MainWindow.h"
#include "common/PropertyList.h"
#include "database/DatabaseHealth.h"
#include "records/BrimleyAppDelegate.h"

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
        if (health.ok() || context.cancelled()) continue;
        auto problem = std::make_shared<DatabaseProblem>();
        problem->database = DatabaseLabel(name);
        problem->fileName = name;
        problem->what = health.describe();
        problem->unreadable = !health.readable;
        const std::string line =
            "the " + problem->database + " (" + name + ") is damaged: " + problem->what +
            (problem->unreadable ? "; its deleted records are still carved" : "");
        std::cerr << ("scan: " + line + "\n");
        if (record.DatabaseProblems.appendUnlessKey(problem, &DatabaseProblem::FileNameKey))
            window.updateStatus(4, line);
    }
}
