#include "tern/util/time_util.h"

#include <gtest/gtest.h>

#include "support/scratch.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <sstream>
#include <string>
#include <utility>

#include "tern/config/path_util.h"
#include "tern/msg/data_msgs.h"

namespace {

// Every test of this program runs with the process in a zone far from UTC (13:45 ahead), so
// that a result taken from the local zone instead of UTC shows.
struct far_zone_t : ::testing::Environment {
    void SetUp() override {
        setenv("TZ", "XTZ-13:45", 1);
        tzset();
    }
};
[[maybe_unused]] auto* const far_zone = ::testing::AddGlobalTestEnvironment(new far_zone_t);

const double nan = std::numeric_limits<double>::quiet_NaN();

struct boundary_row_t {
    double t, midnight, hour;
};
void expect_boundaries(std::initializer_list<boundary_row_t> rows) {
    for (const auto& r : rows) {
        EXPECT_EQ(tern::midnight_today(r.t), r.midnight) << std::fixed << r.t;
        EXPECT_EQ(tern::top_of_the_hour(r.t), r.hour) << std::fixed << r.t;
    }
}

// The text of `v` written to a stream in a grouping locale ("2024" would be "2.024").
template <class T>
std::string str(const T& v) {
    const tern_test::comma_locale_t comma;
    std::ostringstream s;
    s << v;
    return s.str();
}
void expect_texts(std::initializer_list<std::pair<std::string, const char*>> rows) {
    for (const auto& [got, expected] : rows) EXPECT_EQ(got, expected);
}

// GPS week and seconds to UTC: with the built-in leap table (utc null, whole seconds) or with
// broadcast parameters.
struct to_unix_row_t {
    const tern::gps2utc_t* utc;
    unsigned int week;
    double sec, expected;
};
void expect_to_unix(std::initializer_list<to_unix_row_t> rows) {
    for (const auto& r : rows) {
        const double got = r.utc ? tern::gpsTimeToUnix(r.week, r.sec, *r.utc)
                                 : tern::gpsTimeToUnix(r.week, static_cast<unsigned>(r.sec));
        EXPECT_EQ(got, r.expected) << r.week << "/" << r.sec;
    }
}

struct to_gps_row_t {
    double t;
    tern::gps2utc_t utc;
    bool ok;
    unsigned int week;
    double sec;
};
void expect_to_gps(std::initializer_list<to_gps_row_t> rows) {
    for (const auto& r : rows) {
        unsigned int week = 99;
        double sec = 99.0;
        EXPECT_EQ(tern::unixToGpsTime(r.t, r.utc, week, sec), r.ok) << std::fixed << r.t;
        EXPECT_EQ(week, r.week) << std::fixed << r.t;
        EXPECT_EQ(sec, r.sec) << std::fixed << r.t;
    }
}

TEST(FarZone, DayAndHourBoundariesAreUtc) {
    expect_boundaries({
        {1706702709.5, 1706659200.0, 1706702400.0}, // 2024-01-31 12:05:09.5
        {1706659200.0, 1706659200.0, 1706659200.0}, // exactly midnight
        {1706659199.75, 1706572800.0, 1706655600.0},
        {-1.0, -86400.0, -3600.0}, // 1969-12-31 23:59:59
        {0.0, 0.0, 0.0},
    });
    EXPECT_TRUE(std::isnan(tern::midnight_today(nan)));
    EXPECT_TRUE(std::isnan(tern::top_of_the_hour(nan)));
    EXPECT_TRUE(std::isfinite(tern::midnight_today(1e300)));
}

// (Midnight, a negative offset and the zone suffix: WideTime.TextFormsIn2040.)
TEST(FarZone, TextFormsIgnoreTheProcessZoneAndLocale) {
    using tern::date_str_t;
    using tern::time_fname_t;
    using tern::time_str_t;
    using tern::tzoff_str_t;
    expect_texts({
        {str(time_fname_t(1706702709.9, 0)), "20240131_120509+0000"},
        {str(time_fname_t(-0.5, 0)), "19691231_235959+0000"},
        {str(time_fname_t(253402300799.0, 0)), "99991231_235959+0000"},
        {str(time_fname_t(nan, 0)), "00000000_000000+0000"},
        {str(time_fname_t(1e300, 3600)), "00000000_000000+0100"},
        {str(tzoff_str_t(0)), "+0000"},
        {str(tzoff_str_t(-19800)), "-0530"},
        {str(tzoff_str_t(49500)), "+1345"},
        {str(date_str_t(1706702709, 0)), "2024-01-31"},
        {str(date_str_t(1706702709, 49500)), "2024-02-01"},
        {str(date_str_t(-86400, 0)), "1969-12-31"},
        {str(time_str_t(1706702709, 0, 0)), "2024-01-31 12:05:09"},
        {str(time_str_t(1706702709, 3600, 7)), "2024-01-31\n 13:05 +0100"},
        {str(time_str_t(1706702709, -19800, time_str_t::no_seconds)), "2024-01-31 06:35"},
        {str(time_str_t(2147483647, 0, 0)), "2038-01-19 03:14:07"},
        {str(time_str_t(-2147483647 - 1, 0, 0)), "1901-12-13 20:45:52"},
    });
}

// Published GPS-UTC steps, each checked just before and at the UTC midnight of the step.
TEST(GpsTime, IntegerConversionFollowsTheLeapTable) {
    expect_to_unix({
        {nullptr, 0, 0, 315964800.0},          // the GPS epoch, no leap seconds yet
        {nullptr, 77, 259199, 362793599.0},    // 1981-06-30 23:59:59, GPS-UTC 0
        {nullptr, 77, 259201, 362793600.0},    // 1981-07-01, GPS-UTC 1
        {nullptr, 1024, 0, 935279987.0},       // first rollover, GPS-UTC 13
        {nullptr, 1851, 259215, 1435708799.0}, // 2015-06-30 23:59:59, GPS-UTC 16
        {nullptr, 1851, 259217, 1435708800.0}, // 2015-07-01, GPS-UTC 17
        {nullptr, 1930, 16, 1483228799.0},     // 2016-12-31 23:59:59, GPS-UTC 17
        {nullptr, 1930, 17, 1483228800.0},     // the inserted second shows as the next midnight
        {nullptr, 1930, 18, 1483228800.0},     // 2017-01-01, GPS-UTC 18
        {nullptr, 2048, 0, 1554595182.0},      // second rollover
    });
}

TEST(GpsTime, BroadcastParametersSwitchAtTheUtcMidnightOfTheChange) {
    // As broadcast before 2017-01-01: 17 s now, 18 s after the end of day 7 of week 1929.
    const tern::gps2utc_t y2017{17, 18, 1929 % 256, 7};
    // A change announced for the end of day 3 of week 2400 (96 modulo 256).
    const tern::gps2utc_t future{18, 19, 96, 3};
    expect_to_unix({
        {&y2017, 1929, 518399.0, 1483142382.0}, // day 6 of the change week: still 17
        {&y2017, 1929, 604799.0, 1483228782.0}, // 2016-12-31 23:59:42
        {&y2017, 1930, 0.0, 1483228783.0},      // 23:59:43: UTC has not reached midnight yet
        {&y2017, 1930, 16.5, 1483228799.5},
        {&y2017, 1930, 18.0, 1483228800.0},            // 2017-01-01 00:00:00, now 18
        {&y2017, 1931, 0.0, 1483833582.0},             // a week later, still 18
        {&future, 2399, 0.0, 1766880000.0 - 18},       // the week before
        {&future, 2400, 172900.0, 1767657682.0},       // day 2 (dn - 1): the current count
        {&future, 2400, 259210.0, 1767743992.0},       // day 3, before UTC midnight
        {&future, 2400, 259219.0, 1767744000.0},       // the new count from UTC midnight
        {&future, 2401, 0.0, 1768089600.0 - 19},       // the week after
        {&future, 2400 + 128, 0.0, 1844899200.0 - 18}, // 128 weeks early counts as future
    });
    EXPECT_TRUE(std::isnan(tern::gpsTimeToUnix(1930, nan, y2017)));
}

TEST(GpsTime, UnixToGpsAroundChangesAndRollover) {
    expect_to_gps({
        {1483228799.0, {17, 18, 137, 7}, true, 1930, 16.0},
        {1483228800.25, {17, 18, 137, 7}, true, 1930, 18.25},
        {1435708799.0, {16, 17, 59, 3}, true, 1851, 259215.0},
        {1435708800.0, {16, 17, 59, 3}, true, 1851, 259217.0},
        // Change due in week 2305 (1 modulo 256) seen from week 2300 (252): not yet.
        {1707004900.0, {18, 19, 1, 1}, true, 2300, 118.0},
        {315964800.0, {0, 0, 0, 0}, true, 0, 0.0},
        {315964799.0, {0, 0, 0, 0}, false, 0, 0.0},
        {nan, {18, 18, 0, 0}, false, 0, 0.0},
        {1e300, {18, 18, 0, 0}, false, 0, 0.0},
        {-1e300, {18, 18, 0, 0}, false, 0, 0.0},
    });
}

TEST(DataTime, OffsetFollowsTheLastFiniteSet) {
    const double before = tern::gettstamp_sys();
    tern::set_tstamp_data_diff(100.0);
    const double after = tern::gettstamp_sys();
    const tern::tstamp_data_diff_info_t* info = tern::tstamp_data_diff_info();
    ASSERT_NE(info, nullptr);
    EXPECT_GE(info->set_tstamp_sys, before);
    EXPECT_LE(info->set_tstamp_sys, after);

    tern::set_tstamp_data_diff(nan);
    EXPECT_EQ(tern::get_tstamp_data_diff(), 100.0);
    const double d = tern::gettstamp_data() - tern::gettstamp_sys();
    EXPECT_GT(d, 99.0);
    EXPECT_LE(d, 100.0);
    tern::set_tstamp_data_diff(0.0);
}

TEST(GpsTimeValidator, OneEpochPassesAMismatchRestarts) {
    const struct {
        bool valid;
        unsigned int week;
        double sec;
        bool passes, held;
    } steps[] = {
        {false, 0, 0.0, true, false},     // no GPS time: passes, holds nothing
        {true, 2300, 10.0, true, true},   // first epoch
        {true, 2300, 10.0, true, true},   // same epoch
        {false, 0, 0.0, true, true},      // no GPS time does not disturb
        {true, 2300, 11.0, false, false}, // another second: fails, drops the epoch
        {true, 2300, 11.0, true, true},   // starts the next epoch
        {true, 2301, 11.0, false, false}, // another week
    };
    tern::gpsTimeValidator_t v;
    tern::data_cog_t msg;
    for (const auto& s : steps) {
        msg.gps_time_valid = s.valid;
        msg.gps_week = s.week;
        msg.gps_week_sec = s.sec;
        EXPECT_EQ(v.checkMessage(msg), s.passes) << s.week << "/" << s.sec;
        EXPECT_EQ(v.hasValidTime(), s.held);
    }
    EXPECT_EQ(v.gpsWeek(), 2300);
    EXPECT_EQ(v.gpsWeekSeconds(), 11.0);
}

// Dates after 2038-01-19 03:14:07 UTC, where a 32-bit count of seconds ends, come out right
// on every build, the 32-bit one included.
// 2040-01-01 00:00:00 UTC; 2040 is a leap year.
constexpr double y2040 = 2208988800.0;
constexpr double leap_day = y2040 + 59 * 86400.0;

TEST(WideTime, TheBuildHasA64BitTime) {
    EXPECT_EQ(sizeof(std::time_t), 8u);
    const std::time_t t = static_cast<std::time_t>(leap_day);
    std::tm tm{};
    ASSERT_NE(::gmtime_r(&t, &tm), nullptr);
    EXPECT_EQ(tm.tm_year, 140);
    EXPECT_EQ(tm.tm_mon, 1);
    EXPECT_EQ(tm.tm_mday, 29);
}

TEST(WideTime, DayAndHourBoundariesIn2040) {
    expect_boundaries({
        {y2040, y2040, y2040},
        {y2040 + 0.5, y2040, y2040},
        {std::nextafter(y2040, 0.0), y2040 - 86400.0, y2040 - 3600.0},
        {leap_day + 45296.75, leap_day, leap_day + 43200.0},
    });
}

TEST(WideTime, TextFormsIn2040) {
    const std::int64_t t = static_cast<std::int64_t>(y2040);
    expect_texts({
        {str(tern::time_fname_t(y2040, 0)), "20400101_000000+0000"},
        {str(tern::time_fname_t(y2040 - 0.5, 0)), "20391231_235959+0000"},
        {str(tern::time_fname_t(leap_day + 45296.75, 3600)), "20400229_133456+0100"},
        {str(tern::time_fname_t(leap_day + 86400.0, -19800)), "20400229_183000-0530"},
        {str(tern::date_str_t(t + 59 * 86400, 0)), "2040-02-29"},
        {str(tern::time_str_t(t + 59 * 86400 + 45296, 0, 0)), "2040-02-29 12:34:56"},
        {str(tern::time_str_t(t - 1, 3600, tern::time_str_t::show_tzoff)),
         "2040-01-01 00:59:59 +0100"},
        {str(tern::time_str_t(2147483648LL, 0, 0)), "2038-01-19 03:14:08"},
    });
}

// 2040-01-01 00:00:00 UTC is GPS week 3130, second 18 (18 leap seconds); a change to 19 s is
// broadcast for day 3 of week 3130 (58 modulo 256).
TEST(WideTime, GpsWeeksIn2040) {
    const tern::gps2utc_t steady{18, 18, 0, 0}, change{18, 19, 58, 3};
    expect_to_unix({
        {nullptr, 3130, 18, y2040},
        {nullptr, 3130, 17, y2040 - 1.0},
        {&steady, 3130, 18.25, y2040 + 0.25},
        {&change, 3130, 86400.0 + 18.0, y2040 + 86400.0},
        {&change, 3130, 4 * 86400.0 + 19.0, y2040 + 4 * 86400.0},
    });
    expect_to_gps({
        {y2040 + 0.25, steady, true, 3130, 18.25},
        {y2040 + 4 * 86400.0, change, true, 3130, 4 * 86400.0 + 19.0},
    });
}

} // namespace
