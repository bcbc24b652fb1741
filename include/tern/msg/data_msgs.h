// Navigation data messages (category 3): what receivers and sensors measure.
//
// Every payload starts with the common data header:
//
//   utc_tstamp (double) | gps_time_valid (bool) | [gps_week (u32) | gps_week_sec (double)]
//
// (9 bytes, or 21 with GPS time), followed by the fields of the class. Optional values follow
// one of four layouts: a flag then the value only when the flag is set; a presence mask byte
// whose bits announce the values that follow in bit order; several flags packed in one byte;
// a one-byte count then that many entries (at most 255 travel; decoding appends them to the
// list held, except data_sat_use_t and data_raw_meas_t, which replace theirs).
//
// Units in memory: angles in radians, speeds in metres per second, heights and distances in
// metres, rate of turn in radians per second. The text forms (dump) print angles in degrees,
// rate of turn in degrees per minute and datum offsets in minutes of arc.
#pragma once

#include <tern/conn/buf.h>
#include <tern/decode/tss1Msg.h>
#include <tern/msg/msg.h>
#include <tern/msg/records.h>
#include <tern/output/output_types.h>
#include <tern/util/gps2utc.h>

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace tern {

// Type numbers of the navigation data messages.
enum data_type_t : std::uint32_t {
    data_type_cog = 1,
    data_type_diff = 2,
    data_type_diff_detail = 3,
    data_type_fix_mode = 4,
    data_type_fix_type = 5,
    data_type_fom = 6,
    data_type_gps2utc = 7,
    data_type_h_dop = 8,
    data_type_height = 9,
    data_type_pos = 10,
    data_type_pr_stats = 11,
    data_type_pv_dop = 12,
    data_type_sat_track = 13,
    data_type_sat_count = 14,
    data_type_sat_use = 15,
    data_type_sog = 16,
    data_type_dual_freq = 17,
    data_type_rxq = 18,
    data_type_raw_meas = 19,
    data_type_ionosphere = 20,
    data_type_ephemeris = 21,
    data_type_csv_ea = 22,
    data_type_csv_snr = 23,
    data_type_device_raw = 24,
    data_type_mbrtk_heading = 25,
    data_type_mbrtk_baseline = 26,
    data_type_qc = 27,
    data_type_qc_mde = 28,
    data_type_qc_gbs = 29,
    data_type_ext_nav_mode = 30,
    data_type_roll = 31,
    data_type_pitch = 32,
    data_type_heave = 33,
    data_type_rot = 34,
    data_type_heading = 35,
    data_type_motion = 36,
    data_type_range_bearing = 37,
    data_type_wind_speed = 38,
    data_type_wind_direction = 39,
    data_type_depth = 40,
    data_type_datum = 41,
    data_type_pos_offset_vessel = 42,
    data_type_pos_offset_cardinal = 43,
    data_type_pos_target_accuracy = 44,
    data_type_pos_target_depth = 45,
    data_type_pos_target_status = 46,
    data_type_sat_health = 47,
    data_type_vhd_info = 48,
};

// Reference of a wind measurement.
enum windReference_t : unsigned char {
    windReference_relative = 0, // relative to the vessel's bow
    windReference_true = 1,     // corrected for the vessel's own motion
};

// Base of every navigation data message: the time of the data and, when known, its GPS time.
// Two data messages belong to one epoch when their utc_tstamp values are equal.
class data_msg_t : public msg_t {
public:
    double utc_tstamp = 0.0;     // seconds since 1970 on the data clock
    bool gps_time_valid = false; // gps_week and gps_week_sec are set
    unsigned int gps_week = 0;
    double gps_week_sec = 0.0;

    explicit data_msg_t(data_type_t t) : msg_t(category_data, t) {}
    data_msg_t(const data_msg_t&) = default;
    data_msg_t& operator=(const data_msg_t&) = default;

    data_type_t data_type() const { return static_cast<data_type_t>(type); }

    // Writes the header, then the class's own fields (encodeData).
    void encodeContents(msg_encoder_t& enc) const final;
    // Reads the header (week and seconds only when the flag says so), then decodeData.
    void decodeContents(msg_decoder_t& dec) final;
    // The base line, then "utc_tstamp T gps_time_valid F[ gps_week W gps_week_sec S]".
    void dump(std::ostream& os) const override;

protected:
    virtual void encodeData(msg_encoder_t& enc) const;
    virtual void decodeData(msg_decoder_t& dec);
};

// Base of the messages about a tracked (acoustic or laser) target: the target identifier,
// then the fields of the class (encodeTargetData).
class data_pos_target_msg_t : public data_msg_t {
public:
    std::string target_id;

    explicit data_pos_target_msg_t(data_type_t t) : data_msg_t(t) {}

protected:
    void encodeData(msg_encoder_t& enc) const final;
    void decodeData(msg_decoder_t& dec) final;
    virtual void encodeTargetData(msg_encoder_t& enc) const;
    virtual void decodeTargetData(msg_decoder_t& dec);
};

// Course over ground; the value travels only when valid.
class data_cog_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_cog;

    bool cog_valid = false;
    float cog = 0.0f; // radians, clockwise from true north

    data_cog_t() : data_msg_t(data_type_cog) {}
    explicit data_cog_t(msg_decoder_t& dec) : data_cog_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Age of the differential corrections and the reference station that sent them. The age is
// carried whatever its flag says.
class data_diff_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_diff;

    bool age_valid = false;
    float age = 0.0f; // seconds
    unsigned short ref_id = 0;

    data_diff_t() : data_msg_t(data_type_diff) {}
    explicit data_diff_t(msg_decoder_t& dec) : data_diff_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// The differential service in use; its name travels cut to 8 bytes.
class data_diff_detail_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_diff_detail;

    enum corr_type_t : unsigned char {
        corr_type_none = 0,
        corr_type_code = 1,    // code-phase differential
        corr_type_precise = 2, // decimetre-level service
        corr_type_rtk = 3,     // carrier-phase (RTK) corrections
    };
    static constexpr unsigned int name_maxlen = 8;

    unsigned short diff_type = 0;
    std::string name;
    corr_type_t corr_type = corr_type_none;

    data_diff_detail_t() : data_msg_t(data_type_diff_detail) {}
    explicit data_diff_detail_t(msg_decoder_t& dec) : data_diff_detail_t() {
        dec.decodeMessage(*this);
    }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Quality of the position fix.
class data_fix_mode_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_fix_mode;

    enum fix_mode_t : unsigned char {
        fix_mode_invalid = 0,
        fix_mode_autonomous = 1,
        fix_mode_differential = 2,
        fix_mode_pps = 3,
        fix_mode_rtk_fixed = 4,
        fix_mode_rtk_float = 5,
        fix_mode_estimated = 6,
        fix_mode_manual = 7,
        fix_mode_simulated = 8,
    };
    fix_mode_t fix_mode = fix_mode_invalid;

    data_fix_mode_t() : data_msg_t(data_type_fix_mode) {}
    explicit data_fix_mode_t(msg_decoder_t& dec) : data_fix_mode_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Fix type, packed in one byte: bit 2 fix_auto, bit 1 fix_3d, bit 0 fix_valid.
class data_fix_type_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_fix_type;

    bool fix_auto = false; // the receiver chose 2D/3D by itself
    bool fix_3d = false;
    bool fix_valid = false;

    data_fix_type_t() : data_msg_t(data_type_fix_type) {}
    explicit data_fix_type_t(msg_decoder_t& dec) : data_fix_type_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Figure of merit; the value travels only when valid.
class data_fom_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_fom;

    bool fom_valid = false;
    float fom = 0.0f;

    data_fom_t() : data_msg_t(data_type_fom) {}
    explicit data_fom_t(msg_decoder_t& dec) : data_fom_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// GPS-to-UTC leap-second parameters. They stay inside the producing process: only the
// header crosses a connection.
class data_gps2utc_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_gps2utc;

    gps2utc_t gps2utc;

    data_gps2utc_t() : data_msg_t(data_type_gps2utc) {}
    explicit data_gps2utc_t(msg_decoder_t& dec) : data_gps2utc_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Horizontal dilution of precision; the value travels only when valid.
class data_h_dop_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_h_dop;

    bool hdop_valid = false;
    float hdop = 0.0f;

    data_h_dop_t() : data_msg_t(data_type_h_dop) {}
    explicit data_h_dop_t(msg_decoder_t& dec) : data_h_dop_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Heights; presence mask bit 0 geoidal, bit 1 ellipsoidal.
class data_height_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_height;

    bool geoidal_height_valid = false;
    bool ellipsoidal_height_valid = false;
    double geoidal_height = 0.0;     // metres above the geoid
    double ellipsoidal_height = 0.0; // metres above the ellipsoid

    data_height_t() : data_msg_t(data_type_height) {}
    explicit data_height_t(msg_decoder_t& dec) : data_height_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Position; presence mask bit 0 latitude, bit 1 longitude.
class data_pos_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_pos;

    bool latitude_valid = false;
    bool longitude_valid = false;
    double latitude = 0.0;  // radians, north positive
    double longitude = 0.0; // radians, east positive

    data_pos_t() : data_msg_t(data_type_pos) {}
    explicit data_pos_t(msg_decoder_t& dec) : data_pos_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Pseudorange error statistics of one constellation (or of all, when combined); presence
// mask bits 0 to 6 in the order of the fields below.
class data_pr_stats_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_pr_stats;

    bool combined = false;
    constellation_t constellation{};
    bool range_stddev_rms_valid = false;
    bool semi_major_stddev_valid = false;
    bool semi_minor_stddev_valid = false;
    bool orientation_valid = false;
    bool lat_stddev_valid = false;
    bool lon_stddev_valid = false;
    bool altitude_stddev_valid = false;
    float range_stddev_rms = 0.0f;  // metres
    float semi_major_stddev = 0.0f; // metres
    float semi_minor_stddev = 0.0f; // metres
    float orientation = 0.0f;       // radians, of the semi-major axis
    float lat_stddev = 0.0f;        // metres
    float lon_stddev = 0.0f;        // metres
    float altitude_stddev = 0.0f;   // metres

    data_pr_stats_t() : data_msg_t(data_type_pr_stats) {}
    explicit data_pr_stats_t(msg_decoder_t& dec) : data_pr_stats_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Position and vertical dilution of precision; presence mask bit 0 PDOP, bit 1 VDOP.
class data_pv_dop_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_pv_dop;

    bool pdop_valid = false;
    bool vdop_valid = false;
    float pdop = 0.0f;
    float vdop = 0.0f;

    data_pv_dop_t() : data_msg_t(data_type_pv_dop) {}
    explicit data_pv_dop_t(msg_decoder_t& dec) : data_pv_dop_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Satellites tracked in one constellation, with two frequencies each (19 bytes a satellite).
class data_sat_track_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_sat_track;

    struct freq_t {
        unsigned char track = 0; // 1 tracked, 0 not
        float snr = 0.0f;        // dB-Hz
    };
    struct sat_t {
        unsigned char id = 0;
        float az = 0.0f; // radians
        float el = 0.0f; // radians
        freq_t freq[2];
    };
    constellation_t constellation{};
    std::vector<sat_t> sats;

    data_sat_track_t() : data_msg_t(data_type_sat_track) {}
    explicit data_sat_track_t(msg_decoder_t& dec) : data_sat_track_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Number of satellites used in the fix.
class data_sat_count_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_sat_count;

    unsigned char num_sats = 0;

    data_sat_count_t() : data_msg_t(data_type_sat_count) {}
    explicit data_sat_count_t(msg_decoder_t& dec) : data_sat_count_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Satellite numbers used in the fix. Decoding replaces the list.
class data_sat_use_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_sat_use;

    bool combined = false;
    constellation_t constellation{};
    std::vector<unsigned char> sats;

    data_sat_use_t() : data_msg_t(data_type_sat_use) {}
    explicit data_sat_use_t(msg_decoder_t& dec) : data_sat_use_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Speed over ground; the value travels only when valid.
class data_sog_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_sog;

    bool sog_valid = false;
    float sog = 0.0f; // metres per second

    data_sog_t() : data_msg_t(data_type_sog) {}
    explicit data_sog_t(msg_decoder_t& dec) : data_sog_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Dual-frequency operation.
class data_dual_freq_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_dual_freq;

    bool dual_freq = false;

    data_dual_freq_t() : data_msg_t(data_type_dual_freq) {}
    explicit data_dual_freq_t(msg_decoder_t& dec) : data_dual_freq_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Receiver quality, as the receiver reports it.
class data_rxq_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_rxq;

    bool flag = false;
    float value = 0.0f;
    unsigned char count1 = 0;
    unsigned char count2 = 0;

    data_rxq_t() : data_msg_t(data_type_rxq) {}
    explicit data_rxq_t(msg_decoder_t& dec) : data_rxq_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Raw measurements. The count sent is always the number of entries that follow (at most
// 255); after decoding, `count` is the number of entries read.
class data_raw_meas_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_raw_meas;

    struct meas_t {
        unsigned char id = 0;
        double value[3] = {0.0, 0.0, 0.0};
    };
    unsigned char count = 0;
    std::vector<meas_t> meas;

    data_raw_meas_t() : data_msg_t(data_type_raw_meas) {}
    explicit data_raw_meas_t(msg_decoder_t& dec) : data_raw_meas_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Ionosphere model parameters.
class data_ionosphere_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_ionosphere;

    float alpha[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float beta[4] = {0.0f, 0.0f, 0.0f, 0.0f};

    data_ionosphere_t() : data_msg_t(data_type_ionosphere) {}
    explicit data_ionosphere_t(msg_decoder_t& dec) : data_ionosphere_t() {
        dec.decodeMessage(*this);
    }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Ephemeris of one satellite.
class data_ephemeris_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_ephemeris;

    static constexpr unsigned int param_count = 21;
    unsigned char prn = 0;
    unsigned char health = 0;
    unsigned short week = 0;
    double params[param_count] = {};

    data_ephemeris_t() : data_msg_t(data_type_ephemeris) {}
    explicit data_ephemeris_t(msg_decoder_t& dec) : data_ephemeris_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Azimuth and elevation of the visible correction satellites, for CSV logging.
class data_csv_ea_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_csv_ea;

    static constexpr unsigned int name_maxlen = 32;
    struct sat_t {
        std::string name; // travels cut to 32 bytes
        float azimuth = 0.0f;
        float elevation = 0.0f;
        unsigned int id = 0; // identifier of the correction satellite record
    };
    std::vector<sat_t> sats;

    data_csv_ea_t() : data_msg_t(data_type_csv_ea) {}
    explicit data_csv_ea_t(msg_decoder_t& dec) : data_csv_ea_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Signal-to-noise values of the correction satellites, for CSV logging.
class data_csv_snr_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_csv_snr;

    static constexpr unsigned int name_maxlen = 32;
    struct sat_t {
        std::string name; // travels cut to 32 bytes
        float snr = 0.0f;
        unsigned int id = 0;
    };
    std::vector<sat_t> sats;

    data_csv_snr_t() : data_msg_t(data_type_csv_snr) {}
    explicit data_csv_snr_t(msg_decoder_t& dec) : data_csv_snr_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// A block of raw bytes received from a device, with its raw output kind. The bytes stay in
// the process (shared, not copied, between copies of the message): only the header crosses
// a connection.
class data_device_raw_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_device_raw;

    // No buffer, kind 0.
    data_device_raw_t() : data_msg_t(data_type_device_raw) {}
    explicit data_device_raw_t(msg_decoder_t& dec) : data_device_raw_t() {
        dec.decodeMessage(*this);
    }
    // Copies `length` bytes from `data` into a new shared buffer.
    data_device_raw_t(rawMsgType_t kind, const void* data, unsigned int length);
    // The copy shares the buffer and holds its own reference.
    data_device_raw_t(const data_device_raw_t& other);
    data_device_raw_t& operator=(const data_device_raw_t& other);
    ~data_device_raw_t() override;

    rawMsgType_t rawType() const { return raw_type_; }
    // The shared buffer (null when none); valid as long as this message holds it.
    refd_buf_t* buf() const { return buf_; }

private:
    rawMsgType_t raw_type_{};
    refd_buf_t* buf_ = nullptr;
};

// Heading of the moving-baseline solution.
class data_mbrtk_heading_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_mbrtk_heading;

    float heading = 0.0f; // degrees

    data_mbrtk_heading_t() : data_msg_t(data_type_mbrtk_heading) {}
    explicit data_mbrtk_heading_t(msg_decoder_t& dec) : data_mbrtk_heading_t() {
        dec.decodeMessage(*this);
    }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Moving-baseline vector.
class data_mbrtk_baseline_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_mbrtk_baseline;

    float north = 0.0f; // metres
    float east = 0.0f;  // metres
    float up = 0.0f;    // metres

    data_mbrtk_baseline_t() : data_msg_t(data_type_mbrtk_baseline) {}
    explicit data_mbrtk_baseline_t(msg_decoder_t& dec) : data_mbrtk_baseline_t() {
        dec.decodeMessage(*this);
    }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Quality-control summary of the solution.
class data_qc_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_qc;

    float unit_variance = 0.0f;
    float stddev_semimajor_error = 0.0f;
    float stddev_semiminor_error = 0.0f;
    float orientation_semimajor_error = 0.0f;
    float stddev_latitude_error = 0.0f;
    float stddev_longitude_error = 0.0f;
    float stddev_height_error = 0.0f;
    bool qc_fisher_test = false;

    data_qc_t() : data_msg_t(data_type_qc) {}
    explicit data_qc_t(msg_decoder_t& dec) : data_qc_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Minimal detectable error of one measurement.
class data_qc_mde_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_qc_mde;

    enum mde_meas_type_t : unsigned char {
        mde_meas_code = 0,
        mde_meas_phase = 1,
        mde_meas_doppler = 2,
    };
    unsigned char prn = 0;
    mde_meas_type_t mde_meas_type = mde_meas_code;
    float non_centrality = 0.0f;
    float mde = 0.0f;
    float pmde_lat = 0.0f;
    float pmde_long = 0.0f;
    float pmde_altitude = 0.0f;

    data_qc_mde_t() : data_msg_t(data_type_qc_mde) {}
    explicit data_qc_mde_t(msg_decoder_t& dec) : data_qc_mde_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Fault detection of one satellite.
class data_qc_gbs_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_qc_gbs;

    unsigned char prn = 0;
    float expected_north_error = 0.0f;
    float expected_east_error = 0.0f;
    float expected_up_error = 0.0f;
    float prob_miss_detect_mlfs = 0.0f;
    float estimate_bias = 0.0f;
    float stddev_estimate_bias = 0.0f;

    data_qc_gbs_t() : data_msg_t(data_type_qc_gbs) {}
    explicit data_qc_gbs_t(msg_decoder_t& dec) : data_qc_gbs_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Extended navigation mode: the correction beam and mode in use.
class data_ext_nav_mode_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_ext_nav_mode;

    unsigned int beam = 0;
    unsigned int mode = 0;

    data_ext_nav_mode_t() : data_msg_t(data_type_ext_nav_mode) {}
    explicit data_ext_nav_mode_t(msg_decoder_t& dec) : data_ext_nav_mode_t() {
        dec.decodeMessage(*this);
    }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Roll of the vessel, carried as the motion sensor decoder gives it.
class data_roll_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_roll;

    float roll = 0.0f;

    data_roll_t() : data_msg_t(data_type_roll) {}
    explicit data_roll_t(msg_decoder_t& dec) : data_roll_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Pitch of the vessel, carried as the motion sensor decoder gives it.
class data_pitch_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_pitch;

    float pitch = 0.0f;

    data_pitch_t() : data_msg_t(data_type_pitch) {}
    explicit data_pitch_t(msg_decoder_t& dec) : data_pitch_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Heave of the vessel, carried as the motion sensor decoder gives it.
class data_heave_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_heave;

    float heave = 0.0f;

    data_heave_t() : data_msg_t(data_type_heave) {}
    explicit data_heave_t(msg_decoder_t& dec) : data_heave_t() { dec.decodeMessage(*this); }

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Rate of turn.
class data_rot_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_rot;

    float rot = 0.0f; // radians per second

    data_rot_t() : data_msg_t(data_type_rot) {}
    explicit data_rot_t(msg_decoder_t& dec) : data_rot_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// True heading.
class data_heading_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_heading;

    float heading = 0.0f; // radians

    data_heading_t() : data_msg_t(data_type_heading) {}
    explicit data_heading_t(msg_decoder_t& dec) : data_heading_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Motion sensor status and accelerations.
class data_motion_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_motion;

    tss1Msg_t::status_t status{};
    float horizontal_acceleration = 0.0f;
    float vertical_acceleration = 0.0f;

    data_motion_t() : data_msg_t(data_type_motion) {}
    explicit data_motion_t(msg_decoder_t& dec) : data_motion_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Range and bearing of a target, as the sensor gives them.
class data_range_bearing_t : public data_pos_target_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_range_bearing;

    double range = 0.0;
    double bearing = 0.0;

    data_range_bearing_t() : data_pos_target_msg_t(data_type_range_bearing) {}
    explicit data_range_bearing_t(msg_decoder_t& dec) : data_range_bearing_t() {
        dec.decodeMessage(*this);
    }

protected:
    void encodeTargetData(msg_encoder_t& enc) const override;
    void decodeTargetData(msg_decoder_t& dec) override;
};

// Wind speed, as the wind sensor gives it.
class data_wind_speed_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_wind_speed;

    windReference_t reference = windReference_relative;
    double speed = 0.0;

    data_wind_speed_t() : data_msg_t(data_type_wind_speed) {}
    explicit data_wind_speed_t(msg_decoder_t& dec) : data_wind_speed_t() {
        dec.decodeMessage(*this);
    }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Wind direction, relative to the bow or true as `reference` says.
class data_wind_direction_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_wind_direction;

    windReference_t reference = windReference_relative;
    double direction = 0.0; // radians

    data_wind_direction_t() : data_msg_t(data_type_wind_direction) {}
    explicit data_wind_direction_t(msg_decoder_t& dec) : data_wind_direction_t() {
        dec.decodeMessage(*this);
    }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Water depth, as the sounder gives it.
class data_depth_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_depth;

    double depth = 0.0;

    data_depth_t() : data_msg_t(data_type_depth) {}
    explicit data_depth_t(msg_decoder_t& dec) : data_depth_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Datum of the position; `mask` says which of the values are present (datum_* bits).
class data_datum_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_datum;

    enum : unsigned char {
        datum_local = 0x01,
        datum_local_subdivision = 0x02,
        datum_latitude_offset = 0x04,
        datum_longitude_offset = 0x08,
        datum_altitude_offset = 0x10,
        datum_reference = 0x20,
        datum_all = 0x3F,
    };
    unsigned char mask = 0;
    datumType_t localDatum{};
    std::string localDatumSubdivision;
    double latitudeOffset = 0.0;  // radians
    double longitudeOffset = 0.0; // radians
    double altitudeOffset = 0.0;  // metres
    datumType_t referenceDatum{};

    data_datum_t() : data_msg_t(data_type_datum) {}
    explicit data_datum_t(msg_decoder_t& dec) : data_datum_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Offset of a target in the vessel frame.
class data_pos_offset_vessel_t : public data_pos_target_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_pos_offset_vessel;

    double x = 0.0;
    double y = 0.0;

    data_pos_offset_vessel_t() : data_pos_target_msg_t(data_type_pos_offset_vessel) {}
    explicit data_pos_offset_vessel_t(msg_decoder_t& dec) : data_pos_offset_vessel_t() {
        dec.decodeMessage(*this);
    }

protected:
    void encodeTargetData(msg_encoder_t& enc) const override;
    void decodeTargetData(msg_decoder_t& dec) override;
};

