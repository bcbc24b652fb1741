// Devices, their descriptions and registry, port settings and port names; the navigation data
// caches: what is fresh on the data clock, what is held for the sentence builders, and the
// attitude samples behind peaks and averages; the table of correction satellites with the look
// angles to them.
#include <tern/data/allDeviceInfo.h>
#include <tern/data/attitudeCache.h>
#include <tern/data/corrSatSet.h>
#include <tern/data/data_cache.h>
#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>
#include <tern/data/outputDataCache.h>
#include <tern/data/port_cfg.h>
#include <tern/data/port_mgr.h>
#include <tern/msg/data_msgs.h>
#include <tern/util/time_util.h>

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include "support/cases.h"
#include "support/scratch.h"
#include "support/sphere.h"
#include "support/text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iomanip>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

using namespace tern;
using tern_test::case_t;

namespace {

// Restores the process's data-time offset, which a test moves.
class DataCache : public ::testing::Test {
protected:
    void TearDown() override { set_tstamp_data_diff(saved_diff_); }
    // A time stamp `age` seconds before now on the data clock.
    static double ago(double age) { return gettstamp_data() - age; }
    // Moves the data clock `age` seconds past the time of the test's start (t0), so ages are
    // set by the clock offset and only ever grow by the test's own run time.
    void at_age(double age) { set_tstamp_data_diff(saved_diff_ + age); }

