#include "records/Appointment.h"

#include "common/DateUtils.h"
#include "common/StringUtils.h"

#include <unicode/unistr.h>

bool Appointment::IsEqual(const Appointment& other) const {
    return SameText(Summary_, other.Summary_) && SameText(StartTimeZone_, other.StartTimeZone_) &&
           SameText(OriginalStartDate_, other.OriginalStartDate_);
}

std::string Appointment::StartTimeZoneText() const {
    if (!StartTimeZone_ || *StartTimeZone_ == "_float") return {};
    return *StartTimeZone_;
}

std::string Appointment::UrlShort() const {
    if (StringUtils::IsNullOrEmpty(Url_)) return {};
    if (icu::UnicodeString::fromUTF8(*Url_).length() >= 16)
        return StringUtils::ClearUrl(Url_).value_or("") + "...";
    return *Url_;
}

std::string Appointment::StartDateText() const {
    return DateUtils::DateTimeToString(StartTime_).value_or("");
}

std::string Appointment::EndDateText() const {
    return DateUtils::DateTimeToString(EndTime_).value_or("");
}
