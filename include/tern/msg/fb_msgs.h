// Feedback messages (category 2): state, results and configuration reported back to the user
// interface. Each class fixes its category and type; the port in the header names the port
// the feedback concerns.
#pragma once

#include <tern/data/port_cfg.h>
#include <tern/log/csv_fields.h>
#include <tern/log/log_cfg.h>
#include <tern/msg/msg.h>
#include <tern/msg/records.h>
#include <tern/output/output_types.h>

#include <string>

namespace tern {

// Configuration word of the controller.
class fb_controller_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 1;

    unsigned int config = 0;

    fb_controller_cfg_t() : msg_t(category_fb, msg_type) {}
    explicit fb_controller_cfg_t(msg_decoder_t& dec) : fb_controller_cfg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Description of the header's port.
class fb_port_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 2;

    port_info_t info;
    bool active = false;

    fb_port_t() : msg_t(category_fb, msg_type) {}
    explicit fb_port_t(msg_decoder_t& dec) : fb_port_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// The header's port was deleted. No payload.
class fb_port_delete_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 3;

    fb_port_delete_t() : msg_t(category_fb, msg_type) {}
    explicit fb_port_delete_t(msg_decoder_t& dec) : fb_port_delete_t() { dec.decodeMessage(*this); }
};

// Port whose device supplies time.
class fb_time_device_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 4;

    signed char time_device = -1; // -1: none

    fb_time_device_t() : msg_t(category_fb, msg_type) {}
    explicit fb_time_device_t(msg_decoder_t& dec) : fb_time_device_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Active system alarms as a bit word.
class fb_system_alarms_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 5;

    double tstamp = 0.0;
    unsigned int alarms = 0;

    fb_system_alarms_t() : msg_t(category_fb, msg_type) {}
    explicit fb_system_alarms_t(msg_decoder_t& dec) : fb_system_alarms_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// A numbered message for the operator with one parameter.
class fb_message_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 6;

    double tstamp = 0.0;
    unsigned int code = 0;
    unsigned int value = 0;

    fb_message_t() : msg_t(category_fb, msg_type) {}
    explicit fb_message_t(msg_decoder_t& dec) : fb_message_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Bytes received on the header's port so far.
class fb_data_received_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 7;

    unsigned long long count = 0;

    fb_data_received_t() : msg_t(category_fb, msg_type) {}
    explicit fb_data_received_t(msg_decoder_t& dec) : fb_data_received_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Complete serial configuration of the header's port.
//
// Payload, always whole: auto (bool), baud (u32), data bits, parity, stop bits, flow control
// (one byte each), device path (string), use RTS (bool).
class fb_port_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 8;

    bool auto_cfg = false;
    port_cfg_t cfg;

    fb_port_cfg_t() : msg_t(category_fb, msg_type) {}
    explicit fb_port_cfg_t(msg_decoder_t& dec) : fb_port_cfg_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Device type running on the header's port.
class fb_device_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 9;

    bool active = false;
    std::string device_type;

    fb_device_cfg_t() : msg_t(category_fb, msg_type) {}
    explicit fb_device_cfg_t(msg_decoder_t& dec) : fb_device_cfg_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// User-given name of the device on the header's port.
class fb_device_name_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 10;

    std::string device_name;

    fb_device_name_t() : msg_t(category_fb, msg_type) {}
    explicit fb_device_name_t(msg_decoder_t& dec) : fb_device_name_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Lock state of the header's port.
class fb_port_lock_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 11;

    port_lock_t lock = port_unlocked;

    fb_port_lock_t() : msg_t(category_fb, msg_type) {}
    explicit fb_port_lock_t(msg_decoder_t& dec) : fb_port_lock_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Result of an upload block.
class fb_upload_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 12;

    enum status_t : unsigned char {
        status_ok = 0,
        status_failed = 1,
        status_busy = 2,
    };

    status_t status = status_ok;

    fb_upload_t() : msg_t(category_fb, msg_type) {}
    explicit fb_upload_t(msg_decoder_t& dec) : fb_upload_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// What happened to the settings store.
class fb_settings_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 13;

    enum action_t : unsigned char {
        action_saved = 0,
        action_restored = 1,
        action_factory_reset = 2,
        action_failed = 3,
    };

    action_t action = action_saved;

    fb_settings_t() : msg_t(category_fb, msg_type) {}
    explicit fb_settings_t(msg_decoder_t& dec) : fb_settings_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Display brightness.
class fb_brightness_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 14;

    unsigned char brightness = 0;

    fb_brightness_t() : msg_t(category_fb, msg_type) {}
    explicit fb_brightness_t(msg_decoder_t& dec) : fb_brightness_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Configuration of one log channel (channel type, then the record; always both).