    data_cache_t cache;
    double saved_diff_ = get_tstamp_data_diff();
    const double t0 = gettstamp_data();
};

// A protection-level record: latitude, longitude and altitude values at stamp t.
data_qc_mde_t mde(double t, float lat, float lon, float alt) {
    data_qc_mde_t m;
    m.utc_tstamp = t;
    m.pmde_lat = lat;
    m.pmde_long = lon;
    m.pmde_altitude = alt;
    return m;
}

// A getter's result as a double in v; v is left alone when the getter left its argument alone.
using read_t = std::function<bool(const data_cache_t&, double&)>;
template <class T>
read_t read(bool (data_cache_t::*get)(T&) const) {
    return [get](const data_cache_t& c, double& v) {
        const T before = static_cast<T>(77);
        T x = before;
        const bool ok = (c.*get)(x);
        if (ok || x != before) v = static_cast<double>(x);
        return ok;
    };
}

// Every getter with the value fill() below gives it, and whether it also needs a valid flag.
struct getter_t {
    const char* name;
    read_t read;
    double expected;
    bool flagged;
};
#define GET(fn) #fn, read(&data_cache_t::fn)
const getter_t getters[] = {
    // clang-format off
    {GET(get_latitude), 0.5, true}, {GET(get_longitude), -0.25, true},
    {GET(get_geoidal_height), 41.5, true}, {GET(get_ellipsoidal_height), 88.25, true},
    {GET(get_speed), 5.5, true}, {GET(get_course), 1.5, true}, {GET(get_hdop), 0.75, true},
    {GET(get_pdop), 2.5, true}, {GET(get_vdop), 1.75, true}, {GET(get_num_sats_used), 11, false},
    {GET(get_num_sats_tracked), 3, false}, {GET(get_fom), 0.125, true},
    {GET(get_roll), -3.0, false}, {GET(get_pitch), 4.0, false}, {GET(get_heave), -0.5, false},
    {GET(get_rot), 0.0625, false}, {GET(get_heading), 2.25, false}, {GET(get_depth), 120.5, false},
    {GET(get_diff_age), 6.0, true}, {GET(get_max_mde_pos), 13.0, false},
    {GET(get_raim_reject_count), 1, false}, {GET(get_horiz_accel), 0.25, false},
    {GET(get_vert_accel), -1.5, false}, {GET(get_motion_status), 3, false},
    {GET(get_dual_freq), 1, false}, {"fix_type", [](const data_cache_t& c, double& v) {
         return c.fix_type() && (v = 1) != 0; }, 1, false},
    {"qc_summary", [](const data_cache_t& c, double& v) {
         return c.qc_summary() && (v = c.qc_summary()->unit_variance) != 0; }, 0.5, false},
    {"get_diff_detail_name", [](const data_cache_t& c, double& v) {
         std::string s = "keep";
         const bool ok = c.get_diff_detail_name(s);
         if (s != "keep") v = s == "TKS-G2" ? 1 : -1;
         return ok; }, 1, false},
    // clang-format on
};
#undef GET

// One of every held kind, all stamped `t`, carrying the values the table expects and every
// valid flag set to `valid`; added as plain messages so that the dispatch by type is exercised.
void fill(data_cache_t& c, double t, bool valid = true) {
    // clang-format off
    data_pos_t pos;      pos.latitude_valid = pos.longitude_valid = valid;
                         pos.latitude = 0.5; pos.longitude = -0.25;
    data_height_t h;     h.geoidal_height_valid = h.ellipsoidal_height_valid = valid;
                         h.geoidal_height = 41.5; h.ellipsoidal_height = 88.25;
    data_sog_t sog;      sog.sog_valid = valid; sog.sog = 5.5f;
    data_cog_t cog;      cog.cog_valid = valid; cog.cog = 1.5f;
    data_h_dop_t hdop;   hdop.hdop_valid = valid; hdop.hdop = 0.75f;
    data_pv_dop_t pv;    pv.pdop_valid = pv.vdop_valid = valid; pv.pdop = 2.5f; pv.vdop = 1.75f;
    data_sat_count_t count;  count.num_sats = 11;
    data_sat_track_t track;  track.constellation = constellation_galileo; track.sats.resize(3);
    data_fom_t fom;      fom.fom_valid = valid; fom.fom = 0.125f;
    data_roll_t roll;    roll.roll = -3.0f;
    data_pitch_t pitch;  pitch.pitch = 4.0f;
    data_heave_t heave;  heave.heave = -0.5f;
    data_rot_t rot;      rot.rot = 0.0625f;
    data_heading_t heading;  heading.heading = 2.25f;
    data_depth_t depth;  depth.depth = 120.5;
    data_diff_t diff;    diff.age_valid = valid; diff.age = 6.0f;
    data_qc_mde_t mde;   mde.pmde_lat = 3.0f; mde.pmde_long = 4.0f; mde.pmde_altitude = 12.0f;
    data_qc_gbs_t gbs;   // probability 0: one rejection
    data_motion_t motion;    motion.status = tss1Msg_t::status_gps_aided;
                         motion.horizontal_acceleration = 0.25f; motion.vertical_acceleration = -1.5f;
    data_dual_freq_t dual;   dual.dual_freq = true;
    data_diff_detail_t detail;  detail.name = "TKS-G2";
    data_fix_type_t fix; fix.fix_3d = true;
    data_qc_t qc;        qc.unit_variance = 0.5f;
    data_msg_t* all[] = {&pos, &h, &sog, &cog, &hdop, &pv, &count, &track, &fom, &roll, &pitch,
                         &heave, &rot, &heading, &depth, &diff, &mde, &gbs, &motion, &dual,
                         &detail, &fix, &qc};
    // clang-format on
    for (data_msg_t* m : all) {
        m->utc_tstamp = t;
        c.add(static_cast<const msg_t&>(*m));
    }
}

// Reads every getter; `gives(getter)` says which must succeed.
void expect_getters(const data_cache_t& c, const std::function<bool(const getter_t&)>& gives,
                    const char* when) {
    for (const getter_t& g : getters) {
        double v = -77.0;
        const bool ok = g.read(c, v);
        EXPECT_EQ(ok, gives(g)) << g.name << " " << when;
        EXPECT_EQ(v, ok ? g.expected : -77.0) << g.name << " " << when;
    }
}

const auto none = [](const getter_t&) { return false; };
const auto all = [](const getter_t&) { return true; };

TEST_F(DataCache, EveryGetterUnderTheFreshnessWindow) {
    expect_getters(cache, none, "new");
    fill(cache, t0);
    at_age(1.0);
    expect_getters(cache, all, "at 1.0 s");
    // At 2.0 s everything is refused but the tracked satellites, which keep 5.0 s.
    at_age(2.0);
    expect_getters(
        cache, [](const getter_t& g) { return g.name == std::string("get_num_sats_tracked"); },
        "at 2.0 s");
    at_age(5.0);
    expect_getters(cache, none, "at 5.0 s");
    at_age(0.0);
    cache.reset();
    expect_getters(cache, none, "after reset");
}

// A NaN age compares false both ways: it must read as stale, not as fresh.
TEST_F(DataCache, NothingIsFreshWithANaNStamp) {
    fill(cache, std::nan(""));
    expect_getters(cache, none, "NaN stamps");
}

TEST_F(DataCache, FreshMessageWithoutValidFlagGivesNoValue) {
    fill(cache, ago(0.5), false);
    expect_getters(
        cache, [](const getter_t& g) { return !g.flagged; }, "flags off");
}

TEST_F(DataCache, TrackedSatellitesSumOnlyFreshSlots) {
    auto track = [&](unsigned c, double age, unsigned n) {
        data_sat_track_t t;
        t.constellation = static_cast<constellation_t>(c);
        t.utc_tstamp = t0 - age;
        t.sats.resize(n);
        cache.add(t);
        unsigned int sum = 0;
        return cache.get_num_sats_tracked(sum) ? static_cast<int>(sum) : -1;
    };
    EXPECT_EQ(track(constellation_gps, 3.0, 8), 8);
    EXPECT_EQ(track(constellation_glonass, 6.0, 7), 8);
    EXPECT_EQ(track(constellation_beidou, 4.0, 5), 13);
    EXPECT_EQ(track(constellation_none, 0.0, 40), 13); // names no slot: dropped
    EXPECT_EQ(track(200, 0.0, 40), 13);
    EXPECT_EQ(track(constellation_gps, 5.0, 8), 5);
}

TEST_F(DataCache, ProtectionValueKeepsTheEpochMaximum) {
    const double t = ago(0.5);
    auto max_after = [&](double stamp, float lat, float lon, float alt) {
        cache.add(mde(stamp, lat, lon, alt));
        double v = -1.0;
        cache.get_max_mde_pos(v);
        return v;
    };
    EXPECT_TRUE(std::isnan(max_after(t, std::nanf(""), 0, 0))); // a NaN first ...
    EXPECT_EQ(max_after(t, 3, 4, 12), 13.0);                    // ... does not hide real values
    EXPECT_EQ(max_after(t, 0, 5, 0), 13.0);                     // same epoch, smaller
    EXPECT_EQ(max_after(t - 0.1, 30, 0, 0), 13.0);              // older epoch
    EXPECT_EQ(max_after(std::nan(""), 40, 0, 0), 13.0);         // no epoch at all
    EXPECT_EQ(max_after(HUGE_VAL, 50, 0, 0), 13.0);             // nor an infinite one
    EXPECT_EQ(max_after(t + 0.1, 0, 0, 2), 2.0);                // newer epoch, smaller
    EXPECT_EQ(max_after(t + 0.1, 0, 6, 8), 10.0);               // same epoch, larger
}

TEST_F(DataCache, FaultDetectionCountsRecordsWithoutPositiveProbability) {
    const double t = ago(0.5);
    auto gbs = [&](double stamp, float p) {
        data_qc_gbs_t g;
        g.utc_tstamp = stamp;
        g.prob_miss_detect_mlfs = p;
        cache.add(g);
        unsigned int n = 999;
        cache.get_raim_reject_count(n);
        return n;
    };
    const float probs[] = {0.0f, 0.5f, 0.0f, -1.0f, std::nanf("")};
    const unsigned counts[] = {1, 1, 2, 3, 4};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(gbs(t, probs[i]), counts[i]) << i;
    EXPECT_EQ(gbs(t - 1.0, 0.0f), 4u);      // older epoch ignored
    EXPECT_EQ(gbs(std::nan(""), 0.0f), 4u); // no epoch at all
    EXPECT_EQ(gbs(HUGE_VAL, 0.0f), 4u);     // an infinite stamp would shut out later epochs
    EXPECT_EQ(gbs(t + 0.2, 0.0f), 1u);      // next epoch restarts
}

TEST_F(DataCache, IgnoresOtherCategoriesNullsAndMislabelledMessages) {
    msg_t fb(msg_t::category_fb, data_type_pos);
    data_msg_t bare(data_type_pos); // a bare header claiming to be a position
    bare.utc_tstamp = ago(0.0);
    data_pos_t pos;
    pos.utc_tstamp = ago(0.0);
    pos.latitude_valid = true;
    pos.latitude = 0.25;
    cache.add(std::list<msg_t*>{&pos, &fb, nullptr, &bare}); // neither may replace pos
    double v = 0.0;
    ASSERT_TRUE(cache.get_latitude(v));
    EXPECT_EQ(v, 0.25);
}

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

// Every kind reaches its own slot through add(msg_t): each stamped apart, all read back at the end.
// clang-format off
#define KINDS(X, Y)                                                                                \
    X(data_pos_t, position) X(data_height_t, height) X(data_fix_mode_t, fixMode)                  \
    X(data_fix_type_t, fixType) X(data_h_dop_t, hdop) X(data_pv_dop_t, pvdop)                      \
    X(data_pr_stats_t, pseudorangeStats) X(data_sat_count_t, satCount) X(data_diff_t, diffInfo)    \
    X(data_diff_detail_t, diffDetail) X(data_dual_freq_t, dualFreq)                                \
    X(data_ext_nav_mode_t, extendedNavMode) X(data_sog_t, speed) X(data_cog_t, course)             \
    X(data_heading_t, heading) X(data_mbrtk_heading_t, mbrtkHeading)                               \
    X(data_mbrtk_baseline_t, mbrtkBaseline) X(data_fom_t, figureOfMerit) X(data_roll_t, roll)      \
    X(data_pitch_t, pitch) X(data_heave_t, heave) X(data_rot_t, rateOfTurn)                        \
    X(data_motion_t, motion) X(data_depth_t, depth) X(data_datum_t, datum) X(data_rxq_t, rxq)      \
    Y(data_sat_use_t, lastSatUse) Y(data_sat_track_t, lastSatTrack) Y(data_sat_health_t, lastSatHealth)
// clang-format on
TEST(OutputDataCache, EveryKindLandsInItsOwnSlot) {
    outputDataCache_t cache;
    double t = 100.0;
#define ADD(T, acc)                                                                                \
    {                                                                                              \
        T m;                                                                                       \
        m.utc_tstamp = ++t;                                                                        \
        cache.add(static_cast<const msg_t&>(m));                                                   \
        EXPECT_EQ(cache.lastMessageType(), m.type) << #T;                                          \
    }
    KINDS(ADD, ADD)
    EXPECT_EQ(cache.lastTimestamp(), t);
    t = 100.0;
#define STAMP(T, acc) EXPECT_EQ(cache.acc().utc_tstamp, ++t) << #T;
#define LAST(T, acc) EXPECT_EQ(cache.acc()->utc_tstamp, ++t) << #T;
    KINDS(STAMP, LAST)
#undef ADD
#undef STAMP
#undef LAST
}
#undef KINDS

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

// In order: what each message leaves as last type and last time stamp.
TEST(OutputDataCache, LastTimestampOnlyMovesForward) {
    outputDataCache_t cache;
    const auto after = [&cache](auto m, double t) {
        m.utc_tstamp = t;
        cache.add(static_cast<const msg_t&>(m));
        return std::make_pair(cache.lastMessageType(), cache.lastTimestamp());
    };
    using last_t = std::pair<unsigned int, double>;
    data_gps2utc_t g2u; // stored aside: the last message is left alone
    g2u.gps2utc.delta_t_ls = 18;
    EXPECT_EQ(after(data_pos_t(), 10.0), last_t(data_type_pos, 10.0));
    EXPECT_EQ(after(data_rxq_t(), 99.0), last_t(data_type_rxq, 10.0));
    EXPECT_EQ(after(data_cog_t(), 9.0), last_t(data_type_cog, 10.0));
    EXPECT_EQ(after(data_cog_t(), std::nan("")), last_t(data_type_cog, 10.0));
    EXPECT_EQ(after(g2u, 500.0), last_t(data_type_cog, 10.0));
    EXPECT_EQ(after(data_cog_t(), 10.5), last_t(data_type_cog, 10.5));
    EXPECT_TRUE(cache.gps2utcValid());
    EXPECT_EQ(cache.gps2utc(), g2u.gps2utc);
}

// Rows: stamp, three values, the value then kept (its stamp always the row's). In order: the
// first; same stamp, smaller: kept; NaN: kept; older stamp: replaces; newer; same stamp, larger.
TEST(OutputDataCache, ProtectionValueKeepsTheLargerOfOneStamp) {
    outputDataCache_t cache;
    const float n = std::nanf("");
    const float rows[][5] = {{20, 3, 0, 0, 3}, {20, 0, 2, 0, 3}, {20, 0, 0, n, 3},
                             {19, 0, 1, 0, 1}, {21, 2, 3, 6, 7}, {21, 0, 8, 0, 8}};
    for (const auto& r : rows) {
        cache.add(mde(r[0], r[1], r[2], r[3]));
        EXPECT_EQ(cache.maxPosMde(), r[4]) << "at " << r[0];
        EXPECT_EQ(cache.maxPosMdeTimestamp(), r[0]);
    }
}

// The reported messages as "type:stamp:value" lines, then freed.
std::string take(std::list<msg_t*>& out) {
    std::ostringstream os;
    for (msg_t* m : out) {
        os << m->type << ':' << static_cast<data_msg_t*>(m)->utc_tstamp << ':';
        if (auto* r = dynamic_cast<data_roll_t*>(m)) os << r->roll;
        if (auto* p = dynamic_cast<data_pitch_t*>(m)) os << p->pitch;
        if (auto* h = dynamic_cast<data_heave_t*>(m)) os << h->heave;
        os << '\n';
        delete m;
    }
    out.clear();
    return os.str();
}

template <class T>
T* stamped(T* m, double t) {
    m->utc_tstamp = t;
    return m;
}

TEST(AttitudeParamCache, TrimPeakAndAverage) {
    attitudeParamCache_t c;
    EXPECT_EQ(c.peak(), nullptr);
    EXPECT_EQ(c.average(), 0.0);
    const double inf = HUGE_VAL;
    // Samples without a finite time or value are never stored: an infinite stamp at the front
    // would stop every trim, an infinite value would swamp the average.
    for (const auto& bad :
         {std::make_pair(1.0, std::nan("")), std::make_pair(std::nan(""), 50.0),
          std::make_pair(inf, 2.0), std::make_pair(-inf, 2.0), std::make_pair(1.0, inf)})
        c.add(bad.first, bad.second);
    const double samples[][2] = {{9.0, 1.0}, {10.0, -4.0}, {11.0, 3.0}, {9.5, 4.0}};
    for (const auto& s : samples) c.add(s[0], s[1]);
    ASSERT_EQ(c.samples().size(), 4u);
    EXPECT_EQ(*c.peak(), attitudeParamCache_t::sample_t(10.0, -4.0)); // the first largest |v|
    EXPECT_EQ(c.average(), 1.0);
    c.trim(10.0); // stops at 10.0; 9.5 stays behind 11.0
    ASSERT_EQ(c.samples().size(), 3u);
    EXPECT_EQ(c.samples().front().first, 10.0);
    c.trim(11.5);
    EXPECT_TRUE(c.empty());
    c.add(inf, 1.0);
    c.add(12.0, 1.0);
    c.trim(13.0);
    EXPECT_TRUE(c.empty());
}

// Each quantity to its own list; other kinds, other categories, bare headers and nulls ignored.
TEST(AttitudeCache, MessagesGoToTheirListsAndReportsComeInOrder) {
    attitudeCache_t cache;
    std::list<msg_t*> out;
    cache.reportPeak(1.0, out);
    EXPECT_TRUE(out.empty());

    data_roll_t roll;
    roll.roll = -4.0f;
    data_pitch_t pitch;
    pitch.pitch = 0.5f;
    data_heave_t heave;
    heave.heave = 2.0f;
    data_heading_t heading;
    msg_t cmd(msg_t::category_cmd, data_type_roll);
    data_msg_t bare(data_type_pitch);
    cache.add(std::list<msg_t*>{stamped(&heave, 1.0), stamped(&pitch, 1.0), stamped(&roll, 1.0),
                                &heading, &cmd, &bare, nullptr});
    roll.roll = 3.0f;
    cache.add(*stamped(&roll, 2.0));
    roll.roll = 4.0f;
    cache.add(static_cast<const msg_t&>(*stamped(&roll, 3.0)));
    heave.heave = 1.0f;
    cache.add(*stamped(&heave, 2.0));

    cache.reportPeak(7.5, out);
    EXPECT_EQ(take(out), "31:7.5:-4\n32:7.5:0.5\n33:7.5:2\n");
    cache.reportAverage(8.0, out);
    EXPECT_EQ(take(out), "31:8:1\n32:8:0.5\n33:8:1.5\n");
    cache.trim(2.0); // pitch empties: only roll and heave report
    cache.reportAverage(9.0, out);
    EXPECT_EQ(take(out), "31:9:3.5\n33:9:1\n");
    cache.clear();
    cache.reportAverage(10.0, out);
    EXPECT_TRUE(out.empty());
}

constexpr double deg = 3.14159265358979323846 / 180.0;

// Counts the loads it is told of; may drop another client while being told.
class counting_client_t : public corrSatSet_t::client_t {
public:
    int told = 0;
    counting_client_t** victim = nullptr;
    void corrSatSetChanged() override {
        ++told;
        if (victim && *victim) {
            delete *victim;
            *victim = nullptr;
        }
    }
};

// A fresh data directory named by TERN_DATA_PATH (which nothing else in this program reads).
class CorrSatSet : public ::testing::Test {
protected:
    void SetUp() override { setenv("TERN_DATA_PATH", dir_.c_str(), 1); }
    // Installs a table from tests/cases/data/satdefs (its README says what each holds).
    void use(const std::string& name) {
        tmp_.write("SATDEFS", tern_test::temp_dir_t::read(
                                  TERN_TEST_DATA_DIR "/../cases/data/satdefs/" + name));
    }

