// Configuration of one sentence output: the sentences and raw streams it produces, the NMEA
// dialect, talker and GGA options, and the settings of the filtered-GGA, moving-baseline
// heading and TTM builders.
#pragma once

#include "tern/output/output_types.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

class KeelConfig;

namespace tern {

class msg_encoder_t;
class msg_decoder_t;

// Address prefix of the filtered GGA sentence. Text: "DP", "GN", "GP", "IN"; unknown texts
// read as DP.
enum dpgga_prefix_t : std::int32_t {
    dpgga_prefix_dp = 0,
    dpgga_prefix_gn = 1,
    dpgga_prefix_gp = 2,
    dpgga_prefix_in = 3,
};

std::ostream& operator<<(std::ostream& os, dpgga_prefix_t v);
bool operator>>(const std::string& text, dpgga_prefix_t& v);

// Settings of the filtered GGA output.
class dpgga_filter_cfg_t {
public:
    dpgga_prefix_t prefix = dpgga_prefix_dp;
    bool fix_mode_max = false;
    bool station_id_limit = false;
    bool filter_enable = false;
    bool use_pseudo_range_stats = true;
    float max_hdop = 5.0f;
    float max_error = 1.5f; // metres
    unsigned char min_sats = 5;
    unsigned short min_3D_time = 300; // seconds

    void reset() { *this = dpgga_filter_cfg_t(); }

    // Keys: prefix, fix_mode_max, station_id_limit, filter_enable, use_pseudo_range_stats,
    // max_hdop, min_sats, min_3D_time, max_error (written and read in this order).
    void set_cfg(KeelConfig& cfg, const std::string& key_prefix) const;
    // All nine keys are required: false at the first one missing.
    bool load_cfg(KeelConfig& cfg, const std::string& key_prefix);

    bool operator==(const dpgga_filter_cfg_t& o) const;
    bool operator!=(const dpgga_filter_cfg_t& o) const { return !(*this == o); }
};

// Settings of the moving-baseline HDT output.
class hehdt_cfg_t {
public:
    // Talker of the sentence. Text: "HE", "GP", "IN"; unknown texts read as HE.
    enum prefix_t : unsigned char {
        prefix_he = 0,
        prefix_gp = 1,
        prefix_in = 2,
    };

    prefix_t prefix = prefix_he;

    void reset() { prefix = prefix_he; }
    void set_cfg(KeelConfig& cfg, const std::string& key_prefix) const;
    // A missing key leaves the field unchanged; never fails.
    bool load_cfg(KeelConfig& cfg, const std::string& key_prefix);

    bool operator==(const hehdt_cfg_t& o) const { return prefix == o.prefix; }
    bool operator!=(const hehdt_cfg_t& o) const { return prefix != o.prefix; }
};

std::ostream& operator<<(std::ostream& os, hehdt_cfg_t::prefix_t v);
bool operator>>(const std::string& text, hehdt_cfg_t::prefix_t& v);

// Settings of the TTM output.
class ttm_cfg_t {
public:
    unsigned int target_num = 0;
    bool range_uses_vertical = true;

    void reset() { *this = ttm_cfg_t(); }
    // Keys: target_num, range_uses_vertical.
    void set_cfg(KeelConfig& cfg, const std::string& key_prefix) const;
    // Missing keys leave their fields unchanged; never fails.
    bool load_cfg(KeelConfig& cfg, const std::string& key_prefix);

    bool operator==(const ttm_cfg_t& o) const;
    bool operator!=(const ttm_cfg_t& o) const { return !(*this == o); }
};

// A stored value that output_cfg_t::load_cfg would not take as written.
struct cfg_fault_t {
    std::string key;
    std::string value;
    // What the value must be: "a bool (0, 1, true or false)", "a whole number from 0 to 255",
    // "a number", "one of 2.1, 3.01", ...; empty for a key that no setting has.
    std::string expected;
};

// The complete configuration of one output. Stored under a caller's prefix with one key per
// field (the field's name); the embedded records use prefix + "dpgga_cfg_", "hehdt_cfg_" and
// "ttm_cfg_".
class output_cfg_t {
public:
    dpgga_filter_cfg_t dpgga_cfg;
    hehdt_cfg_t hehdt_cfg;
    ttm_cfg_t ttm_cfg;
    // Port that feeds this output; -1 for none.
    signed char gps_port = -1;
    nmeaVersion_t nmea_version = nmea_version_3_01;

