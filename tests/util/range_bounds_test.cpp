// Values with a half-open range keep to it on every build, including the 32-bit one: an
// x87 build rounds 80-bit intermediates only when it stores them, which once let 2*pi, 60
// minutes or a full second through.
#include <gtest/gtest.h>

#include "support/text.h"

#include <cmath>
#include <string>

#include "tern/config/path_util.h"
#include "tern/util/range_bearing.h"
#include "tern/util/time_util.h"
#include "tern/util/units.h"

namespace {

const double two_pi = 6.283185307179586;
const double pi = 3.14159265358979323846;

using tern_test::text_of;

TEST(RangeBounds, WrappedAnglesLieInZeroToTwoPiWithoutASign) {
    struct row_t {
        double in, out;
    };
    const double below_two_pi = std::nextafter(two_pi, 0.0);
    const row_t rows[] = {
        {-1e-17, 0.0}, // rounds up to 2*pi when added: must give 0, not 2*pi
        {-1e-300, 0.0},
        {-4.9e-324, 0.0},
        {-0.0, 0.0},
        {-two_pi, 0.0},
        {-3 * two_pi, 0.0},
        {two_pi, 0.0},
        {below_two_pi, below_two_pi},
        {-1e-15, two_pi - 1e-15},
        {-pi, pi},
    };
    for (const auto& r : rows) {
        const double w = keelcommon::math::angleWrap(r.in);
        EXPECT_EQ(w, r.out) << r.in;
        EXPECT_GE(w, 0.0) << r.in;
        EXPECT_LT(w, two_pi) << r.in;
        EXPECT_FALSE(std::signbit(w)) << r.in; // "-0.0" in a sentence
    }
    // A target a hair west of due north is at bearing 0, not 2*pi.
    const double b = tern::calcBearing(0.0, 0.0, 0.1, -1e-18);
    EXPECT_GE(b, 0.0);
    EXPECT_LT(b, two_pi);
}

TEST(RangeBounds, MinutesAndSecondsStayBelowSixty) {
    const double degrees[] = {std::nextafter(1.0, 0.0), std::nextafter(45.0, 0.0),
                              -std::nextafter(45.0, 0.0), std::nextafter(180.0, 0.0),
                              59.0 / 60.0 + std::nextafter(1.0, 0.0) / 60.0};
    for (double d : degrees) {
        const tern::degmin_t dm(d);
        EXPECT_LT(std::fabs(dm.min), 60.0) << d;
        const tern::degminsec_t dms(d);
        EXPECT_LE(std::abs(dms.min), 59) << d;
        EXPECT_LT(std::fabs(dms.sec), 60.0) << d;
    }

    // The texts round up into the next degree instead of writing 60.
    struct row_t {
        double deg;
        unsigned char unit;
        const char* expected;
    };
    const row_t rows[] = {
        {std::nextafter(45.0, 0.0), 1, "45d00.0000'N"},
        {std::nextafter(45.0, 0.0), 2, "45d00'00.0000\"N"},
        {-std::nextafter(1.0, 0.0), 1, "1d00.0000'S"},
        {-std::nextafter(1.0, 0.0), 2, "1d00'00.0000\"S"},
        {89.0 + 59.0 / 60.0 + 59.99999999 / 3600.0, 2, "90d00'00.0000\"N"},
    };
    for (const auto& r : rows) {
        const double rad = r.deg * pi / 180.0;
        EXPECT_EQ(text_of(tern::lat_fmt_t(rad, static_cast<tern::latlon_unit_t>(r.unit), 0)),
                  r.expected)
            << r.deg;
    }
}

TEST(RangeBounds, TimeFieldsAndFractionsStayBelowTheirUnit) {
    // The last fraction of a day or a week belongs to it.
    EXPECT_EQ(text_of(tern::time_fname_t(std::nextafter(86400.0, 0.0), 0)), "19700101_235959+0000");
    EXPECT_EQ(text_of(tern::time_fname_t(std::nextafter(1706659200.0, 0.0), 0)),
              "20240130_235959+0000");
    EXPECT_EQ(text_of(tern::time_str_t(86399, 0, 0)), "1970-01-01 23:59:59");

    const tern::gps2utc_t utc{18, 18, 0, 0};
    // GPS week 2300 starts at this UTC instant (GPS runs 18 s ahead).
    const double week_start = 315964800.0 + 2300.0 * 604800.0 - 18.0;
    unsigned int week = 0;
    double sec = 0.0;
    ASSERT_TRUE(tern::unixToGpsTime(std::nextafter(week_start, 0.0), utc, week, sec));
    EXPECT_EQ(week, 2299u);
    EXPECT_LT(sec, 604800.0);
    EXPECT_GT(sec, 604799.99);
    ASSERT_TRUE(tern::unixToGpsTime(week_start, utc, week, sec));
    EXPECT_EQ(week, 2300u);
    EXPECT_EQ(sec, 0.0);
}

} // namespace
