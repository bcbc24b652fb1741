// Command messages (category 1): requests and settings sent towards the processes that own
// devices, logging and outputs. Each class fixes its category and type; the port in the
// header names the port the command concerns.
#pragma once

#include <tern/conn/buf.h>
#include <tern/data/port_cfg.h>
#include <tern/log/csv_fields.h>
#include <tern/log/log_cfg.h>
#include <tern/msg/msg.h>
#include <tern/msg/records.h>
#include <tern/output/output_types.h>

#include <cstddef>
#include <new>
#include <vector>

namespace tern {

// Asks for the whole state after a user interface connects. No payload.
class cmd_init_ui_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 1;

    cmd_init_ui_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_init_ui_t(msg_decoder_t& dec) : cmd_init_ui_t() { dec.decodeMessage(*this); }
};

// Chooses the port whose device supplies time.
class cmd_time_device_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 2;

    signed char time_device = -1; // -1: none

    cmd_time_device_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_time_device_t(msg_decoder_t& dec) : cmd_time_device_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Serial settings of the header's port.
//
// Payload: auto (bool); only when auto is false: baud (u32), data bits, parity, stop bits
// (one byte each); always: flow control (byte), use RTS (bool). The device path is not sent;
// with auto set, the four skipped fields of the receiving object keep their values.
class cmd_port_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 3;

    bool auto_cfg = false; // parameters left to automatic detection
    port_cfg_t cfg;

    cmd_port_cfg_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_port_cfg_t(msg_decoder_t& dec) : cmd_port_cfg_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Device type to run on the header's port.
class cmd_device_type_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 4;

    std::string device_type;

    cmd_device_type_cfg_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_device_type_cfg_t(msg_decoder_t& dec) : cmd_device_type_cfg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// User-given name of the device on the header's port.
class cmd_device_name_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 5;

    std::string device_name;

    cmd_device_name_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_device_name_t(msg_decoder_t& dec) : cmd_device_name_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Locks or unlocks the header's port settings.
class cmd_port_lock_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 6;

    port_lock_t lock = port_unlocked;

    cmd_port_lock_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_port_lock_t(msg_decoder_t& dec) : cmd_port_lock_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// An action on the settings store.
class cmd_settings_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 7;

    enum action_t : unsigned char {
        action_save = 0, // store the current settings
        // Store the settings just found: the serial settings search (serialConfigCycler_t)
        // sends it when the device answers, so that the port keeps that combination.
        action_store_found = 1,
        // The old name of value 1, which wrongly read "reload the stored settings": a host
        // that did so undid what the search had found.
        action_restore
        [[deprecated("value 1 stores the settings just found: action_store_found")]] =
            action_store_found,
        action_factory_reset = 2, // back to the defaults
    };

    action_t action = action_save;

    cmd_settings_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_settings_t(msg_decoder_t& dec) : cmd_settings_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// A block of bytes to upload (count u16, then the bytes).
class cmd_upload_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 8;
    // The most a frame carries after the count.
    static constexpr unsigned int max_data = 1012;

    unsigned short count = 0; // valid bytes in data; never above max_data after decoding
    unsigned char data[max_data] = {};

    cmd_upload_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_upload_t(msg_decoder_t& dec) : cmd_upload_t() { dec.decodeMessage(*this); }

    // Copies at most max_data bytes and sets the count to what was copied.
    void set_data(const void* src, unsigned int len);

    // Sends min(count, max_data) bytes with that count.
    void encodeContents(msg_encoder_t& enc) const override;
    // A count beyond what the frame holds marks the decoder short and leaves the message as
    // it was; bytes beyond max_data are skipped.
    void decodeContents(msg_decoder_t& dec) override;
};

// Display brightness.
class cmd_brightness_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 9;

    unsigned char brightness = 0;

    cmd_brightness_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_brightness_t(msg_decoder_t& dec) : cmd_brightness_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Asks for (action_get) or sets (action_set) the configuration of a log channel.
