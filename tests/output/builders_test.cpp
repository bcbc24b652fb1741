// Every sentence builder through the output builder: due-rules, duplicate guards and the
// exact text of each sentence (checksum and line end are checked against the sum of the text).
#include <tern/data/outputDataCache.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/output/dpggaBuilder.h>
#include <tern/output/dtmBuilder.h>
#include <tern/output/ggaBuilder.h>
#include <tern/output/gstBuilder.h>
#include <tern/output/nmeaBuilder.h>
#include <tern/output/outputBuilder.h>
#include <tern/output/pqvtrRxqBuilder.h>
#include <tern/output/rmcBuilder.h>
#include <tern/output/tss1Builder.h>
#include <tern/output/ttmBuilder.h>

#include "support/cases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>

using namespace tern;

namespace {

constexpr double deg = 3.14159265358979323846 / 180.0;
const double nan_v = std::numeric_limits<double>::quiet_NaN();
constexpr double T = 1700000000.0; // 2023-11-14 22:13:20

// One output with only the sentences a test switches on; sentences come back without their
// tail, which is checked here once for all.
class rig_t {
public:
    explicit rig_t(const std::function<void(output_cfg_t&)>& set) {
        output_cfg_t c;
        c.output_gga = c.output_vtg = false;
        set(c);
        ob.setConfig(c);
    }

    std::vector<std::string> feed(const data_msg_t& m) {
        outputBuilder_t::msgList_t out;
        ob.handleDataMessage(m, out);
        std::vector<std::string> s;
        for (msg_t* p : out) {
            if (auto* cmd = dynamic_cast<cmd_device_write_t*>(p)) s.push_back(strip(*cmd));
            delete p;
        }
        return s;
    }
    template <class... M>
    std::vector<std::string> feed_all(const M&... m) {
        std::vector<std::string> all;
        for (const data_msg_t* p : {static_cast<const data_msg_t*>(&m)...})
            for (auto& s : feed(*p)) all.push_back(s);
        return all;
    }

    outputBuilder_t ob;

private:
    static std::string strip(const cmd_device_write_t& cmd) {
        std::string s(reinterpret_cast<const char*>(cmd.data), cmd.len);
        if (s.empty() || s[0] != '$') return s; // TSS1
        const auto star = s.rfind('*');
        EXPECT_NE(star, std::string::npos) << s;
        if (star == std::string::npos) return s;
        std::string body = s.substr(0, star);
        std::string with_tail = body;
        nmea_checksum(with_tail);
        EXPECT_EQ(s, with_tail);
        return body;
    }
};

// A message stamped `t`, with fields set from (member, value) pairs.
template <class M>
M at(double t) {
    M m;
    m.utc_tstamp = t;
    return m;
}
template <class M, class F, class V, class... R>
M at(double t, F M::*field, V value, R... rest) {
    M m = at<M>(t, rest...);
    m.*field = static_cast<F>(value);
    return m;
}

data_pos_t pos(double t, double lat = 59.95, double lon = 5.1) {
    return at<data_pos_t>(t, &data_pos_t::latitude_valid, true, &data_pos_t::longitude_valid, true,
                          &data_pos_t::latitude, lat * deg, &data_pos_t::longitude, lon * deg);
}
data_fix_mode_t mode(double t, unsigned m) {
    return at<data_fix_mode_t>(t, &data_fix_mode_t::fix_mode,
                               static_cast<data_fix_mode_t::fix_mode_t>(m));
}
data_h_dop_t hdop(double t, float v) {
    return at<data_h_dop_t>(t, &data_h_dop_t::hdop_valid, true, &data_h_dop_t::hdop, v);
}
data_height_t height(double t) {
    return at<data_height_t>(
        t, &data_height_t::geoidal_height_valid, true, &data_height_t::ellipsoidal_height_valid,
        true, &data_height_t::geoidal_height, 12.5, &data_height_t::ellipsoidal_height, 53.8);
}
data_sat_count_t count(double t, unsigned n) {
    return at<data_sat_count_t>(t, &data_sat_count_t::num_sats, static_cast<unsigned char>(n));
}
data_diff_t diff(double t, unsigned short ref = 12) {
    return at<data_diff_t>(t, &data_diff_t::age, 3.3f, &data_diff_t::ref_id, ref);
}

} // namespace

TEST(GgaBuilder, SentOnTheLastMessageOfTheEpochOnce) {
    rig_t r([](output_cfg_t& c) { c.output_gga = true; });
    EXPECT_TRUE(r.feed_all(pos(T), mode(T, 2), hdop(T, 0.9f), height(T), diff(T)).empty());
    const auto s = r.feed(count(T, 8));
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0], "$GPGGA,221320.00,5957.000000,N,00506.000000,E,2,08,0.9,12.500,M,41.300,M,3.3,"
                    "0012");
    EXPECT_TRUE(r.feed(count(T, 8)).empty());
    EXPECT_TRUE(r.feed(pos(T)).empty());
    r.ob.resetState();
    EXPECT_TRUE(r.feed(pos(T)).empty()); // the cache is empty again
}

