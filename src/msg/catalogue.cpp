#include <tern/msg/catalogue.h>

#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/usb/usbd_msg.h>

#include <algorithm>
#include <array>

namespace tern {
namespace {

using factory_t = msg_t* (*)(msg_decoder_t&);

template <class M>
msg_t* make(msg_decoder_t& dec) {
    return new M(dec);
}

// A table from type number to decoding constructor, filled from each class's own number.
template <class... M>
struct table_t {
    static constexpr unsigned int size = std::max({M::msg_type...}) + 1;
    std::array<factory_t, size> factories{};

    constexpr table_t() { ((factories[M::msg_type] = &make<M>), ...); }

    msg_t* create(unsigned int type, msg_decoder_t& dec) const {
        return type < size && factories[type] ? factories[type](dec) : nullptr;
    }
};

constexpr table_t<cmd_init_ui_t, cmd_time_device_t, cmd_port_cfg_t, cmd_device_type_cfg_t,
                  cmd_device_name_t, cmd_port_lock_t, cmd_settings_t, cmd_upload_t,
                  cmd_brightness_t, cmd_log_cfg_t, cmd_csv_output_cfg_t, cmd_dev_settings_t,
                  cmd_alm_request_t, cmd_alm_import_t, cmd_net_port_cfg_t, cmd_net_port_del_t,
                  cmd_tks_ip_read_t, cmd_satdefs_read_t, cmd_snapshot_t, cmd_webmon_site_cfg_t,
                  cmd_webmon_server_cfg_read_t, cmd_raw_fb_set_t, cmd_rot_sample_size_t,
                  cmd_device_write_t>
    commands;

constexpr table_t<
    fb_controller_cfg_t, fb_port_t, fb_port_delete_t, fb_time_device_t, fb_system_alarms_t,
    fb_message_t, fb_data_received_t, fb_port_cfg_t, fb_device_cfg_t, fb_device_name_t,
    fb_port_lock_t, fb_upload_t, fb_settings_t, fb_brightness_t, fb_log_cfg_t, fb_csv_output_cfg_t,
    fb_fwu_state_t, fb_fwu_percent_t, fb_transient_msg_t, fb_elevation_mask_t, fb_alm_beidou_t,
    fb_alm_galileo_t, fb_alm_gps_t, fb_alm_glonass_t, fb_alm_sbas_t, fb_acpi_t, fb_ack_t,
    fb_time_diff_t, fb_net_port_cfg_t, fb_net_port_status_t, fb_net_port_activity_t,
    fb_dev_settings_t, fb_tks_ip_summary_t, fb_tks_ip_server_t, fb_snapshot_t, fb_webmon_site_cfg_t,
    fb_webmon_server_cfg_t, fb_raw_ascii_t, fb_raw_binary_t, fb_rot_sample_size_t>
    feedback;

constexpr table_t<
    data_cog_t, data_diff_t, data_diff_detail_t, data_fix_mode_t, data_fix_type_t, data_fom_t,
    data_gps2utc_t, data_h_dop_t, data_height_t, data_pos_t, data_pr_stats_t, data_pv_dop_t,
    data_sat_track_t, data_sat_count_t, data_sat_use_t, data_sog_t, data_dual_freq_t, data_rxq_t,
    data_raw_meas_t, data_ionosphere_t, data_ephemeris_t, data_csv_ea_t, data_csv_snr_t,
    data_device_raw_t, data_mbrtk_heading_t, data_mbrtk_baseline_t, data_qc_t, data_qc_mde_t,
    data_qc_gbs_t, data_ext_nav_mode_t, data_roll_t, data_pitch_t, data_heave_t, data_rot_t,
    data_heading_t, data_motion_t, data_range_bearing_t, data_wind_speed_t, data_wind_direction_t,
    data_depth_t, data_datum_t, data_pos_offset_vessel_t, data_pos_offset_cardinal_t,
    data_pos_target_accuracy_t, data_pos_target_depth_t, data_pos_target_status_t,
    data_sat_health_t, data_vhd_info_t>
    navigation;

constexpr table_t<cmd_usbd_list_t> usbd_commands;
constexpr table_t<fb_usbd_dev_t, fb_usbd_dev_gone_t> usbd_feedback;

// Keeps a message only when its payload held every field the class reads.
std::unique_ptr<msg_t> checked(msg_t* m, const msg_decoder_t& dec) {
    std::unique_ptr<msg_t> owned(m);
    if (owned && dec.is_short()) owned.reset();
    return owned;
}

} // namespace

std::unique_ptr<msg_t> create_msg(msg_decoder_t& dec) {
    if (!dec.is_valid()) return nullptr;
    switch (dec.category()) {
    case msg_t::category_cmd:
        return checked(commands.create(dec.type(), dec), dec);
    case msg_t::category_fb:
        return checked(feedback.create(dec.type(), dec), dec);
    case msg_t::category_data:
        return checked(navigation.create(dec.type(), dec), dec);
    default:
        return nullptr;
    }
}

std::unique_ptr<msg_t> create_usbd_msg(msg_decoder_t& dec) {
    if (!dec.is_valid()) return nullptr;
    switch (dec.category()) {
    case msg_t::category_cmd:
        return checked(usbd_commands.create(dec.type(), dec), dec);
    case msg_t::category_fb:
        return checked(usbd_feedback.create(dec.type(), dec), dec);
    default:
        return nullptr;
    }
}

} // namespace tern
