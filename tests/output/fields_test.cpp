// Field formatters, checksum, talker selection, the GGA quality mapping and the settings texts
// of the output types; their tables are in tests/cases/output/texts.txt.
#include <tern/data/outputDataCache.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/msg.h>
#include <tern/output/nmeaBuilder.h>
#include <tern/output/output_cfg.h>
#include <tern/output/output_types.h>

#include "support/cases.h"
#include "support/codec.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <sstream>

using namespace tern;
using tern_test::decode_into;
using tern_test::payload_of;

namespace {

constexpr double deg = 3.14159265358979323846 / 180.0;

template <class F>
std::string text(const F& f) {
    std::ostringstream os;
    os << f;
    return os.str();
}

// A builder with nothing of its own, to reach the NMEA base.
class plain_t : public nmeaBuilder_t {
public:
    plain_t() : nmeaBuilder_t(raw_gga) {}
    void build(const outputDataCache_t&, std::vector<cmd_device_write_t*>&) override {}
    void setConfig(const output_cfg_t& cfg) override { nmeaBuilder_t::setConfig(cfg); }
    void buildContents(const outputDataCache_t&, std::ostream&) override {}
};

// "D:M" is D degrees and M minutes; anything else a number as strtod reads it.
double number(const std::string& s) {
    const auto colon = s.find(':');
    if (colon == std::string::npos) return std::strtod(s.c_str(), nullptr);
    return std::strtod(s.c_str(), nullptr) + std::strtod(s.c_str() + colon + 1, nullptr) / 60.0;
}
unsigned whole(const std::string& s) {
    return static_cast<unsigned>(std::stoul(s));
}
template <class E>
std::string read(const std::string& s) {
    E v = static_cast<E>(99);
    s >> v;
    return std::to_string(unsigned(v));
}
template <class E>
std::string write(const std::string& s) {
    return text(static_cast<E>(whole(s)));
}
std::string gga_quality(nmeaVersion_t version, const std::string& s) {
    plain_t b;
    b.setNmeaVersion(version);
    data_fix_mode_t fm;
    fm.fix_mode = static_cast<data_fix_mode_t::fix_mode_t>(whole(s));
    return std::to_string(b.ggaFixMode(fm));
}

using convert_t = std::function<std::string(const std::string&)>;
const std::map<std::string, convert_t> conversions = {
    {"time", [](auto& s) { return text(nmeaTimestamp_t(number(s))); }},
    {"lat", [](auto& s) { return text(nmeaLatitude_t(number(s) * deg, false)); }},
    {"lat_strict", [](auto& s) { return text(nmeaLatitude_t(number(s) * deg, true)); }},
    {"lon", [](auto& s) { return text(nmeaLongitude_t(number(s) * deg, false)); }},
    {"lon_strict", [](auto& s) { return text(nmeaLongitude_t(number(s) * deg, true)); }},
    {"heading", [](auto& s) { return text(nmeaHeading_t(number(s) * deg, false)); }},
    {"heading_strict", [](auto& s) { return text(nmeaHeading_t(number(s) * deg, true)); }},
    {"height", [](auto& s) { return text(nmeaHeight_t(number(s), false)); }},
    {"height_strict", [](auto& s) { return text(nmeaHeight_t(number(s), true)); }},
    {"talker",
     [](auto& s) {
         data_sat_use_t use;
         std::istringstream in(s);
         for (unsigned n; in >> n;) use.sats.push_back(static_cast<unsigned char>(n));
         return plain_t().talkerString(use);
     }},
    {"talker_forced", [](auto& s) { return forceTalkerString(force_talker_t(whole(s))); }},
    {"gga_2.1", [](auto& s) { return gga_quality(nmea_version_2_1, s); }},
    {"gga_3.01", [](auto& s) { return gga_quality(nmea_version_3_01, s); }},
    {"diff_type_gga", [](auto& s) { return diffTypeGGAToString(whole(s)); }},
    {"datum_code", [](auto& s) { return datumTypeToNmeaCode(datumType_t(whole(s))); }},
    {"datum", [](auto& s) { return std::to_string(unsigned(datumTypeFromNmeaCode(s))); }},
    {"read_version", read<nmeaVersion_t>},
    {"write_version", write<nmeaVersion_t>},
    {"read_talker", read<force_talker_t>},
    {"write_talker", write<force_talker_t>},
    {"read_report_mode", read<dataReportMode_t>},
    {"write_report_mode", write<dataReportMode_t>},
    {"report_mode_name", [](auto& s) { return toString(dataReportMode_t(whole(s))); }},
    {"read_ref_type", read<gga_ref_type_t>},
    {"read_quality", read<ggaQuality_t>},
    {"write_quality", write<ggaQuality_t>},
    {"write_raw_type", write<rawMsgType_t>},
};

class OutputText : public testing::TestWithParam<tern_test::case_t> {};

} // namespace

