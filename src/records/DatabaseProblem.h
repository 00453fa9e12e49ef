#pragma once

#include "common/Types.h"

#include <string>

// A database of the backup that a scan could not read, wholly or in part.
struct DatabaseProblem {
    // What it is, as the user knows it ("call history database").
    std::string database;
    // Its backup file name.
    std::string fileName;
    // What could not be read, in words.
    std::string what;
    // Nothing of it could be read with SQL (its deleted rows are still carved).
    bool unreadable = false;
    // The database is sound: only the older carving path has no routine for its layout, so its
    // deleted records were not searched. Not damage.
    bool noOlderRoutine = false;

    static OptString FileNameKey(const DatabaseProblem& problem) { return problem.fileName; }
};
