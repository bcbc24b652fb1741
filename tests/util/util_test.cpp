// Time, units, angle texts and geodesy against independent references, over generated values
// with the edges always among them: the C library's UTC calendar (gmtime_r, strftime on a 64-bit
// time_t); the published leap-second steps (tests/cases/util/leap_seconds.txt) and the broadcast
// parameters' definition; printf for every number in a text; degrees, minutes and seconds as one
// integer rounding of the whole count of the smallest unit shown (so each carry falls out by
// itself); the units' definitions; vector geometry on the sphere. Then the process utilities:
// file flushes in and out of process, plugins, versions, debug options and random numbers.
#include "tern/config/path_util.h"
#include "tern/msg/data_msgs.h"
#include "tern/util/processUtil.h"
#include "tern/util/range_bearing.h"
#include "tern/util/time_util.h"
#include "tern/util/units.h"

#include <gtest/gtest.h>

#include "support/cases.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"
#include "support/sphere.h"
#include "support/text.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <glib.h>
#include <iomanip>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using tern::time_str_t;
using tern_test::case_t;
using tern_test::text_of;

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
const double inf = std::numeric_limits<double>::infinity();
const double pi = 3.14159265358979323846, two_pi = 6.283185307179586, deg = pi / 180;
constexpr std::int64_t E = 315964800, W = 604800; // the GPS epoch (UTC), a GPS week
constexpr double y2040 = 2208988800.0, leap_day = y2040 + 59 * 86400.0; // 2040 is a leap year

std::tm utc(std::int64_t t) {
    const auto tt = static_cast<std::time_t>(t);
    std::tm tm{};
    return *gmtime_r(&tt, &tm);
}
std::string utc_text(std::int64_t t, const std::string& fmt) {
    const std::tm tm = utc(t);
    char b[64];
    return std::string(b, std::strftime(b, sizeof b, fmt.c_str(), &tm));
}

// The given instants, then random quarter seconds between `from` and `to`, 4000 in all.
std::vector<double> instants(std::vector<double> t, double from, double to) {
    std::mt19937_64 rng(22);
    std::uniform_int_distribution<std::int64_t> secs{std::int64_t(from), std::int64_t(to)};
    while (t.size() < 4000) t.push_back(double(secs(rng)) + 0.25 * double(rng() % 4));
    return t;
}

// Day and hour starts, and the text forms in a zone of whole minutes up to 14 hours either side
// with a combination of time_str_t's flags, under a grouping locale ("2024" would be "2.024").
void expect_as_the_c_library(const std::vector<double>& times) {
    const tern_test::comma_locale_t comma;
    std::mt19937 rng(22);
    for (const double t : times) {
        const auto whole = static_cast<std::int64_t>(std::floor(t));
        const std::tm tm = utc(whole);
        const double hour = double(whole - tm.tm_min * 60 - tm.tm_sec);
        ASSERT_EQ(tern::top_of_the_hour(t), hour) << std::fixed << t;
        ASSERT_EQ(tern::midnight_today(t), hour - tm.tm_hour * 3600.0) << std::fixed << t;
        const int off = int(rng() % (28 * 60 + 1)) * 60 - 14 * 3600, a = std::abs(off);
        const auto flags = unsigned(rng() % 8);
        char zone[8];
        std::snprintf(zone, sizeof zone, "%c%02d%02d", off < 0 ? '-' : '+', a / 3600, a / 60 % 60);
        const std::string when = utc_text(whole + off, "%Y-%m-%d"), sep = flags & 2 ? "\n " : " ";
        ASSERT_EQ(text_of(tern::time_fname_t(t, off)),
                  utc_text(whole + off, "%Y%m%d_%H%M%S") + zone);
        ASSERT_EQ(text_of(tern::date_str_t(whole, off)) + text_of(tern::tzoff_str_t(off)),
                  when + zone);
        ASSERT_EQ(text_of(time_str_t(whole, off, flags)),
                  when + sep + utc_text(whole + off, flags & 4 ? "%H:%M" : "%H:%M:%S") +
                      (flags & 1 ? std::string(" ") + zone : ""))
            << whole << " flags " << flags;
    }
}

