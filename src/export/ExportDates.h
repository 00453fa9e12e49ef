#pragma once

#include "common/Clock.h"
#include "common/Types.h"

#include <string>

// The date texts of an export: the date columns of the CSV files and the time in the name of
// the export folder. Both use the local time zone of Clock and the fixed "en_US_POSIX" locale,
// so the files read the same whatever the user's settings (the marker is "AM" or "PM").
// Safe to call from any thread.
class ExportDates {
public:
    // A record's date text ("yyyy-MM-dd HH:mm:ss") as "yyyy/MM/dd hh:mm a". A text in any other
    // form (a carved " ", a call time already formatted, a broken value) is kept as stored, so
    // nothing the record holds is lost; an absent date stays absent.
    static OptString CsvDate(const OptString& recordDate);

    // "yyyy-MM-dd hh.mm a": the time part of an export folder's name.
    static std::string FolderTime(Date when);
};