// Offset of a target along the cardinal directions.
class data_pos_offset_cardinal_t : public data_pos_target_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_pos_offset_cardinal;

    double north = 0.0;
    double east = 0.0;

    data_pos_offset_cardinal_t() : data_pos_target_msg_t(data_type_pos_offset_cardinal) {}
    explicit data_pos_offset_cardinal_t(msg_decoder_t& dec) : data_pos_offset_cardinal_t() {
        dec.decodeMessage(*this);
    }

protected:
    void encodeTargetData(msg_encoder_t& enc) const override;
    void decodeTargetData(msg_decoder_t& dec) override;
};

// Accuracy of a target's position, as the tracking system gives it.
class data_pos_target_accuracy_t : public data_pos_target_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_pos_target_accuracy;

    double accuracy = 0.0;

    data_pos_target_accuracy_t() : data_pos_target_msg_t(data_type_pos_target_accuracy) {}
    explicit data_pos_target_accuracy_t(msg_decoder_t& dec) : data_pos_target_accuracy_t() {
        dec.decodeMessage(*this);
    }

protected:
    void encodeTargetData(msg_encoder_t& enc) const override;
    void decodeTargetData(msg_decoder_t& dec) override;
};

// Depth of a target, as the tracking system gives it.
class data_pos_target_depth_t : public data_pos_target_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_pos_target_depth;

    double depth = 0.0;

    data_pos_target_depth_t() : data_pos_target_msg_t(data_type_pos_target_depth) {}
    explicit data_pos_target_depth_t(msg_decoder_t& dec) : data_pos_target_depth_t() {
        dec.decodeMessage(*this);
    }

