#include "export/ExportDates.h"

#include "common/DateUtils.h"
#include "common/IcuDateCache.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Formatters are costly to build and unsafe to share, and every date column of every record
// goes through one, so each thread keeps its own and rebuilds them when the zone changes.
struct ThreadFormatters {
    std::uint64_t generation = 0;  // Clock's generations start at 1
    std::unique_ptr<icu::SimpleDateFormat> folder;

    icu::SimpleDateFormat& get(std::unique_ptr<icu::SimpleDateFormat>& slot, const char* pattern) {
        const std::uint64_t current = Clock::TimeZoneGeneration();
        if (current != generation) {
            folder.reset();
            generation = current;
        }
        if (!slot) {
            UErrorCode status = U_ZERO_ERROR;
            auto formatter = std::make_unique<icu::SimpleDateFormat>(
                icu::UnicodeString(pattern, -1, US_INV), icu::Locale("en_US_POSIX"), status);
            if (U_FAILURE(status)) {
                // Only a broken ICU installation gets here; the data is part of the package.
                std::fprintf(stderr, "Export: cannot create a date formatter: %s\n",
                             u_errorName(status));
                std::abort();
            }
            formatter->adoptTimeZone(
                icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(Clock::TimeZoneId())));
            slot = std::move(formatter);
        }
        return *slot;
    }
};

thread_local ThreadFormatters tFormatters;

std::string Format(icu::SimpleDateFormat& formatter, Date when) {
    icu::UnicodeString text;
    formatter.format(static_cast<UDate>(when.time_since_epoch().count()), text);
    std::string out;
    return text.toUTF8String(out);
}

}  // namespace

OptString ExportDates::CsvDate(const OptString& recordDate) {
    const OptDate date = DateUtils::StringToDateTime(recordDate);
    if (!date) return recordDate;
    return IcuDateCache::Format(DatePattern::CsvExport, *date);
}

std::string ExportDates::FolderTime(Date when) {
    return Format(tFormatters.get(tFormatters.folder, "yyyy-MM-dd hh.mm a"), when);
}