class fb_log_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 15;

    log_channel_type_t channel = log_channel_raw;
    log_cfg_t cfg;

    fb_log_cfg_t() : msg_t(category_fb, msg_type) {}
    explicit fb_log_cfg_t(msg_decoder_t& dec) : fb_log_cfg_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Selected CSV columns.
class fb_csv_output_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 16;

    csv_output_cfg_t cfg;

    fb_csv_output_cfg_t() : msg_t(category_fb, msg_type) {}
    explicit fb_csv_output_cfg_t(msg_decoder_t& dec) : fb_csv_output_cfg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Firmware-update state with a text for the operator.
class fb_fwu_state_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 17;

    enum state_t : unsigned char {
        state_idle = 0,
        state_searching = 1,
        state_uploading = 2,
        state_verifying = 3,
        state_done = 4,
        state_failed = 5,
    };

    state_t state = state_idle;
    std::string text;

    fb_fwu_state_t() : msg_t(category_fb, msg_type) {}
    explicit fb_fwu_state_t(msg_decoder_t& dec) : fb_fwu_state_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Firmware-update progress in percent.
class fb_fwu_percent_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 18;

    double percent = 0.0;

    fb_fwu_percent_t() : msg_t(category_fb, msg_type) {}
    explicit fb_fwu_percent_t(msg_decoder_t& dec) : fb_fwu_percent_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// A passing text for the operator.
class fb_transient_msg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 19;

    std::string text;

    fb_transient_msg_t() : msg_t(category_fb, msg_type) {}
    explicit fb_transient_msg_t(msg_decoder_t& dec) : fb_transient_msg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Elevation mask of the header's receiver.
class fb_elevation_mask_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 20;

    float elevation_mask = 0.0f;

    fb_elevation_mask_t() : msg_t(category_fb, msg_type) {}
    explicit fb_elevation_mask_t(msg_decoder_t& dec) : fb_elevation_mask_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// One BeiDou almanac.
class fb_alm_beidou_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 21;

    alm_data_beidou_t alm;

    fb_alm_beidou_t() : msg_t(category_fb, msg_type) {}
    explicit fb_alm_beidou_t(const alm_data_beidou_t& a) : fb_alm_beidou_t() { alm = a; }
    explicit fb_alm_beidou_t(msg_decoder_t& dec) : fb_alm_beidou_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// One Galileo almanac.
class fb_alm_galileo_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 22;

    alm_data_galileo_t alm;

    fb_alm_galileo_t() : msg_t(category_fb, msg_type) {}
    explicit fb_alm_galileo_t(const alm_data_galileo_t& a) : fb_alm_galileo_t() { alm = a; }
    explicit fb_alm_galileo_t(msg_decoder_t& dec) : fb_alm_galileo_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// One GPS almanac.
class fb_alm_gps_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 23;

    alm_data_gps_t alm;

    fb_alm_gps_t() : msg_t(category_fb, msg_type) {}
    explicit fb_alm_gps_t(const alm_data_gps_t& a) : fb_alm_gps_t() { alm = a; }
    explicit fb_alm_gps_t(msg_decoder_t& dec) : fb_alm_gps_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// One GLONASS almanac.
class fb_alm_glonass_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 24;

    alm_data_glonass_t alm;

    fb_alm_glonass_t() : msg_t(category_fb, msg_type) {}
    explicit fb_alm_glonass_t(const alm_data_glonass_t& a) : fb_alm_glonass_t() { alm = a; }
    explicit fb_alm_glonass_t(msg_decoder_t& dec) : fb_alm_glonass_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// One SBAS almanac.
class fb_alm_sbas_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 25;

    alm_data_sbas_t alm;

    fb_alm_sbas_t() : msg_t(category_fb, msg_type) {}
    explicit fb_alm_sbas_t(const alm_data_sbas_t& a) : fb_alm_sbas_t() { alm = a; }
    explicit fb_alm_sbas_t(msg_decoder_t& dec) : fb_alm_sbas_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// A power event.
class fb_acpi_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 26;

    enum reason_t : unsigned char {
        reason_none = 0,
        reason_power_button = 1,
        reason_shutdown = 2,
        reason_reboot = 3,
    };

    reason_t reason = reason_none;

    fb_acpi_t() : msg_t(category_fb, msg_type) {}
    explicit fb_acpi_t(msg_decoder_t& dec) : fb_acpi_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Acknowledgement: what was acknowledged and its result, one byte each.
class fb_ack_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 27;

    unsigned char what = 0;
    unsigned char result = 0;

    fb_ack_t() : msg_t(category_fb, msg_type) {}
    explicit fb_ack_t(msg_decoder_t& dec) : fb_ack_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Difference between two clocks, in seconds.
class fb_time_diff_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 28;

    double time_diff = 0.0;

    fb_time_diff_t() : msg_t(category_fb, msg_type) {}
    explicit fb_time_diff_t(msg_decoder_t& dec) : fb_time_diff_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Settings of the header's network port.