TEST_P(OutputText, IsWhatTheTableSays) {
    const auto& c = GetParam().cols; // what, value, text
    ASSERT_EQ(c.size(), 3u);
    const auto conversion = conversions.find(c[0]);
    ASSERT_NE(conversion, conversions.end()) << c[0];
    EXPECT_EQ(conversion->second(tern_test::unquote(c[1])), c[2]) << c[1];
}
TERN_CASES(File, OutputText, "output/texts.txt");

// Numbers with 2 and 3 decimals read as printf writes them, ties and near-ties of the binary
// value included, except that a value that rounds to zero never keeps its minus sign.
TEST(NmeaNumbers, AsPrintfWritesThemOverGeneratedValues) {
    std::vector<double> values = {0.0,      -0.0,    0.125,         2.675,         1.005,   9.995,
                                  0.045,    99.995,  0.5,           -0.005001,     -7.5e-5, 1e12,
                                  1e9,      -1e9,    1e8,           999999999.995, 1e300,   DBL_MAX,
                                  -DBL_MAX, DBL_MIN, 123456789.015, 0.0005,        -0.0005};
    std::mt19937_64 gen(22);
    for (int i = 0; i < 20000; ++i) {
        const double scale = std::pow(10.0, std::uniform_int_distribution<int>(-4, 12)(gen));
        double v = std::uniform_real_distribution<double>(-1.0, 1.0)(gen) * scale;
        if (i % 2 == 0) v = std::round(v * 1000.0) / 1000.0 + (i % 4 == 0 ? 0.0005 : 0.005);
        values.push_back(v);
    }
    char want[400];
    for (double v : values) {
        for (int prec : {2, 3}) {
            std::snprintf(want, sizeof want, "%.*f", prec, v);
            std::string expected = want;
            if (expected.find_first_not_of("-0.") == std::string::npos && expected[0] == '-')
                expected.erase(0, 1);
            ASSERT_EQ(text(nmeaHeight_t(v, prec == 2)), expected) << std::hexfloat << v;
        }
    }
}

// The time and date of a stamp (rounded once to hundredths) against GLib's calendar, over
// generated stamps from year 1 to 9999 with midnights, leap days and century years among them.
TEST(NmeaTimestamp, TimeAndDateAgainstGLibsCalendar) {
    std::vector<double> stamps = {0.0,           -0.005,         86399.995,       86399.994,
                                  951782400.0,   951868799.996,  4107455999.99,   4107542399.996,
                                  -2203891200.0, -62135596800.0, 253402300799.994};
    std::mt19937_64 gen(22);
    std::uniform_real_distribution<double> any(-62135596800.0, 253402300799.0);
    for (int i = 0; i < 20000; ++i)
        stamps.push_back(std::floor(any(gen)) + (i % 100) / 100.0 + 0.004 * (i % 3));
    constexpr long long day_cs = 8640000;
    char want[64];
    for (double t : stamps) {
        const long long cs = std::llround(t * 100.0);
        const long long days = (cs - (cs < 0 ? day_cs - 1 : 0)) / day_cs; // rounded down
        const long long rem = cs - days * day_cs;
        GDate* date = g_date_new_julian(static_cast<guint32>(days + 719163)); // 1 Jan 1 is 1
        const nmeaTimestamp_t ts(t);
        std::snprintf(want, sizeof want, "%02lld%02lld%02lld.%02lld", rem / 360000, rem / 6000 % 60,
                      rem / 100 % 60, rem % 100);
        ASSERT_EQ(text(ts), want) << std::fixed << t;
        ASSERT_EQ(ts.year() * 10000 + ts.month() * 100 + ts.day(),
                  g_date_get_year(date) * 10000 + g_date_get_month(date) * 100 +
                      g_date_get_day(date))
            << std::fixed << t;
        g_date_free(date);
    }
}