    corrSatSet_t& table = corrSatSet_t::instance();
    tern_test::temp_dir_t tmp_;
    const std::string dir_ = tmp_.path();
};

// A table entry as "type name longitude-in-degrees id" and the service's own values.
template <class S>
std::string text(const S& s) {
    std::ostringstream os;
    os << std::setprecision(12) << static_cast<unsigned>(s.type) << ' ' << s.name << ' '
       << s.longitude / deg << ' ' << s.id;
    if constexpr (std::is_same_v<S, tksCorrSat_t>)
        os << " net " << s.net << " freq " << s.freq << " channel " << s.channel << " beam "
           << s.beam << " userdef " << s.userdef;
    return os.str();
}

TEST_F(CorrSatSet, LoadsBothKindsInFileOrderAndTellsClients) {
    counting_client_t first;
    auto* gone = new counting_client_t; // told after `first`, which deletes it
    counting_client_t last;
    first.victim = &gone;
    use("good.cfg");
    ASSERT_TRUE(table.loadDefault()) << table.error();
    EXPECT_EQ(gone, nullptr); // deleted before its turn and then skipped
    EXPECT_EQ(first.told, 1);
    EXPECT_EQ(last.told, 1);
    EXPECT_EQ(table.configId(), "fleet-7");
    ASSERT_EQ(table.tksSats().size(), 2u);
    ASSERT_EQ(table.sbasSats().size(), 1u);

    EXPECT_EQ(text(table.tksSats()[0]), "0 TK-98W -98 11 net 2 freq 1545.5 channel 4 beam "
                                        "3000000000 userdef 1");
    EXPECT_EQ(text(table.tksSats()[1]),
              "0 TK-25E 25 12 net -1 freq 1545.52 channel 0 beam 7 userdef 0");
    EXPECT_EQ(text(table.sbasSats()[0]), "1 EGNOS 123 31.5 123");
    EXPECT_EQ(table.warnings(), std::vector<std::string>{"satellite_2: unknown type \"glonass\""});

    EXPECT_EQ(table.findTksSatById(12), &table.tksSats()[1]);
    EXPECT_EQ(table.findTksSatById(123), nullptr);
    EXPECT_EQ(table.findSbasSatById(123), &table.sbasSats()[0]);
    EXPECT_EQ(table.findTksSatByFreq(1545.52), &table.tksSats()[1]);
    EXPECT_EQ(table.findTksSatByFreq(1545.5200001), nullptr);
}

// Each bad entry is dropped with its reason; the scan goes on until a type key is missing.
TEST_F(CorrSatSet, BadEntriesAreDroppedAndAGapEndsTheList) {
    use("bad_entries.cfg");
    ASSERT_TRUE(table.loadDefault());
    EXPECT_EQ(table.configId(), "");
    EXPECT_TRUE(table.tksSats().empty());
    ASSERT_EQ(table.sbasSats().size(), 2u);
    EXPECT_EQ(table.sbasSats()[0].name, "A");
    EXPECT_EQ(table.sbasSats()[1].name, "G");
    std::string warnings;
    for (const std::string& w : table.warnings()) warnings += w + '\n';
    EXPECT_EQ(warnings, tern_test::temp_dir_t::read(TERN_TEST_DATA_DIR
                                                    "/../cases/data/satdefs/bad_entries.warnings"));
}

TEST_F(CorrSatSet, FailedLoadsKeepTheTableAndTellNobody) {
    use("good.cfg");
    ASSERT_TRUE(table.loadDefault());
    counting_client_t client;

    // A file that is not a complete store is refused whole.
    tmp_.write("SATDEFS", "satellite_0_type=sbas\nsatellite_0_name=X");
    EXPECT_FALSE(table.loadDefault());
    EXPECT_NE(table.error().find("correction satellites not loaded: "), std::string::npos);
    EXPECT_NE(table.error().find("truncated"), std::string::npos) << table.error();

    ::unlink((dir_ + "/SATDEFS").c_str());
    ASSERT_EQ(::mkdir((dir_ + "/SATDEFS").c_str(), 0700), 0);
    EXPECT_FALSE(table.loadDefault());
    EXPECT_NE(table.error().find(dir_ + "/SATDEFS"), std::string::npos) << table.error();

    for (const bool set : {true, false}) {
        set ? setenv("TERN_DATA_PATH", "", 1) : unsetenv("TERN_DATA_PATH");
        EXPECT_FALSE(table.loadDefault());
        EXPECT_EQ(table.error(), "TERN_DATA_PATH is not set: no correction satellites");
    }
    EXPECT_EQ(client.told, 0);
    EXPECT_EQ(table.configId(), "fleet-7");
    EXPECT_EQ(table.tksSats().size(), 2u);
}

// Look angles from random positions against the line of sight as a vector (the orbit's radius
// 6.610709044614748 Earth radii): a satellite is listed exactly when it stands at or above the
// mask, with its bearing and elevation.
TEST_F(CorrSatSet, VisibleSatellitesWithAzimuthAndElevation) {
    using tern_test::look, tern_test::position;
    use("two_overhead.cfg");
    ASSERT_TRUE(table.loadDefault());
    std::vector<std::pair<double, double>> at = {{0, 0}, {0, -30 * deg}, {45 * deg, 170 * deg}};
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> lat(-1.5, 1.5), lon(-3.14, 3.14);
    while (at.size() < 2000) at.emplace_back(lat(rng), lon(rng));
    for (const auto& [la, lo] : at) {
        data_csv_ea_t ea;
        ea.sats.resize(1); // calculate appends
        const unsigned n = table.calculate(ea, la, lo);
        std::size_t next = 1;
        for (const auto& [name, sat_lon] :
             {std::pair<std::string, double>{"T-170", -170 * deg}, {"S0", 0.0}}) {
            const auto sight =
                look(tern_test::minus(position(0, sat_lon, 6.610709044614748), position(la, lo)),
                     la, lo);
            if (sight.elevation < corrSatSet_t::defaultElevationMask) continue;
            ASSERT_LT(next, ea.sats.size()) << la << "," << lo << " misses " << name;
            const auto& got = ea.sats[next++];
            EXPECT_EQ(got.name, name);
            EXPECT_NEAR(got.elevation, sight.elevation, 1e-6) << la << "," << lo;
            const bool overhead = std::fabs(la) < 1e-9 && std::fabs(lo - sat_lon) < 1e-9;
            EXPECT_TRUE(overhead || tern_test::angle_off(got.azimuth, sight.bearing) < 1e-6)
                << la << "," << lo << ": " << got.azimuth << " for " << sight.bearing;
        }
        ASSERT_EQ(ea.sats.size(), next) << la << "," << lo;
        ASSERT_EQ(n, next - 1);
    }
    // Only the kinds asked for, the correction-service list first; the mask at its edge; a NaN
    // position sees nothing.
    data_csv_ea_t ea;
    const std::set<corrSatType_t> sbas_only = {corrSatType_sbas};
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, -90.0 * deg, &sbas_only), 1u);
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, -90.0 * deg), 2u);
    EXPECT_EQ(ea.sats[1].name + ea.sats[2].name, "T-170S0");
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, 89.999 * deg), 1u);
    EXPECT_EQ(table.calculate(ea, 0.0, 0.0, 90.001 * deg), 0u);
    EXPECT_EQ(table.calculate(ea, std::nan(""), 0.0, -90.0 * deg), 0u);
}

