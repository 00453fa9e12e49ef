#pragma once

#include "common/Clock.h"
#include "database/SqliteConnection.h"

#include <string>
#include <string_view>

// Dates of the columns the live-row queries read, and their display texts. Apple and Unix
// seconds are instants in UTC; texts are in the local time zone of Clock. A NULL column is no
// date (not the epoch), and no date shows as the empty text.

// A double column of Apple seconds (fractions dropped; negative values are no date).
OptDate AppleDateOfColumn(const SqliteResultSet& row, std::string_view column);
// A column of Unix seconds read as a 32-bit integer, as the older tables' readers always have.
OptDate UnixDateOfInt32Column(const SqliteResultSet& row, std::string_view column);
// "yyyy-MM-dd HH:mm:ss", or the empty text for no date.
std::string DisplayTextOfDate(const OptDate& date);
// The date in a pattern of Unicode TR 35 that the date helpers have no name for; the empty text
// for no date.
std::string FormatDateWithPattern(const OptDate& date, std::string_view pattern);
