#pragma once

#include "records/DataType.h"
#include "records/ScanContext.h"

#include <string>

class MainWindowActions;

// Before a scan reads the rows of its data types, every database those types read that the
// backup holds is examined (DatabaseHealth): one that SQLite cannot read, wholly or in part,
// is named on the status line (code 4) with what could not be read, and listed in the results
// record's DatabaseProblems, which the scan report shows and the headless front end's exit
// status reflects. Its deleted rows are carved all the same. A missing database is no
// problem: backups lack the databases of what the phone never used.
void CheckDatabases(DataType type, const ScanContext& context, MainWindowActions& window);

// How the user knows the database of that backup name ("call history database"); the name
// itself when it is none of the scan's.
std::string DatabaseLabel(const std::string& backupName);
