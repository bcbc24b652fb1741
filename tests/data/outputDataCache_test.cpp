#include <tern/data/outputDataCache.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

using namespace tern;

namespace {

data_sat_use_t sat_use(constellation_t c, double t, std::vector<unsigned char> sats) {
    data_sat_use_t m;
    m.constellation = c;
    m.utc_tstamp = t;
    m.sats = std::move(sats);
    return m;
}

std::vector<unsigned int> listed(const satNumberSet_t& s) {
    return std::vector<unsigned int>(s.begin(), s.end());
}

data_qc_mde_t mde(double t, float lat, float lon, float alt) {
    data_qc_mde_t m;
    m.utc_tstamp = t;
    m.pmde_lat = lat;
    m.pmde_long = lon;
    m.pmde_altitude = alt;
    return m;
}

} // namespace

// Every kind reaches its own slot through add(msg_t): one row per kind, each stamped apart.
TEST(OutputDataCache, EveryKindLandsInItsOwnSlot) {
    using get_t = std::function<double(const outputDataCache_t&)>;
    struct row_t {
        std::shared_ptr<data_msg_t> msg;
        get_t stamp;
    };
    auto row = [](data_msg_t* m, get_t g) { return row_t{std::shared_ptr<data_msg_t>(m), g}; };
#define ROW(T, acc) row(new T, [](const outputDataCache_t& c) { return c.acc().utc_tstamp; })
#define LAST(T, acc) row(new T, [](const outputDataCache_t& c) { return c.acc()->utc_tstamp; })
    const std::vector<row_t> rows = {
        ROW(data_pos_t, position),
        ROW(data_height_t, height),
        ROW(data_fix_mode_t, fixMode),
        ROW(data_fix_type_t, fixType),
        ROW(data_h_dop_t, hdop),
        ROW(data_pv_dop_t, pvdop),
        ROW(data_pr_stats_t, pseudorangeStats),
        ROW(data_sat_count_t, satCount),
        ROW(data_diff_t, diffInfo),
        ROW(data_diff_detail_t, diffDetail),
        ROW(data_dual_freq_t, dualFreq),
        ROW(data_ext_nav_mode_t, extendedNavMode),
        ROW(data_sog_t, speed),
        ROW(data_cog_t, course),
        ROW(data_heading_t, heading),
        ROW(data_mbrtk_heading_t, mbrtkHeading),
        ROW(data_mbrtk_baseline_t, mbrtkBaseline),
        ROW(data_fom_t, figureOfMerit),
        ROW(data_roll_t, roll),
        ROW(data_pitch_t, pitch),
        ROW(data_heave_t, heave),
        ROW(data_rot_t, rateOfTurn),
        ROW(data_motion_t, motion),
        ROW(data_depth_t, depth),
        ROW(data_datum_t, datum),
        ROW(data_rxq_t, rxq),
        LAST(data_sat_use_t, lastSatUse),
        LAST(data_sat_track_t, lastSatTrack),
        LAST(data_sat_health_t, lastSatHealth),
    };
#undef ROW
#undef LAST
    outputDataCache_t cache;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].msg->utc_tstamp = 100.0 + static_cast<double>(i);
        cache.add(static_cast<const msg_t&>(*rows[i].msg));
        EXPECT_EQ(cache.lastMessageType(), rows[i].msg->type);
    }
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].stamp(cache), 100.0 + static_cast<double>(i))
            << "type " << rows[i].msg->type;
    EXPECT_EQ(cache.lastTimestamp(), 100.0 + static_cast<double>(rows.size() - 1));
}

TEST(OutputDataCache, ClearForgetsSatellitesAndStampsButKeepsValues) {
    outputDataCache_t cache;
    data_pos_t pos;
    pos.utc_tstamp = 50.0;
    pos.latitude_valid = true;
    pos.latitude = 0.75;
    cache.add(pos);
    cache.add(sat_use(constellation_gps, 50.0, {3, 7}));
    data_gps2utc_t g;
    g.gps2utc.delta_t_ls = 18;
    cache.add(g);
    cache.add(mde(50.0, 3.0f, 0.0f, 0.0f));

    cache.clear();
    EXPECT_EQ(cache.lastSatUse(), nullptr);
    EXPECT_TRUE(cache.currentSatsUsed().empty());
    EXPECT_TRUE(cache.allSatUse().empty());
    EXPECT_EQ(cache.lastMessageType(), 0u);
    EXPECT_EQ(cache.lastTimestamp(), 0.0);
    EXPECT_FALSE(cache.gps2utcValid());
    EXPECT_EQ(cache.maxPosMdeTimestamp(), 0.0);
    EXPECT_EQ(cache.position().utc_tstamp, 0.0);
    EXPECT_TRUE(cache.position().latitude_valid);
    EXPECT_EQ(cache.position().latitude, 0.75);
}