//
// Payload: action; only with action_set: channel type, log_cfg_t.
class cmd_log_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 10;

    enum action_t : unsigned char {
        action_get = 0,
        action_set = 1,
    };

    action_t action = action_get;
    log_channel_type_t channel = log_channel_raw;
    log_cfg_t cfg;

    cmd_log_cfg_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_log_cfg_t(msg_decoder_t& dec) : cmd_log_cfg_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Selects the CSV columns.
class cmd_csv_output_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 11;

    csv_output_cfg_t cfg;

    cmd_csv_output_cfg_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_csv_output_cfg_t(msg_decoder_t& dec) : cmd_csv_output_cfg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// An action on a named set of device settings.
class cmd_dev_settings_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 12;

    enum action_t : unsigned char {
        action_save = 0,
        action_load = 1,
        action_delete = 2,
        action_list = 3,
    };

    action_t action = action_save;
    std::string name;

    cmd_dev_settings_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_dev_settings_t(msg_decoder_t& dec) : cmd_dev_settings_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Asks for the almanacs of one constellation, for the listed satellites.
//
// Payload: kind, count (u8), one byte per satellite. Lists over 255 send their first 255.
class cmd_alm_request_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 13;

    enum type_t : unsigned char {
        alm_gps = 0,
        alm_glonass = 1,
        alm_sbas = 2,
        alm_galileo = 3,
        alm_beidou = 4,
    };

    type_t alm_type = alm_gps;
    std::vector<unsigned char> sats;

    cmd_alm_request_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_alm_request_t(msg_decoder_t& dec) : cmd_alm_request_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    // The list ends up holding exactly the received values.
    void decodeContents(msg_decoder_t& dec) override;
};

// A GPS almanac to import.
class cmd_alm_import_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 14;

    alm_data_gps_t alm;

    cmd_alm_import_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_alm_import_t(msg_decoder_t& dec) : cmd_alm_import_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Settings of a network port.
//
// Payload: name, desc, short name (at most 20 bytes), net_port_cfg_t, number (u16).
class cmd_net_port_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 15;
    static constexpr unsigned int max_short_name = 20;

    std::string name;
    std::string desc;
    std::string short_name;
    net_port_cfg_t cfg;
    unsigned short number = 255;

    cmd_net_port_cfg_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_net_port_cfg_t(msg_decoder_t& dec) : cmd_net_port_cfg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Deletes the network port that the header's port names. No payload.
class cmd_net_port_del_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 16;

    cmd_net_port_del_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_net_port_del_t(msg_decoder_t& dec) : cmd_net_port_del_t() {
        dec.decodeMessage(*this);
    }
};

// Reads a correction-service IP configuration.
class cmd_tks_ip_read_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 17;

    std::string name;

    cmd_tks_ip_read_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_tks_ip_read_t(msg_decoder_t& dec) : cmd_tks_ip_read_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Reads the correction-satellite definitions.
class cmd_satdefs_read_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 18;

    std::string name;

    cmd_satdefs_read_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_satdefs_read_t(msg_decoder_t& dec) : cmd_satdefs_read_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Asks for a settings snapshot.
//
// Payload: path, title, notes, network flag (bool); only when the flag is set: sysnet_cfg_t.
class cmd_snapshot_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 19;

    std::string path;
    std::string title;
    std::string notes;
    bool has_net_cfg = false;
    sysnet_cfg_t net_cfg;

    cmd_snapshot_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_snapshot_t(msg_decoder_t& dec) : cmd_snapshot_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Web-monitor site settings.
class cmd_webmon_site_cfg_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 20;

    webmon_site_cfg_t cfg;

    cmd_webmon_site_cfg_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_webmon_site_cfg_t(msg_decoder_t& dec) : cmd_webmon_site_cfg_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Reads the web-monitor server configuration.