TEST(GgaBuilder, QualityAgeAndStationNumber) {
    const struct {
        nmeaVersion_t version;
        unsigned fix;
        ggaQuality_t quality;
        const char* tail;
    } rows[] = {
        {nmea_version_2_1, 4, gga_quality_as_reported, ",2,08,0.9,12.500,M,41.300,M,3.3,0012"},
        {nmea_version_3_01, 1, gga_quality_as_reported, ",1,08,0.9,12.500,M,41.300,M,,"},
        {nmea_version_3_01, 1, gga_quality_as_5, ",5,08,0.9,12.500,M,41.300,M,3.3,0012"},
    };
    for (const auto& row : rows) {
        rig_t r([&](output_cfg_t& c) {
            c.output_gga = true;
            c.nmea_version = row.version;
            c.gga_quality = row.quality;
        });
        auto detail = at<data_diff_detail_t>(T, &data_diff_detail_t::corr_type,
                                             data_diff_detail_t::corr_type_precise);
        const auto s = r.feed_all(detail, pos(T), mode(T, row.fix), hdop(T, 0.9f), height(T),
                                  diff(T), count(T, 8));
        ASSERT_EQ(s.size(), 1u) << row.tail;
        EXPECT_EQ(s[0].substr(s[0].find(",E,") + 2), row.tail);
    }
}

TEST(PositionBuilders, InvalidLatitudeGivesEmptyPairs) {
    rig_t r([](output_cfg_t& c) { c.output_gga = c.output_gll = c.output_rmc = true; });
    auto p = pos(T);
    p.latitude_valid = false;
    auto cog = at<data_cog_t>(T);
    auto sog = at<data_sog_t>(T);
    const auto s =
        r.feed_all(mode(T, 1), hdop(T, 1.0f), height(T), diff(T), count(T, 5), cog, sog, p);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], "$GPGGA,221320.00,,,00506.000000,E,1,05,1.0,12.500,M,41.300,M,,");
    EXPECT_EQ(s[1], "$GPGLL,,,00506.000000,E,221320.00,V,A");
    EXPECT_EQ(s[2], "$GPRMC,221320.00,V,,,00506.000000,E,,,141123,,,A");
}

TEST(PositionBuilders, RmcVtgCoursesDatesAndModes) {
    const double t = 1930521599.996; // 2031-03-05 23:59:59.996 rounds into 6 March
    rig_t r([](output_cfg_t& c) { c.output_rmc = c.output_vtg = true; });
    auto cog = at<data_cog_t>(t, &data_cog_t::cog_valid, true, &data_cog_t::cog, -45.0 * deg);
    auto sog = at<data_sog_t>(t, &data_sog_t::sog_valid, true, &data_sog_t::sog, 5.0f);
    const auto s = r.feed_all(pos(t, -33.5, -70.25), cog, sog, mode(t, 6));
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0], "$GPRMC,000000.00,A,3330.000000,S,07015.000000,W,9.72,315.0,060331,,,E");
    EXPECT_EQ(s[1], "$GPVTG,315.0,T,,M,9.72,N,18.00,K,E");

    rig_t v21([](output_cfg_t& c) {
        c.output_rmc = c.output_vtg = c.output_gll = true;
        c.nmea_version = nmea_version_2_1;
        c.strict_nmea = true;
    });
    cog.cog = static_cast<float>(359.99 * deg); // rounds to a full turn: north
    cog.utc_tstamp = sog.utc_tstamp = 1930521600.0 - 86400.0;
    const auto s21 = v21.feed_all(cog, sog, pos(cog.utc_tstamp, 1.0, 2.0));
    ASSERT_EQ(s21.size(), 3u) << "2.1 does not wait for the fix mode";
    EXPECT_EQ(s21[0], "$GPVTG,0.0,T,,M,9.72,N,18.00,K");
    EXPECT_EQ(s21[1], "$GPGLL,0100.00001,N,00200.00001,E,000000.00,A");
    EXPECT_EQ(s21[2], "$GPRMC,000000.00,A,0100.00001,N,00200.00001,E,9.72,0.0,050331,,");
}

TEST(PositionBuilders, ZdaOncePerNewestStampAndDtm) {
    rig_t r([](output_cfg_t& c) { c.output_zda = c.output_dtm = true; });
    auto d = at<data_datum_t>(T);
    EXPECT_EQ(r.feed(d),
              (std::vector<std::string>{"$GPDTM,,,,,,,,", "$GPZDA,221320.00,14,11,2023,00,00"}));
    EXPECT_TRUE(r.feed(pos(T)).empty());
    auto rxq = at<data_rxq_t>(T + 5);
    EXPECT_TRUE(r.feed(rxq).empty());         // receiver quality never moves the clock
    EXPECT_TRUE(r.feed(pos(T - 10)).empty()); // a clock set back: ZDA waits for a newer stamp
    d = at<data_datum_t>(T + 1);
    d.mask = data_datum_t::datum_all;
    d.localDatum = datum_999;
    d.localDatumSubdivision = "A,B*$\r";
    d.latitudeOffset = -1.5 / 60.0 * deg;
    d.longitudeOffset = 0.25 / 60.0 * deg;
    d.altitudeOffset = -2.5;
    d.referenceDatum = datum_w84;
    EXPECT_EQ(r.feed(d),
              (std::vector<std::string>{"$GPDTM,999,A_B___,1.500000,S,0.250000,E,-2.500000,W84",
                                        "$GPZDA,221321.00,14,11,2023,00,00"}));
}