// GPS times around leap-second changes in weeks `from` to `to` and far from them, to UTC and
// back, by the broadcast parameters' definition: delta_t_lsf holds from the GPS second after
// the one inserted (or before the one dropped) at the UTC midnight ending day dn of the change
// week, the week with wn_lsf's 8 bits nearest the GPS week (127 back to 128 ahead).
void expect_gps_by_definition(std::int64_t from, std::int64_t to) {
    std::mt19937_64 rng(22);
    for (int i = 0; i < 4000; ++i) {
        const auto cw = from + std::int64_t(rng() % std::uint64_t(to - from + 1));
        const auto ls = std::int32_t(rng() % 20), lsf = ls + std::int32_t(rng() % 3) - 1;
        const tern::gps2utc_t u{ls, lsf, std::int32_t(cw % 256), std::int32_t(1 + rng() % 7)};
        const double g = i % 2
                             ? double(E + cw * W + u.dn * 86400 + lsf) + double(rng() % 17) / 4 - 2
                             : double(E + (cw - 127 + std::int64_t(rng() % 256)) * W) +
                                   double(rng() % (4 * W)) / 4;
        const auto week = std::int64_t(std::floor((g - E) / W));
        const std::int64_t d = ((u.wn_lsf - week) % 256 + 256) % 256;
        const double at = double(E + (week + (d > 128 ? d - 256 : d)) * W + u.dn * 86400);
        const double sec = g - double(E + week * W), t = g - (g >= at + lsf ? lsf : ls);
        ASSERT_EQ(tern::gpsTimeToUnix(unsigned(week), sec, u), t) << week << "/" << sec;
        if (lsf > ls && g >= at + ls && g < at + lsf) continue; // an inserted second: no UTC
        unsigned int got_week = 0;
        double got_sec = 0;
        ASSERT_TRUE(tern::unixToGpsTime(t, u, got_week, got_sec) && got_week == week &&
                    got_sec == sec)
            << std::fixed << t << " gave " << got_week << "/" << got_sec;
    }
}

TEST(FarZone, DayAndHourBoundariesAndTextFormsAreUtc) {
    expect_as_the_c_library(instants(
        {1706702709.9, 1706659200.0, 1706659199.75, -1.0, -0.5, 0.0, 2147483647.0, -2147483648.0,
         // the last fraction of a day belongs to it
         std::nextafter(86400.0, 0.0), 86399.0, std::nextafter(1706659200.0, 0.0)},
        -2147483648.0, 253402300799.0 - 50400));
    EXPECT_TRUE(std::isnan(tern::midnight_today(nan)) && std::isnan(tern::top_of_the_hour(nan)));
    EXPECT_TRUE(std::isfinite(tern::midnight_today(1e300)));
    // Times with no calendar date.
    EXPECT_EQ(text_of(tern::time_fname_t(nan, 0)), "00000000_000000+0000");
    EXPECT_EQ(text_of(tern::time_fname_t(1e300, 3600)), "00000000_000000+0100");
}

// Each step just before, at and after its UTC midnight (the inserted second shows as that
// midnight), then GPS times from 1980 to 2056.
TEST(GpsTime, IntegerConversionFollowsTheLeapTable) {
    std::vector<std::pair<std::int64_t, std::int64_t>> steps; // UTC of the step, GPS - UTC
    for (const auto& c : tern_test::read_cases("util/leap_seconds.txt")) {
        std::tm tm{};
        ASSERT_NE(strptime(c.cols.at(0).c_str(), "%Y-%m-%d", &tm), nullptr) << c.name;
        steps.emplace_back(timegm(&tm), std::stoll(c.cols.at(1)));
    }
    ASSERT_EQ(steps.size(), 18u);
    std::vector<std::int64_t> gps = {0, 1024 * W - 1, 1024 * W, 2048 * W};
    for (const auto& [t, n] : steps)
        for (std::int64_t k = -2; k <= 1; ++k) gps.push_back(t + n + k - E);
    std::mt19937_64 rng(22);
    while (gps.size() < 4000) gps.push_back(std::int64_t(rng() % (4000 * W)));
    for (const std::int64_t g : gps) {
        std::int64_t n = 0;
        for (const auto& [t, after] : steps) n = g + E >= t + after ? after : n;
        ASSERT_EQ(tern::gpsTimeToUnix(unsigned(g / W), unsigned(g % W)), double(g + E - n))
            << g / W << "/" << g % W;
    }
}