TEST(NmeaChecksum, CoversOnlyTheBytesBetweenDollarAndStar) {
    // A sentence whose checksum is published in every NMEA primer.
    const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    EXPECT_EQ(nmea_checksum(gga.data(), static_cast<unsigned>(gga.size())), 0x47);
    EXPECT_EQ(nmea_checksum("$A*B", 4), 'A');
    EXPECT_EQ(nmea_checksum("AB\rC", 4), 'A' ^ 'B');
    EXPECT_EQ(nmea_checksum("$AB", 2), 'A'); // stops after len bytes
    EXPECT_EQ(nmea_checksum("$AB", 0), 0);

    std::string s = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
    EXPECT_EQ(nmea_checksum(s), 0x47);
    EXPECT_EQ(s, gga);
    std::string empty;
    nmea_checksum(empty);
    EXPECT_EQ(empty, "");
    EXPECT_EQ(text(nmeaTail_t(0x0A)), "*0A\r\n");
}

// Talkers from a constellation's own messages and a forced talker; those from the satellite
// numbers are rows of the table.
TEST(NmeaTalker, FromSatellitesForcedAndByConstellation) {
    plain_t b;
    data_sat_track_t track;
    track.constellation = constellation_beidou;
    EXPECT_EQ(b.talkerString(track), "GB");
    track.constellation = constellation_none;
    EXPECT_EQ(b.talkerString(track), "");
    data_pr_stats_t st;
    st.constellation = constellation_glonass;
    EXPECT_EQ(b.talkerString(st), "GL");
    st.combined = true;
    EXPECT_EQ(b.talkerString(st), "GN");

    output_cfg_t cfg;
    cfg.force_talker = force_talker_in;
    b.setConfig(cfg);
    EXPECT_EQ(b.talkerString(track), "IN");
    EXPECT_EQ(b.talkerString(st), "IN");
}

TEST(NmeaTalker, FromTheCacheJoinsTheLastTwoSeconds) {
    plain_t b;
    outputDataCache_t cache;
    EXPECT_EQ(b.talkerString(cache), "GP");
    data_sat_use_t gl;
    gl.constellation = constellation_glonass;
    gl.sats = {70};
    gl.utc_tstamp = 97.5; // older than 2.0 s before the GPS one
    cache.add(gl);
    data_sat_use_t gp;
    gp.sats = {3};
    gp.utc_tstamp = 100.0;
    cache.add(gp);
    EXPECT_EQ(b.talkerString(cache), "GP");
    gl.utc_tstamp = 98.0; // exactly 2.0 s: joins
    cache.add(gl);
    cache.add(gp);
    EXPECT_EQ(b.talkerString(cache), "GN");
}

// Kinds 42 and up are never members: not from a frame and not in a full set.
TEST(RawMsgSet, Codec) {
    const auto set_of = [](std::initializer_list<unsigned> types) {
        rawMsgSet_t s;
        for (unsigned t : types) s.insert(static_cast<rawMsgType_t>(t));
        return s;
    };
    EXPECT_EQ(payload_of(rawMsgSet_t()), "00 00 00");
    EXPECT_EQ(payload_of(set_of({37, 0, 36, 35})), "00 04 00 00 23 24 25");
    EXPECT_EQ(payload_of(rawMsgSet_t(true)), "01");

    rawMsgSet_t s = set_of({1, 6});
    EXPECT_TRUE(decode_into("00 04 00 29 2A FF 05", s)); // 42 and 255 are dropped
    EXPECT_EQ(s, set_of({41, 5}));
    EXPECT_TRUE(decode_into("01", s));
    EXPECT_EQ(s.bits(), 0x3FFFFFFFFFFull);
    s.remove(static_cast<rawMsgType_t>(41));
    EXPECT_FALSE(s.containsAll());
    EXPECT_EQ(s.count(), 41u);
    EXPECT_FALSE(decode_into("00 05 00 01 02", s)); // short: keeps what arrived
    EXPECT_EQ(s, set_of({1, 2}));
}
