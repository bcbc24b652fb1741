#include <tern/msg/fb_msgs.h>

namespace tern {

void fb_controller_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << config;
}
void fb_controller_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> config;
}

void fb_port_t::encodeContents(msg_encoder_t& enc) const {
    enc << info << active;
}
void fb_port_t::decodeContents(msg_decoder_t& dec) {
    dec >> info >> active;
}

void fb_time_device_t::encodeContents(msg_encoder_t& enc) const {
    enc << time_device;
}
void fb_time_device_t::decodeContents(msg_decoder_t& dec) {
    dec >> time_device;
}

void fb_system_alarms_t::encodeContents(msg_encoder_t& enc) const {
    enc << tstamp << alarms;
}
void fb_system_alarms_t::decodeContents(msg_decoder_t& dec) {
    dec >> tstamp >> alarms;
}

void fb_message_t::encodeContents(msg_encoder_t& enc) const {
    enc << tstamp << code << value;
}
void fb_message_t::decodeContents(msg_decoder_t& dec) {
    dec >> tstamp >> code >> value;
}

void fb_data_received_t::encodeContents(msg_encoder_t& enc) const {
    enc << count;
}
void fb_data_received_t::decodeContents(msg_decoder_t& dec) {
    dec >> count;
}

void fb_port_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << auto_cfg << cfg.baud << cfg.data_bits << cfg.parity << cfg.stop_bits << cfg.flow_control
        << cfg.serial_device << cfg.use_rts;
}

void fb_port_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> auto_cfg >> cfg.baud >> cfg.data_bits >> cfg.parity >> cfg.stop_bits >>
        cfg.flow_control >> cfg.serial_device >> cfg.use_rts;
}

void fb_device_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << active << device_type;
}
void fb_device_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> active >> device_type;
}

void fb_device_name_t::encodeContents(msg_encoder_t& enc) const {
    enc << device_name;
}
void fb_device_name_t::decodeContents(msg_decoder_t& dec) {
    dec >> device_name;
}

void fb_port_lock_t::encodeContents(msg_encoder_t& enc) const {
    enc << lock;
}
void fb_port_lock_t::decodeContents(msg_decoder_t& dec) {
    dec >> lock;
}

void fb_upload_t::encodeContents(msg_encoder_t& enc) const {
    enc << status;
}
void fb_upload_t::decodeContents(msg_decoder_t& dec) {
    dec >> status;
}

void fb_settings_t::encodeContents(msg_encoder_t& enc) const {
    enc << action;
}
void fb_settings_t::decodeContents(msg_decoder_t& dec) {
    dec >> action;
}

void fb_brightness_t::encodeContents(msg_encoder_t& enc) const {
    enc << brightness;
}
void fb_brightness_t::decodeContents(msg_decoder_t& dec) {
    dec >> brightness;
}

void fb_log_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << channel << cfg;
}
void fb_log_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> channel >> cfg;
}

void fb_csv_output_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << cfg;
}
void fb_csv_output_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> cfg;
}

void fb_fwu_state_t::encodeContents(msg_encoder_t& enc) const {
    enc << state << text;
}
void fb_fwu_state_t::decodeContents(msg_decoder_t& dec) {
    dec >> state >> text;
}

void fb_fwu_percent_t::encodeContents(msg_encoder_t& enc) const {
    enc << percent;
}
void fb_fwu_percent_t::decodeContents(msg_decoder_t& dec) {
    dec >> percent;
}

void fb_transient_msg_t::encodeContents(msg_encoder_t& enc) const {
    enc << text;
}
void fb_transient_msg_t::decodeContents(msg_decoder_t& dec) {
    dec >> text;
}

void fb_elevation_mask_t::encodeContents(msg_encoder_t& enc) const {
    enc << elevation_mask;
}
void fb_elevation_mask_t::decodeContents(msg_decoder_t& dec) {
    dec >> elevation_mask;
}

void fb_alm_beidou_t::encodeContents(msg_encoder_t& enc) const {
    enc << alm;
}
void fb_alm_beidou_t::decodeContents(msg_decoder_t& dec) {
    dec >> alm;
}

void fb_alm_galileo_t::encodeContents(msg_encoder_t& enc) const {
    enc << alm;
}
void fb_alm_galileo_t::decodeContents(msg_decoder_t& dec) {
    dec >> alm;
}