class fb_net_port_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 29;

    net_port_cfg_t cfg;

    fb_net_port_cfg_t() : msg_t(category_fb, msg_type) {}
    explicit fb_net_port_cfg_t(msg_decoder_t& dec) : fb_net_port_cfg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Status of the header's network port.
class fb_net_port_status_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 30;

    net_port_status_t status;

    fb_net_port_status_t() : msg_t(category_fb, msg_type) {}
    explicit fb_net_port_status_t(msg_decoder_t& dec) : fb_net_port_status_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Traffic on the header's network port, packed in one byte: bit 0 rx, bit 1 tx.
class fb_net_port_activity_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 31;

    bool rx = false;
    bool tx = false;

    fb_net_port_activity_t() : msg_t(category_fb, msg_type) {}
    explicit fb_net_port_activity_t(msg_decoder_t& dec) : fb_net_port_activity_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    // Takes each flag from its bit and ignores the other bits.
    void decodeContents(msg_decoder_t& dec) override;
};

// Result of an action on a named set of device settings.
class fb_dev_settings_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 32;

    enum action_t : unsigned char {
        action_saved = 0,
        action_loaded = 1,
        action_deleted = 2,
        action_listed = 3,
    };

    action_t action = action_saved;
    std::string name;
    bool success = false;

    fb_dev_settings_t() : msg_t(category_fb, msg_type) {}
    explicit fb_dev_settings_t(msg_decoder_t& dec) : fb_dev_settings_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Summary of a correction-service IP configuration.
class fb_tks_ip_summary_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 33;

    unsigned short count = 0; // number of servers
    std::string id;
    std::string name;

    fb_tks_ip_summary_t() : msg_t(category_fb, msg_type) {}
    explicit fb_tks_ip_summary_t(msg_decoder_t& dec) : fb_tks_ip_summary_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// One server of a correction-service IP configuration.
class fb_tks_ip_server_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 34;

    unsigned short index = 0;
    tks_ip_server_t server;

    fb_tks_ip_server_t() : msg_t(category_fb, msg_type) {}
    explicit fb_tks_ip_server_t(msg_decoder_t& dec) : fb_tks_ip_server_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Result of a settings snapshot: path, success, and only on failure the reason.
class fb_snapshot_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 35;

    std::string path;
    bool success = false;
    std::string reason; // why it failed; empty on success

    fb_snapshot_t() : msg_t(category_fb, msg_type) {}
    explicit fb_snapshot_t(msg_decoder_t& dec) : fb_snapshot_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Web-monitor site settings.
class fb_webmon_site_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 36;

    webmon_site_cfg_t cfg;

    fb_webmon_site_cfg_t() : msg_t(category_fb, msg_type) {}
    explicit fb_webmon_site_cfg_t(msg_decoder_t& dec) : fb_webmon_site_cfg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Web-monitor server settings: the record, success, and only on failure the reason.
class fb_webmon_server_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 37;

    webmon_server_cfg_t cfg;
    bool success = false;
    std::string reason; // why it failed; empty on success

    fb_webmon_server_cfg_t() : msg_t(category_fb, msg_type) {}
    explicit fb_webmon_server_cfg_t(msg_decoder_t& dec) : fb_webmon_server_cfg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Text of an output sentence that was sent.
class fb_raw_ascii_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 38;

    rawMsgType_t raw_type = raw_dtm;
    std::string text;

    fb_raw_ascii_t() : msg_t(category_fb, msg_type) {}
    fb_raw_ascii_t(rawMsgType_t kind, const char* src, unsigned int len) : fb_raw_ascii_t() {
        raw_type = kind;
        if (src) text.assign(src, len);
    }
    explicit fb_raw_ascii_t(msg_decoder_t& dec) : fb_raw_ascii_t() { dec.decodeMessage(*this); }

    // Texts over 255 bytes send their first 255.
    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Size of a raw data block that was passed on; the bytes themselves are not carried.
class fb_raw_binary_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 39;

    rawMsgType_t raw_type = raw_dtm;
    unsigned int count = 0;

    fb_raw_binary_t() : msg_t(category_fb, msg_type) {}
    fb_raw_binary_t(rawMsgType_t kind, unsigned int n) : fb_raw_binary_t() {
        raw_type = kind;
        count = n;
    }
    explicit fb_raw_binary_t(msg_decoder_t& dec) : fb_raw_binary_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Rate-of-turn sample size.
class fb_rot_sample_size_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 40;

    unsigned int sample_size = 0;

    fb_rot_sample_size_t() : msg_t(category_fb, msg_type) {}
    explicit fb_rot_sample_size_t(msg_decoder_t& dec) : fb_rot_sample_size_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

} // namespace tern