TEST(GpsTime, BroadcastParametersSwitchAtTheUtcMidnightOfTheChange) {
    expect_gps_by_definition(1000, 3000);
    // As broadcast before 2017-01-01: 17 s, then 18 s after the end of day 7 of week 1929.
    EXPECT_EQ(tern::gpsTimeToUnix(1930, 18.0, {17, 18, 1929 % 256, 7}), 1483228800.0);
    EXPECT_TRUE(std::isnan(tern::gpsTimeToUnix(1930, nan, {17, 18, 1929 % 256, 7})));
    unsigned int week = 99;
    double sec = 99.0;
    EXPECT_TRUE(tern::unixToGpsTime(315964800.0, {0, 0, 0, 0}, week, sec) && week + sec == 0.0);
    // The last fraction of GPS week 2299 belongs to it (GPS runs 18 s ahead of UTC).
    ASSERT_TRUE(tern::unixToGpsTime(std::nextafter(double(E + 2300 * W - 18), 0.0), {18, 18, 0, 0},
                                    week, sec));
    EXPECT_TRUE(week == 2299 && sec < 604800.0 && sec > 604799.99) << week << "/" << sec;
    for (const double t : {315964799.0, nan, 1e300, -1e300}) {
        EXPECT_FALSE(tern::unixToGpsTime(t, {0, 0, 0, 0}, week, sec)) << t;
        EXPECT_EQ(week + sec, 0.0);
    }
}

TEST(DataTime, OffsetFollowsTheLastFiniteSet) {
    const double before = tern::gettstamp_sys();
    tern::set_tstamp_data_diff(100.0);
    const double after = tern::gettstamp_sys();
    const tern::tstamp_data_diff_info_t* info = tern::tstamp_data_diff_info();
    ASSERT_TRUE(info && info->set_tstamp_sys >= before && info->set_tstamp_sys <= after);
    tern::set_tstamp_data_diff(nan);
    const double d = tern::gettstamp_data() - tern::gettstamp_sys();
    EXPECT_TRUE(tern::get_tstamp_data_diff() == 100.0 && d > 99.0 && d <= 100.0) << d;
    tern::set_tstamp_data_diff(0.0);
}

// Steps "WEEK/SECONDS" (or "-" for no GPS time) and each one's result and held epoch: no time
// passes and leaves the epoch alone; another second or week fails and drops the epoch, and the
// next message starts one.
TEST(GpsTimeValidator, OneEpochPassesAMismatchRestarts) {
    tern::gpsTimeValidator_t v;
    tern::data_cog_t msg;
    std::string got;
    for (const char* step : {"-", "2300/10", "2300/10", "-", "2300/11", "2300/11", "2301/11"}) {
        msg.gps_time_valid = std::sscanf(step, "%u/%lf", &msg.gps_week, &msg.gps_week_sec) == 2;
        got += v.checkMessage(msg) ? "pass " : "fail ";
        got += v.hasValidTime() ? "held," : "none,";
    }
    EXPECT_EQ(got, "pass none,pass held,pass held,pass held,fail none,pass held,fail none,");
    EXPECT_EQ(v.gpsWeek() * 1e6 + v.gpsWeekSeconds(), 2300e6 + 11.0);
}

// Dates after 2038-01-19 03:14:07 UTC, where a 32-bit count of seconds ends, come out right
// on every build, the 32-bit one included.
TEST(WideTime, DayAndHourBoundariesTextFormsAndGpsWeeksIn2040) {
    EXPECT_EQ(sizeof(std::time_t), 8u);
    EXPECT_EQ(utc_text(std::int64_t(leap_day), "%Y-%m-%d"), "2040-02-29");
    expect_as_the_c_library(instants({y2040, y2040 - 0.5, std::nextafter(y2040, 0.0),
                                      leap_day + 45296.75, leap_day + 86400, 2147483648.0},
                                     2147483648.0 - 86400, y2040 + 366 * 86400));
    expect_gps_by_definition(3125, 3135); // 2040 begins in GPS week 3130
}
std::string printf_text(const char* fmt, int width, int p, double v) {
    char b[400];
    std::snprintf(b, sizeof b, fmt, width, p, v);
    return b;
}
bool zero_digits(const std::string& s) {
    return s.find_first_of("123456789") == std::string::npos;
}
std::string mark(unsigned flags, const char* plain) {
    return !(flags & 2) ? plain : flags & 4 ? "&deg" : "\u00B0";
}

// Decimal degrees: printf's zero-filled %f, the width counting the sign, no minus sign on a
// value that prints as zero.
std::string decimal_degrees(double v, unsigned width, unsigned flags, unsigned p) {
    const bool minus = (flags & 1) && v < 0 && !zero_digits(printf_text("%*.*f", 0, int(p), v));
    return printf_text("%0*.*f", int(width + p + (p > 0)), int(p),
                       (minus ? -1 : 1) * std::fabs(v)) +
           mark(flags, "");
}