// The names as stored in settings ("device_type"), "none" first, in a fixed order.
TEST(AllDeviceInfo, TypeNamesInTheirFixedOrder) {
    std::string names;
    for (const std::string& n : allDeviceInfo_t::instance().allTypes()) names += n + ' ';
    EXPECT_EQ(names, "none ddktessa ternrimba ternorsk ternquill skiff nmea gyro tss fanbeam wind "
                     "emAttitudeInput depth ais sim hemisphereEclipse hemisphereVector "
                     "hemisphereR623 hemisphereV500 blended native tracker webmon usbl lbl ");
}

// Null is never listed (lookups would read it), and a description registered twice goes
// entirely on removal (it may be destroyed next). Lookups find the first match.
TEST(AllDeviceInfo, RegistrationOrderLookupAndRemoval) {
    allDeviceInfo_t& reg = allDeviceInfo_t::instance();
    const std::vector<const deviceInfo_t*> before = reg.deviceInfo();
    deviceInfo_t gyro_a("gyro", "Bow gyro"), gyro_b("gyro", "Stern gyro");
    reg.addDeviceInfo(&gyro_a);
    reg.addDeviceInfo(nullptr);
    reg.addDeviceInfo(&gyro_b);
    reg.addDeviceInfo(&gyro_a);
    EXPECT_EQ(reg.findByType("gyro"), &gyro_a);
    EXPECT_EQ(reg.findByDesc("Stern gyro"), &gyro_b);
    EXPECT_EQ(reg.findByType("Bow gyro"), nullptr);
    reg.removeDeviceInfo(&gyro_a);
    EXPECT_EQ(reg.findByType("gyro"), &gyro_b);
    reg.removeDeviceInfo(&gyro_b);
    EXPECT_EQ(reg.deviceInfo(), before);
}

