#include "database/QueryDates.h"

#include "common/DateUtils.h"
#include "common/IcuDateCache.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include <cstdio>

namespace {

bool IsNull(const SqliteResultSet& row, std::string_view column) {
    return row.valueForColumn(column).isNull();
}

}  // namespace

OptDate AppleDateOfColumn(const SqliteResultSet& row, std::string_view column) {
    if (IsNull(row, column)) return std::nullopt;
    return DateUtils::DoubleToIOSDateTime(row.doubleForColumn(column));
}

OptDate UnixDateOfInt32Column(const SqliteResultSet& row, std::string_view column) {
    if (IsNull(row, column)) return std::nullopt;
    return DateFromUnixSeconds(row.intForColumn(column));
}

std::string DisplayTextOfDate(const OptDate& date) {
    return DateUtils::DateTimeToString(date).value_or("");
}

std::string FormatDateWithPattern(const OptDate& date, std::string_view pattern) {
    if (!date) return {};
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat formatter(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                        pattern.data(), static_cast<int32_t>(pattern.size()))),
                                    icu::Locale("en_US_POSIX"), status);
    if (U_FAILURE(status)) {
        std::fprintf(stderr, "torvane: cannot format dates as \"%.*s\": %s\n",
                     static_cast<int>(pattern.size()), pattern.data(), u_errorName(status));
        return {};
    }
    // The zone the standard texts are made in.
    formatter.setTimeZone(IcuDateCache::Formatter(DatePattern::DateTime24).getTimeZone());
    icu::UnicodeString text;
    formatter.format(IcuDateCache::ToUDate(*date), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}
