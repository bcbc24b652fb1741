#include <tern/msg/data_msgs.h>

#include "support/codec.h"
#include "support/hex.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace tern;
using tern_test::frame_of;
using tern_test::from_hex;
using tern_test::raw_frame;
using tern_test::to_hex;

namespace {

using msg_ptr = std::unique_ptr<data_msg_t>;

std::string text(const msg_t& m) {
    std::ostringstream os;
    m.dump(os);
    return os.str();
}

void load(msg_decoder_t& dec, const std::vector<unsigned char>& f) {
    ASSERT_EQ(dec.decode_init(f.data(), static_cast<unsigned>(f.size())), f.size());
}

// One case: builds a filled message, and decodes a frame into a new one of the same class.
struct case_t {
    std::string name;
    std::function<msg_ptr()> make;
    std::function<msg_ptr(msg_decoder_t&)> decode;
    std::string frame;     // golden frame (hex), or empty
    unsigned int data_len; // bytes after a header with GPS time, for the round trip
};

template <class T>
case_t row(std::string name, std::function<void(T&)> fill, std::string frame,
           unsigned int data_len = 0) {
    return {std::move(name),
            [fill] {
                auto m = std::make_unique<T>();
                fill(*m);
                return msg_ptr(std::move(m));
            },
            [](msg_decoder_t& dec) { return msg_ptr(std::make_unique<T>(dec)); }, std::move(frame),
            data_len};
}

// The header's bytes: the time stamp, then the GPS flag, week and second.
#define TS "00 00 20 40 FC 54 D9 41 "
#define GPS "01 F0 08 00 00 00 00 00 00 01 18 15 41 "

std::vector<case_t> golden_cases() {
    // clang-format off
    return {
        row<data_cog_t>("cog_valid", [](auto& m) { m.cog_valid = true; m.cog = 1.5f; },
            "02 12 00 01 00 03 03 " TS "00 01 00 00 C0 3F 5C A9 03"),
        row<data_cog_t>("header_with_gps_time_cog_invalid", [](auto& m) { m.gps_time_valid = true; m.cog = 1.5f; },
            "02 1A 00 01 00 03 03 " TS GPS "00 39 CE 03"),
        row<data_pos_t>("pos_both", [](auto& m) {
                m.gps_time_valid = true; m.latitude_valid = m.longitude_valid = true; m.latitude = 0.5; m.longitude = -1.25; },
            "02 2A 00 0A 00 03 03 " TS GPS "03 00 00 00 00 00 00 E0 3F 00 00 00 00 00 00 F4 BF 28 79 03"),
        row<data_pos_t>("pos_latitude_only", [](auto& m) {
                m.latitude_valid = true; m.latitude = 0.5; m.longitude = 7.0; },
            "02 16 00 0A 00 03 03 " TS "00 01 00 00 00 00 00 00 E0 3F 4C DA 03"),
        row<data_pr_stats_t>("pr_stats_mask_48", [](auto& m) {
                m.constellation = constellation_glonass; m.orientation_valid = m.altitude_stddev_valid = true;
                m.orientation = 0.25f; m.altitude_stddev = 2.5f; m.lat_stddev = 9.0f; },
            "02 18 00 0B 00 03 03 " TS "00 00 01 48 00 00 80 3E 00 00 20 40 B7 B1 03"),
        row<data_datum_t>("datum_mask_06", [](auto& m) {
                m.mask = 0x06; m.localDatum = datum_w72; m.localDatumSubdivision = "AB";
                m.latitudeOffset = 0.125; m.longitudeOffset = 3.0; },
            "02 19 00 29 00 03 03 " TS "00 06 02 41 42 00 00 00 00 00 00 C0 3F 5A 2D 03"),
        row<data_fix_type_t>("fix_type_auto_valid", [](auto& m) { m.fix_auto = m.fix_valid = true; },
            "02 0E 00 05 00 03 03 " TS "00 05 68 D3 03"),
        row<data_sat_track_t>("sat_track_empty", [](auto& m) { m.constellation = constellation_galileo; },
            "02 0F 00 0D 00 03 03 " TS "00 02 00 CC 2D 03"),
        row<data_sat_track_t>("sat_track_three", [](auto& m) {
                m.sats = {{5, 0.5f, 0.25f, {{1, 40.5f}, {0, 0.0f}}},
                          {17, 1.5f, 0.75f, {{1, 35.25f}, {1, 30.0f}}},
                          {30, 3.0f, 1.0f, {{0, 0.0f}, {1, 22.5f}}}}; },
            "02 48 00 0D 00 03 03 " TS "00 00 03 "
            "05 00 00 00 3F 00 00 80 3E 01 00 00 22 42 00 00 00 00 00 "
            "11 00 00 C0 3F 00 00 40 3F 01 00 00 0D 42 01 00 00 F0 41 "
            "1E 00 00 40 40 00 00 80 3F 00 00 00 00 00 01 00 00 B4 41 70 4A 03"),
        row<data_sat_use_t>("sat_use", [](auto& m) { m.sats = {4, 9, 23}; },
            "02 13 00 0F 00 03 03 " TS "00 00 00 03 04 09 17 53 E5 03"),
        row<data_diff_detail_t>("diff_detail_name_cut_to_8", [](auto& m) {
                m.diff_type = 7; m.name = "ABCDEFGHIJKL"; m.corr_type = data_diff_detail_t::corr_type_precise; },
            "02 19 00 03 00 03 03 " TS "00 07 00 08 41 42 43 44 45 46 47 48 02 AF C3 03"),
        row<data_diff_t>("diff_age_always_sent", [](auto& m) { m.age = 2.5f; m.ref_id = 12; },
            "02 14 00 02 00 03 03 " TS "00 00 00 00 20 40 0C 00 95 EF 03"),
        // The count field is stale: what is sent as the count is the number of entries.
        row<data_raw_meas_t>("raw_meas_count_is_entries_sent", [](auto& m) {
                m.count = 9; m.meas = {{4, {1.0, 2.0, 3.0}}, {9, {-1.0, 0.5, 0.25}}}; },
            "02 40 00 13 00 03 03 " TS "00 02 "
            "04 00 00 00 00 00 00 F0 3F 00 00 00 00 00 00 00 40 00 00 00 00 00 00 08 40 "
            "09 00 00 00 00 00 00 F0 BF 00 00 00 00 00 00 E0 3F 00 00 00 00 00 00 D0 3F 7C 7D 03"),
        row<data_pos_target_depth_t>("target_depth", [](auto& m) { m.target_id = "B12"; m.depth = 42.5; },
            "02 19 00 2D 00 03 03 " TS "00 03 42 31 32 00 00 00 00 00 40 45 40 3D 63 03"),
    };
    // clang-format on
}

// Decodes `f` as class `c`: the whole payload is read, the port kept, and the copy encodes as
// `m` does (and, with `same_text`, prints as it does). Every cut of the payload decodes without
// reading past the frame and says it ran short.
void expect_decodes_back(const case_t& c, const msg_t& m, const std::vector<unsigned char>& f,
                         bool same_text) {
    msg_decoder_t dec;
    load(dec, f);
    ASSERT_TRUE(dec.is_valid());
    const msg_ptr copy = c.decode(dec);
    EXPECT_FALSE(dec.is_short());
    EXPECT_EQ(dec.remaining(), 0u) << "payload bytes left unread";
    EXPECT_EQ(copy->port, m.port);
    EXPECT_EQ(to_hex(frame_of(*copy)), to_hex(f));
    if (same_text) {
        EXPECT_EQ(text(*copy), text(m));
    }
    for (std::size_t cut = 0; cut + 10 < f.size(); ++cut) {
        const auto torn = raw_frame(3, m.type, m.port, {f.begin() + 7, f.begin() + 7 + cut});
        msg_decoder_t d;
        load(d, torn);
        c.decode(d);
        EXPECT_TRUE(d.is_short()) << "cut at " << cut;
    }
}

class DataGolden : public ::testing::TestWithParam<case_t> {};

TEST_P(DataGolden, EncodesToFrameAndDecodesBack) {
    const case_t& c = GetParam();
    // Port 3, time 1700000000.5, and GPS week 2288 second 345600.25 (sent with the flag only).
    const msg_ptr m = c.make();
    m->port = 3;
    m->utc_tstamp = 1700000000.5;
    m->gps_week = 2288;
    m->gps_week_sec = 345600.25;
    const auto f = from_hex(c.frame);
    ASSERT_EQ(to_hex(frame_of(*m)), to_hex(f));
    expect_decodes_back(c, *m, f, false); // some frames hold cut fields
}

INSTANTIATE_TEST_SUITE_P(Frames, DataGolden, ::testing::ValuesIn(golden_cases()),
                         [](const auto& p) { return p.param.name; });

// Every class without a golden frame above (or with fields the frame leaves at their default),
// filled with values that differ from the defaults and from each other, and the number of bytes
// its fields take after a header with GPS time.
template <class T>
case_t rt(std::string name, unsigned int data_len, std::function<void(T&)> fill) {
    return row<T>(std::move(name), std::move(fill), "", data_len);
}

std::vector<case_t> all_classes() {
    using F = float;
    // clang-format off
    return {
        rt<data_diff_t>("diff", 7, [](auto& m) { m.age_valid = true; m.age = 3; m.ref_id = 9; }),
        rt<data_fix_mode_t>("fix_mode", 1, [](auto& m) { m.fix_mode = data_fix_mode_t::fix_mode_rtk_float; }),
        rt<data_fom_t>("fom", 5, [](auto& m) { m.fom_valid = true; m.fom = F(0.75); }),
        rt<data_gps2utc_t>("gps2utc", 0, [](auto& m) { m.gps2utc = {18, 18, 0, 0}; }),
        rt<data_h_dop_t>("h_dop", 5, [](auto& m) { m.hdop_valid = true; m.hdop = F(1.25); }),
        rt<data_height_t>("height", 17, [](auto& m) {
            m.geoidal_height_valid = m.ellipsoidal_height_valid = true;
            m.geoidal_height = 12.5; m.ellipsoidal_height = 60.25; }),
        rt<data_pr_stats_t>("pr_stats", 31, [](auto& m) {
            m.combined = true; m.constellation = constellation_beidou;
            m.range_stddev_rms_valid = m.semi_major_stddev_valid = m.semi_minor_stddev_valid = true;
            m.orientation_valid = m.lat_stddev_valid = m.lon_stddev_valid = true;
            m.altitude_stddev_valid = true;
            m.range_stddev_rms = 1; m.semi_major_stddev = 2; m.semi_minor_stddev = 3;
            m.orientation = 4; m.lat_stddev = 5; m.lon_stddev = 6; m.altitude_stddev = 7; }),
        rt<data_pv_dop_t>("pv_dop", 9, [](auto& m) {
            m.pdop_valid = m.vdop_valid = true; m.pdop = F(2.5); m.vdop = F(1.75); }),
        rt<data_sat_count_t>("sat_count", 1, [](auto& m) { m.num_sats = 14; }),
        rt<data_sat_use_t>("sat_use", 6, [](auto& m) {
            m.combined = true; m.constellation = constellation_galileo; m.sats = {180, 181, 190}; }),
        rt<data_sog_t>("sog", 5, [](auto& m) { m.sog_valid = true; m.sog = F(5.5); }),
        rt<data_dual_freq_t>("dual_freq", 1, [](auto& m) { m.dual_freq = true; }),
        rt<data_rxq_t>("rxq", 7, [](auto& m) { m.flag = true; m.value = 4.5; m.count1 = 3; m.count2 = 8; }),
        rt<data_ionosphere_t>("ionosphere", 32, [](auto& m) {
            for (int i = 0; i < 4; ++i) { m.alpha[i] = F(i + 1); m.beta[i] = F(-i - 1); } }),
        rt<data_ephemeris_t>("ephemeris", 172, [](auto& m) {
            m.prn = 12; m.health = 1; m.week = 2300;
            for (unsigned i = 0; i < data_ephemeris_t::param_count; ++i) m.params[i] = i * 1.5 + 0.25; }),
        rt<data_csv_ea_t>("csv_ea", 40, [](auto& m) {
            m.sats = {{"TKS-A", F(1.5), F(0.5), 101}, {"SBAS 120", F(2.5), F(0.25), 120}}; }),
        rt<data_csv_snr_t>("csv_snr", 15, [](auto& m) { m.sats = {{"TKS-B", F(45.5), 77}}; }),
        rt<data_device_raw_t>("device_raw", 0, [](auto& m) { m = data_device_raw_t(raw_gga, "$GPGGA", 6); }),
        rt<data_mbrtk_heading_t>("mbrtk_heading", 4, [](auto& m) { m.heading = F(271.5); }),
        rt<data_mbrtk_baseline_t>("mbrtk_baseline", 12, [](auto& m) { m.north = 1; m.east = 2; m.up = F(-0.5); }),
        rt<data_qc_t>("qc", 29, [](auto& m) {
            m.unit_variance = 1; m.stddev_semimajor_error = 2; m.stddev_semiminor_error = 3;
            m.orientation_semimajor_error = 4; m.stddev_latitude_error = 5;
            m.stddev_longitude_error = 6; m.stddev_height_error = 7; m.qc_fisher_test = true; }),
        rt<data_qc_mde_t>("qc_mde", 22, [](auto& m) {
            m.prn = 7; m.mde_meas_type = data_qc_mde_t::mde_meas_phase; m.non_centrality = 1;
            m.mde = 2; m.pmde_lat = 3; m.pmde_long = 4; m.pmde_altitude = 5; }),
        rt<data_qc_gbs_t>("qc_gbs", 25, [](auto& m) {
            m.prn = 8; m.expected_north_error = 1; m.expected_east_error = 2; m.expected_up_error = 3;
            m.prob_miss_detect_mlfs = 4; m.estimate_bias = 5; m.stddev_estimate_bias = 6; }),
        rt<data_ext_nav_mode_t>("ext_nav_mode", 8, [](auto& m) { m.beam = 3; m.mode = 7; }),
        rt<data_roll_t>("roll", 4, [](auto& m) { m.roll = F(0.125); }),
        rt<data_pitch_t>("pitch", 4, [](auto& m) { m.pitch = F(-0.125); }),
        rt<data_heave_t>("heave", 4, [](auto& m) { m.heave = F(0.75); }),
        rt<data_rot_t>("rot", 4, [](auto& m) { m.rot = F(0.01); }),
        rt<data_heading_t>("heading", 4, [](auto& m) { m.heading = F(3.0); }),
        rt<data_motion_t>("motion", 9, [](auto& m) {
            m.status = tss1Msg_t::status_full_aided;
            m.horizontal_acceleration = F(0.5); m.vertical_acceleration = F(-0.25); }),
        rt<data_range_bearing_t>("range_bearing", 19, [](auto& m) { m.target_id = "T1"; m.range = 120.5; m.bearing = 2; }),
        rt<data_wind_speed_t>("wind_speed", 9, [](auto& m) { m.reference = windReference_true; m.speed = 7.5; }),
        rt<data_wind_direction_t>("wind_direction", 9, [](auto& m) { m.reference = windReference_true; m.direction = 1.5; }),
        rt<data_depth_t>("depth", 8, [](auto& m) { m.depth = 33.25; }),
        rt<data_datum_t>("datum", 32, [](auto& m) {
            m.mask = data_datum_t::datum_all; m.localDatum = datum_999; m.localDatumSubdivision = "ED50";
            m.latitudeOffset = 0.001; m.longitudeOffset = -0.002; m.altitudeOffset = 4.5;
            m.referenceDatum = datum_w84; }),
        rt<data_pos_offset_vessel_t>("pos_offset_vessel", 19, [](auto& m) { m.target_id = "B7"; m.x = 1.5; m.y = -2.5; }),
        rt<data_pos_offset_cardinal_t>("pos_offset_cardinal", 19, [](auto& m) { m.target_id = "B8"; m.north = 3; m.east = 4; }),
        rt<data_pos_target_accuracy_t>("pos_target_accuracy", 11, [](auto& m) { m.target_id = "B9"; m.accuracy = 0.5; }),
        rt<data_pos_target_status_t>("pos_target_status", 13, [](auto& m) {
            m.target_id = "B11"; m.status.status = "lost"; m.status.error_code = "E42"; }),
        rt<data_sat_health_t>("sat_health", 50, [](auto& m) {
            m.sats = {{3, 1, F(0.5), 40, 41, 42, true, false}, {600, 2, F(0.25), 30, 31, 32, false, true}}; }),
        rt<data_vhd_info_t>("vhd_info", 32, [](auto& m) {
            m.raw_heading = 1; m.attitude = 2; m.baseline = 3; m.heading_rms = 4; }),
    };
    // clang-format on
}

class DataRoundTrip : public ::testing::TestWithParam<case_t> {};

TEST_P(DataRoundTrip, SizeAndDecodesBack) {
    const case_t& c = GetParam();
    msg_ptr m = c.make();
    m->port = 7;
    m->utc_tstamp = 1700000123.25;
    m->gps_time_valid = true;
    m->gps_week = 2290;
    m->gps_week_sec = 86400.5;

    const auto f = frame_of(*m);
    EXPECT_EQ(f.size(), 10u + 21u + c.data_len) << "payload size of " << c.name;
    expect_decodes_back(c, *m, f, true);
}

INSTANTIATE_TEST_SUITE_P(AllClasses, DataRoundTrip, ::testing::ValuesIn(all_classes()),
                         [](const auto& p) { return p.param.name; });

// ---- decoding details ----

// Decoding into a message that already holds values.
TEST(DataDecode, IntoAHeldMessage) {
    data_pos_t lat_only;
    lat_only.latitude_valid = true;
    lat_only.latitude = 0.5;
    const auto f = frame_of(lat_only);
    data_pos_t pos;
    pos.longitude_valid = true;
    pos.longitude = 2.0;
    msg_decoder_t dec;
    load(dec, f);
    dec.decodeMessage(pos);
    EXPECT_TRUE(pos.latitude_valid && !pos.longitude_valid);
    EXPECT_EQ(pos.latitude, 0.5);
    EXPECT_EQ(pos.longitude, 2.0); // the value behind the cleared flag is left alone

    data_sat_use_t sent; // a list is replaced, not appended to
    sent.sats = {4, 9, 23};
    const auto g = frame_of(sent);
    data_sat_use_t held;
    held.sats = {1, 2, 3, 4, 5};
    load(dec, g);
    dec.decodeMessage(held);
    EXPECT_EQ(held.sats, sent.sats);
}

TEST(DataDecode, ListsOver255SendTheFirst255) {
    data_sat_use_t sent;
    for (unsigned i = 0; i < 300; ++i) sent.sats.push_back(static_cast<unsigned char>(i));
    const auto f = frame_of(sent);
    ASSERT_EQ(f.size(), 10u + 9u + 2u + 1u + 255u);
    EXPECT_EQ(f[7 + 9 + 2], 0xFF); // the count, after header, combined and constellation
    msg_decoder_t dec;
    load(dec, f);
    data_sat_use_t got(dec);
    EXPECT_FALSE(dec.is_short());
    ASSERT_EQ(got.sats.size(), 255u);
    EXPECT_EQ(got.sats.back(), 254);
}

// A count that promises more entries than the frame holds: reading stops at the end of the
// frame and a torn entry is not kept; the raw measurements' count is what was kept.
TEST(DataDecode, ShortListStopsAtTheEndOfTheFrame) {
    // Three satellites announced; the second is cut after its azimuth. The first one's track
    // bytes are FE and 03: only bit 0 is the flag.
    const auto f = raw_frame(3, 13, 1,
                             from_hex(TS "00 01 03  05 00 00 00 3F 00 00 80 3E"
                                         " FE 00 00 20 42 03 00 00 20 42  06 00 00 00 3F"));
    msg_decoder_t dec;
    load(dec, f);
    data_sat_track_t got(dec);
    EXPECT_TRUE(dec.is_short());
    ASSERT_EQ(got.sats.size(), 1u);
    EXPECT_EQ(got.sats[0].id, 5);
    EXPECT_EQ(got.sats[0].freq[0].track, 0);
    EXPECT_EQ(got.sats[0].freq[1].track, 1);
    EXPECT_EQ(got.sats[0].freq[1].snr, 40.0f);

    const auto r = raw_frame(3, 19, 1,
                             from_hex(TS "00 C8 01 00 00 00 00 00 00 F0 3F"
                                         " 00 00 00 00 00 00 00 40 00 00 00 00 00 00 08 40 02"));
    load(dec, r);
    data_raw_meas_t raw(dec);
    EXPECT_TRUE(dec.is_short());
    EXPECT_EQ(raw.count, 1);
    ASSERT_EQ(raw.meas.size(), 1u);
    EXPECT_EQ(raw.meas[0].value[2], 3.0);
}

// Each flag of a presence mask or packed byte alone: it sets its own bit and no other, and
// the decoder gives it back to the same flag.
template <class T>
void check_bits(unsigned int mask_at, std::vector<std::function<void(T&)>> set_bit) {
    for (unsigned int i = 0; i < set_bit.size(); ++i) {
        T m;
        set_bit[i](m);
        const auto f = frame_of(m);
        ASSERT_GT(f.size(), 7u + 9u + mask_at);
        EXPECT_EQ(f[7 + 9 + mask_at], 1u << i) << "bit " << i;
        msg_decoder_t dec;
        load(dec, f);
        T copy(dec);
        EXPECT_EQ(text(copy), text(m)) << "bit " << i;
        EXPECT_EQ(to_hex(frame_of(copy)), to_hex(f)) << "bit " << i;
    }
}

// (The position's two bits are pinned by its golden frames.)
TEST(DataDecode, EachMaskBitBelongsToItsOwnValue) {
    check_bits<data_height_t>(
        0, {[](auto& m) { m.geoidal_height_valid = true, m.geoidal_height = 1; },
            [](auto& m) { m.ellipsoidal_height_valid = true, m.ellipsoidal_height = 2; }});
    check_bits<data_pv_dop_t>(0, {[](auto& m) { m.pdop_valid = true, m.pdop = 1; },
                                  [](auto& m) { m.vdop_valid = true, m.vdop = 2; }});
    check_bits<data_fix_type_t>(0, {[](auto& m) { m.fix_valid = true; },
                                    [](auto& m) { m.fix_3d = true; },
                                    [](auto& m) { m.fix_auto = true; }});
    check_bits<data_pr_stats_t>(
        2, {[](auto& m) { m.range_stddev_rms_valid = true, m.range_stddev_rms = 1; },
            [](auto& m) { m.semi_major_stddev_valid = true, m.semi_major_stddev = 2; },
            [](auto& m) { m.semi_minor_stddev_valid = true, m.semi_minor_stddev = 3; },
            [](auto& m) { m.orientation_valid = true, m.orientation = 4; },
            [](auto& m) { m.lat_stddev_valid = true, m.lat_stddev = 5; },
            [](auto& m) { m.lon_stddev_valid = true, m.lon_stddev = 6; },
            [](auto& m) { m.altitude_stddev_valid = true, m.altitude_stddev = 7; }});
    check_bits<data_datum_t>(0, {[](auto& m) { m.mask = 0x01, m.localDatum = datum_s85; },
                                 [](auto& m) { m.mask = 0x02, m.localDatumSubdivision = "X"; },
                                 [](auto& m) { m.mask = 0x04, m.latitudeOffset = 1; },
                                 [](auto& m) { m.mask = 0x08, m.longitudeOffset = 2; },
                                 [](auto& m) { m.mask = 0x10, m.altitudeOffset = 3; },
                                 [](auto& m) { m.mask = 0x20, m.referenceDatum = datum_w72; }});
}

// Mask bits that announce no value are ignored: nothing more is read for them.
TEST(DataDecode, UnknownMaskBitsAreIgnored) {
    const auto f = from_hex("02 0F 00 29 00 03 03 " TS "00 C1 03 0E 58 03");
    msg_decoder_t dec;
    load(dec, f);
    ASSERT_TRUE(dec.is_valid());
    data_datum_t got(dec);
    EXPECT_FALSE(dec.is_short());
    EXPECT_EQ(got.mask, 0x01);
    EXPECT_EQ(got.localDatum, datum_p90);
}

// ---- raw device bytes ----

TEST(DataDeviceRaw, CopiesShareTheBufferAndHoldTheirOwnReference) {
    const data_device_raw_t none;
    const data_device_raw_t none_copy(none); // copying no buffer
    EXPECT_EQ(none_copy.buf(), nullptr);

    data_device_raw_t a(raw_gga, "abc", 3);
    refd_buf_t* ab = a.buf();
    ASSERT_NE(ab, nullptr);
    EXPECT_EQ(ab->ref_cnt(), 1);
    {
        const data_device_raw_t copy(a);
        EXPECT_EQ(copy.buf(), ab);
        EXPECT_EQ(copy.rawType(), raw_gga);
        EXPECT_EQ(ab->ref_cnt(), 2);
    }
    EXPECT_EQ(ab->ref_cnt(), 1);

    data_device_raw_t b(raw_rtcm, "xy", 2);
    refd_buf_t* bb = b.buf();
    bb->ref(); // watch the old buffer of b
    b = a;     // b drops its old buffer and shares a's
    EXPECT_EQ(bb->ref_cnt(), 1);
    refd_buf_t::release(bb);
    EXPECT_EQ(b.buf(), ab);
    EXPECT_EQ(ab->ref_cnt(), 2);

    const data_device_raw_t& same = b;
    b = same; // self-assignment keeps the buffer alive
    a = b;    // assigning the buffer already held
    EXPECT_EQ(ab->ref_cnt(), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ab->data()), ab->len()), "abc");
}

TEST(DataDeviceRaw, OnlyTheHeaderCrossesAConnection) {
    data_device_raw_t sent(raw_gga, "$GPGGA,1", 8);
    sent.utc_tstamp = 1700000000.5;
    const auto f = frame_of(sent);
    EXPECT_EQ(to_hex(f), "02 0D 00 18 00 FF 03 00 00 20 40 FC 54 D9 41 00 8F F7 03");
    msg_decoder_t dec;
    load(dec, f);
    data_device_raw_t got(dec);
    EXPECT_EQ(got.buf(), nullptr);
    EXPECT_EQ(got.utc_tstamp, 1700000000.5);
}

} // namespace