namespace {

data_sat_use_t use(double t, constellation_t c, std::vector<unsigned char> sats) {
    return at<data_sat_use_t>(t, &data_sat_use_t::constellation, c, &data_sat_use_t::sats,
                              std::move(sats));
}
data_sat_track_t track(double t, constellation_t c, unsigned n) {
    auto tr = at<data_sat_track_t>(t, &data_sat_track_t::constellation, c);
    for (unsigned i = 0; i < n; ++i) {
        data_sat_track_t::sat_t s;
        s.id = static_cast<unsigned char>(i + 1);
        s.el = static_cast<float>((10.0 * i + 5.4) * deg);
        s.az = static_cast<float>((40.0 * i - 20.0) * deg); // the first wraps to 340
        s.freq[0].track = i % 2 == 0;
        s.freq[0].snr = 41.5f;
        s.freq[1].track = 1;
        s.freq[1].snr = 7.2f;
        tr.sats.push_back(s);
    }
    return tr;
}

} // namespace

TEST(SatelliteBuilders, GsaPerConstellationAndRange) {
    rig_t r([](output_cfg_t& c) { c.output_gsa = true; });
    auto fix =
        at<data_fix_type_t>(T, &data_fix_type_t::fix_valid, true, &data_fix_type_t::fix_3d, true);
    auto pv = at<data_pv_dop_t>(T, &data_pv_dop_t::pdop_valid, true, &data_pv_dop_t::pdop, 1.66f);
    EXPECT_TRUE(r.feed_all(use(T, constellation_gps, {3, 40, 65}), hdop(T, 0.9f), pv).empty());
    EXPECT_EQ(r.feed(fix), (std::vector<std::string>{"$GNGSA,M,3,03,,,,,,,,,,,,1.7,0.9,",
                                                     "$GNGSA,M,3,65,,,,,,,,,,,,1.7,0.9,"}));
    EXPECT_TRUE(r.feed(fix).empty());
    EXPECT_EQ(r.feed(use(T, constellation_glonass, {70, 71})),
              (std::vector<std::string>{"$GLGSA,M,3,70,71,,,,,,,,,,,1.7,0.9,"}));
    EXPECT_TRUE(r.feed(use(T, constellation_glonass, {70, 71})).empty());
    EXPECT_TRUE(r.feed(use(T, constellation_galileo, {40, 50})).empty()); // 33 to 64: never
    EXPECT_TRUE(r.feed(use(T, constellation_galileo, {1})).empty()) << "(t, constellation) kept";
    std::vector<unsigned char> many;
    for (unsigned char n = 1; n <= 15; ++n) many.push_back(n);
    const auto later = T + 1;
    r.feed_all(hdop(later, 0.9f), pv, fix);
    pv.utc_tstamp = fix.utc_tstamp = later;
    fix.fix_valid = false;
    fix.fix_auto = true;
    r.feed_all(pv, fix);
    EXPECT_EQ(
        r.feed(use(later, constellation_gps, many)),
        (std::vector<std::string>{"$GPGSA,A,1,01,02,03,04,05,06,07,08,09,10,11,12,1.7,0.9,"}));
}

TEST(SatelliteBuilders, GsvAndSatsPages) {
    rig_t r([](output_cfg_t& c) { c.output_gsv = c.output_pternr_sats = true; });
    EXPECT_TRUE(r.feed(track(T, constellation_gps, 0)).empty());
    const auto s = r.feed(track(T, constellation_gps, 9));
    ASSERT_EQ(s.size(), 3u + 3u);
    EXPECT_EQ(s[0], "$GPGSV,3,1,09,01,05,340,42,02,15,020,,03,25,060,42,04,35,100,");
    EXPECT_EQ(s[2], "$GPGSV,3,3,09,09,85,300,42,,,,,,,,,,,,");
    EXPECT_EQ(s[3], "$PQVTR,SATS,3,1,09,01,05,340,42,07,02,15,020,,07,03,25,060,42,07");
    EXPECT_EQ(s[5], "$PQVTR,SATS,3,3,09,07,65,220,42,07,08,75,260,,07,09,85,300,42,07");
    EXPECT_TRUE(r.feed(track(T, constellation_gps, 9)).empty());
    const auto gl = r.feed(track(T, constellation_glonass, 7));
    ASSERT_EQ(gl.size(), 2u + 3u);
    EXPECT_EQ(gl[4], "$PQVTR,SATS,3,3,07,07,65,220,42,07,,,,,,,,,,");
    EXPECT_EQ(gl[0].substr(0, 13), "$GLGSV,2,1,07");

    // An azimuth that rounds to a full turn is north; a satellite well below the horizon
    // has no elevation; an SNR that is not a number is empty.
    auto one = track(T + 1, constellation_gps, 1);
    one.sats[0].az = static_cast<float>(359.6 * deg);
    one.sats[0].el = static_cast<float>(-3.0 * deg);
    one.sats[0].freq[0].snr = static_cast<float>(nan_v);
    EXPECT_EQ(r.feed(one)[0], "$GPGSV,1,1,01,01,,000,,,,,,,,,,,,,");
}