TEST(DeviceInfo, AlarmsKeepTheirBitOrderUpToThirtyTwo) {
    deviceInfo_t info("fanbeam", "Fanbeam");
    EXPECT_TRUE(info.addAlarm(true, "Target lost"));
    EXPECT_TRUE(info.addAlarm(false, nullptr));
    for (int i = 2; i < 32; ++i) EXPECT_TRUE(info.addAlarm(false, "spare"));
    EXPECT_FALSE(info.addAlarm(false, "bit 32"));
    ASSERT_EQ(info.alarms.size(), 32u);
    EXPECT_EQ(info.alarms[0], alarmInfo_t(true, "Target lost"));
    EXPECT_EQ(info.alarms[1], alarmInfo_t(false, ""));
}

class test_device_t : public device_t {
public:
    const deviceInfo_t* info;

    test_device_t(dev_controller_t* ctl, int port, const deviceInfo_t* i) : device_t(ctl), info(i) {
        port_id = port;
    }
    const deviceInfo_t* device_info() const override { return info; }
    void handle_port_data(const unsigned char*, std::size_t, std::list<msg_t*>&) override {}
    void poll(double, std::list<msg_t*>&) override {}

    void use_system_time(double offset) {
        use_sys_time = true;
        time_offset = offset;
    }
    bool reserved_untouched() const {
        static const unsigned char zero[sizeof reserved] = {};
        return std::memcmp(reserved, zero, sizeof reserved) == 0;
    }
};

