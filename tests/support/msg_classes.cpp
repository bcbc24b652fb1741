#include "support/msg_classes.h"

#include "support/codec.h"
#include "support/hex.h"

#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/usb/usbd_msg.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace tern;

namespace tern_test {

const std::vector<msg_class_t>& command_classes() {
    static const std::vector<msg_class_t> classes = {
        msg_class<cmd_init_ui_t>("init_ui"),
        msg_class<cmd_time_device_t>("time_device"),
        msg_class<cmd_port_cfg_t>("port_cfg"),
        msg_class<cmd_device_type_cfg_t>("device_type_cfg"),
        msg_class<cmd_device_name_t>("device_name"),
        msg_class<cmd_port_lock_t>("port_lock"),
        msg_class<cmd_settings_t>("settings"),
        msg_class<cmd_upload_t>("upload"),
        msg_class<cmd_brightness_t>("brightness"),
        msg_class<cmd_log_cfg_t>("log_cfg"),
        msg_class<cmd_csv_output_cfg_t>("csv_output_cfg"),
        msg_class<cmd_dev_settings_t>("dev_settings"),
        msg_class<cmd_alm_request_t>("alm_request"),
        msg_class<cmd_alm_import_t>("alm_import"),
        msg_class<cmd_net_port_cfg_t>("net_port_cfg"),
        msg_class<cmd_net_port_del_t>("net_port_del"),
        msg_class<cmd_tks_ip_read_t>("tks_ip_read"),
        msg_class<cmd_satdefs_read_t>("satdefs_read"),
        msg_class<cmd_snapshot_t>("snapshot"),
        msg_class<cmd_webmon_site_cfg_t>("webmon_site_cfg"),
        msg_class<cmd_webmon_server_cfg_read_t>("webmon_server_cfg_read"),
        msg_class<cmd_raw_fb_set_t>("raw_fb_set"),
        msg_class<cmd_rot_sample_size_t>("rot_sample_size"),
        msg_class<cmd_device_write_t>("device_write"),
    };
    return classes;
}

const std::vector<msg_class_t>& feedback_classes() {
    static const std::vector<msg_class_t> classes = {
        msg_class<fb_controller_cfg_t>("controller_cfg"),
        msg_class<fb_port_t>("port"),
        msg_class<fb_port_delete_t>("port_delete"),
        msg_class<fb_time_device_t>("time_device"),
        msg_class<fb_system_alarms_t>("system_alarms"),
        msg_class<fb_message_t>("message"),
        msg_class<fb_data_received_t>("data_received"),
        msg_class<fb_port_cfg_t>("port_cfg"),
        msg_class<fb_device_cfg_t>("device_cfg"),
        msg_class<fb_device_name_t>("device_name"),
        msg_class<fb_port_lock_t>("port_lock"),
        msg_class<fb_upload_t>("upload"),
        msg_class<fb_settings_t>("settings"),
        msg_class<fb_brightness_t>("brightness"),
        msg_class<fb_log_cfg_t>("log_cfg"),
        msg_class<fb_csv_output_cfg_t>("csv_output_cfg"),
        msg_class<fb_fwu_state_t>("fwu_state"),
        msg_class<fb_fwu_percent_t>("fwu_percent"),
        msg_class<fb_transient_msg_t>("transient_msg"),
        msg_class<fb_elevation_mask_t>("elevation_mask"),
        msg_class<fb_alm_beidou_t>("alm_beidou"),
        msg_class<fb_alm_galileo_t>("alm_galileo"),
        msg_class<fb_alm_gps_t>("alm_gps"),
        msg_class<fb_alm_glonass_t>("alm_glonass"),
        msg_class<fb_alm_sbas_t>("alm_sbas"),
        msg_class<fb_acpi_t>("acpi"),
        msg_class<fb_ack_t>("ack"),
        msg_class<fb_time_diff_t>("time_diff"),
        msg_class<fb_net_port_cfg_t>("net_port_cfg"),
        msg_class<fb_net_port_status_t>("net_port_status"),
        msg_class<fb_net_port_activity_t>("net_port_activity"),
        msg_class<fb_dev_settings_t>("dev_settings"),
        msg_class<fb_tks_ip_summary_t>("tks_ip_summary"),
        // A two-byte count of 0x0101 would not fit in a frame: two mount points instead.
        msg_class<fb_tks_ip_server_t>("tks_ip_server",
                                      "0101 01 01 0101 01 01 0200 0101 0101 0101 0101"),
        msg_class<fb_snapshot_t>("snapshot", "01 01 00 01 01"), // failure, with its reason
        msg_class<fb_webmon_site_cfg_t>("webmon_site_cfg"),
        msg_class<fb_webmon_server_cfg_t>("webmon_server_cfg"),
        msg_class<fb_raw_ascii_t>("raw_ascii"),
        msg_class<fb_raw_binary_t>("raw_binary"),
        msg_class<fb_rot_sample_size_t>("rot_sample_size"),
    };
    return classes;
}

const std::vector<msg_class_t>& data_classes() {
    static const std::vector<msg_class_t> classes = {
        msg_class<data_cog_t>("cog"),
        msg_class<data_diff_t>("diff"),
        msg_class<data_diff_detail_t>("diff_detail"),
        msg_class<data_fix_mode_t>("fix_mode"),
        msg_class<data_fix_type_t>("fix_type"),
        msg_class<data_fom_t>("fom"),
        msg_class<data_gps2utc_t>("gps2utc"),
        msg_class<data_h_dop_t>("h_dop"),
        msg_class<data_height_t>("height"),
        msg_class<data_pos_t>("pos"),
        msg_class<data_pr_stats_t>("pr_stats"),
        msg_class<data_pv_dop_t>("pv_dop"),
        msg_class<data_sat_track_t>("sat_track"),
        msg_class<data_sat_count_t>("sat_count"),
        msg_class<data_sat_use_t>("sat_use"),
        msg_class<data_sog_t>("sog"),
        msg_class<data_dual_freq_t>("dual_freq"),
        msg_class<data_rxq_t>("rxq"),
        msg_class<data_raw_meas_t>("raw_meas"),
        msg_class<data_ionosphere_t>("ionosphere"),
        msg_class<data_ephemeris_t>("ephemeris"),
        msg_class<data_csv_ea_t>("csv_ea"),
        msg_class<data_csv_snr_t>("csv_snr"),
        msg_class<data_device_raw_t>("device_raw"),
        msg_class<data_mbrtk_heading_t>("mbrtk_heading"),
        msg_class<data_mbrtk_baseline_t>("mbrtk_baseline"),
        msg_class<data_qc_t>("qc"),
        msg_class<data_qc_mde_t>("qc_mde"),
        msg_class<data_qc_gbs_t>("qc_gbs"),
        msg_class<data_ext_nav_mode_t>("ext_nav_mode"),
        msg_class<data_roll_t>("roll"),
        msg_class<data_pitch_t>("pitch"),
        msg_class<data_heave_t>("heave"),
        msg_class<data_rot_t>("rot"),
        msg_class<data_heading_t>("heading"),
        msg_class<data_motion_t>("motion"),
        msg_class<data_range_bearing_t>("range_bearing"),
        msg_class<data_wind_speed_t>("wind_speed"),
        msg_class<data_wind_direction_t>("wind_direction"),
        msg_class<data_depth_t>("depth"),
        msg_class<data_datum_t>("datum"),
        msg_class<data_pos_offset_vessel_t>("pos_offset_vessel"),
        msg_class<data_pos_offset_cardinal_t>("pos_offset_cardinal"),
        msg_class<data_pos_target_accuracy_t>("pos_target_accuracy"),
        msg_class<data_pos_target_depth_t>("pos_target_depth"),
        msg_class<data_pos_target_status_t>("pos_target_status"),
        msg_class<data_sat_health_t>("sat_health"),
        msg_class<data_vhd_info_t>("vhd_info"),
    };
    return classes;
}

const std::vector<msg_class_t>& usbd_classes() {
    static const std::vector<msg_class_t> classes = {
        msg_class<cmd_usbd_list_t>("usbd_list"),
        msg_class<fb_usbd_dev_t>("usbd_dev"),
        msg_class<fb_usbd_dev_gone_t>("usbd_dev_gone"),
    };
    return classes;
}

void expect_round_trips(const std::vector<msg_class_t>& classes,
                        const std::vector<std::string>& no_payload) {
    constexpr unsigned int port = 200;
    for (const auto& c : classes) {
        SCOPED_TRACE(c.name);
        const auto pattern =
            c.pattern.empty() ? std::vector<unsigned char>(1000, 0x01) : from_hex(c.pattern);
        const auto in = raw_frame(c.category, c.type, port, pattern);
        msg_decoder_t dec;
        ASSERT_EQ(dec.decode_init(in.data(), static_cast<unsigned int>(in.size())), in.size());
        const auto m = c.decode(dec);
        ASSERT_FALSE(dec.is_short());
        const unsigned int used = dec.pos() - 7;
        const bool empty =
            std::find(no_payload.begin(), no_payload.end(), c.name) != no_payload.end();
        EXPECT_EQ(used == 0, empty);
        if (!c.pattern.empty()) EXPECT_EQ(used, pattern.size());

        // What was read comes back byte for byte, under the class's own header.
        const auto bytes = frame_of(*m);
        ASSERT_EQ(bytes.size(), used + 10);
        EXPECT_EQ(to_hex(bytes.data() + 7, used), to_hex(pattern.data(), used));
        EXPECT_EQ(bytes[3] | (bytes[4] << 8), static_cast<int>(c.type));
        EXPECT_EQ(bytes[5], port);
        EXPECT_EQ(bytes[6], c.category);
        if (!empty) EXPECT_NE(frame_of(*c.make()), bytes); // the pattern changed every field

        ASSERT_EQ(dec.decode_init(bytes.data(), static_cast<unsigned int>(bytes.size())),
                  bytes.size());
        const auto back = c.decode(dec);
        EXPECT_FALSE(dec.is_short());
        EXPECT_EQ(dec.remaining(), 0u);
        EXPECT_EQ(back->port, port);
        EXPECT_EQ(back->category, c.category);
        EXPECT_EQ(back->type, c.type);
        EXPECT_EQ(frame_of(*back), bytes);
        EXPECT_EQ(frame_of(*c.copy(*m)), bytes);
    }
}

} // namespace tern_test