TEST(SatelliteBuilders, Gst) {
    rig_t r([](output_cfg_t& c) { c.output_gst = true; });
    auto st = at<data_pr_stats_t>(T, &data_pr_stats_t::constellation, constellation_none,
                                  &data_pr_stats_t::range_stddev_rms_valid, true,
                                  &data_pr_stats_t::range_stddev_rms, 0.5f,
                                  &data_pr_stats_t::orientation, nan_v);
    EXPECT_EQ(r.feed(st), (std::vector<std::string>{"$GNGST,221320.00,0.5000,,,,,,"}));
    EXPECT_TRUE(r.feed(st).empty());
    st.constellation = constellation_galileo;
    st.orientation_valid = true; // NaN: an empty field, never "nan"
    st.altitude_stddev_valid = true;
    st.altitude_stddev = 1.25f;
    EXPECT_EQ(r.feed(st), (std::vector<std::string>{"$GAGST,221320.00,0.5000,,,,,,1.2500"}));
}

TEST(HeadingBuilders, HdtThsRotAndMovingBaseline) {
    rig_t r([](output_cfg_t& c) {
        c.output_hdt = c.output_ths = c.output_rot = c.output_hehdt = true;
        c.strict_nmea = true;
        c.force_talker = force_talker_in;
    });
    auto h = at<data_heading_t>(T, &data_heading_t::heading, -90.0 * deg);
    EXPECT_EQ(r.feed(h), (std::vector<std::string>{"$HDHDT,270.0,T", "$INTHS,270.000,A"}));
    EXPECT_TRUE(r.feed(h).empty());
    h.utc_tstamp = T + 1;
    h.heading = static_cast<float>(nan_v);
    EXPECT_EQ(r.feed(h), (std::vector<std::string>{"$HDHDT,,T", "$INTHS,,A"}));
    auto rot = at<data_rot_t>(T, &data_rot_t::rot, 0.01f);
    EXPECT_EQ(r.feed(rot), (std::vector<std::string>{"$INROT,34.38,A"}));
    rot.utc_tstamp = T + 1;
    rot.rot = static_cast<float>(nan_v);
    EXPECT_EQ(r.feed(rot), (std::vector<std::string>{"$INROT,,A"}));
    // The moving baseline's heading also lands in [0, 360) (more in the SentenceField cases).
    auto m = at<data_mbrtk_heading_t>(T, &data_mbrtk_heading_t::heading, -10.5f);
    EXPECT_EQ(r.feed(m), (std::vector<std::string>{"$HEHDT,349.50,T"}));
}

TEST(HeadingBuilders, Tss1WaitsForTheWholeMotionEpoch) {
    rig_t r([](output_cfg_t& c) { c.output_tss1 = true; });
    auto roll = at<data_roll_t>(T, &data_roll_t::roll, 1.5 * deg);
    auto pitch = at<data_pitch_t>(T, &data_pitch_t::pitch, -0.25 * deg);
    auto heave = at<data_heave_t>(T, &data_heave_t::heave, 0.12f);
    auto motion = at<data_motion_t>(T, &data_motion_t::status, tss1Msg_t::status_gps_aided,
                                    &data_motion_t::horizontal_acceleration, 0.383f,
                                    &data_motion_t::vertical_acceleration, -0.0625f);
    EXPECT_TRUE(r.feed_all(roll, pitch, heave).empty());
    EXPECT_EQ(r.feed(motion), (std::vector<std::string>{":0AFF9C  0012G 0150 -0025\r\n"}));
    EXPECT_TRUE(r.feed(roll).empty());
}

TEST(ProprietaryBuilders, NavqAndRxq) {
    rig_t r([](output_cfg_t& c) { c.output_pternr_navq = c.output_pternr_rxq = true; });
    auto detail = at<data_diff_detail_t>(T, &data_diff_detail_t::name, "SV,1*");
    auto fix = at<data_fix_type_t>(T);
    auto dual = at<data_dual_freq_t>(T);
    EXPECT_EQ(r.feed_all(detail, fix, dual),
              (std::vector<std::string>{"$PQVTR,NAVQ,221320.00,NN"}));
    for (auto* m : std::initializer_list<data_msg_t*>{&detail, &fix, &dual}) m->utc_tstamp = T + 1;
    fix.fix_valid = fix.fix_3d = true;
    dual.dual_freq = true;
    EXPECT_EQ(r.feed_all(fix, dual, detail),
              (std::vector<std::string>{"$PQVTR,NAVQ,221321.00,3D,SV_1_,DUAL"}));
    auto q = at<data_rxq_t>(43384.2); // 12:03:04.2
    q.value = 3.14159f;
    q.count1 = 7;
    q.count2 = 250;
    EXPECT_EQ(r.feed(q), (std::vector<std::string>{"$PQVTR,RXQ,120304,N,3.14,7,250"}));
    q.utc_tstamp = 86399.75; // 23:59:59.75: second 59, never 60
    q.flag = true;
    EXPECT_EQ(r.feed(q), (std::vector<std::string>{"$PQVTR,RXQ,235959,Y,3.14,7,250"}));
}

