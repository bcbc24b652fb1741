// Field formatters, checksum, talker selection and the GGA quality mapping.
#include <tern/data/outputDataCache.h>
#include <tern/msg/data_msgs.h>
#include <tern/output/nmeaBuilder.h>
#include <tern/output/output_cfg.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

using namespace tern;

namespace {

constexpr double deg = 3.14159265358979323846 / 180.0;
const double nan_v = std::numeric_limits<double>::quiet_NaN();

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

} // namespace

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

TEST(NmeaFields, Timestamp) {
    const struct {
        double t;
        const char* text;
    } rows[] = {
        {0.0, "000000.00"},
        {1700000000.0, "221320.00"},
        {45296.789, "123456.79"},
        {45296.004, "123456.00"},
        {59.996, "000100.00"},    // rounds to the next minute, never "60.00"
        {86399.996, "000000.00"}, // and to the next day
        {-0.5, "235959.50"},
        {nan_v, ""},
        {std::numeric_limits<double>::infinity(), ""},
        {1e300, ""},
    };
    for (const auto& r : rows) EXPECT_EQ(text(nmeaTimestamp_t(r.t)), r.text) << r.t;
    const nmeaTimestamp_t next(86399.996);
    EXPECT_EQ(next.day(), 2);
    EXPECT_EQ(text(nmeaTimestamp_t(dateTime_t(1700000000.25))), "221320.25");
}

TEST(NmeaFields, LatitudeAndLongitude) {
    const struct {
        double degrees;
        bool strict, lon;
        const char* text;
    } rows[] = {
        {-0.5, false, false, "0030.000000,S"},
        {-0.5, true, false, "0030.00001,S"}, // strict adds 0.000005 to the minutes
        {59.95, false, false, "5957.000000,N"},
        {10.0 + 59.9999999 / 60.0, false, false, "1100.000000,N"}, // minutes carry
        {10.0 + 59.999999 / 60.0, true, false, "1100.00000,N"},
        {5.1, false, true, "00506.000000,E"},
        {-179.5, true, true, "17930.00001,W"},
        {179.0 + 59.99999999 / 60.0, false, true, "18000.000000,E"},
        {0.0, false, true, "00000.000000,E"},
    };
    for (const auto& r : rows) {
        const std::string s = r.lon ? text(nmeaLongitude_t(r.degrees * deg, r.strict))
                                    : text(nmeaLatitude_t(r.degrees * deg, r.strict));
        EXPECT_EQ(s, r.text) << r.degrees;
    }
    EXPECT_EQ(text(nmeaLatitude_t(nan_v, false)), ",");
}

TEST(NmeaFields, HeadingAndHeight) {
    const struct {
        double degrees;
        bool strict;
        const char* text;
    } rows[] = {
        {-90.0, false, "270.000"}, {-90.0, true, "270.0"},    {720.25, false, "0.250"},
        {359.96, true, "0.0"},     {-0.0001, false, "0.000"}, {359.9994, false, "359.999"},
    };
    for (const auto& r : rows) EXPECT_EQ(text(nmeaHeading_t(r.degrees * deg, r.strict)), r.text);
    EXPECT_EQ(text(nmeaHeading_t(nan_v, false)), "");
    EXPECT_EQ(text(nmeaHeight_t(12.3456, true)), "12.35");
    EXPECT_EQ(text(nmeaHeight_t(-0.5, false)), "-0.500");
    EXPECT_EQ(text(nmeaHeight_t(nan_v, false)), "");
}

TEST(NmeaFields, DecimalRoundingIsThatOfTheExactBinaryValue) {
    // Expected texts as printf("%.2f") writes them (ties and near-ties included), except that
    // a value that rounds to zero never keeps its minus sign.
    const struct {
        double v;
        const char* two;
    } rows[] = {{0.125, "0.12"},    {2.675, "2.67"},
                {1.005, "1.00"},    {9.995, "9.99"},
                {-0.001, "0.00"},   {1e12, "1000000000000.00"},
                {0.045, "0.04"},    {123456789.015, "123456789.02"},
                {99.995, "100.00"}, {-7.5e-5, "0.00"},
                {0.5, "0.50"},      {-0.005001, "-0.01"}};
    for (const auto& r : rows) EXPECT_EQ(text(nmeaHeight_t(r.v, true)), r.two) << r.v;
}

TEST(NmeaTalker, FromSatellitesForcedAndByConstellation) {
    plain_t b;
    const struct {
        std::vector<unsigned char> sats;
        const char* talker;
    } rows[] = {{{5, 12, 70}, "GN"}, {{200}, "GA"}, {{}, "GP"},        {{150}, "GB"},
                {{70, 96}, "GL"},    {{64}, "GP"},  {{97, 250}, "GP"}, {{65, 174}, "GN"}};
    for (const auto& r : rows) {
        data_sat_use_t use;
        use.sats = r.sats;
        EXPECT_EQ(b.talkerString(use), r.talker);
    }
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
    EXPECT_EQ(forceTalkerString(static_cast<force_talker_t>(9)), "");
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

TEST(NmeaGgaQuality, DependsOnTheVersion) {
    plain_t b;
    const unsigned v301[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    const unsigned v21[] = {0, 1, 2, 3, 2, 2, 0, 0, 0};
    for (unsigned m = 0; m < 9; ++m) {
        data_fix_mode_t fm;
        fm.fix_mode = static_cast<data_fix_mode_t::fix_mode_t>(m);
        b.setNmeaVersion(nmea_version_3_01);
        EXPECT_EQ(b.ggaFixMode(fm), v301[m]);
        b.setNmeaVersion(nmea_version_2_1);
        EXPECT_EQ(b.ggaFixMode(fm), v21[m]);
    }
    EXPECT_EQ(diffTypeGGAToString(10), "Unknown");
}