void fb_alm_gps_t::encodeContents(msg_encoder_t& enc) const {
    enc << alm;
}
void fb_alm_gps_t::decodeContents(msg_decoder_t& dec) {
    dec >> alm;
}

void fb_alm_glonass_t::encodeContents(msg_encoder_t& enc) const {
    enc << alm;
}
void fb_alm_glonass_t::decodeContents(msg_decoder_t& dec) {
    dec >> alm;
}

void fb_alm_sbas_t::encodeContents(msg_encoder_t& enc) const {
    enc << alm;
}
void fb_alm_sbas_t::decodeContents(msg_decoder_t& dec) {
    dec >> alm;
}

void fb_acpi_t::encodeContents(msg_encoder_t& enc) const {
    enc << reason;
}
void fb_acpi_t::decodeContents(msg_decoder_t& dec) {
    dec >> reason;
}

void fb_ack_t::encodeContents(msg_encoder_t& enc) const {
    enc << what << result;
}
void fb_ack_t::decodeContents(msg_decoder_t& dec) {
    dec >> what >> result;
}

void fb_time_diff_t::encodeContents(msg_encoder_t& enc) const {
    enc << time_diff;
}
void fb_time_diff_t::decodeContents(msg_decoder_t& dec) {
    dec >> time_diff;
}

void fb_net_port_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << cfg;
}
void fb_net_port_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> cfg;
}

void fb_net_port_status_t::encodeContents(msg_encoder_t& enc) const {
    enc << status;
}
void fb_net_port_status_t::decodeContents(msg_decoder_t& dec) {
    dec >> status;
}

void fb_net_port_activity_t::encodeContents(msg_encoder_t& enc) const {
    const unsigned char bits = static_cast<unsigned char>((rx ? 0x01 : 0) | (tx ? 0x02 : 0));
    enc << bits;
}

void fb_net_port_activity_t::decodeContents(msg_decoder_t& dec) {
    unsigned char bits = 0;
    dec >> bits;
    if (dec.is_short()) return;
    rx = (bits & 0x01) != 0;
    tx = (bits & 0x02) != 0;
}

void fb_dev_settings_t::encodeContents(msg_encoder_t& enc) const {
    enc << action << name << success;
}

void fb_dev_settings_t::decodeContents(msg_decoder_t& dec) {
    dec >> action >> name >> success;
}

void fb_tks_ip_summary_t::encodeContents(msg_encoder_t& enc) const {
    enc << count << id << name;
}
void fb_tks_ip_summary_t::decodeContents(msg_decoder_t& dec) {
    dec >> count >> id >> name;
}

void fb_tks_ip_server_t::encodeContents(msg_encoder_t& enc) const {
    enc << index << server;
}
void fb_tks_ip_server_t::decodeContents(msg_decoder_t& dec) {
    dec >> index >> server;
}

void fb_snapshot_t::encodeContents(msg_encoder_t& enc) const {
    enc << path << success;
    if (!success) enc << reason;
}

void fb_snapshot_t::decodeContents(msg_decoder_t& dec) {
    dec >> path >> success;
    // A success carries no reason: keep none from an earlier failure.
    if (!success)
        dec >> reason;
    else
        reason.clear();
}

void fb_webmon_site_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << cfg;
}
void fb_webmon_site_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> cfg;
}

void fb_webmon_server_cfg_t::encodeContents(msg_encoder_t& enc) const {
    enc << cfg << success;
    if (!success) enc << reason;
}

void fb_webmon_server_cfg_t::decodeContents(msg_decoder_t& dec) {
    dec >> cfg >> success;
    if (!success)
        dec >> reason;
    else
        reason.clear();
}

void fb_raw_ascii_t::encodeContents(msg_encoder_t& enc) const {
    enc << raw_type << text;
}
void fb_raw_ascii_t::decodeContents(msg_decoder_t& dec) {
    dec >> raw_type >> text;
}

void fb_raw_binary_t::encodeContents(msg_encoder_t& enc) const {
    enc << raw_type << count;
}
void fb_raw_binary_t::decodeContents(msg_decoder_t& dec) {
    dec >> raw_type >> count;
}

void fb_rot_sample_size_t::encodeContents(msg_encoder_t& enc) const {
    enc << sample_size;
}
void fb_rot_sample_size_t::decodeContents(msg_decoder_t& dec) {
    dec >> sample_size;
}

} // namespace tern