TEST(ProprietaryBuilders, Ttm) {
    rig_t r([](output_cfg_t& c) {
        c.output_ttm = true;
        c.ttm_cfg.target_num = 7;
        c.ttm_cfg.range_uses_vertical = false;
    });
    const struct {
        float n, e, u;
        const char* text;
    } rows[] = {{3, 4, 12, "$GPTTM,07,5.00,53.13,T,,,,,,,,,,,A"},
                {0, -1, 0, "$GPTTM,07,1.00,270.00,T,,,,,,,,,,,A"},
                {1, -0.00001f, 0, "$GPTTM,07,1.00,0.00,T,,,,,,,,,,,A"}};
    double t = T;
    for (const auto& row : rows) {
        auto b = at<data_mbrtk_baseline_t>(t += 1, &data_mbrtk_baseline_t::north, row.n,
                                           &data_mbrtk_baseline_t::east, row.e,
                                           &data_mbrtk_baseline_t::up, row.u);
        EXPECT_EQ(r.feed(b), (std::vector<std::string>{row.text}));
    }
}

namespace {

struct dp_rig_t : rig_t {
    explicit dp_rig_t(const std::function<void(dpgga_filter_cfg_t&)>& set)
        : rig_t([&](output_cfg_t& c) {
              c.output_dpgga = true;
              set(c.dpgga_cfg);
          }) {
        ob.dpggaBuilder()->filterStatusSignal().connect(
            [this](unsigned s) { signals.push_back(s); });
    }
    // A complete epoch; returns its sentences.
    std::vector<std::string> epoch(double t, bool fix3d = true, float hd = 0.9f, unsigned n = 8,
                                   float major = 0.6f, unsigned fix = 2) {
        auto ft = at<data_fix_type_t>(t, &data_fix_type_t::fix_valid, true,
                                      &data_fix_type_t::fix_3d, fix3d);
        auto st = at<data_pr_stats_t>(t, &data_pr_stats_t::semi_major_stddev_valid, true,
                                      &data_pr_stats_t::semi_minor_stddev_valid, true,
                                      &data_pr_stats_t::semi_major_stddev, major,
                                      &data_pr_stats_t::semi_minor_stddev, 0.8f);
        auto d = diff(t, 1100);
        d.age = -1.0f;
        return feed_all(d, pos(t), mode(t, fix), ft, hdop(t, hd), height(t), count(t, n), st);
    }
    std::vector<unsigned> signals;
};

} // namespace

TEST(FilteredGga, WithoutTheFilterAlwaysSent) {
    dp_rig_t r([](dpgga_filter_cfg_t& f) {
        f.prefix = dpgga_prefix_in;
        f.station_id_limit = true;
    });
    EXPECT_EQ(r.epoch(T, false, 99.0f, 1),
              (std::vector<std::string>{"$INGGA,221320.00,5957.000000,N,00506.000000,E,2,01,99.0,"
                                        "12.500,M,41.300,M,0.0,0076"}));
    EXPECT_TRUE(r.signals.empty());
    dp_rig_t m([](dpgga_filter_cfg_t& f) { f.fix_mode_max = true; });
    const auto s = m.epoch(T, true, 1.0f, 8, 0.6f, 0);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].substr(0, 7), "$DPGGA,");
    EXPECT_EQ(s[0].substr(s[0].size() - 36), ",2,08,1.0,12.500,M,41.300,M,0.0,1100");
}

TEST(FilteredGga, StatusBitsSignalAndThe3DHold) {
    dp_rig_t r([](dpgga_filter_cfg_t& f) { f.filter_enable = true; });
    EXPECT_TRUE(r.epoch(T, true, 6.0f, 4).empty());
    EXPECT_EQ(r.ob.dpggaBuilder()->filterStatus(), 18u);
    EXPECT_TRUE(r.epoch(T + 1, true, 6.0f, 4).empty());
    EXPECT_EQ(r.signals, (std::vector<unsigned>{18}));
    EXPECT_TRUE(r.epoch(T + 2, true, static_cast<float>(nan_v), 8, 1.5f).empty());
    EXPECT_EQ(r.ob.dpggaBuilder()->filterStatus(), 16u + 8u) << "NaN fails, error 1.7 > 1.5";
    EXPECT_EQ(r.epoch(T + 3).size(), 1u) << "no 2D fix seen yet: the hold does not block";
    EXPECT_TRUE(r.epoch(1000.0, false).empty());
    EXPECT_EQ(r.ob.dpggaBuilder()->filterStatus(), 4u);
    EXPECT_TRUE(r.epoch(1299.0).empty());
    EXPECT_EQ(r.epoch(1300.0).size(), 1u);
    EXPECT_EQ(r.signals, (std::vector<unsigned>{18, 24, 0, 4, 0}));
    r.ob.resetState();
    EXPECT_EQ(r.ob.dpggaBuilder()->filterStatus(), 0u);
    EXPECT_EQ(r.signals.size(), 5u);
}