// Degrees and minutes, or degrees, minutes and seconds, the last with p decimals.
std::string sexagesimal(double v, bool dms, unsigned width, unsigned flags, unsigned p) {
    const long long scale = std::llround(std::pow(10.0, p)), per_deg = (dms ? 3600 : 60) * scale;
    const long long n = std::llround(std::fabs(v) * double(per_deg)), rest = n % per_deg;
    const bool minus = (flags & 1) && v < 0 && n != 0;
    char b[128];
    int k = std::snprintf(b, sizeof b, "%s%0*lld%s", minus ? "-" : "", int(width) - minus,
                          n / per_deg, mark(flags, "d").c_str());
    if (dms) k += std::snprintf(b + k, sizeof b - k, "%02lld'", rest / (60 * scale));
    const long long last = rest % (60 * scale);
    std::snprintf(b + k, sizeof b - k, p ? "%02lld.%0*lld%s" : "%02lld%.*lld%s", last / scale,
                  int(p), p ? last % scale : 0LL, dms ? "\"" : "'");
    return b;
}

void expect_angle_texts(std::vector<double> values) {
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> any(-200.0, 200.0);
    while (values.size() < 2000) {
        values.push_back(any(rng)); // and one a tenth of a unit from a rounding tie
        const double unit =
            (values.size() % 4 ? 1.0 / 60 : 1.0 / 3600) / std::pow(10.0, double(rng() % 7));
        values.push_back((std::floor(any(rng) / unit) + (rng() % 2 ? 0.4 : 0.6)) * unit);
    }
    for (const double v : values) {
        const tern::degmin_t dm(v);
        const tern::degminsec_t dms(v);
        ASSERT_TRUE(std::fabs(dm.min) < 60 && std::abs(dms.min) < 60 && std::fabs(dms.sec) < 60);
        for (const unsigned flags : {0u, 1u, 2u, 3u, 6u, 7u}) {
            const auto width = unsigned(rng() % 5), p = unsigned(rng() % 7);
            SCOPED_TRACE(testing::Message() << std::setprecision(17) << v << " width " << width
                                            << " flags " << flags << " decimals " << p);
            ASSERT_EQ(text_of(tern::deg_fmt_d_t(v, width, flags, p)),
                      decimal_degrees(v, width, flags, p));
            ASSERT_EQ(text_of(tern::deg_fmt_dm_t(dm, width, flags, p)),
                      sexagesimal(v, false, width, flags, p));
            ASSERT_EQ(text_of(tern::deg_fmt_dms_t(dms, width, flags, p)),
                      sexagesimal(v, true, width, flags, p));
            // Latitudes and longitudes: 6 decimals of degrees, 4 of minutes or seconds.
            const double rad = v * deg, d = std::fabs(rad) * (180.0 / pi);
            const std::string texts[] = {decimal_degrees(d, 1, flags, 6),
                                         sexagesimal(d, false, 1, flags, 4),
                                         sexagesimal(d, true, 1, flags, 4)};
            for (unsigned u = 0; u < 3; ++u) {
                const auto unit = static_cast<tern::latlon_unit_t>(u);
                ASSERT_EQ(text_of(tern::lat_fmt_t(rad, unit, flags)), texts[u] + "NS"[rad < 0]);
                ASSERT_EQ(text_of(tern::lon_fmt_t(rad, unit, flags)), texts[u] + "EW"[rad < 0]);
            }
        }
    }
}

TEST(AngleTexts, AgreeWithPrintfAndMinutesAndSecondsStayBelowSixty) {
    expect_angle_texts({0.0, -0.0, 45.5, -0.25, 12.0875, -33.856, 10.0 + 59.99994 / 60.0,
                        179.0 + 59.99999 / 3600.0, -(5 + 59.99996 / 60), -0.000001 / 60, 7.09,
                        -(3 + 59.0 / 60 + 59.99999 / 3600), -0.025, -0.0000001,
                        // minutes or seconds an x87 build once rounded to 60
                        std::nextafter(1.0, 0.0), std::nextafter(45.0, 0.0),
                        -std::nextafter(45.0, 0.0), std::nextafter(180.0, 0.0),
                        59.0 / 60.0 + std::nextafter(1.0, 0.0) / 60.0,
                        89.0 + 59.0 / 60.0 + 59.99999999 / 3600.0});
    EXPECT_EQ(text_of(tern::lat_fmt_t(0.1, static_cast<tern::latlon_unit_t>(7), 0)),
              "bad_angle_format!");
    EXPECT_EQ(text_of(tern::deg_fmt_d_t(-inf, 3, 1, 2)), "");
    for (const double v : {nan, inf, 1e300}) {
        EXPECT_EQ(text_of(tern::lon_fmt_t(v, tern::latlon_unit_degmin, 0)), "") << v;
        EXPECT_EQ(text_of(tern::deg_fmt_dms_t(tern::degminsec_t(v), 3, 1, 2)), "") << v;
    }
}

