#include "records/Appointment.h"

#include "common/DateUtils.h"

#include <gtest/gtest.h>

TEST(Appointment, DateTextsAreLocalTimeAndEmptyWithoutATime) {
    Appointment a;
    EXPECT_EQ(a.StartDateText(), "");
    EXPECT_EQ(a.EndDateText(), "");
    // 2016-07-01 10:00:00 UTC is noon in Berlin (summer time); 2016-01-15 10:00:00 UTC is 11:00.
    a.setStartTime(DateUtils::DoubleToIOSDateTime(489060000.0));
    a.setEndTime(DateUtils::DoubleToIOSDateTime(474544800.0));
    a.setStartTimeZone("_float");
    a.setBirthDayEvent(true);
    EXPECT_EQ(a.StartDateText(), "2016-07-01 12:00:00");
    EXPECT_EQ(a.EndDateText(), "2016-01-15 11:00:00");
}

TEST(Appointment, TimeZoneTextHidesTheFloatingZone) {
    Appointment a;
    EXPECT_EQ(a.StartTimeZoneText(), "");
    a.setStartTimeZone("_float");
    EXPECT_EQ(a.StartTimeZoneText(), "");
    a.setStartTimeZone("Europe/Berlin");
    EXPECT_EQ(a.StartTimeZoneText(), "Europe/Berlin");
}

TEST(Appointment, ShortUrlFromSixteenCharacters) {
    struct Case {
        OptString url;
        const char* shortUrl;
    } cases[] = {
        {std::nullopt, ""},
        {"", ""},
        // 16 characters; a short host without a path comes back from ClearUrl unstripped.
        {"http://a.example", "http://a.example..."},
        {"http://example.org/path", "example.org..."},
        {"http://abc.de/xy", "abc.de..."},
        {"https://ab.co/x", "https://ab.co/x"},  // 15 characters: as it is
    };
    for (const auto& c : cases) {
        Appointment a;
        a.setUrl(c.url);
        EXPECT_EQ(a.UrlShort(), c.shortUrl) << c.url.value_or("(absent)");
    }
}

TEST(Appointment, StartsWithEmptyUrlAndComparesByTitleZoneAndStartText) {
    Appointment a, b;
    EXPECT_EQ(a.Url(), "");
    EXPECT_FALSE(a.BirthDayEvent());
    EXPECT_EQ(a.AppointmentAllDayLabel(), "0");
    a.setAllDay(true);
    EXPECT_EQ(a.AppointmentAllDayLabel(), "1");

    EXPECT_FALSE(a.IsEqual(b));
    for (Appointment* x : {&a, &b}) {
        x->setSummary("Dentist");
        x->setStartTimeZone("Europe/Berlin");
        x->setOriginalStartDate("2016-07-01 12:00:00");
    }
    b.setDescription("other notes");
    EXPECT_TRUE(a.IsEqual(b));
    b.setStartTimeZone("_float");
    EXPECT_FALSE(a.IsEqual(b));
}
