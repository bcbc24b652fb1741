// Creation of message objects from received frames, by category and type number.
#pragma once

#include <tern/msg/msg.h>

#include <memory>

// The catalogues, declared once: one list per category, each class in type order, as
// X(class). Creation by number, the data visitor and the tests all derive from these lists.
// The main connection:
#define TERN_COMMAND_MSGS(X)                                                                       \
    X(cmd_init_ui_t)                                                                               \
    X(cmd_time_device_t)                                                                           \
    X(cmd_port_cfg_t)                                                                              \
    X(cmd_device_type_cfg_t)                                                                       \
    X(cmd_device_name_t)                                                                           \
    X(cmd_port_lock_t)                                                                             \
    X(cmd_settings_t)                                                                              \
    X(cmd_upload_t)                                                                                \
    X(cmd_brightness_t)                                                                            \
    X(cmd_log_cfg_t)                                                                               \
    X(cmd_csv_output_cfg_t)                                                                        \
    X(cmd_dev_settings_t)                                                                          \
    X(cmd_alm_request_t)                                                                           \
    X(cmd_alm_import_t)                                                                            \
    X(cmd_net_port_cfg_t)                                                                          \
    X(cmd_net_port_del_t)                                                                          \
    X(cmd_tks_ip_read_t)                                                                           \
    X(cmd_satdefs_read_t)                                                                          \
    X(cmd_snapshot_t)                                                                              \
    X(cmd_webmon_site_cfg_t)                                                                       \
    X(cmd_webmon_server_cfg_read_t)                                                                \
    X(cmd_raw_fb_set_t)                                                                            \
    X(cmd_rot_sample_size_t)                                                                       \
    X(cmd_device_write_t)

#define TERN_FEEDBACK_MSGS(X)                                                                      \
    X(fb_controller_cfg_t)                                                                         \
    X(fb_port_t)                                                                                   \
    X(fb_port_delete_t)                                                                            \
    X(fb_time_device_t)                                                                            \
    X(fb_system_alarms_t)                                                                          \
    X(fb_message_t)                                                                                \
    X(fb_data_received_t)                                                                          \
    X(fb_port_cfg_t)                                                                               \
    X(fb_device_cfg_t)                                                                             \
    X(fb_device_name_t)                                                                            \
    X(fb_port_lock_t)                                                                              \
    X(fb_upload_t)                                                                                 \
    X(fb_settings_t)                                                                               \
    X(fb_brightness_t)                                                                             \
    X(fb_log_cfg_t)                                                                                \
    X(fb_csv_output_cfg_t)                                                                         \
    X(fb_fwu_state_t)                                                                              \
    X(fb_fwu_percent_t)                                                                            \
    X(fb_transient_msg_t)                                                                          \
    X(fb_elevation_mask_t)                                                                         \
    X(fb_alm_beidou_t)                                                                             \
    X(fb_alm_galileo_t)                                                                            \
    X(fb_alm_gps_t)                                                                                \
    X(fb_alm_glonass_t)                                                                            \
    X(fb_alm_sbas_t)                                                                               \
    X(fb_acpi_t)                                                                                   \
    X(fb_ack_t)                                                                                    \
    X(fb_time_diff_t)                                                                              \
    X(fb_net_port_cfg_t)                                                                           \
    X(fb_net_port_status_t)                                                                        \
    X(fb_net_port_activity_t)                                                                      \
    X(fb_dev_settings_t)                                                                           \
    X(fb_tks_ip_summary_t)                                                                         \
    X(fb_tks_ip_server_t)                                                                          \
    X(fb_snapshot_t)                                                                               \
    X(fb_webmon_site_cfg_t)                                                                        \
    X(fb_webmon_server_cfg_t)                                                                      \
    X(fb_raw_ascii_t)                                                                              \
    X(fb_raw_binary_t)                                                                             \
    X(fb_rot_sample_size_t)

#define TERN_DATA_MSGS(X)                                                                          \
    X(data_cog_t)                                                                                  \
    X(data_diff_t)                                                                                 \
    X(data_diff_detail_t)                                                                          \
    X(data_fix_mode_t)                                                                             \
    X(data_fix_type_t)                                                                             \
    X(data_fom_t)                                                                                  \
    X(data_gps2utc_t)                                                                              \
    X(data_h_dop_t)                                                                                \
    X(data_height_t)                                                                               \
    X(data_pos_t)                                                                                  \
    X(data_pr_stats_t)                                                                             \
    X(data_pv_dop_t)                                                                               \
    X(data_sat_track_t)                                                                            \
    X(data_sat_count_t)                                                                            \
    X(data_sat_use_t)                                                                              \
    X(data_sog_t)                                                                                  \
    X(data_dual_freq_t)                                                                            \
    X(data_rxq_t)                                                                                  \
    X(data_raw_meas_t)                                                                             \
    X(data_ionosphere_t)                                                                           \
    X(data_ephemeris_t)                                                                            \
    X(data_csv_ea_t)                                                                               \
    X(data_csv_snr_t)                                                                              \
    X(data_device_raw_t)                                                                           \
    X(data_mbrtk_heading_t)                                                                        \
    X(data_mbrtk_baseline_t)                                                                       \
    X(data_qc_t)                                                                                   \
    X(data_qc_mde_t)                                                                               \
    X(data_qc_gbs_t)                                                                               \
    X(data_ext_nav_mode_t)                                                                         \
    X(data_roll_t)                                                                                 \
    X(data_pitch_t)                                                                                \
    X(data_heave_t)                                                                                \
    X(data_rot_t)                                                                                  \
    X(data_heading_t)                                                                              \
    X(data_motion_t)                                                                               \
    X(data_range_bearing_t)                                                                        \
    X(data_wind_speed_t)                                                                           \
    X(data_wind_direction_t)                                                                       \
    X(data_depth_t)                                                                                \
    X(data_datum_t)                                                                                \
    X(data_pos_offset_vessel_t)                                                                    \
    X(data_pos_offset_cardinal_t)                                                                  \
    X(data_pos_target_accuracy_t)                                                                  \
    X(data_pos_target_depth_t)                                                                     \
    X(data_pos_target_status_t)                                                                    \
    X(data_sat_health_t)                                                                           \
    X(data_vhd_info_t)

// The USB daemon link, which has its own three messages:
#define TERN_USBD_COMMAND_MSGS(X) X(cmd_usbd_list_t)

#define TERN_USBD_FEEDBACK_MSGS(X)                                                                 \
    X(fb_usbd_dev_t)                                                                               \
    X(fb_usbd_dev_gone_t)

namespace tern {

// Creates the message of the main connection's catalogue for the frame that `dec` holds,
// built with its decoding constructor. Null when the decoder holds no valid frame, when the
// category and type name no class, or when the payload is shorter than the class reads
// (dec.is_short() then tells the two apart).
std::unique_ptr<msg_t> create_msg(msg_decoder_t& dec);

// The same for the USB daemon link, which has its own three messages.
std::unique_ptr<msg_t> create_usbd_msg(msg_decoder_t& dec);

} // namespace tern
