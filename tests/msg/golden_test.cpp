// One golden frame per message class, kept under tests/golden/msg/: <class>.frame holds the
// whole frame as hex, <class>.dump the text form of the message decoded from it. For every
// class of every catalogue the test creates the message from the golden frame by number,
// checks its text, re-encodes it to the same bytes, and also encodes the class filled below to
// those bytes, so a field order that is wrong in the encoder and the decoder alike shows.
#include <tern/msg/catalogue.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/usb/usbd_msg.h>

#include "support/codec.h"
#include "support/hex.h"
#include "support/scratch.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>

using namespace tern;

namespace {

// Every field a value of its own; enumerations by number.
#define E(field, n) field = static_cast<std::decay_t<decltype(field)>>(n)

void fill(port_cfg_t& c) {
    c.baud = 38400, E(c.data_bits, 1), E(c.parity, 2), E(c.stop_bits, 1), E(c.flow_control, 2),
    c.serial_device = "/dev/ttyS2", c.use_rts = true;
}
void fill(log_cfg_t& c) {
    c.log_enabled = true, E(c.switch_file, 1), c.log_path = "/media/usb0/log/",
    c.log_diag_mode = true, c.log_auto_delete_age = 604800;
}
void fill(net_port_cfg_t& c) {
    c.enabled = c.specify_local_port = c.specify_remote_port = c.specify_remote_host = true,
    E(c.protocol, 2), c.local_port = 5017, c.remote_port = 2101, c.remote_host = "caster.example";
}
void fill(alm_data_gps_t& a) {
    a.prn = 17, a.health = 1, a.gps_week = 2288, a.gps_week_sec = 405504;
    double* d[] = {&a.mean_anom, &a.eccentricity, &a.inclination, &a.arg_perigee, &a.sqrt_a,
                   &a.omega_dot, &a.omega0,       &a.af0,         &a.af1};
    for (int i = 0; i < 9; ++i) *d[i] = 1.5 + i;
}
void fill(alm_data_short_t& a) {
    a.sat = 33, a.health = 2;
}
void fill(webmon_site_cfg_t& c) {
    c.site_id = 12, c.site_name = "Harbour", c.site_location = "Quay 4",
    c.site_ip_addr = 0xC0A80105;
}
void fill(webmon_server_cfg_t& c) {
    c.ip_addr = 0x0A000001, c.port = 8080;
}

// Overloads of fill for every message class that carries something; the rest take msg_t.
template <class... F>
struct overload_t : F... {
    using F::operator()...;
};
template <class... F>
overload_t(F...) -> overload_t<F...>;

const overload_t fill_msg{
    [](msg_t&) {},
    [](cmd_time_device_t& m) { m.time_device = 4; },
    [](cmd_port_cfg_t& m) { fill(m.cfg); },
    [](cmd_device_type_cfg_t& m) { m.device_type = "mbx4"; },
    [](cmd_device_name_t& m) { m.device_name = "bow antenna"; },
    [](cmd_port_lock_t& m) { E(m.lock, 1); },
    [](cmd_settings_t& m) { E(m.action, 2); },
    [](cmd_upload_t& m) { m.set_data("\x01\x02\x03\xFE", 4); },
    [](cmd_brightness_t& m) { m.brightness = 80; },
    [](cmd_log_cfg_t& m) { E(m.action, 1), E(m.channel, 1), fill(m.cfg); },
    [](cmd_csv_output_cfg_t& m) { m.cfg.mask = 0x00A5C3F0; },
    [](cmd_dev_settings_t& m) { E(m.action, 1), m.name = "survey"; },
    [](cmd_alm_request_t& m) {
        E(m.alm_type, 1), m.sats = {3, 14, 24};
    },
    [](cmd_alm_import_t& m) { fill(m.alm); },
    [](cmd_net_port_cfg_t& m) {
        m.name = "net1", m.desc = "RTCM in", m.short_name = "N1", fill(m.cfg), m.number = 3;
    },
    [](cmd_tks_ip_read_t& m) { m.name = "tks.cfg"; },
    [](cmd_satdefs_read_t& m) { m.name = "satdefs.dat"; },
    [](cmd_snapshot_t& m) {
        m.path = "/media/usb0/snap.html", m.title = "Trial", m.notes = "day 2";
        m.has_net_cfg = true, E(m.net_cfg.type, 2), m.net_cfg.mtu = 1400;
        ethernet_cfg_t& e = m.net_cfg.ip_cfg;
        e.ip_address = 0xC0A80164, e.netmask = 0xFFFFFF00, e.gateway = 0xC0A80101;
        e.dns = 0x08080808, e.dns2 = 0x01010101;
        m.net_cfg.ip_cfg.broadcast = 0xC0A801FF, m.net_cfg.ip_cfg.domain = "ship.local";
    },
    [](cmd_webmon_site_cfg_t& m) { fill(m.cfg); },
    [](cmd_webmon_server_cfg_read_t& m) { m.name = "webmon"; },
    [](cmd_raw_fb_set_t& m) {
        for (int k : {1, 9, 41}) m.set.insert(static_cast<rawMsgType_t>(k));
    },
    [](cmd_rot_sample_size_t& m) { E(m.action, 1), m.sample_size = 25; },
    [](cmd_device_write_t& m) { m.set_data("$GPZDA", 6); },
    [](fb_controller_cfg_t& m) { m.config = 0x01020304; },
    [](fb_port_t& m) {
        m.info.name = "COM2", m.info.desc = "serial 2", E(m.info.type, 1), m.active = true;
    },
    [](fb_time_device_t& m) { m.time_device = 2; },
    [](fb_system_alarms_t& m) { m.tstamp = 1700000000.25, m.alarms = 0x80000005; },
    [](fb_message_t& m) { m.tstamp = 1700000001.5, m.code = 7, m.value = 65536; },
    [](fb_data_received_t& m) { m.count = 0x0102030405060708ull; },
    [](fb_port_cfg_t& m) { m.auto_cfg = true, fill(m.cfg); },
    [](fb_device_cfg_t& m) { m.active = true, m.device_type = "gyro"; },
    [](fb_device_name_t& m) { m.device_name = "stern"; },
    [](fb_port_lock_t& m) { E(m.lock, 1); },
    [](fb_upload_t& m) { E(m.status, 2); },
    [](fb_settings_t& m) { E(m.action, 1); },
    [](fb_brightness_t& m) { m.brightness = 33; },
    [](fb_log_cfg_t& m) { E(m.channel, 1), fill(m.cfg); },
    [](fb_csv_output_cfg_t& m) { m.cfg.mask = 0x0F0F0F0F; },
    [](fb_fwu_state_t& m) { E(m.state, 3), m.text = "writing"; },
    [](fb_fwu_percent_t& m) { m.percent = 42.5; },
    [](fb_transient_msg_t& m) { m.text = "antenna open"; },
    [](fb_elevation_mask_t& m) { m.elevation_mask = 0.1745f; },
    [](fb_alm_beidou_t& m) { fill(m.alm); },
    [](fb_alm_galileo_t& m) { fill(m.alm); },
    [](fb_alm_gps_t& m) { fill(m.alm); },
    [](fb_alm_glonass_t& m) {
        alm_data_glonass_t& a = m.alm;
        a.slot = 21, a.healthy = true, a.channel = 250, a.day_number = 1461;
        double* d[] = {&a.tau_n,   &a.lambda,      &a.t_lambda,     &a.delta_i,
                       &a.delta_t, &a.delta_t_dot, &a.eccentricity, &a.omega};
        for (int i = 0; i < 8; ++i) *d[i] = -0.5 - i;
    },
    [](fb_alm_sbas_t& m) { fill(m.alm); },
    [](fb_acpi_t& m) { E(m.reason, 1); },
    [](fb_ack_t& m) { m.what = 15, m.result = 1; },
    [](fb_time_diff_t& m) { m.time_diff = -0.125; },
    [](fb_net_port_cfg_t& m) { fill(m.cfg); },
    [](fb_net_port_status_t& m) {
        m.status.text = "connected", m.status.addr = 0x7F000001, m.status.port = 7654;
    },
    [](fb_net_port_activity_t& m) { m.tx = true; },
    [](fb_dev_settings_t& m) { E(m.action, 1), m.name = "harbour", m.success = true; },
    [](fb_tks_ip_summary_t& m) { m.count = 2, m.id = "eu", m.name = "Europe"; },
    [](fb_tks_ip_server_t& m) {
        m.index = 1, m.server.host = "10.1.2.3", m.server.port = 2101, m.server.name = "north",
        m.server.mount_points = {{"RTCM3", "rtk"}, {"CMR", "old"}};
    },
    [](fb_snapshot_t& m) { m.path = "/media/usb0/s.html", m.reason = "volume full"; },
    [](fb_webmon_site_cfg_t& m) { fill(m.cfg); },
    [](fb_webmon_server_cfg_t& m) { fill(m.cfg), m.reason = "no route"; },
    [](fb_raw_ascii_t& m) { E(m.raw_type, 5), m.text = "$GPGGA,1*00"; },
    [](fb_raw_binary_t& m) { E(m.raw_type, 30), m.count = 700; },
    [](fb_rot_sample_size_t& m) { m.sample_size = 50; },
    [](fb_usbd_dev_t& m) {
        m.dev.dev_path = "/dev/sda1", m.dev.mount_path = "/media/usb0/", m.dev.label = "LOGS",
        m.dev.vol_id = "1234-ABCD", m.dev.persistent = true;
    },
    [](fb_usbd_dev_gone_t& m) { m.dev_path = "/dev/sdb1"; },
    [](data_cog_t& m) { m.cog_valid = true, m.cog = 1.25f; },
    [](data_diff_t& m) { m.age = 3.5f, m.ref_id = 1023; }, // the age whatever the flag
    [](data_diff_detail_t& m) { m.diff_type = 9, m.name = "stationXYZ", E(m.corr_type, 2); },
    [](data_fix_mode_t& m) { E(m.fix_mode, 4); },
    [](data_fix_type_t& m) { m.fix_auto = m.fix_valid = true; },
    [](data_fom_t& m) { m.fom_valid = true, m.fom = 0.75f; },
    [](data_h_dop_t& m) { m.hdop_valid = true, m.hdop = 0.9f; },
    [](data_height_t& m) {
        m.ellipsoidal_height_valid = true, m.ellipsoidal_height = 54.25;
        m.geoidal_height = 12.0; // not sent
    },
    [](data_pos_t& m) {
        m.latitude_valid = m.longitude_valid = true, m.latitude = 0.9, m.longitude = -0.05;
    },
    [](data_pr_stats_t& m) {
        m.combined = true, E(m.constellation, 1),
        m.orientation_valid = m.altitude_stddev_valid = m.range_stddev_rms_valid = true,
        m.range_stddev_rms = 1.5f, m.orientation = 0.5f, m.altitude_stddev = 2.25f;
    },
    [](data_pv_dop_t& m) { m.pdop_valid = m.vdop_valid = true, m.pdop = 1.5f, m.vdop = 1.25f; },
    [](data_sat_track_t& m) {
        E(m.constellation, 3);
        m.sats = {{141, 0.5f, 0.25f, {{1, 40.5f}, {0, 0.0f}}},
                  {150, 2.0f, 1.0f, {{1, 35.25f}, {1, 30.0f}}}};
    },
    [](data_sat_count_t& m) { m.num_sats = 14; },
    [](data_sat_use_t& m) {
        m.combined = true, E(m.constellation, 2), m.sats = {175, 180, 201};
    },
    [](data_sog_t& m) { m.sog_valid = true, m.sog = 6.5f; },
    [](data_dual_freq_t& m) { m.dual_freq = true; },
    [](data_rxq_t& m) { m.flag = true, m.value = 0.5f, m.count1 = 7, m.count2 = 9; },
    [](data_raw_meas_t& m) {
        m.count = 2, m.meas = {{5, {1.0, 2.0, 3.0}}, {6, {-1.0, -2.0, -3.0}}};
    },
    [](data_ionosphere_t& m) {
        for (int i = 0; i < 4; ++i) {
            m.alpha[i] = 1.0f + static_cast<float>(i);
            m.beta[i] = -1.0f - static_cast<float>(i);
        }
    },
    [](data_ephemeris_t& m) {
        m.prn = 12, m.health = 1, m.week = 2288;
        for (unsigned i = 0; i < data_ephemeris_t::param_count; ++i) m.params[i] = 0.5 * i;
    },
    [](data_csv_ea_t& m) {
        m.sats = {{"EGNOS-123", 1.0f, 0.5f, 123}, {"MSAS", 2.0f, 0.25f, 7}};
    },
    [](data_csv_snr_t& m) {
        m.sats = {{"WAAS-1", 42.5f, 131}};
    },
    [](data_mbrtk_heading_t& m) { m.heading = 271.5f; },
    [](data_mbrtk_baseline_t& m) { m.north = 1.5f, m.east = -2.5f, m.up = 0.25f; },
    [](data_qc_t& m) {
        float* f[] = {&m.unit_variance,          &m.stddev_semimajor_error,
                      &m.stddev_semiminor_error, &m.orientation_semimajor_error,
                      &m.stddev_latitude_error,  &m.stddev_longitude_error,
                      &m.stddev_height_error};
        for (int i = 0; i < 7; ++i) *f[i] = 0.5f + static_cast<float>(i);
        m.qc_fisher_test = true;
    },
    [](data_qc_mde_t& m) {
        m.prn = 23, E(m.mde_meas_type, 1), m.non_centrality = 1.5f, m.mde = 2.5f, m.pmde_lat = 3.5f,
        m.pmde_long = 4.5f, m.pmde_altitude = 5.5f;
    },
    [](data_qc_gbs_t& m) {
        m.prn = 31, m.expected_north_error = 0.5f, m.expected_east_error = 1.5f,
        m.expected_up_error = 2.5f, m.prob_miss_detect_mlfs = 0.25f, m.estimate_bias = -1.5f,
        m.stddev_estimate_bias = 3.25f;
    },
    [](data_ext_nav_mode_t& m) { m.beam = 2, m.mode = 5; },
    [](data_roll_t& m) { m.roll = -0.125f; },
    [](data_pitch_t& m) { m.pitch = 0.0625f; },
    [](data_heave_t& m) { m.heave = 1.75f; },
    [](data_rot_t& m) { m.rot = -0.02f; },
    [](data_heading_t& m) { m.heading = 3.0f; },
    [](data_motion_t& m) {
        E(m.status, 2), m.horizontal_acceleration = 0.5f, m.vertical_acceleration = -0.25f;
    },
    [](data_range_bearing_t& m) { m.target_id = "T1", m.range = 120.5, m.bearing = 45.25; },
    [](data_wind_speed_t& m) { E(m.reference, 1), m.speed = 7.5; },
    [](data_wind_direction_t& m) { E(m.reference, 1), m.direction = 1.0; },
    [](data_depth_t& m) { m.depth = 23.75; },
    [](data_datum_t& m) {
        m.mask = 0x3E, E(m.localDatum, 4); // every value but the local datum
        m.localDatumSubdivision = "NL", m.latitudeOffset = 0.001, m.longitudeOffset = -0.002;
        m.altitudeOffset = 4.5, E(m.referenceDatum, 1);
    },
    [](data_pos_offset_vessel_t& m) { m.target_id = "ROV", m.x = 1.5, m.y = -2.5; },
    [](data_pos_offset_cardinal_t& m) { m.target_id = "ROV", m.north = 10.5, m.east = -20.5; },
    [](data_pos_target_accuracy_t& m) { m.target_id = "B2", m.accuracy = 0.75; },
    [](data_pos_target_depth_t& m) { m.target_id = "B2", m.depth = 101.5; },
    [](data_pos_target_status_t& m) {
        m.target_id = "B3", m.status.status = "lost", m.status.error_code = "E12";
    },
    [](data_sat_health_t& m) {
        E(m.constellation, 1), m.sats = {{70, 0.5f, 1.0f, 40.0f, 41.5f, 0.0f, true, false}};
    },
    [](data_gps2utc_t& m) { m.gps2utc.delta_t_ls = 18; }, // in-process only
    [](data_vhd_info_t& m) {
        m.raw_heading = 1.5, m.attitude = -2.5, m.baseline = 3.25, m.heading_rms = 0.125;
    },
};

#undef E

// The filled message: port 7, and for data classes a header at 1700000000.5 (with GPS time on
// every third type, so both header lengths are pinned).
template <class M>
std::unique_ptr<msg_t> filled() {
    auto m = std::make_unique<M>();
    m->port = 7;
    if constexpr (std::is_base_of_v<data_msg_t, M>) {
        m->utc_tstamp = 1700000000.5;
        m->gps_time_valid = M::msg_type % 3 == 1;
        m->gps_week = 2288;
        m->gps_week_sec = 345600.25;
    }
    fill_msg(*m);
    return m;
}

struct golden_case_t {
    std::string name;
    bool usbd;
    std::function<std::unique_ptr<msg_t>()> make;
    std::function<std::unique_ptr<msg_t>(const msg_t&)> copy;
};

void PrintTo(const golden_case_t& c, std::ostream* os) {
    *os << c.name;
}

template <class M>
golden_case_t row(const char* name, bool usbd) {
    return {name, usbd, filled<M>,
            [](const msg_t& m) { return std::make_unique<M>(static_cast<const M&>(m)); }};
}

std::vector<golden_case_t> cases() {
#define MAIN(cls) row<cls>(#cls, false),
#define USBD(cls) row<cls>(#cls, true),
    return {TERN_COMMAND_MSGS(MAIN) TERN_FEEDBACK_MSGS(MAIN) TERN_DATA_MSGS(MAIN)
                TERN_USBD_COMMAND_MSGS(USBD) TERN_USBD_FEEDBACK_MSGS(USBD)};
#undef MAIN
#undef USBD
}

std::string golden(const std::string& file) {
    return tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/msg/" + file);
}

class GoldenMsg : public ::testing::TestWithParam<golden_case_t> {};

TEST_P(GoldenMsg, DecodesToItsTextAndEncodesToTheSameBytes) {
    const golden_case_t& c = GetParam();
    const std::string frame_hex = golden(c.name + ".frame");
    ASSERT_FALSE(frame_hex.empty()) << "no golden frame for " << c.name;
    const auto frame = tern_test::from_hex(frame_hex);
    const std::string want = tern_test::to_hex(frame);

    const auto filled_msg = c.make();
    EXPECT_EQ(tern_test::to_hex(tern_test::frame_of(*filled_msg)), want) << "encoder";

    msg_decoder_t dec;
    ASSERT_EQ(dec.decode_init(frame.data(), static_cast<unsigned>(frame.size())), frame.size());
    ASSERT_TRUE(dec.is_valid());
    const auto m = c.usbd ? create_usbd_msg(dec) : create_msg(dec);
    ASSERT_TRUE(m) << "the catalogue has no class for the frame's numbers";
    const msg_t& decoded = *m;
    const msg_t& filled = *filled_msg;
    EXPECT_EQ(typeid(decoded), typeid(filled));
    EXPECT_EQ(dec.remaining(), 0u) << "payload bytes left unread";
    EXPECT_EQ(tern_test::dump_of(*m), golden(c.name + ".dump"));
    EXPECT_EQ(tern_test::to_hex(tern_test::frame_of(*m)), want) << "re-encoded";
    EXPECT_EQ(tern_test::to_hex(tern_test::frame_of(*c.copy(*m))), want) << "copy";

    // The decoder makes the same choices on any shorter payload, so each one runs short: it is
    // refused without a read past its frame.
    const std::vector<unsigned char> payload(frame.begin() + 7, frame.end() - 3);
    for (std::size_t cut = 0; cut < payload.size(); ++cut) {
        const auto torn = tern_test::raw_frame(frame[6], frame[3] | frame[4] << 8, 7,
                                               {payload.begin(), payload.begin() + cut});
        msg_decoder_t d;
        d.decode_init(torn.data(), static_cast<unsigned>(torn.size()));
        EXPECT_FALSE(c.usbd ? create_usbd_msg(d) : create_msg(d)) << "cut at " << cut;
        EXPECT_TRUE(d.is_short()) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryClass, GoldenMsg, ::testing::ValuesIn(cases()),
                         [](const auto& p) { return p.param.name; });

} // namespace
