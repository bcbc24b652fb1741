#include "tern/util/units.h"

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "support/text.h"

#include <iomanip>
#include <limits>
#include <sstream>

namespace {

const double pi = 3.14159265358979323846;
const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

using tern_test::text_of;

double rad(double deg) {
    return deg * pi / 180.0;
}

struct latlon_row_t {
    bool lat;
    double deg;
    unsigned char unit;
    unsigned int flags;
    const char* expected;
};

// (The carries into the next degree: RangeBounds.)
TEST(LatLon, EveryFormAndCarry) {
    const latlon_row_t rows[] = {
        {true, 45.5, 1, 6, "45&deg30.0000'N"},
        {false, -0.25, 1, 2, "0\u00B015.0000'W"},
        {true, 45.5, 0, 0, "45.500000N"},
        {true, -45.5, 0, 7, "45.500000&degS"},
        {true, -33.856, 2, 0, "33d51'21.6000\"S"},
        {false, 12.0875, 1, 0, "12d05.2500'E"},
        {true, 10.0 + 59.99994 / 60.0, 1, 0, "10d59.9999'N"}, // just below the carry
        {false, 179.0 + 59.99999 / 3600.0, 2, 2, "179\u00B001'00.0000\"E"},
        {true, -0.0, 1, 0, "0d00.0000'N"},
        {true, 45.5, 7, 0, "bad_angle_format!"},
        {true, nan, 1, 0, ""},
        {false, inf, 2, 0, ""},
        {false, -inf, 0, 0, ""},
        {false, 1e300, 1, 0, ""},
    };
    for (const auto& r : rows) {
        const auto unit = static_cast<tern::latlon_unit_t>(r.unit);
        const std::string got = r.lat ? text_of(tern::lat_fmt_t(rad(r.deg), unit, r.flags))
                                      : text_of(tern::lon_fmt_t(rad(r.deg), unit, r.flags));
        EXPECT_EQ(got, r.expected) << r.deg << " unit " << int(r.unit);
    }
}

TEST(DegreeFormats, SignWidthSymbolAndUnit) {
    using tern::deg_fmt_d_t;
    using tern::deg_fmt_dm_t;
    using tern::deg_fmt_dms_t;
    using tern::degmin_t;
    using tern::degminsec_t;
    struct row_t {
        std::string got, expected;
    };
    const row_t rows[] = {
        {text_of(deg_fmt_d_t(-5.5, 3, 1, 2)), "-05.50"},
        {text_of(deg_fmt_d_t(-5.5, 3, 0, 2)), "005.50"},
        {text_of(deg_fmt_d_t(45.5, 3, 6, 1)), "045.5&deg"},
        {text_of(deg_fmt_d_t(-0.0000001, 1, 1, 6)), "0.000000"}, // rounds to zero: no sign
        {text_of(deg_fmt_d_t(nan, 3, 1, 2)), ""},
        {text_of(deg_fmt_dm_t(degmin_t(12.0875), 3, 0, 4)), "012d05.2500'"},
        {text_of(deg_fmt_dm_t(degmin_t(-12.0875), 3, 1, 4)), "-12d05.2500'"},
        {text_of(deg_fmt_dm_t(degmin_t(-12.0875), 1, 0, 4)), "12d05.2500'"},
        {text_of(deg_fmt_dm_t(degmin_t(-0.25), 1, 1, 4)), "-0d15.0000'"}, // sign kept below 1 deg
        {text_of(deg_fmt_dm_t(degmin_t{-5, -59.99996}, 1, 1, 4)), "-6d00.0000'"},
        {text_of(deg_fmt_dm_t(degmin_t{0, -0.000001}, 1, 1, 4)), "0d00.0000'"},
        {text_of(deg_fmt_dm_t(degmin_t{7, 5.4}, 1, 0, 0)), "7d05'"},
        {text_of(deg_fmt_dms_t(degminsec_t{-3, -59, -59.99999}, 2, 1, 4)), "-4d00'00.0000\""},
        {text_of(deg_fmt_dms_t(degminsec_t{0, -1, -30.0}, 1, 1, 1)), "-0d01'30.0\""},
        {text_of(deg_fmt_dms_t(degminsec_t{1, 2, 3.0}, 1, 6, 2)), "1&deg02'03.00\""},
        {text_of(tern::speed_fmt_t(5.0, tern::speed_unit_mps, 1)), "5.0 m/s"},
        {text_of(tern::speed_fmt_t(5.0, static_cast<tern::speed_unit_t>(7), 1)), "5.0 ??"},
        {text_of(tern::dist_fmt_t(12.3456, tern::dist_unit_us_svy_foot, 2)), "12.35 ft"},
        {text_of(tern::dist_fmt_t(-0.001, tern::dist_unit_meter, 1)), "0.0 m"},
        {text_of(tern::dist_fmt_t(3.0, static_cast<tern::dist_unit_t>(2), 0)), "3 ??"},
        {text_of(tern::dist_fmt_t(nan, tern::dist_unit_meter, 2)), ""},
    };
    for (const auto& r : rows) EXPECT_EQ(r.got, r.expected);
}

TEST(DegreeFormats, RoundAngleReportsTheCarry) {
    struct row_t {
        double value;
        unsigned int p;
        bool carry;
        const char* expected;
    };
    const row_t rows[] = {
        {59.99996, 4, true, "00.0000"},
        {59.99994, 4, false, "59.9999"},
        {-59.99996, 4, true, "00.0000"},
        {5.25, 4, false, "05.2500"},
        {59.6, 0, true, "00"},
        {59.4, 0, false, "59"},
        {nan, 4, false, ""},
    };
    for (const auto& r : rows) {
        std::string t = "stale";
        EXPECT_EQ(tern::round_angle(r.value, r.p, t), r.carry) << r.value;
        EXPECT_EQ(t, r.expected) << r.value;
    }
}

TEST(DistSpeed, CallersStreamStateAndLocaleUntouched) {
    const tern_test::comma_locale_t comma;
    std::ostringstream s;
    s << std::hex << std::setprecision(3) << std::setfill('*');
    s << tern::dist_fmt_t(12345.5, tern::dist_unit_meter, 2) << "|"
      << tern::lat_fmt_t(rad(1.5), tern::latlon_unit_degmin, 0) << "|" << std::setw(4) << 10;
    EXPECT_EQ(s.str(), "12345.50 m|1d30.0000'N|***a");
    EXPECT_EQ(s.precision(), 3);
}

TEST(Units, ConversionsAndSettingsTexts) {
    EXPECT_EQ(tern::dist_convert(1.0, tern::dist_unit_meter, tern::dist_unit_us_svy_foot),
              3.2808333333333333);
    EXPECT_DOUBLE_EQ(tern::speed_convert(1.0, tern::speed_unit_knot, tern::speed_unit_mps),
                     0.51444444444444444);
    EXPECT_DOUBLE_EQ(tern::speed_convert(1.0, tern::speed_unit_mph, tern::speed_unit_knot),
                     0.86897624190064787);
    EXPECT_EQ(tern::dist_unit_str(static_cast<tern::dist_unit_t>(2)), nullptr);
    EXPECT_EQ(tern::speed_unit_str(static_cast<tern::speed_unit_t>(4)), nullptr);

    struct row_t {
        std::string written, expected;
    };
    tern::speed_unit_t s = tern::speed_unit_knot;
    tern::dist_unit_t d = tern::dist_unit_us_svy_foot;
    tern::latlon_unit_t l = tern::latlon_unit_deg;
    const row_t rows[] = {
        {text_of(tern::speed_unit_knot), "knot"},
        {text_of(tern::speed_unit_kph), "KPH"},
        {text_of(static_cast<tern::speed_unit_t>(9)), "mps"},
        {text_of(tern::dist_unit_us_svy_foot), "us_svy_foot"},
        {text_of(static_cast<tern::dist_unit_t>(5)), "meter"},
        {text_of(tern::latlon_unit_degminsec), "degminsec"},
        {text_of(static_cast<tern::latlon_unit_t>(3)), "degmin"},
        {(std::string("MPH") >> s, text_of(s)), "MPH"},
        {(std::string("kph") >> s, text_of(s)), "mps"}, // texts are case-sensitive
        {(std::string("feet") >> d, text_of(d)), "meter"},
        {(std::string("deg") >> l, text_of(l)), "deg"},
        {(std::string("") >> l, text_of(l)), "degmin"},
    };
    for (const auto& r : rows) EXPECT_EQ(r.written, r.expected);
}

} // namespace