// Metres (a second) in each unit: the US survey foot is 1200/3937 m, the knot 1852 m an hour,
// the mile 1609.344 m. Texts are written as stored, without a minus sign on a zero.
TEST(Units, ConversionsAndTextsFollowTheDefinitions) {
    const double metres[] = {1.0, 1200.0 / 3937.0, 1852.0 / 3600, 1.0, 1 / 3.6, 1609.344 / 3600};
    const char* const symbols[] = {"m", "ft", "kts", "m/s", "kph", "mph"};
    std::vector<double> values = {0.0, -0.0, -0.001, 0.05, 12.3456, 1e-300, 1e300};
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> any(-1e6, 1e6);
    while (values.size() < 3000) values.push_back(any(rng) / std::pow(10.0, double(rng() % 7)));
    for (const double v : values) {
        const auto p = unsigned(rng() % 8);
        const std::string t = printf_text("%*.*f", 0, int(p), v);
        const std::string number = (t[0] == '-' && zero_digits(t) ? t.substr(1) : t) + " ";
        for (unsigned a = 0; a < 6; ++a) {
            const auto da = static_cast<tern::dist_unit_t>(a);
            const auto sa = static_cast<tern::speed_unit_t>(a - 2);
            ASSERT_EQ(a < 2 ? text_of(tern::dist_fmt_t(v, da, p))
                            : text_of(tern::speed_fmt_t(v, sa, p)),
                      number + symbols[a]);
            for (unsigned b = a < 2 ? 0 : 2; b < (a < 2 ? 2 : 6); ++b)
                ASSERT_NEAR(
                    a < 2 ? tern::dist_convert(v, da, static_cast<tern::dist_unit_t>(b))
                          : tern::speed_convert(v, sa, static_cast<tern::speed_unit_t>(b - 2)),
                    v * metres[a] / metres[b], std::fabs(v) * 1e-15);
        }
    }
    EXPECT_EQ(text_of(tern::speed_fmt_t(5.0, static_cast<tern::speed_unit_t>(7), 1)), "5.0 ??");
    EXPECT_EQ(text_of(tern::dist_fmt_t(3.0, static_cast<tern::dist_unit_t>(2), 0)), "3 ??");
    EXPECT_EQ(text_of(tern::dist_fmt_t(nan, tern::dist_unit_meter, 2)), "");
}

// The text read (or the value given by number) written back.
template <class E>
std::string written(const std::string& in) {
    E v = static_cast<E>(in.rfind('#', 0) == 0 ? std::stoi(in.substr(1)) : 1);
    if (in.rfind('#', 0) != 0) in >> v;
    return text_of(v);
}
class UnitText : public testing::TestWithParam<case_t> {};
TEST_P(UnitText, ReadAndWritten) {
    const auto& c = GetParam().cols;
    EXPECT_EQ(c[0] == "speed"  ? written<tern::speed_unit_t>(c.at(1))
              : c[0] == "dist" ? written<tern::dist_unit_t>(c.at(1))
                               : written<tern::latlon_unit_t>(c.at(1)),
              c.at(2));
}
TERN_CASES(File, UnitText, "util/unit_texts.txt");

TEST(DistSpeed, CallersStreamStateAndLocaleUntouched) {
    const tern_test::comma_locale_t comma;
    std::ostringstream s;
    s << std::hex << std::setprecision(3) << std::setfill('*');
    s << tern::dist_fmt_t(12345.5, tern::dist_unit_meter, 2) << "|"
      << tern::lat_fmt_t(1.5 * deg, tern::latlon_unit_degmin, 0) << "|" << std::setw(4) << 10;
    EXPECT_EQ(s.str(), "12345.50 m|1d30.0000'N|***a");
    EXPECT_EQ(s.precision(), 3);
}