TEST(Builders, AnEmptyCacheGivesDefinedText) {
    const outputDataCache_t cache;
    ggaBuilder_t gga;
    rmcBuilder_t rmc;
    dtmBuilder_t dtm;
    gstBuilder_t gst;
    pqvtrRxqBuilder_t rxq;
    ttmBuilder_t ttm;
    tss1Builder_t tss1;
    const struct {
        messageBuilder_t* b;
        const char* text;
    } rows[] = {
        {&gga, "$GPGGA,000000.00,,,,,0,00,,,M,,M,,"},
        {&rmc, "$GPRMC,000000.00,V,,,,,,,010170,,,N"},
        {&dtm, "$GPDTM,,,,,,,,"},
        {&gst, "$GPGST,000000.00,,,,,,,"},
        {&rxq, "$PQVTR,RXQ,000000,N,0.00,0,0"},
        {&ttm, "$GPTTM,00,0.00,90.00,T,,,,,,,,,,,A"},
        {&tss1, ":000000  0000u 0000  0000\r\n"},
    };
    for (const auto& r : rows) {
        std::ostringstream os;
        r.b->buildContents(cache, os);
        EXPECT_EQ(os.str(), r.text);
        std::vector<cmd_device_write_t*> out;
        r.b->build(cache, out);
        EXPECT_TRUE(out.empty()) << r.text << ": nothing is due from slots never filled";
    }
}

TEST(Builders, ValuesThatAreNotNumbersLeaveEmptyFields) {
    rig_t r(
        [](output_cfg_t& c) { c.output_gga = c.output_rmc = c.output_vtg = c.output_ttm = true; });
    auto h = height(T);
    h.geoidal_height = nan_v;
    auto cog = at<data_cog_t>(T);
    auto sog = at<data_sog_t>(T);
    cog.cog_valid = sog.sog_valid = true;
    cog.cog = static_cast<float>(nan_v);
    sog.sog = std::numeric_limits<float>::infinity();
    auto d = diff(T);
    d.age = static_cast<float>(nan_v);
    auto base = at<data_mbrtk_baseline_t>(T, &data_mbrtk_baseline_t::north, nan_v);
    const auto s = r.feed_all(cog, sog, pos(T, nan_v, 5.1), mode(T, 2),
                              hdop(T, static_cast<float>(nan_v)), h, d, count(T, 4), base);
    // The fix mode completes RMC and VTG: RMC comes first in the builder list.
    EXPECT_EQ(s, (std::vector<std::string>{"$GPRMC,221320.00,V,,,00506.000000,E,,,141123,,,D",
                                           "$GPVTG,,T,,M,,N,,K,D",
                                           "$GPGGA,221320.00,,,00506.000000,E,2,04,,,M,,M,,0012",
                                           "$GPTTM,00,,,T,,,,,,,,,,,A"}));
}

// ---- What a plotter or an autopilot trusts

TEST(PositionBuilders, StatusIsVoidWhenTheFixModeSaysNoFix) {
    auto cog = at<data_cog_t>(T);
    auto sog = at<data_sog_t>(T);
    rig_t r([](output_cfg_t& c) { c.output_gll = c.output_rmc = true; });
    EXPECT_EQ(
        r.feed_all(cog, sog, pos(T), mode(T, 0)),
        (std::vector<std::string>{"$GPGLL,5957.000000,N,00506.000000,E,221320.00,V,N",
                                  "$GPRMC,221320.00,V,5957.000000,N,00506.000000,E,,,141123,,,N"}));
    // 2.1 sends on the position: the epoch's fix mode when it came first, else one of the
    // epoch before (at most 2 s older).
    rig_t v21([](output_cfg_t& c) {
        c.output_gll = true;
        c.nmea_version = nmea_version_2_1;
    });
    const char* const gll = "$GPGLL,5957.000000,N,00506.000000,E,2213";
    EXPECT_EQ(v21.feed_all(mode(T, 0), pos(T))[0], gll + std::string("20.00,V"));
    EXPECT_EQ(v21.feed_all(pos(T + 1), mode(T + 1, 1))[0], gll + std::string("21.00,V"));
    EXPECT_EQ(v21.feed_all(pos(T + 2))[0], gll + std::string("22.00,A"));
    EXPECT_EQ(v21.feed_all(mode(T + 3, 0), pos(T + 6))[0], gll + std::string("26.00,A"));
}

// Every satellite-use message of an epoch gives its GSA once, in every order of the epoch.
TEST(SatelliteBuilders, GsaInEveryOrderOfTheEpoch) {
    const auto gps = use(T, constellation_gps, {2, 5});
    const auto glo = use(T, constellation_glonass, {66, 67});
    const auto hd = hdop(T, 0.9f);
    const auto pv =
        at<data_pv_dop_t>(T, &data_pv_dop_t::pdop_valid, true, &data_pv_dop_t::pdop, 1.7f);
    const auto fix = at<data_fix_type_t>(T, &data_fix_type_t::fix_valid, true);
    std::vector<const data_msg_t*> epoch = {&fix, &glo, &gps, &hd, &pv};
    std::sort(epoch.begin(), epoch.end());
    do {
        rig_t r([](output_cfg_t& c) { c.output_gsa = true; });
        std::vector<std::string> s;
        for (const data_msg_t* m : epoch)
            for (auto& one : r.feed(*m)) s.push_back(one);
        for (const data_msg_t* m : std::vector<const data_msg_t*>{&gps, &glo, &hd})
            EXPECT_TRUE(r.feed(*m).empty()) << "a second copy adds nothing";
        std::sort(s.begin(), s.end());
        EXPECT_EQ(s, (std::vector<std::string>{"$GLGSA,M,2,66,67,,,,,,,,,,,1.7,0.9,",
                                               "$GPGSA,M,2,02,05,,,,,,,,,,,1.7,0.9,"}));
    } while (std::next_permutation(epoch.begin(), epoch.end()));
}