// Keeps what it is sent; answers port settings for port 4 only.
class test_controller_t : public dev_controller_t {
public:
    std::map<int, device_t*> devices;
    std::vector<std::pair<int, std::vector<msg_t*>>> sent;

    void send_dev_msgs(int port, std::list<msg_t*>& msgs) override {
        sent.emplace_back(port, std::vector<msg_t*>(msgs.begin(), msgs.end()));
        for (msg_t* m : msgs) delete m;
        msgs.clear();
    }
    device_t* find_device(int port) override {
        auto it = devices.find(port);
        return it == devices.end() ? nullptr : it->second;
    }
    bool get_port_cfg(int port, port_cfg_t& cfg) override {
        cfg.baud = 9600;
        return port == 4;
    }
    bool set_port_cfg(int, const port_cfg_t&) override { return false; }
    bool set_device_type(int, const std::string&) override { return false; }
    port_mgr_t* port_manager() override { return nullptr; }
};

TEST(Device, MessagesGoToTheControllerWithTheOwnPort) {
    test_controller_t ctl;
    test_device_t dev(&ctl, 4, nullptr);
    msg_t* first = new data_cog_t;
    msg_t* second = new data_heading_t;
    std::list<msg_t*> out{first, second};
    dev.handle_dev_msgs(out);
    ASSERT_EQ(ctl.sent.size(), 1u);
    EXPECT_EQ(ctl.sent[0].first, 4);
    EXPECT_EQ(ctl.sent[0].second, (std::vector<msg_t*>{first, second}));
    port_cfg_t cfg;
    EXPECT_TRUE(dev.get_port_cfg(cfg)); // asks for its own port
    EXPECT_EQ(cfg.baud, 9600u);

    // Without a controller they are freed (the leak checker would see them otherwise).
    test_device_t orphan(nullptr, 1, nullptr);
    out = {new data_cog_t};
    orphan.handle_dev_msgs(out);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(orphan.get_port_cfg(cfg));
    EXPECT_FALSE(orphan.deviceIsOfType(1, "gyro"));
}