TEST(Geodesy, RangeBearingAndDestinationAgreeWithVectorGeometry) {
    using tern_test::angle_between, tern_test::angle_off, tern_test::look, tern_test::position;
    const double R = tern::RANGE_EARTH_RADIUS;
    // The geostationary range's constants: radii 35786 km apart with this product (km).
    const double re = (std::sqrt(35786.0 * 35786.0 + 2 * 537859517.4912001) - 35786.0) / 2;
    // Cardinal directions, the same point, near-antipodes, a pole, then random pairs.
    std::vector<std::array<double, 4>> p = {{0, 0, 0, deg},         {0, 0, 0, -deg},
                                            {0, 0, deg, 0},         {0, 0, -deg, 0},
                                            {0.9, -0.3, 0.9, -0.3}, {0.003885, 0, -0.003885, pi},
                                            {pi / 2, 0, -1.5, 1}};
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> lat(-pi / 2, pi / 2), lon(-pi, pi);
    while (p.size() < 3000) p.push_back({lat(rng), lon(rng), lat(rng), lon(rng)});
    for (const auto& [lat1, lon1, lat2, lon2] : p) {
        SCOPED_TRACE(testing::Message() << lat1 << "," << lon1 << " to " << lat2 << "," << lon2);
        const double c = angle_between(position(lat1, lon1), position(lat2, lon2));
        const double b = tern::calcBearing(lat1, lon1, lat2, lon2);
        // Where the direction is defined: not the same point, not antipodes, not from a pole.
        const bool defined = c > 1e-9 && c < pi - 1e-6 && std::fabs(lat1) < pi / 2 - 1e-6;
        ASSERT_NEAR(tern::calcRange(lat1, lon1, lat2, lon2), c * R, 0.05);
        ASSERT_TRUE(
            b >= 0 && b < two_pi &&
            (!defined || angle_off(b, look(position(lat2, lon2), lat1, lon1).bearing) < 1e-9));
        // The destination lies at the distance and bearing it was asked for.
        const double distance = 0.002 + c * R, course = lon2 + pi;
        double lat3 = 9, lon3 = 9;
        tern::calcDestination(lat1, lon1, distance, course, lat3, lon3);
        ASSERT_NEAR(angle_between(position(lat1, lon1), position(lat3, lon3)) * R, distance,
                    1e-9 * distance + 1e-3);
        ASSERT_TRUE(!defined ||
                    angle_off(course, look(position(lat3, lon3), lat1, lon1).bearing) < 1e-9);
        // Slant range (km) from the second position to a satellite over the first's longitude.
        const auto los =
            tern_test::minus(position(0, lon1, re + 35786.0), position(lat2, lon2, re));
        ASSERT_NEAR(tern::satelliteRange(lon1 / deg, lat2 / deg, lon2 / deg),
                    std::sqrt(tern_test::dot(los, los)), 1e-3);
    }
    double lat3 = 9.0, lon3 = 9.0;
    tern::calcDestination(0.7, 0.2, 0.0005, 1.0, lat3, lon3); // too short to move
    EXPECT_TRUE(lat3 == 0.7 && lon3 == 0.2);
    tern::calcDestination(0.0, 3.0, deg * R, pi / 2, lat3, lon3);
    EXPECT_NEAR(lon3, 3.0 + deg, 1e-12); // not wrapped past pi
    EXPECT_EQ(tern::calcRange(0.9, -0.3, 0.9, -0.3) + tern::calcBearing(0.5, 0.5, 0.5, 0.5), 0.0);
    for (const double bad : {nan, inf}) {
        tern::calcDestination(0.0, 0.0, bad, 0.0, lat3, lon3);
        EXPECT_TRUE(std::isnan(tern::calcRange(bad, 0, 0, 0)) &&
                    std::isnan(tern::calcRange(0, bad, 0, 0)) &&
                    std::isnan(tern::calcBearing(bad, 0, 0, 0)) &&
                    std::isnan(tern::satelliteRange(bad, 0, 0)) && std::isnan(lat3) &&
                    std::isnan(lon3));
    }
}

// Any angle lands in [0, 2*pi), the same angle round the circle.
TEST(AngleWrap, IntoZeroToTwoPi) {
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> any(-1e4, 1e4);
    for (int i = 0; i < 3000; ++i) {
        const double a = any(rng) * (i % 2 ? 1.0 : 1e-12), w = keelcommon::math::angleWrap(a);
        ASSERT_TRUE(w >= 0.0 && w < two_pi) << a;
        ASSERT_LT(std::fabs(std::remainder(w - a, two_pi)), 1e-12 * (1 + std::fabs(a))) << a;
    }
    EXPECT_TRUE(std::isnan(keelcommon::math::angleWrap(inf)));
}