TEST(FilteredGga, The3DHoldAtSmallTimesAndWithAClockSetBack) {
    dp_rig_t r([](dpgga_filter_cfg_t& f) { f.filter_enable = true; });
    EXPECT_EQ(r.epoch(100.0).size(), 1u) << "a clock near 0, no non-3D fix seen: no hold";
    EXPECT_TRUE(r.epoch(1000.0, false).empty());
    EXPECT_EQ(r.epoch(1300.0).size(), 1u);
    EXPECT_TRUE(r.epoch(50.0).empty()) << "set back before the last 2D fix: the hold restarts";
    EXPECT_EQ(r.epoch(350.0).size(), 1u) << "rather than last until the clock reaches 1300";
}

namespace {
class SentenceField : public testing::TestWithParam<tern_test::case_t> {};
} // namespace

// One epoch carries the case's value in every angle, age, height and text of its messages.
TEST_P(SentenceField, IsWrittenAsExpected) {
    const auto& c = GetParam().cols; // sentence address, field number, value, written
    ASSERT_EQ(c.size(), 4u);
    const double v = std::strtod(c[2].c_str(), nullptr);
    rig_t r([](output_cfg_t& o) {
        o.output_gga = o.output_rmc = o.output_vtg = o.output_hdt = o.output_ths = true;
        o.output_hehdt = o.output_rot = o.output_dpgga = o.output_gst = o.output_dtm = true;
        o.output_pternr_navq = true;
    });
    auto d = diff(T);
    d.age = static_cast<float>(v);
    auto h = height(T);
    h.geoidal_height = v;
    const auto s =
        r.feed_all(pos(T), mode(T, 2), at<data_fix_type_t>(T, &data_fix_type_t::fix_valid, true),
                   hdop(T, 1.0f), h, d, count(T, 8), at<data_sog_t>(T),
                   at<data_pr_stats_t>(T, &data_pr_stats_t::orientation_valid, true,
                                       &data_pr_stats_t::orientation, v * deg),
                   at<data_cog_t>(T, &data_cog_t::cog_valid, true, &data_cog_t::cog, v * deg),
                   at<data_heading_t>(T, &data_heading_t::heading, v * deg),
                   at<data_mbrtk_heading_t>(T, &data_mbrtk_heading_t::heading, v),
                   at<data_rot_t>(T, &data_rot_t::rot, v * deg / 60.0), at<data_dual_freq_t>(T),
                   at<data_datum_t>(T, &data_datum_t::mask, data_datum_t::datum_all,
                                    &data_datum_t::localDatumSubdivision, c[2]),
                   at<data_diff_detail_t>(T, &data_diff_detail_t::name, c[2]));
    const auto it = std::find_if(s.begin(), s.end(), [&](const std::string& one) {
        return one.compare(0, c[0].size() + 1, c[0] + ",") == 0;
    });
    ASSERT_NE(it, s.end()) << c[0];
    std::vector<std::string> fields;
    std::istringstream in(*it);
    for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
    ASSERT_LT(std::stoul(c[1]), fields.size()) << *it;
    EXPECT_EQ(fields[std::stoul(c[1])], c[3]) << *it;
}

TERN_CASES(Output, SentenceField, "output/fields.txt");

// ---- The output builder: builder order, the signal, raw feedback, raw pass-through without a
// copy, resets, and what must never reach the wire.
namespace {

struct list_t {
    outputBuilder_t::msgList_t msgs;
    ~list_t() {
        for (msg_t* m : msgs) delete m;
    }
    // Sentences and feedback in order: "S:<text>", "A<kind>:<text>", "B<kind>:<count>".
    std::vector<std::string> take() {
        std::vector<std::string> v;
        for (msg_t* m : msgs) {
            if (auto* c = dynamic_cast<cmd_device_write_t*>(m))
                v.push_back("S:" + std::string(reinterpret_cast<const char*>(c->write_data()),
                                               c->write_len()));
            else if (auto* a = dynamic_cast<fb_raw_ascii_t*>(m))
                v.push_back("A" + std::to_string(a->raw_type) + ":" + a->text);
            else if (auto* b = dynamic_cast<fb_raw_binary_t*>(m))
                v.push_back("B" + std::to_string(b->raw_type) + ":" + std::to_string(b->count));
            delete m;
        }
        msgs.clear();
        return v;
    }
};

} // namespace