class DeviceQuestion : public testing::TestWithParam<case_t> {};
TEST_P(DeviceQuestion, AboutOtherPorts) {
    const auto& c = GetParam().cols;
    test_controller_t ctl;
    const deviceInfo_t gyro("gyro", "Gyro", 0x80000006u);
    test_device_t self(&ctl, 0, nullptr), on_2(&ctl, 2, &gyro), on_3(&ctl, 3, nullptr);
    ctl.devices = {{0, &self}, {2, &on_2}, {3, &on_3}};
    const auto port = static_cast<unsigned>(std::stoul(c.at(0), nullptr, 0));
    const auto mask = static_cast<unsigned>(std::stoul(c.at(1), nullptr, 0));
    EXPECT_EQ(self.deviceHasCapabilities(port, mask), c.at(3) == "yes");
    EXPECT_EQ(self.deviceIsOfType(port, c.at(2)), c.at(4) == "yes");
}
TERN_CASES(File, DeviceQuestion, "data/device_questions.txt");

TEST(Device, GeneralAlarmFlagsStayInRange) {
    test_device_t dev(nullptr, 0, nullptr);
    for (const unsigned i : {0u, 9u, 10u, 0xFFFFFFFFu}) dev.general_alarm_flag(i, true);
    std::string flags;
    for (unsigned i = 0; i < 11; ++i) flags += dev.general_alarm(i) ? '1' : '0';
    EXPECT_EQ(flags, "10000000010");
    EXPECT_TRUE(dev.reserved_untouched());
}