    bool output_dtm = false;
    bool output_gga = true;
    bool output_gll = false;
    bool output_gns = false;
    bool output_gsa = false;
    bool output_gst = false;
    bool output_gsv = false;
    bool output_hdt = false;
    bool output_rmc = false;
    bool output_rot = false;
    bool output_ths = false;
    bool output_vtg = true;
    bool output_zda = false;
    bool output_pternr_navq = false;
    bool output_pternr_rxq = false;
    bool output_pternr_sats = false;
    bool output_hehdt = false;
    bool output_ttm = false;
    bool strict_nmea = false;
    bool output_rtcm = false;
    bool output_tss1 = false;
    bool output_dpgga = false;
    // Raw receiver streams, raw types 18 to 35 in this order.
    bool output_raw_lumo_ephem = false;
    bool output_raw_lumo_meas = false;
    bool output_raw_lumo_pvt = false;
    bool output_raw_vardi_alm = false;
    bool output_raw_vardi_ephem = false;
    bool output_raw_vardi_meas = false;
    bool output_raw_vardi_pvt = false;
    bool output_raw_orsk_alm = false;
    bool output_raw_orsk_ephem = false;
    bool output_raw_orsk_meas = false;
    bool output_raw_orsk_pvt = false;
    bool output_raw_rimba_alm = false;
    bool output_raw_rimba_ephem = false;
    bool output_raw_rimba_meas1 = false;
    bool output_raw_rimba_meas3 = false;
    bool output_raw_rimba_pvt = false;
    bool output_raw_ddktessa_pvt = false;
    bool output_raw_ternquill_pvt = false;

    force_talker_t force_talker = force_talker_none;
    gga_ref_type_t gga_ref_type = gga_ref_nmea;
    ggaQuality_t gga_quality = gga_quality_as_reported;

    output_cfg_t() { reset(); }
    void reset();

    // The flags packed as they travel (bit 0 output_gga ... bit 41 output_raw_ternquill_pvt);
    // bits 14, 17 and 42 to 63 are always 0.
    std::uint64_t flagBits() const;
    // Sets every flag from its bit; the unused bits are ignored.
    void setFlagBits(std::uint64_t bits);

    // Whether a passed-through stream of this raw type goes out: the raw receiver flags for
    // types 18 to 35, output_rtcm for 36; false for every other type.
    bool rawOutputEnabled(rawMsgType_t type) const;

    void set_cfg(KeelConfig& cfg, const std::string& prefix) const;
    // False when a dpgga_cfg_ key, nmea_version or strict_nmea is missing (what was read
    // before stays); missing flags read as false, a missing gps_port as -1.
    bool load_cfg(KeelConfig& cfg, const std::string& prefix);
    // Every key of `cfg` under `prefix`, in store order, whose value does not convert to its
    // setting's type as written (a bool, a number within the field's range, one of the texts
    // of an enumeration), or that no setting has. load_cfg itself takes such values leniently
    // (an unknown text as the enumeration's default, a number narrowed to its field).
    static std::vector<cfg_fault_t> check_cfg(const KeelConfig& cfg, const std::string& prefix);

    bool operator==(const output_cfg_t& o) const;
    bool operator!=(const output_cfg_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const dpgga_filter_cfg_t& cfg);
msg_decoder_t& operator>>(msg_decoder_t& dec, dpgga_filter_cfg_t& cfg);
msg_encoder_t& operator<<(msg_encoder_t& enc, const hehdt_cfg_t& cfg);
msg_decoder_t& operator>>(msg_decoder_t& dec, hehdt_cfg_t& cfg);
msg_encoder_t& operator<<(msg_encoder_t& enc, const ttm_cfg_t& cfg);
msg_decoder_t& operator>>(msg_decoder_t& dec, ttm_cfg_t& cfg);
// The three records, gps_port (signed byte), nmea_version (byte), the flags (u64), then
// force_talker, gga_ref_type and gga_quality (a byte each).
msg_encoder_t& operator<<(msg_encoder_t& enc, const output_cfg_t& cfg);
msg_decoder_t& operator>>(msg_decoder_t& dec, output_cfg_t& cfg);

} // namespace tern