TEST(OutputBuilder, BuildersRunInTheirOrderAndFeedbackFollowsEachSentence) {
    rig_t r([](output_cfg_t& c) { c.output_hdt = c.output_ths = c.output_zda = true; });
    outputBuilder_t& ob = r.ob;
    rawMsgSet_t fb;
    fb.insert(raw_hdt);
    fb.insert(raw_zda);
    ob.setRawFbSet(fb);
    std::vector<std::size_t> seen; // the list's size when the signal fires
    ob.messageGeneratedSignal().connect(
        [&](const cmd_device_write_t&, outputBuilder_t::msgList_t& l) {
            seen.push_back(l.size());
        });
    list_t out;
    ob.handleDataMessage(at<data_heading_t>(T), out.msgs);
    EXPECT_EQ(out.take(),
              (std::vector<std::string>{"S:$HDHDT,0.000,T*2E\r\n", "A7:$HDHDT,0.000,T*2E\r\n",
                                        "S:$GPTHS,0.000,A*37\r\n",
                                        "S:$GPZDA,221320.00,14,11,2023,00,00*60\r\n",
                                        "A13:$GPZDA,221320.00,14,11,2023,00,00*60\r\n"}));
    EXPECT_EQ(seen, (std::vector<std::size_t>{0, 2, 3}));
}

TEST(OutputBuilder, GpsPortChangeResetsOtherChangesKeepState) {
    rig_t r([](output_cfg_t& c) { c.output_hdt = true; });
    outputBuilder_t& ob = r.ob;
    output_cfg_t c = ob.config();
    EXPECT_EQ(r.feed(at<data_heading_t>(T)).size(), 1u);
    list_t out;
    c.strict_nmea = true;
    ob.setConfig(c);
    ob.handleDataMessage(at<data_heading_t>(T), out.msgs);
    EXPECT_TRUE(out.take().empty()) << "same stamp, state kept";
    c.gps_port = 3;
    ob.setConfig(c);
    EXPECT_EQ(ob.cache().heading().utc_tstamp, 0.0);
    ob.handleDataMessage(at<data_heading_t>(T), out.msgs);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"S:$HDHDT,0.0,T*2E\r\n"}));
}

TEST(OutputBuilder, RawDataSharesTheBufferOnlyForItsFlag) {
    outputBuilder_t ob;
    output_cfg_t c;
    // The first and last receiver kinds, one between and RTCM, the others off.
    c.output_raw_lumo_ephem = c.output_raw_orsk_meas = c.output_raw_ternquill_pvt = true;
    c.output_rtcm = true;
    ob.setConfig(c);
    ob.setRawFbSet(rawMsgSet_t(true));
    const struct {
        rawMsgType_t type;
        bool passed;
    } rows[] = {{raw_lumo_ephem, true},    {raw_orsk_meas, true},
                {raw_ternquill_pvt, true}, {raw_rtcm, true},
                {raw_orsk_pvt, false},     {raw_pternr_sats, false},
                {raw_tss1, false},         {static_cast<rawMsgType_t>(42), false}};
    for (const auto& r : rows) {
        data_device_raw_t raw(r.type, "\xB5\x62\x01", 3);
        list_t out;
        ob.handleDataMessage(raw, out.msgs);
        if (!r.passed) {
            EXPECT_TRUE(out.msgs.empty()) << int(r.type);
            continue;
        }
        ASSERT_EQ(out.msgs.size(), 2u);
        auto* cmd = dynamic_cast<cmd_device_write_t*>(out.msgs.front());
        ASSERT_NE(cmd, nullptr);
        EXPECT_EQ(cmd->ext_buf(), raw.buf()) << "no copy";
        EXPECT_EQ(raw.buf()->ref_cnt(), 2);
        EXPECT_EQ(cmd->write_len(), 3u);
        EXPECT_EQ(out.take()[1], "B" + std::to_string(r.type) + ":3");
        EXPECT_EQ(raw.buf()->ref_cnt(), 1);
    }
    data_device_raw_t empty(raw_rtcm, "", 0);
    list_t out;
    ob.handleDataMessage(empty, out.msgs);
    EXPECT_TRUE(out.msgs.empty());
    EXPECT_EQ(ob.cache().lastMessageType(), 0u) << "raw data never reaches the cache";
}

TEST(OutputBuilder, NoSentenceFromAStampThatIsNotATime) {
    rig_t r([](output_cfg_t& c) { c.output_hdt = c.output_zda = c.output_rmc = true; });
    for (double t : {nan_v, std::numeric_limits<double>::infinity()})
        EXPECT_TRUE(r.feed_all(at<data_heading_t>(t), at<data_pos_t>(t)).empty());
}

TEST(OutputBuilder, ASentenceThatDoesNotFitIsDroppedWhole) {
    rig_t r([](output_cfg_t& c) { c.output_dtm = true; });
    list_t out;
    data_datum_t d;
    d.utc_tstamp = T;
    d.mask = data_datum_t::datum_local_subdivision;
    d.localDatumSubdivision.assign(1006, 'x'); // 1020 bytes of body: the tail no longer fits
    EXPECT_TRUE(r.feed(d).empty());
    d.utc_tstamp = T + 1;
    d.localDatumSubdivision.assign(1005, 'x'); // exactly 1024 with its tail
    r.ob.handleDataMessage(d, out.msgs);
    const auto s = out.take();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].size(), 2u + 1024u);
    EXPECT_EQ(s[0].substr(s[0].size() - 5), "*32\r\n");
    EXPECT_EQ(s[0].substr(s[0].size() - 12, 7), "x,,,,,,");
}