class cmd_webmon_server_cfg_read_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 21;

    std::string name;

    cmd_webmon_server_cfg_read_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_webmon_server_cfg_read_t(msg_decoder_t& dec) : cmd_webmon_server_cfg_read_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Selects the raw output kinds that are echoed back as feedback.
class cmd_raw_fb_set_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 22;

    rawMsgSet_t set{false};

    cmd_raw_fb_set_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_raw_fb_set_t(msg_decoder_t& dec) : cmd_raw_fb_set_t() { dec.decodeMessage(*this); }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Asks for (action_get) or sets (action_set) the rate-of-turn sample size.
//
// Payload: action; only with action_set: sample size (u32).
class cmd_rot_sample_size_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 23;

    enum action_t : unsigned char {
        action_get = 0,
        action_set = 1,
    };

    action_t action = action_get;
    unsigned int sample_size = 0;

    cmd_rot_sample_size_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_rot_sample_size_t(msg_decoder_t& dec) : cmd_rot_sample_size_t() {
        dec.decodeMessage(*this);
    }

    void encodeContents(msg_encoder_t& enc) const override;
    void decodeContents(msg_decoder_t& dec) override;
};

// Bytes to write to a device port. In-process only: nothing of it is carried on the wire.
//
// The bytes are either the first `len` bytes of the inline area or, when set, an external
// shared buffer (which then takes precedence). Copies share the external buffer, each with
// its own reference.
class cmd_device_write_t : public msg_t {
public:
    static constexpr unsigned int msg_type = 24;
    static constexpr unsigned int max_data = 1024;

    unsigned short len = 0; // valid inline bytes; only the first max_data ever count
    // Only the first `len` bytes mean anything. The area is not cleared: a sentence writes
    // its own bytes over it, and clearing 1 KiB per sentence cost more than the sentence.
    unsigned char data[max_data];

    cmd_device_write_t() : msg_t(category_cmd, msg_type) {}
    explicit cmd_device_write_t(msg_decoder_t& dec) : cmd_device_write_t() {
        dec.decodeMessage(*this);
    }
    cmd_device_write_t(const cmd_device_write_t& o);
    cmd_device_write_t& operator=(const cmd_device_write_t& o);
    ~cmd_device_write_t() override;

    // Replaces the external buffer. With take_ref the message adds its own reference;
    // without, it takes over the caller's reference. Setting the buffer already held is safe.
    void set_external(refd_buf_t* buf, bool take_ref);
    // Drops the message's reference to the external buffer, if any.
    void clear_ext_buf();
    refd_buf_t* ext_buf() const { return ext_buf_; }

    // Copies at most max_data bytes into the inline area and sets len.
    void set_data(const void* src, unsigned int n);

    // The bytes to write: the external buffer's when set, else the inline ones.
    const unsigned char* write_data() const;
    unsigned int write_len() const;

    // A command is made and dropped for every sentence: a thread keeps a few dropped ones'
    // memory for its next commands rather than going to the heap each time. A command may be
    // deleted on any thread; the memory then stays with that thread.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size) noexcept;
    // The other forms of new behave as the global ones.
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* p, const std::nothrow_t&) noexcept;
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}

private:
    refd_buf_t* ext_buf_ = nullptr;
};

// Time mark of the program that uses it; the time stamp stays in the process (not carried on
// the wire). The program chooses its category and type.
class cmd_time_sync_t : public msg_t {
public:
    // The type used when the program gives none; no catalogue class uses it.
    static constexpr unsigned int default_type = 0xFFFF;

    double utc_tstamp = 0.0;

    explicit cmd_time_sync_t(category_t cat = category_cmd, unsigned int typ = default_type)
        : msg_t(cat, typ) {}
    cmd_time_sync_t(category_t cat, unsigned int typ, msg_decoder_t& dec) : msg_t(cat, typ) {
        dec.decodeMessage(*this);
    }

    // The base line, then "utc_tstamp " and the value.
    void dump(std::ostream& os) const override;
};

} // namespace tern