protected:
    void encodeTargetData(msg_encoder_t& enc) const override;
    void decodeTargetData(msg_decoder_t& dec) override;
};

// Status of a target as the tracking system reports it, error code included.
class data_pos_target_status_t : public data_pos_target_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_pos_target_status;

    positionTargetStatus_t status;

    data_pos_target_status_t() : data_pos_target_msg_t(data_type_pos_target_status) {}
    explicit data_pos_target_status_t(msg_decoder_t& dec) : data_pos_target_status_t() {
        dec.decodeMessage(*this);
    }

protected:
    void encodeTargetData(msg_encoder_t& enc) const override;
    void decodeTargetData(msg_decoder_t& dec) override;
};

// Satellite health of one constellation.
class data_sat_health_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_sat_health;

    struct sat_t {
        unsigned short id = 0;
        float azim = 0.0f; // radians
        float elev = 0.0f; // radians
        float snr1 = 0.0f;
        float snr2 = 0.0f;
        float snr3 = 0.0f;
        bool healthy = false;
        bool in_use = false;
    };
    constellation_t constellation{};
    std::vector<sat_t> sats;

    data_sat_health_t() : data_msg_t(data_type_sat_health) {}
    explicit data_sat_health_t(msg_decoder_t& dec) : data_sat_health_t() {
        dec.decodeMessage(*this);
    }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

// Heading details of a dual-antenna heading solution.
class data_vhd_info_t : public data_msg_t {
public:
    static constexpr unsigned int msg_type = data_type_vhd_info;

    double raw_heading = 0.0;
    double attitude = 0.0;
    double baseline = 0.0;
    double heading_rms = 0.0;

    data_vhd_info_t() : data_msg_t(data_type_vhd_info) {}
    explicit data_vhd_info_t(msg_decoder_t& dec) : data_vhd_info_t() { dec.decodeMessage(*this); }
    void dump(std::ostream& os) const override;

protected:
    void encodeData(msg_encoder_t& enc) const override;
    void decodeData(msg_decoder_t& dec) override;
};

} // namespace tern
