#include "common/Clock.h"
#include "common/DateUtilities.h"
#include "common/DateUtils.h"
#include "common/IcuDateCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;

Date Utc(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0) {
    return Date(sys_days(year(y) / month(mo) / day(d)) + hours(h) + minutes(mi) + seconds(s));
}

double AppleSeconds(Date date) {
    return static_cast<double>(
        duration_cast<seconds>(date - DateUtils::IOSDateTimeOffset()).count());
}

// A local wall-clock time in the test zone.
Date Local(const char* text) {
    const OptDate date = DateUtils::StringToDateTime(std::string(text));
    EXPECT_TRUE(date.has_value()) << text;
    return date.value_or(Date{});
}

std::string Text(const OptDate& date) {
    return DateUtils::DateTimeToString(date).value_or("<none>");
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Berlin (CET/CEST) is the zone the texts below are written for; "now" is a Friday noon.
class DateTest : public ::testing::Test {
protected:
    Clock::ScopedTimeZone zone_{"Europe/Berlin"};
    const Date now_ = Utc(2024, 3, 15, 11, 0, 0);  // 12:00 in Berlin
    Clock::ScopedNow fixedNow_{now_};
};

TEST(Clock, HostZoneComesFromTZ) {
    const char* tz = std::getenv("TZ");
    if (!tz || std::string(tz) != "Europe/Berlin") GTEST_SKIP() << "runs under TZ=Europe/Berlin";
    EXPECT_EQ(Clock::TimeZoneId(), "Europe/Berlin");
}

TEST(Clock, NowAndZoneCanBeReplacedAndRestored) {
    const Date fixed = Utc(2020, 5, 1, 8, 30);
    {
        Clock::ScopedNow scoped(fixed);
        EXPECT_EQ(Clock::Now(), fixed);
    }
    EXPECT_NE(Clock::Now(), fixed);

    const std::string host = Clock::TimeZoneId();
    {
        Clock::ScopedTimeZone scoped("America/New_York");
        EXPECT_EQ(Clock::TimeZoneId(), "America/New_York");
        EXPECT_FALSE(Clock::SetTimeZone(std::string("Not/AZone")));
        EXPECT_EQ(Clock::TimeZoneId(), "America/New_York");
    }
    EXPECT_EQ(Clock::TimeZoneId(), host);
}

TEST_F(DateTest, TextsFollowAChangeOfZoneOnTheSameThread) {
    const Date epoch = DateUtils::IOSDateTimeOffset();
    EXPECT_EQ(Text(epoch), "2001-01-01 01:00:00");
    {
        Clock::ScopedTimeZone newYork("America/New_York");
        EXPECT_EQ(Text(epoch), "2000-12-31 19:00:00");
    }
    Clock::ScopedTimeZone berlin("Europe/Berlin");
    EXPECT_EQ(Text(epoch), "2001-01-01 01:00:00");
}

TEST_F(DateTest, EpochsAreUtcInstants) {
    EXPECT_EQ(DateUtils::IOSDateTimeOffset(), Utc(2001, 1, 1));
    EXPECT_EQ(DateUtils::UnixDateTimeOffset(), Utc(1970, 1, 1));
    EXPECT_EQ(DateUtils::IOSDateTimeOffset() - DateUtils::UnixDateTimeOffset(),
              seconds(DateUtils::kAppleEpochOffsetSeconds));
}

TEST_F(DateTest, DoubleToIOSDateTime) {
    const Date base = Utc(2001, 1, 1);
    const struct {
        std::optional<double> value;
        OptDate expected;
    } cases[] = {
        {std::nullopt, std::nullopt},
        {0.0, base},
        {0.9, base},
        {1.9, base + seconds(1)},
        {AppleSeconds(Utc(2020, 7, 1, 12)), Utc(2020, 7, 1, 12)},
        {-1.0, std::nullopt},  // a negative time is no date
        {-0.5, std::nullopt},
        {kNaN, std::nullopt},
        {kInfinity, std::nullopt},
        {1e300, std::nullopt},
        {-1e300, std::nullopt},
        {1e13, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateUtils::DoubleToIOSDateTime(c.value), c.expected) << c.value.value_or(-99);
}

TEST_F(DateTest, DoubleIOSDateTimeToStringShowsPastDatesInLocalTime) {
    const double nowApple = AppleSeconds(now_);
    const struct {
        std::optional<double> value;
        std::string expected;
    } cases[] = {
        {0.0, "2001-01-01 01:00:00"},
        {AppleSeconds(Utc(2020, 1, 15, 12)), "2020-01-15 13:00:00"},  // CET, +1 h
        {AppleSeconds(Utc(2020, 7, 1, 12)), "2020-07-01 14:00:00"},   // CEST, +2 h
        {nowApple - 1, "2024-03-15 11:59:59"},
        {nowApple, " "},  // not in the past
        {nowApple + 86400, " "},
        {std::nullopt, " "},
        {-1.0, " "},
        {kNaN, " "},
        {1e300, " "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateUtils::doubleIOSDateTimeToString(c.value), c.expected)
            << c.value.value_or(-99);
}

TEST_F(DateTest, DateTimeToStringAcrossDaylightSavingTime) {
    const struct {
        OptDate date;
        OptString expected;
    } cases[] = {
        {std::nullopt, std::nullopt},
        {Utc(2021, 3, 28, 0, 59, 59), "2021-03-28 01:59:59"},
        {Utc(2021, 3, 28, 1, 0, 0), "2021-03-28 03:00:00"},
        {Utc(2021, 10, 31, 0, 59, 59), "2021-10-31 02:59:59"},
        {Utc(2021, 10, 31, 1, 0, 0), "2021-10-31 02:00:00"},
        {Utc(2021, 7, 4, 15, 5, 9) + milliseconds(999), "2021-07-04 17:05:09"},  // never rounds up
        {DateFromUnixSeconds(-0.5), "1970-01-01 00:59:59"},
        {Date::max(), std::nullopt},
        {Date::min(), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(DateUtils::DateTimeToString(c.date), c.expected);
}

TEST_F(DateTest, OtherFormatsOfOneDate) {
    const Date afternoon = Utc(2021, 7, 4, 15, 5, 9);  // 17:05:09 in Berlin
    const Date morning = Utc(2021, 7, 4, 7, 5, 9);     // 09:05:09
    EXPECT_EQ(DateUtils::DateTimeToShortStringForExportToServer(afternoon), "07-04-2021 17:05");
    EXPECT_EQ(DateUtils::DateTimeToStringDayMonth(afternoon), "04.07.");
    EXPECT_EQ(DateUtils::DateTimeToShortStringForExportToServer(std::nullopt), std::nullopt);
    EXPECT_EQ(DateUtils::DateTimeToStringDayMonth(std::nullopt), std::nullopt);

    // 12-hour clock: with the marker, and without it (13:05 shows as 01).
    EXPECT_EQ(DateUtils::ConvertToString(AppleSeconds(afternoon)), "2021-07-04 05:05 PM");
    EXPECT_EQ(DateUtils::ConvertToString(AppleSeconds(morning)), "2021-07-04 09:05 AM");
    EXPECT_EQ(DateUtils::IOSDateTimeToString(
                  static_cast<std::int64_t>(AppleSeconds(Utc(2021, 7, 4, 11, 5, 9)))),
              "2021-07-04 01:05:09");
}

TEST_F(DateTest, ConvertFromUnixTimestampToString) {
    const struct {
        double value;
        std::string expected;
    } cases[] = {
        {0.0, ""},
        {0.5, ""},
        {-0.5, ""},
        {1.0, "1970-01-01 01:00 AM"},
        {86400.0, "1970-01-02 01:00 AM"},
        {-86400.0, "1969-12-31 01:00 AM"},
        {1625411109.0, "2021-07-04 05:05 PM"},
        {kNaN, ""},
        {1e300, ""},
        {-kInfinity, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateUtils::ConvertFromUnixTimestampToString(c.value), c.expected) << c.value;
    EXPECT_EQ(DateUtils::ConvertFromUnixTimeStampToDateTime(1.25),
              Utc(1970, 1, 1) + milliseconds(1250));
    EXPECT_EQ(DateUtils::ConvertFromUnixTimeStampToDateTime(kNaN), std::nullopt);
}

TEST_F(DateTest, ConvertToString) {
    const struct {
        double value;
        OptString expected;
    } cases[] = {
        {0.0, ""},
        {0.5, ""},
        {-0.5, ""},
        {86400.0, "2001-01-02 01:00 AM"},
        {-5.0, std::nullopt},
        {kNaN, std::nullopt},
        {1e300, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateUtils::ConvertToString(c.value), c.expected) << c.value;
}

TEST_F(DateTest, LongToStringAndIOSDateTimeToString) {
    EXPECT_EQ(DateUtils::LongToString(0.0), "1970-01-01 01:00:00");
    EXPECT_EQ(DateUtils::LongToString(1e300), std::nullopt);

    const struct {
        std::int64_t value;
        std::string expected;
    } cases[] = {
        {0, "-"},
        {-86400, "2000-12-31 01:00:00"},
        {1, "2001-01-01 01:00:01"},
        {INT64_MAX, "-"},
        {INT64_MIN, "-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateUtils::IOSDateTimeToString(c.value), c.expected) << c.value;
    EXPECT_EQ(DateUtils::LongToIOSDateTime(0), std::nullopt);
    EXPECT_EQ(DateUtils::LongToIOSDateTime(60), Utc(2001, 1, 1, 0, 1));
}

TEST_F(DateTest, DateTimeToStringWithOffsetRebasesUnixReadAppleSeconds) {
    // A column of Apple seconds that was read as Unix seconds.
    for (const double stored : {0.0, 86400.0, AppleSeconds(Utc(2020, 7, 1, 12))}) {
        EXPECT_EQ(DateUtils::DateTimeToStringWithOffset(
                      DateUtils::ConvertFromUnixTimeStampToDateTime(stored)),
                  DateUtils::DateTimeToString(DateUtils::DoubleToIOSDateTime(stored)))
            << stored;
    }
    EXPECT_EQ(DateUtils::DateTimeToStringWithOffset(Utc(1970, 1, 1)), "2001-01-01 01:00:00");
    EXPECT_EQ(DateUtils::DateTimeToStringWithOffset(std::nullopt), std::nullopt);
    EXPECT_EQ(DateUtils::DateTimeToStringWithOffset(Date::max()), std::nullopt);
}

TEST_F(DateTest, StringToDateTimeParsesLocalTimeStrictly) {
    const struct {
        OptString text;
        OptDate expected;
    } cases[] = {
        {"2021-07-04 17:05:09", Utc(2021, 7, 4, 15, 5, 9)},
        {"2021-01-04 17:05:09", Utc(2021, 1, 4, 16, 5, 9)},
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
        {"2021-02-30 10:00:00", std::nullopt},
        {"2021-07-04", std::nullopt},
        {"2021-07-04 17:05:09 and more", std::nullopt},
        {"yesterday", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateUtils::StringToDateTime(c.text), c.expected) << c.text.value_or("<absent>");
}

TEST_F(DateTest, DateWithYearGivesLocalMidnightAndRollsOver) {
    const struct {
        std::int64_t y, m, d;
        OptDate expected;
    } cases[] = {
        {2001, 1, 1, Utc(2000, 12, 31, 23)},  {2021, 7, 1, Utc(2021, 6, 30, 22)},
        {2021, 13, 1, Utc(2021, 12, 31, 23)},  // month 13 is January of the next year
        {2021, 1, 32, Utc(2021, 1, 31, 23)},   // 1 February
        {2021, 0, 1, Utc(2020, 11, 30, 23)},   // 1 December of the year before
        {INT64_MAX, 1, 1, std::nullopt},      {2021, INT64_MIN, 1, std::nullopt},
        {1000000, 1, 1, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateUtils::dateWithYear(c.y, c.m, c.d), c.expected)
            << c.y << "-" << c.m << "-" << c.d;
}

TEST_F(DateTest, FormattersWorkOnManyThreadsAtOnce) {
    std::vector<std::string> expected;
    for (int i = 0; i < 100; ++i)
        expected.push_back(*DateUtils::DateTimeToString(Utc(2020, 1, 1) + days(i * 3)));
    std::vector<int> mismatches(4, 0);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 100; ++i)
                    if (DateUtils::DateTimeToString(Utc(2020, 1, 1) + days(i * 3)) != expected[i])
                        ++mismatches[t];
            });
    }
    for (const int m : mismatches) EXPECT_EQ(m, 0);
}

// The texts written without the formatter are the formatter's own, in every pattern, on both sides
// of the changes of daylight saving time, at midnight and before 1970, in zones east and west.
TEST_F(DateTest, DirectTextsMatchTheFormatter) {
    const std::vector<Date> dates = {
        Utc(2024, 3, 31, 0, 59, 59), Utc(2024, 3, 31, 1, 0, 0),   Utc(2024, 10, 27, 0, 59, 59),
        Utc(2024, 10, 27, 1, 0, 0),  Utc(2023, 12, 31, 23, 0, 0), Utc(1969, 12, 31, 23, 59, 59),
        Utc(1600, 2, 29, 12, 0, 0),  Utc(1583, 1, 2, 0, 0, 0),    Utc(2000, 2, 29, 23, 30, 0),
        Utc(9999, 12, 30, 0, 0, 0),  Utc(1400, 6, 1, 0, 0, 0),    Date(milliseconds(-1)),
        Date(milliseconds(1500)),
    };
    for (const char* zone : {"Europe/Berlin", "America/Los_Angeles", "Asia/Kolkata", "UTC"}) {
        Clock::ScopedTimeZone inZone(zone);
        for (Date date : dates)
            for (DatePattern pattern :
                 {DatePattern::DateTime24, DatePattern::DateTime12Marker, DatePattern::DateTime12,
                  DatePattern::ShortExport, DatePattern::DayMonth, DatePattern::CsvExport}) {
                icu::UnicodeString text;
                IcuDateCache::Formatter(pattern).format(IcuDateCache::ToUDate(date), text);
                std::string expected;
                text.toUTF8String(expected);
                EXPECT_EQ(IcuDateCache::Format(pattern, date), expected)
                    << zone << " " << date.time_since_epoch().count();
            }
    }
}

// Record texts are read back directly when they are plain; whatever the text, the answer is the
// formatter's own: days past a month's end and wall times the zone skips are refused, a repeated
// hour is read once, other shapes go through the formatter.
TEST_F(DateTest, DirectParsingMatchesTheFormatter) {
    const char* const texts[] = {
        "2024-03-15 12:00:00", "2024-03-31 01:59:59", "2024-03-31 02:30:00",
        "2024-03-31 03:00:00", "2024-10-27 02:30:00", "2024-02-29 23:59:59",
        "2023-02-29 10:00:00", "2021-04-31 10:00:00", "1583-01-01 00:00:00",
        "1500-06-01 12:00:00", "2024-13-01 00:00:00", "2024-01-01 24:00:00",
        "2024-1-01 00:00:00",  "2024-01-01T00:00:00", "",
        "9999-12-31 23:59:59",
    };
    for (const char* zone : {"Europe/Berlin", "America/Los_Angeles", "UTC"}) {
        Clock::ScopedTimeZone inZone(zone);
        for (const char* text : texts) {
            const icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
            icu::ParsePosition position(0);
            const UDate parsed =
                IcuDateCache::Formatter(DatePattern::DateTime24).parse(input, position);
            const OptDate expected =
                position.getErrorIndex() >= 0 || position.getIndex() != input.length()
                    ? std::nullopt
                    : IcuDateCache::FromUDate(parsed);
            EXPECT_EQ(IcuDateCache::ParseDateTime24(text), expected) << zone << " " << text;
        }
    }
}

TEST_F(DateTest, DateToNearest15Minutes) {
    const struct {
        const char* at;
        const char* expected;
    } cases[] = {
        {"2024-03-15 10:00:30", "2024-03-15 10:15:00"},
        {"2024-03-15 10:07:59", "2024-03-15 10:15:00"},
        {"2024-03-15 10:22:59", "2024-03-15 10:15:00"},
        {"2024-03-15 10:23:00", "2024-03-15 10:30:00"},
        {"2024-03-15 10:37:00", "2024-03-15 10:30:00"},
        {"2024-03-15 10:38:00", "2024-03-15 10:45:00"},
        {"2024-03-15 10:52:00", "2024-03-15 10:45:00"},
        {"2024-03-15 10:53:00", "2024-03-15 11:00:00"},
        {"2024-03-15 10:55:00", "2024-03-15 11:00:00"},
        {"2024-03-15 23:55:00", "2024-03-16 00:00:00"},  // carries into the next day
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(DateUtilities::dateToNearest15Minutes(Local(c.at))), c.expected) << c.at;
    const OptDate rounded =
        DateUtilities::dateToNearest15Minutes(Local("2024-03-15 10:00:30") + milliseconds(250));
    EXPECT_EQ(rounded, Local("2024-03-15 10:15:00"));
    EXPECT_EQ(DateUtilities::dateToNearest15Minutes(Date::max()), std::nullopt);
}

TEST_F(DateTest, SameWeekNeedsTheSameWeekNumberAndLessThanAWeekApart) {
    // Weeks begin on Sunday.
    const struct {
        const char* a;
        const char* b;
        bool expected;
    } cases[] = {
        {"2024-03-10 00:00:00", "2024-03-16 23:59:59", true},   // Sunday to Saturday
        {"2024-03-16 12:00:00", "2024-03-17 12:00:00", false},  // Saturday, next Sunday
        {"2024-03-13 12:00:00", "2025-03-12 12:00:00", false},  // both week 11, a year apart
        {"2024-03-13 12:00:00", "2024-03-13 12:00:00", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateUtilities::isSameWeekAsDate(Local(c.a), Local(c.b)), c.expected)
            << c.a << " / " << c.b;
        EXPECT_EQ(DateUtilities::isSameWeekAsDate(Local(c.b), Local(c.a)), c.expected)
            << c.b << " / " << c.a;
    }
    EXPECT_EQ(DateUtilities::week(Local("2024-03-13 12:00:00")),
              DateUtilities::week(Local("2025-03-12 12:00:00")));
    EXPECT_FALSE(DateUtilities::isSameWeekAsDate(Date::max(), Date::max()));

    // Now is Friday 2024-03-15.
    EXPECT_TRUE(DateUtilities::isThisWeek(Local("2024-03-10 00:00:00")));
    EXPECT_FALSE(DateUtilities::isThisWeek(Local("2024-03-09 23:59:59")));
    EXPECT_TRUE(DateUtilities::isNextWeek(Local("2024-03-20 12:00:00")));
    EXPECT_TRUE(DateUtilities::isLastWeek(Local("2024-03-05 12:00:00")));
}

TEST_F(DateTest, EarlierAndLaterAreBothTrueForEqualDates) {
    const Date a = Utc(2024, 1, 1);
    const Date b = a + milliseconds(1);
    EXPECT_TRUE(DateUtilities::isEarlierThanDate(a, a));
    EXPECT_TRUE(DateUtilities::isLaterThanDate(a, a));
    EXPECT_TRUE(DateUtilities::isEarlierThanDate(a, b));
    EXPECT_FALSE(DateUtilities::isLaterThanDate(a, b));
    EXPECT_FALSE(DateUtilities::isEarlierThanDate(b, a));
    EXPECT_TRUE(DateUtilities::isLaterThanDate(b, a));
}

TEST_F(DateTest, DaysRelativeToNow) {
    const struct {
        const char* at;
        bool today, tomorrow, yesterday;
    } cases[] = {
        {"2024-03-15 00:00:00", true, false, false},  {"2024-03-15 23:59:59", true, false, false},
        {"2024-03-16 00:00:00", false, true, false},  {"2024-03-14 23:59:59", false, false, true},
        {"2023-03-15 12:00:00", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateUtilities::isToday(Local(c.at)), c.today) << c.at;
        EXPECT_EQ(DateUtilities::isTomorrow(Local(c.at)), c.tomorrow) << c.at;
        EXPECT_EQ(DateUtilities::isYesterday(Local(c.at)), c.yesterday) << c.at;
    }
    EXPECT_TRUE(DateUtilities::isThisYear(Local("2024-12-31 23:59:59")));
    EXPECT_TRUE(DateUtilities::isNextYear(Local("2025-01-01 00:00:00")));
    EXPECT_TRUE(DateUtilities::isLastYear(Local("2023-12-31 23:59:59")));
    EXPECT_FALSE(DateUtilities::isNextYear(Local("2024-06-01 00:00:00")));
    EXPECT_TRUE(DateUtilities::isSameYearAsDate(Local("2024-01-01 00:00:00"),
                                                Local("2024-12-31 23:59:59")));
}

TEST_F(DateTest, ArithmeticIsPlainSecondsAndSaturates) {
    const Date beforeSwitch = Local("2021-03-28 01:30:00");  // an hour goes missing tonight
    EXPECT_EQ(DateUtilities::dateBySubtractingDays(beforeSwitch, 1), beforeSwitch - seconds(86400));
    EXPECT_EQ(Text(DateUtilities::dateByAddingDays(beforeSwitch, 1)), "2021-03-29 02:30:00");
    EXPECT_EQ(DateUtilities::dateByAddingHours(beforeSwitch, 2), beforeSwitch + hours(2));
    EXPECT_EQ(DateUtilities::dateBySubtractingMinutes(beforeSwitch, 90),
              beforeSwitch - minutes(90));
    EXPECT_EQ(DateUtilities::dateWithDaysFromNow(2), now_ + days(2));
    EXPECT_EQ(DateUtilities::dateYesterday(), now_ - days(1));
    EXPECT_EQ(DateUtilities::dateWithMinutesBeforeNow(5), now_ - minutes(5));

    // Huge counts leave the span of dates instead of wrapping around.
    const Date far = DateUtilities::dateByAddingDays(now_, UINT64_MAX);
    EXPECT_GT(far, now_);
    EXPECT_EQ(DateUtils::DateTimeToString(far), std::nullopt);
    EXPECT_LT(DateUtilities::dateBySubtractingHours(Date::min() + hours(1), UINT64_MAX), now_);
}

TEST_F(DateTest, DifferencesTruncateTowardZero) {
    const Date a = Utc(2024, 3, 15, 12);
    EXPECT_EQ(DateUtilities::minutesAfterDate(a + seconds(90), a), 1);
    EXPECT_EQ(DateUtilities::minutesBeforeDate(a + seconds(90), a), -1);
    EXPECT_EQ(DateUtilities::minutesAfterDate(a - seconds(90), a), -1);
    EXPECT_EQ(DateUtilities::hoursAfterDate(a + minutes(119), a), 1);
    EXPECT_EQ(DateUtilities::daysBeforeDate(a, a + hours(49)), 2);
    EXPECT_EQ(DateUtilities::daysAfterDate(Date::max(), a), 0);

    const auto forward = DateUtilities::componentsWithOffsetFromDate(Local("2025-05-17 15:30:45"),
                                                                     Local("2024-03-15 12:00:00"));
    EXPECT_EQ(forward, (DateComponents{1, 2, 2, 3, 30, 45}));
    const auto backward = DateUtilities::componentsWithOffsetFromDate(Local("2024-03-15 12:00:00"),
                                                                      Local("2025-05-17 15:30:45"));
    EXPECT_EQ(backward, (DateComponents{-1, -2, -2, -3, -30, -45}));
}

TEST_F(DateTest, CalendarFieldsAndStartOfDay) {
    const Date at = Local("2024-03-15 13:05:09");  // the third Friday of March
    EXPECT_EQ(DateUtilities::year(at), 2024);
    EXPECT_EQ(DateUtilities::month(at), 3);
    EXPECT_EQ(DateUtilities::day(at), 15);
    EXPECT_EQ(DateUtilities::hour(at), 13);
    EXPECT_EQ(DateUtilities::minute(at), 5);
    EXPECT_EQ(DateUtilities::seconds(at), 9);
    EXPECT_EQ(DateUtilities::weekday(at), 6);  // Sunday is 1
    EXPECT_EQ(DateUtilities::nthWeekday(at), 3);
    EXPECT_EQ(DateUtilities::week(at), 11);
    EXPECT_EQ(DateUtilities::hour(Date::max()), 0);

    EXPECT_EQ(DateUtilities::dateAtStartOfDay(Local("2021-03-28 15:00:00")), Utc(2021, 3, 27, 23));
    EXPECT_EQ(DateUtilities::dateAtStartOfDay(Date::min()), std::nullopt);

    {
        Clock::ScopedNow at1240(Local("2024-03-15 12:40:00"));
        EXPECT_EQ(DateUtilities::nearestHour(), 13);
    }
    Clock::ScopedNow at1220(Local("2024-03-15 12:20:00"));
    EXPECT_EQ(DateUtilities::nearestHour(), 12);
}

}  // namespace