TEST(OutputDataCache, SatellitesInUseJoinTheCurrentEpochOnly) {
    outputDataCache_t cache;
    cache.add(sat_use(constellation_galileo, 97.5, {180, 181}));
    cache.add(sat_use(constellation_beidou, 98.0, {140}));
    cache.add(sat_use(constellation_gps, 100.0, {12, 3}));
    cache.add(sat_use(constellation_glonass, 100.0, {70, 3}));
    ASSERT_NE(cache.lastSatUse(), nullptr);
    EXPECT_EQ(cache.lastSatUse()->constellation, constellation_glonass);
    // Galileo at 97.5 is outside [98.0, 100.0]; BeiDou at the edge is in.
    EXPECT_EQ(listed(cache.currentSatsUsed()), (std::vector<unsigned int>{3, 12, 70, 140}));

    // A later, smaller GPS list replaces the GPS entry and becomes the last.
    cache.add(sat_use(constellation_gps, 101.0, {5}));
    EXPECT_EQ(listed(cache.currentSatsUsed()), (std::vector<unsigned int>{3, 5, 70}));

    // A message naming no constellation is dropped.
    cache.add(sat_use(constellation_none, 200.0, {9}));
    cache.add(sat_use(static_cast<constellation_t>(77), 200.0, {9}));
    EXPECT_EQ(cache.lastSatUse()->constellation, constellation_gps);
    EXPECT_EQ(cache.allSatUse().size(), 4u);
    EXPECT_EQ(cache.lastTimestamp(), 101.0);
}

// Rows in order: what each message leaves as last type and last time stamp.
TEST(OutputDataCache, LastTimestampOnlyMovesForward) {
    outputDataCache_t cache;
    data_pos_t pos;
    data_rxq_t rxq;
    data_cog_t cog;
    data_gps2utc_t g2u; // stored aside: the last message is left alone
    g2u.gps2utc.delta_t_ls = 18;
    const struct {
        data_msg_t* msg;
        double t;
        unsigned type;
        double last;
    } rows[] = {
        {&pos, 10.0, data_type_pos, 10.0},  {&rxq, 99.0, data_type_rxq, 10.0},
        {&cog, 9.0, data_type_cog, 10.0},   {&cog, std::nan(""), data_type_cog, 10.0},
        {&g2u, 500.0, data_type_cog, 10.0}, {&cog, 10.5, data_type_cog, 10.5},
    };
    for (const auto& r : rows) {
        r.msg->utc_tstamp = r.t;
        cache.add(static_cast<const msg_t&>(*r.msg));
        EXPECT_EQ(cache.lastMessageType(), r.type) << r.t;
        EXPECT_EQ(cache.lastTimestamp(), r.last) << r.t;
    }
    EXPECT_TRUE(cache.gps2utcValid());
    EXPECT_EQ(cache.gps2utc(), g2u.gps2utc);
}

TEST(OutputDataCache, ProtectionValueKeepsTheLargerOfOneStamp) {
    outputDataCache_t cache;
    const struct {
        double t;
        float lat, lon, alt;
        double value, stamp;
    } rows[] = {
        {20.0, 3.0f, 0.0f, 0.0f, 3.0, 20.0},          // first
        {20.0, 0.0f, 2.0f, 0.0f, 3.0, 20.0},          // same stamp, smaller: kept
        {20.0, 0.0f, 0.0f, std::nanf(""), 3.0, 20.0}, // NaN: kept
        {19.0, 0.0f, 1.0f, 0.0f, 1.0, 19.0},          // older stamp: replaces
        {21.0, 2.0f, 3.0f, 6.0f, 7.0, 21.0},          // newer: replaces
        {21.0, 0.0f, 8.0f, 0.0f, 8.0, 21.0},          // same stamp, larger
    };
    for (const auto& r : rows) {
        cache.add(mde(r.t, r.lat, r.lon, r.alt));
        EXPECT_EQ(cache.maxPosMde(), r.value) << "at " << r.t;
        EXPECT_EQ(cache.maxPosMdeTimestamp(), r.stamp);
    }
}