class RangeBounds : public testing::TestWithParam<case_t> {};
TEST_P(RangeBounds, WrappedAnglesLieInZeroToTwoPiWithoutASign) {
    const double w =
        keelcommon::math::angleWrap(std::strtod(GetParam().cols.at(0).c_str(), nullptr));
    EXPECT_EQ(w, std::strtod(GetParam().cols.at(1).c_str(), nullptr));
    EXPECT_FALSE(std::signbit(w)); // "-0.0" in a sentence
}
TERN_CASES(File, RangeBounds, "util/angle_wrap.txt");

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Whether `err` is one diagnostic line "fsync:PID: text\n" whose text starts with `start`.
bool fsync_diag(const std::string& err, const std::string& start = "") {
    return std::regex_match(err, std::regex("fsync:[0-9]+: [^\n]+\n")) &&
           err.find(": " + start) == err.find(": ");
}
// Runs an asynchronous flush of `path`; returns the status its callback reports, or -100.
int flush_async(const std::string& path) {
    auto status = std::make_shared<std::atomic<int>>(-100);
    if (!tern::sync_file_async(path, [status](int s) { *status = s; })) return -100;
    tern_test::run_until([&] { return *status != -100; }, 20.0);
    return *status;
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override { tern::set_fsync_program(tern_test::tool_path("fsync")); }
    void TearDown() override { tern::set_fsync_program(""); }
    tern_test::temp_dir_t tmp_;
    const std::string dir_ = tmp_.path();
    const std::string file_ = tmp_.write("data.log", "payload\n");
};

TEST_F(FileTest, DefaultFlushProgramIsTheSystemsOrTheOneBesideTheLibrary) {
    tern::set_fsync_program("");
    if (g_file_test("/bin/fsync", G_FILE_TEST_EXISTS)) {
        EXPECT_EQ(tern::fsync_program(), "/bin/fsync");
        return;
    }
    // No system flush program here: the built one is found without being configured.
    g_autofree gchar* found = g_canonicalize_filename(tern::fsync_program().c_str(), nullptr);
    g_autofree gchar* built =
        g_canonicalize_filename(tern_test::tool_path("fsync").c_str(), nullptr);
    EXPECT_STREQ(found, built);
    EXPECT_EQ(flush_async(file_), 0);
}

// (A flush that succeeds: the sparse file below.)
TEST_F(FileTest, FlushFailuresSilentInProcessReportedByTheProgram) {
    CaptureStderr();
    EXPECT_FALSE(tern::sync_file(dir_ + "/missing"));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(flush_async(file_), 0);
    CaptureStderr();
    EXPECT_GT(flush_async(dir_ + "/missing"), 0);
    const std::string err = GetCapturedStderr();
    EXPECT_TRUE(fsync_diag(err, "cannot open " + dir_ + "/missing: ")) << err;

    // A program that cannot be started: one diagnostic line under this program's name.
    tern::set_fsync_program(dir_ + "/no-such-program");
    CaptureStderr();
    EXPECT_FALSE(tern::sync_file_async(file_));
    std::ostringstream expected;
    expected << tern::processInfo_t() << ": failed to spawn fsync for " << file_ << "\n";
    EXPECT_EQ(GetCapturedStderr(), expected.str());
}