TEST(Device, DataTimestampFollowsTheChosenClock) {
    test_device_t dev(nullptr, 0, nullptr);
    const double diff = get_tstamp_data_diff();
    set_tstamp_data_diff(-3600.0);
    double lo = gettstamp_sys(), t = dev.dataTimestamp(), hi = gettstamp_sys();
    EXPECT_TRUE(t >= lo - 3600.0 && t <= hi - 3600.0) << t - lo;
    dev.use_system_time(2.5);
    lo = gettstamp_sys(), t = dev.dataTimestamp(), hi = gettstamp_sys();
    EXPECT_TRUE(t >= lo + 2.5 && t <= hi + 2.5) << t - lo;
    set_tstamp_data_diff(diff);
}

port_cfg_t odd_port() {
    port_cfg_t p;
    p.baud = 4800;
    p.data_bits = char_size_7;
    p.parity = parity_even;
    p.stop_bits = stop_bits_2;
    p.flow_control = flow_tern;
    p.serial_device = "/dev/ttyS3";
    p.use_rts = true;
    return p;
}

TEST(PortCfg, StoresEveryKeyAsTextInOrder) {
    KeelConfig store;
    odd_port().set_cfg("ternorsk", port_config_prefix(3), store);
    EXPECT_EQ(tern_test::store_text(store),
              "port_3_serial_device=/dev/ttyS3\nport_3_device_type=ternorsk\nport_3_baud=4800\n"
              "port_3_data_bits=7\nport_3_parity=even\nport_3_stop_bits=2\n"
              "port_3_flow_control=tern\nport_3_use_rts=1\n");

    port_cfg_t back;
    std::string type;
    ASSERT_TRUE(back.load_cfg(store, "port_3_", type));
    EXPECT_EQ(type, "ternorsk");
    EXPECT_EQ(back, odd_port());
    back.serial_device = "/dev/ttyUSB0"; // equality ignores the device name
    EXPECT_EQ(back, odd_port());
    back.use_rts = false;
    EXPECT_NE(back, odd_port());
}

class PortCfgMissingKey : public testing::TestWithParam<case_t> {};
TEST_P(PortCfgMissingKey, LoadStopsThere) {
    const auto& c = GetParam().cols;
    KeelConfig full, store;
    odd_port().set_cfg("tss", "p_", full);
    for (const ConfigEntry& e : full.entries())
        if (e.key != "p_" + c.at(0)) store.setValue(e.key, e.value);
    ASSERT_EQ(store.size(), 7u);
    port_cfg_t p;
    p.use_rts = true;
    std::string type = "old";
    EXPECT_EQ(p.load_cfg(store, "p_", type), c.at(1) == "ok");
    std::ostringstream got, want;
    got << p.serial_device << '|' << type << '|' << p.baud << '|' << p.data_bits << '|' << p.parity
        << '|' << p.stop_bits << '|' << p.flow_control << '|' << p.use_rts;
    for (std::size_t i = 2; i < c.size(); ++i) want << (i > 2 ? "|" : "") << c[i];
    EXPECT_EQ(got.str(), want.str());
}
TERN_CASES(File, PortCfgMissingKey, "data/port_cfg_missing_key.txt");

template <class E>
unsigned parse(const std::string& text) {
    E v = static_cast<E>(77);
    text >> v;
    return static_cast<unsigned>(v);
}

TEST(PortCfg, UnknownTextsReadAsTheDefault) {
    EXPECT_EQ(parse<char_size_t>("5"), 1u);
    EXPECT_EQ(parse<parity_t>("mark") + parse<parity_t>("EVEN") + parse<stop_bits_t>("1.5") +
                  parse<flow_t>("rtscts"),
              0u);
    std::ostringstream os;
    os << static_cast<parity_t>(9) << ' ' << static_cast<char_size_t>(4) << ' ' << port_locked;
    EXPECT_EQ(os.str(), "none 8 1");
}

class PortName : public testing::TestWithParam<case_t> {};
TEST_P(PortName, Sanitized) {
    const auto& c = GetParam().cols;
    EXPECT_EQ(port_mgr_t::sanitize_port_name(tern_test::unquote(c.at(0))),
              tern_test::unquote(c.at(1)));
}
TERN_CASES(File, PortName, "data/port_names.txt");

// A port without a name, or no port at all, is "NONE", and stays so as a path.
TEST(PortMgr, NamesAndPaths) {
    struct names_t : port_mgr_t {
        std::map<int, std::string> names{{2, "Bow gyro"}};
        bool has_port(int id) const override { return names.count(id) != 0; }
        const std::string* find_port_name(int id) const override {
            auto it = names.find(id);
            return it == names.end() ? nullptr : &it->second;
        }
    } mgr;
    EXPECT_EQ(mgr.get_port_name(2), "Bow gyro");
    EXPECT_EQ(mgr.get_port_name_as_path(2), "Bow_gyro");
    EXPECT_EQ(mgr.get_port_name(1), "NONE");
    EXPECT_EQ(mgr.get_port_name_as_path(-1), "NONE");
}

} // namespace
