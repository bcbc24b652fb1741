// Dates after 2038-01-19 03:14:07 UTC, where a 32-bit count of seconds ends: day boundaries,
// file-name stamps, text forms and GPS weeks in 2040 come out right on every build.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <sstream>
#include <string>

#include "tern/config/path_util.h"
#include "tern/util/time_util.h"

namespace {

// 2040-01-01 00:00:00 UTC; 2040 is a leap year.
constexpr double y2040 = 2208988800.0;

template <class T>
std::string text(const T& v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

TEST(WideTime, TheBuildHasA64BitTime) {
    EXPECT_EQ(sizeof(std::time_t), 8u);
    const std::time_t t = static_cast<std::time_t>(y2040) + 59 * 86400;
    std::tm tm{};
    ASSERT_NE(::gmtime_r(&t, &tm), nullptr);
    EXPECT_EQ(tm.tm_year, 140);
    EXPECT_EQ(tm.tm_mon, 1);
    EXPECT_EQ(tm.tm_mday, 29);
}

TEST(WideTime, DayAndHourBoundariesIn2040) {
    struct row_t {
        double t, midnight, hour;
    };
    const row_t rows[] = {
        {y2040, y2040, y2040},
        {y2040 + 0.5, y2040, y2040},
        {std::nextafter(y2040, 0.0), y2040 - 86400.0, y2040 - 3600.0},
        {y2040 + 59 * 86400.0 + 45296.75, y2040 + 59 * 86400.0, y2040 + 59 * 86400.0 + 43200.0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(tern::midnight_today(r.t), r.midnight) << std::fixed << r.t;
        EXPECT_EQ(tern::top_of_the_hour(r.t), r.hour) << std::fixed << r.t;
    }
}

TEST(WideTime, TextFormsIn2040) {
    struct row_t {
        std::string got;
        const char* expected;
    };
    const std::int64_t t = static_cast<std::int64_t>(y2040);
    const row_t rows[] = {
        {text(tern::time_fname_t(y2040, 0)), "20400101_000000+0000"},
        {text(tern::time_fname_t(y2040 - 0.5, 0)), "20391231_235959+0000"},
        {text(tern::time_fname_t(y2040 + 59 * 86400.0 + 45296.75, 3600)), "20400229_133456+0100"},
        {text(tern::time_fname_t(y2040 + 60 * 86400.0, -19800)), "20400229_183000-0530"},
        {text(tern::date_str_t(t + 59 * 86400, 0)), "2040-02-29"},
        {text(tern::time_str_t(t + 59 * 86400 + 45296, 0, 0)), "2040-02-29 12:34:56"},
        {text(tern::time_str_t(t - 1, 3600, tern::time_str_t::show_tzoff)),
         "2040-01-01 00:59:59 +0100"},
        {text(tern::time_str_t(2147483648LL, 0, 0)), "2038-01-19 03:14:08"},
    };
    for (const auto& r : rows) EXPECT_EQ(r.got, r.expected);
}

TEST(WideTime, GpsWeeksIn2040) {
    // 2040-01-01 00:00:00 UTC is GPS week 3130, second 18 (18 leap seconds).
    EXPECT_EQ(tern::gpsTimeToUnix(3130u, 18u), y2040);
    EXPECT_EQ(tern::gpsTimeToUnix(3130u, 17u), y2040 - 1.0);

    const tern::gps2utc_t steady{18, 18, 0, 0};
    EXPECT_EQ(tern::gpsTimeToUnix(3130u, 18.25, steady), y2040 + 0.25);
    unsigned int week = 0;
    double sec = 0.0;
    ASSERT_TRUE(tern::unixToGpsTime(y2040 + 0.25, steady, week, sec));
    EXPECT_EQ(week, 3130u);
    EXPECT_EQ(sec, 18.25);

    // A change to 19 s broadcast for day 3 of week 3130 (58 modulo 256).
    const tern::gps2utc_t change{18, 19, 58, 3};
    EXPECT_EQ(tern::gpsTimeToUnix(3130u, 86400.0 + 18.0, change), y2040 + 86400.0);
    EXPECT_EQ(tern::gpsTimeToUnix(3130u, 4 * 86400.0 + 19.0, change), y2040 + 4 * 86400.0);
    ASSERT_TRUE(tern::unixToGpsTime(y2040 + 4 * 86400.0, change, week, sec));
    EXPECT_EQ(week, 3130u);
    EXPECT_EQ(sec, 4 * 86400.0 + 19.0);
}

} // namespace
