#include <tern/msg/data_msgs.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>

using namespace tern;

namespace {

struct dump_case_t {
    std::string name;
    std::function<std::unique_ptr<msg_t>()> make;
    std::string text;
};

// Port 3, time 1700000000.5 and, when asked, GPS week 2288 second 345600.25.
template <class T>
dump_case_t row(std::string name, std::function<void(T&)> fill, std::string text,
                bool gps = false) {
    return {std::move(name),
            [fill, gps] {
                auto m = std::make_unique<T>();
                m->port = 3;
                m->utc_tstamp = 1700000000.5;
                m->gps_time_valid = gps;
                m->gps_week = 2288; // printed only with the flag
                m->gps_week_sec = 345600.25;
                fill(*m);
                return std::unique_ptr<msg_t>(std::move(m));
            },
            std::move(text)};
}

#define HDR "utc_tstamp 1700000000.500000 gps_time_valid 0\n"

std::vector<dump_case_t> cases() {
    // clang-format off
    return {
        row<data_pos_t>("pos_with_gps_time", [](auto& m) {
                m.latitude_valid = m.longitude_valid = true; m.latitude = 0.5; m.longitude = -1.25; },
            "**** cat 3 type 10 port 3\n"
            "utc_tstamp 1700000000.500000 gps_time_valid 1 gps_week 2288 gps_week_sec 345600.250000\n"
            "latitude_valid 1 latitude 28.647890 longitude_valid 1 longitude -71.619724\n", true),
        row<data_pos_t>("pos_latitude_only", [](auto& m) {
                m.latitude_valid = true; m.latitude = 0.5; m.longitude = -1.25; },
            "**** cat 3 type 10 port 3\n" HDR "latitude_valid 1 latitude 28.647890 longitude_valid 0\n"),
        row<data_sat_track_t>("sat_track", [](auto& m) {
                m.constellation = constellation_galileo;
                m.sats = {{5, 0.5f, 0.25f, {{1, 40.5f}, {0, 0.0f}}},
                          {177, 1.5f, 0.75f, {{1, 35.25f}, {1, 30.0f}}}}; },
            "**** cat 3 type 13 port 3\n" HDR
            "constellation 2 sat_count 2\n"
            "sat 0 id 5 az 28.647890 el 14.323945\n"
            " f 0 track 1 snr 40.500000 f 1 track 0 snr 0.000000\n"
            "sat 1 id 177 az 85.943669 el 42.971835\n"
            " f 0 track 1 snr 35.250000 f 1 track 1 snr 30.000000\n"),
        row<data_sat_use_t>("sat_use", [](auto& m) {
                m.combined = true; m.constellation = constellation_beidou; m.sats = {140, 9}; },
            "**** cat 3 type 15 port 3\n" HDR "combined 1 constellation 3 sat_count 2\nsats 140 9\n"),
        row<data_sat_use_t>("sat_use_empty", [](auto&) {},
            "**** cat 3 type 15 port 3\n" HDR "combined 0 constellation 0 sat_count 0\n"),
        row<data_datum_t>("datum_mask_06", [](auto& m) {
                m.mask = 0x06; m.localDatum = datum_p90; m.localDatumSubdivision = "NL";
                m.latitudeOffset = 0.001; },
            "**** cat 3 type 41 port 3\n" HDR "localDatumSubdivision \"NL\"\nlatitudeOffset 3.437747\n"),
        row<data_datum_t>("datum_all", [](auto& m) {
                m.mask = data_datum_t::datum_all; m.localDatum = datum_999;
                m.latitudeOffset = 0.001; m.longitudeOffset = -0.002; m.altitudeOffset = 4.5;
                m.referenceDatum = datum_w84; },
            "**** cat 3 type 41 port 3\n" HDR
            "localDatum 4\nlocalDatumSubdivision \"\"\nlatitudeOffset 3.437747\n"
            "longitudeOffset -6.875494\naltitudeOffset 4.500000\nreferenceDatum 0\n"),
        row<data_cog_t>("cog_in_degrees", [](auto& m) { m.cog_valid = true; m.cog = 1.5f; },
            "**** cat 3 type 1 port 3\n" HDR "cog_valid 1 cog 85.943669\n"),
        row<data_rot_t>("rot_in_degrees_per_minute", [](auto& m) { m.rot = -0.02f; },
            "**** cat 3 type 34 port 3\n" HDR "rot -68.754934\n"),
        row<data_diff_detail_t>("diff_detail", [](auto& m) {
                m.diff_type = 7; m.name = "RTK NET"; m.corr_type = data_diff_detail_t::corr_type_precise; },
            "**** cat 3 type 3 port 3\n" HDR "type 7 name \"RTK NET\" corr_type 2\n"),
        row<data_diff_t>("diff_age_invalid", [](auto& m) { m.age = 3.0f; m.ref_id = 65535; },
            "**** cat 3 type 2 port 3\n" HDR "age_valid 0 ref_id 65535\n"),
        row<data_pr_stats_t>("pr_stats", [](auto& m) {
                m.constellation = constellation_glonass; m.orientation_valid = m.altitude_stddev_valid = true;
                m.orientation = 0.25f; m.altitude_stddev = 2.5f; },
            "**** cat 3 type 11 port 3\n" HDR "combined 0 constellation 1\n"
            "range_stddev_rms_valid 0\nsemi_major_stddev_valid 0\nsemi_minor_stddev_valid 0\n"
            "orientation_valid 1 orientation 0.250000\nlat_stddev_valid 0\nlon_stddev_valid 0\n"
            "altitude_stddev_valid 1 altitude_stddev 2.500000\n"),
        row<data_height_t>("height_two_lines", [](auto& m) {
                m.ellipsoidal_height_valid = true; m.ellipsoidal_height = -12.125; },
            "**** cat 3 type 9 port 3\n" HDR "geoidal_height_valid 0\n"
            "ellipsoidal_height_valid 1 ellipsoidal_height -12.125000\n"),
        row<data_fix_mode_t>("fix_mode_as_number", [](auto& m) { m.fix_mode = data_fix_mode_t::fix_mode_rtk_fixed; },
            "**** cat 3 type 4 port 3\n" HDR "fix_mode 4\n"),
        row<data_motion_t>("motion", [](auto& m) {
                m.status = tss1Msg_t::status_gps_aided; m.horizontal_acceleration = 0.5f;
                m.vertical_acceleration = -0.25f; },
            "**** cat 3 type 36 port 3\n" HDR
            "status 3\nhorizontal acceleration 0.500000\nvertical acceleration -0.250000\n"),
        row<data_wind_direction_t>("wind_direction_in_degrees", [](auto& m) {
                m.reference = windReference_true; m.direction = 1.5; },
            "**** cat 3 type 39 port 3\n" HDR "reference 1 direction 85.943669\n"),
        row<data_sat_health_t>("sat_health", [](auto& m) {
                m.sats = {{600, 0.5f, 0.25f, 40, 41, 42.5f, true, false}}; },
            "**** cat 3 type 47 port 3\n" HDR "constellation 0 sat_count 1\n"
            "sat 0 id 600 azim 28.647890 elev 14.323945 snr1 40.000000 snr2 41.000000 "
            "snr3 42.500000 healthy 1 in_use 0\n"),
        row<data_vhd_info_t>("vhd_info", [](auto& m) {
                m.raw_heading = 1; m.attitude = 2; m.baseline = 3; m.heading_rms = 0.5; },
            "**** cat 3 type 48 port 3\n" HDR
            "raw heading 1.000000 attitude 2.000000 baseline 3.000000 heading rms 0.500000\n"),
        row<data_sat_count_t>("sat_count", [](auto& m) { m.num_sats = 12; },
            "**** cat 3 type 14 port 3\n" HDR "num_sats 12\n"),
        row<data_ext_nav_mode_t>("ext_nav_mode", [](auto& m) { m.beam = 3; m.mode = 7; },
            "**** cat 3 type 30 port 3\n" HDR "beam 3 mode 7\n"),
        row<data_roll_t>("no_own_text", [](auto& m) { m.roll = 0.5f; }, "**** cat 3 type 31 port 3\n" HDR),
    };
    // clang-format on
}

class DataDump : public ::testing::TestWithParam<dump_case_t> {};

// The stream arrives with other settings; the text must not depend on them.
TEST_P(DataDump, ExactText) {
    const dump_case_t& c = GetParam();
    std::ostringstream os;
    os.precision(2);
    os.setf(std::ios::scientific, std::ios::floatfield);
    c.make()->dump(os);
    EXPECT_EQ(os.str(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Classes, DataDump, ::testing::ValuesIn(cases()),
                         [](const auto& p) { return p.param.name; });

} // namespace