// A log file may pass 2 GiB (and 4 GiB): on a 32-bit build without 64-bit offsets open() and
// stat() fail on it with EOVERFLOW, so the name would look free and the flush would fail.
TEST_F(FileTest, UtilitiesHandleASparseFileBeyondFourGiB) {
    EXPECT_EQ(sizeof(off_t), 8u);
    const std::string big = dir_ + "/big.log"; // the scratch directory goes with it
    const off_t size = (off_t{5} << 30) + 3;
    const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const bool written = ::ftruncate(fd, size) == 0 && ::pwrite(fd, "end", 3, size - 3) == 3;
    ::close(fd);
    ASSERT_TRUE(written);

    EXPECT_EQ(tern::unique_filename(dir_, "big", ".log"), "big_1.log");
    EXPECT_TRUE(tern::sync_file(big));
    EXPECT_EQ(flush_async(big), 0); // the fsync program of the same build
    struct stat st {};
    ASSERT_EQ(::stat(big.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    EXPECT_TRUE(tern::delete_file(big));
    EXPECT_EQ(tern::unique_filename(dir_, "big", ".log"), "big.log");
}

TEST(FsyncProgram, CommandLine) {
    const std::string prog = tern_test::tool_path("fsync");
    const auto help = tern_test::run_program({prog, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: fsync FILE\n", 0), 0u);
    for (const auto& argv : {std::vector<std::string>{prog}, {prog, "a", "b"}, {prog, "-x"}}) {
        const auto r = tern_test::run_program(argv);
        EXPECT_EQ(r.status, 2); // bad usage
        EXPECT_TRUE(fsync_diag(r.err)) << r.err;
    }
}

TEST(ProcessInfo, PrefixIsBaseNameColonPid) {
    std::ostringstream s;
    s << tern::processInfo_t(1234, "/usr/local/bin/tern-ui") << "|"
      << tern::processInfo_t(7, "plain");
    EXPECT_EQ(s.str(), "tern-ui:1234|plain:7");

    const tern::processInfo_t self;
    EXPECT_EQ(self.name, "tern_util_tests");
    EXPECT_EQ(self.pid, static_cast<std::int32_t>(::getpid()));
}

TEST(Plugin, LoadResolveAndFailWithTheLoadersReason) {
    std::string error = "stale";
    void* h = tern::loadLibrary(TERN_TEST_PLUGIN, &error);
    ASSERT_NE(h, nullptr) << error;
    EXPECT_EQ(error, "");

    auto* fn =
        reinterpret_cast<int (*)(int)>(tern::resolveSymbol(h, "tern_test_plugin_answer", &error));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(2), 42);
    // The loader's reason names what failed.
    EXPECT_EQ(tern::resolveSymbol(h, "no_such_symbol", &error), nullptr);
    EXPECT_NE(error.find("no_such_symbol"), std::string::npos) << error;
    tern::unloadLibrary(h);
    EXPECT_EQ(tern::loadLibrary("/nonexistent/libx.so", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/libx.so"), std::string::npos) << error;
    // A null handle must not turn into a search of the whole process.
    EXPECT_EQ(tern::resolveSymbol(nullptr, "malloc", &error), nullptr);
    EXPECT_EQ(error, "no library handle");
    EXPECT_EQ(tern::libraryFilename("tern"), "libtern.so");
}

std::vector<unsigned int> numbers(const std::string& text) {
    std::istringstream in(text);
    return std::vector<unsigned int>(std::istream_iterator<unsigned int>(in), {});
}

class VersionCmp : public testing::TestWithParam<case_t> {};
TEST_P(VersionCmp, Sign) {
    const auto& c = GetParam().cols;
    EXPECT_EQ(tern::version_cmp(numbers(c.at(0)), numbers(c.at(1))), std::stoi(c.at(2)));
    EXPECT_EQ(tern::version_string(), "10.4.0");
}
TERN_CASES(File, VersionCmp, "util/version_cmp.txt");

class DebugOptions : public testing::TestWithParam<case_t> {};
TEST_P(DebugOptions, Split) {
    const auto& c = GetParam().cols;
    if (c.at(0) == "unset")
        unsetenv("TERN_TEST_DEBUG");
    else
        setenv("TERN_TEST_DEBUG", c[0].c_str(), 1);
    tern::debugOptions_t opts;
    opts.add("stale");
    opts.init("TERN_TEST_DEBUG", c.at(1).at(0));
    std::string got;
    for (const std::string& o : opts.options()) got += (got.empty() ? "" : " ") + o;
    EXPECT_EQ(got, c.at(2));
}
TERN_CASES(File, DebugOptions, "util/debug_options.txt");

TEST(Random, SeedRepeatsTheSequenceAndUuidsLookRight) {
    tern::random_seed(7);
    const long a = tern::random_int(), b = tern::random_int();
    tern::random_seed(7);
    EXPECT_TRUE(tern::random_int() == a && tern::random_int() == b);
    for (int i = 0; i < 1000; ++i) {
        const double d = tern::random_double();
        ASSERT_TRUE(d > -1.0 && d <= 1.0) << d;
    }
    std::string u1, u2;
    ASSERT_TRUE(tern::generate_uuid(u1) && tern::generate_uuid(u2));
    EXPECT_TRUE(u1.size() == 36 && u1.find_first_not_of("0123456789abcdef-") == std::string::npos)
        << u1;
    EXPECT_NE(u1, u2);
}

} // namespace
