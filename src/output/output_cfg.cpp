#include "tern/output/output_cfg.h"

#include "tern/msg/msg.h"

#include <keelconfig/KeelConfig.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <sstream>

namespace tern {

std::ostream& operator<<(std::ostream& os, dpgga_prefix_t v) {
    switch (v) {
    case dpgga_prefix_gn:
        return os << "GN";
    case dpgga_prefix_gp:
        return os << "GP";
    case dpgga_prefix_in:
        return os << "IN";
    default:
        return os << "DP";
    }
}

bool operator>>(const std::string& text, dpgga_prefix_t& v) {
    if (text == "GN")
        v = dpgga_prefix_gn;
    else if (text == "GP")
        v = dpgga_prefix_gp;
    else if (text == "IN")
        v = dpgga_prefix_in;
    else
        v = dpgga_prefix_dp;
    return true;
}

std::ostream& operator<<(std::ostream& os, hehdt_cfg_t::prefix_t v) {
    switch (v) {
    case hehdt_cfg_t::prefix_gp:
        return os << "GP";
    case hehdt_cfg_t::prefix_in:
        return os << "IN";
    default:
        return os << "HE";
    }
}

bool operator>>(const std::string& text, hehdt_cfg_t::prefix_t& v) {
    if (text == "GP")
        v = hehdt_cfg_t::prefix_gp;
    else if (text == "IN")
        v = hehdt_cfg_t::prefix_in;
    else
        v = hehdt_cfg_t::prefix_he;
    return true;
}

// ---- dpgga_filter_cfg_t

void dpgga_filter_cfg_t::set_cfg(KeelConfig& cfg, const std::string& key_prefix) const {
    cfg.set(key_prefix + "prefix", prefix);
    cfg.set(key_prefix + "fix_mode_max", fix_mode_max);
    cfg.set(key_prefix + "station_id_limit", station_id_limit);
    cfg.set(key_prefix + "filter_enable", filter_enable);
    cfg.set(key_prefix + "use_pseudo_range_stats", use_pseudo_range_stats);
    cfg.set(key_prefix + "max_hdop", max_hdop);
    cfg.set(key_prefix + "min_sats", static_cast<unsigned int>(min_sats));
    cfg.set(key_prefix + "min_3D_time", static_cast<unsigned int>(min_3D_time));
    cfg.set(key_prefix + "max_error", max_error);
}

bool dpgga_filter_cfg_t::load_cfg(KeelConfig& cfg, const std::string& key_prefix) {
    if (!cfg.get(key_prefix + "prefix", prefix)) return false;
    if (!cfg.get(key_prefix + "fix_mode_max", fix_mode_max)) return false;
    if (!cfg.get(key_prefix + "station_id_limit", station_id_limit)) return false;
    if (!cfg.get(key_prefix + "filter_enable", filter_enable)) return false;
    if (!cfg.get(key_prefix + "use_pseudo_range_stats", use_pseudo_range_stats)) return false;
    if (!cfg.get(key_prefix + "max_hdop", max_hdop)) return false;
    unsigned int n = min_sats;
    if (!cfg.get(key_prefix + "min_sats", n)) return false;
    min_sats = static_cast<unsigned char>(n);
    n = min_3D_time;
    if (!cfg.get(key_prefix + "min_3D_time", n)) return false;
    min_3D_time = static_cast<unsigned short>(n);
    if (!cfg.get(key_prefix + "max_error", max_error)) return false;
    return true;
}

bool dpgga_filter_cfg_t::operator==(const dpgga_filter_cfg_t& o) const {
    return prefix == o.prefix && fix_mode_max == o.fix_mode_max &&
           station_id_limit == o.station_id_limit && filter_enable == o.filter_enable &&
           use_pseudo_range_stats == o.use_pseudo_range_stats && max_hdop == o.max_hdop &&
           max_error == o.max_error && min_sats == o.min_sats && min_3D_time == o.min_3D_time;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const dpgga_filter_cfg_t& cfg) {
    enc.encodeAs<unsigned char>(cfg.prefix);
    enc << cfg.fix_mode_max << cfg.station_id_limit << cfg.filter_enable
        << cfg.use_pseudo_range_stats << cfg.max_hdop << cfg.max_error << cfg.min_sats
        << cfg.min_3D_time;
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, dpgga_filter_cfg_t& cfg) {
    dec.decodeAs<unsigned char>(cfg.prefix);
    dec >> cfg.fix_mode_max >> cfg.station_id_limit >> cfg.filter_enable >>
        cfg.use_pseudo_range_stats >> cfg.max_hdop >> cfg.max_error >> cfg.min_sats >>
        cfg.min_3D_time;
    return dec;
}

// ---- hehdt_cfg_t

void hehdt_cfg_t::set_cfg(KeelConfig& cfg, const std::string& key_prefix) const {
    cfg.set(key_prefix + "prefix", prefix);
}

bool hehdt_cfg_t::load_cfg(KeelConfig& cfg, const std::string& key_prefix) {
    cfg.get(key_prefix + "prefix", prefix);
    return true;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const hehdt_cfg_t& cfg) {
    enc << cfg.prefix;
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, hehdt_cfg_t& cfg) {
    dec >> cfg.prefix;
    return dec;
}

// ---- ttm_cfg_t

void ttm_cfg_t::set_cfg(KeelConfig& cfg, const std::string& key_prefix) const {
    cfg.set(key_prefix + "target_num", target_num);
    cfg.set(key_prefix + "range_uses_vertical", range_uses_vertical);
}

bool ttm_cfg_t::load_cfg(KeelConfig& cfg, const std::string& key_prefix) {
    cfg.get(key_prefix + "target_num", target_num);
    cfg.get(key_prefix + "range_uses_vertical", range_uses_vertical);
    return true;
}

bool ttm_cfg_t::operator==(const ttm_cfg_t& o) const {
    return target_num == o.target_num && range_uses_vertical == o.range_uses_vertical;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const ttm_cfg_t& cfg) {
    enc << cfg.target_num << cfg.range_uses_vertical;
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, ttm_cfg_t& cfg) {
    dec >> cfg.target_num >> cfg.range_uses_vertical;
    return dec;
}

// ---- output_cfg_t

namespace {

struct flag_info_t {
    const char* key;
    bool output_cfg_t::*member;
    unsigned int bit; // in the 64-bit wire form
};

// Every flag in declaration order, which is also the order of the stored keys (strict_nmea
// aside, which is stored after output_dpgga).
const flag_info_t flag_table[] = {
    {"output_dtm", &output_cfg_t::output_dtm, 31},
    {"output_gga", &output_cfg_t::output_gga, 0},
    {"output_gll", &output_cfg_t::output_gll, 1},
    {"output_gns", &output_cfg_t::output_gns, 2},
    {"output_gsa", &output_cfg_t::output_gsa, 3},
    {"output_gst", &output_cfg_t::output_gst, 4},
    {"output_gsv", &output_cfg_t::output_gsv, 5},
    {"output_hdt", &output_cfg_t::output_hdt, 6},
    {"output_rmc", &output_cfg_t::output_rmc, 7},
    {"output_rot", &output_cfg_t::output_rot, 33},
    {"output_ths", &output_cfg_t::output_ths, 34},
    {"output_vtg", &output_cfg_t::output_vtg, 8},
    {"output_zda", &output_cfg_t::output_zda, 9},
    {"output_pternr_navq", &output_cfg_t::output_pternr_navq, 10},
    {"output_pternr_rxq", &output_cfg_t::output_pternr_rxq, 11},
    {"output_pternr_sats", &output_cfg_t::output_pternr_sats, 12},
    {"output_hehdt", &output_cfg_t::output_hehdt, 29},
    {"output_ttm", &output_cfg_t::output_ttm, 30},
    {"strict_nmea", &output_cfg_t::strict_nmea, 16},
    {"output_rtcm", &output_cfg_t::output_rtcm, 13},
    {"output_tss1", &output_cfg_t::output_tss1, 32},
    {"output_dpgga", &output_cfg_t::output_dpgga, 15},
    {"output_raw_lumo_ephem", &output_cfg_t::output_raw_lumo_ephem, 18},
    {"output_raw_lumo_meas", &output_cfg_t::output_raw_lumo_meas, 19},
    {"output_raw_lumo_pvt", &output_cfg_t::output_raw_lumo_pvt, 20},
    {"output_raw_vardi_alm", &output_cfg_t::output_raw_vardi_alm, 21},
    {"output_raw_vardi_ephem", &output_cfg_t::output_raw_vardi_ephem, 22},
    {"output_raw_vardi_meas", &output_cfg_t::output_raw_vardi_meas, 23},
    {"output_raw_vardi_pvt", &output_cfg_t::output_raw_vardi_pvt, 24},
    {"output_raw_orsk_alm", &output_cfg_t::output_raw_orsk_alm, 25},
    {"output_raw_orsk_ephem", &output_cfg_t::output_raw_orsk_ephem, 26},
    {"output_raw_orsk_meas", &output_cfg_t::output_raw_orsk_meas, 27},
    {"output_raw_orsk_pvt", &output_cfg_t::output_raw_orsk_pvt, 28},
    {"output_raw_rimba_alm", &output_cfg_t::output_raw_rimba_alm, 35},
    {"output_raw_rimba_ephem", &output_cfg_t::output_raw_rimba_ephem, 36},
    {"output_raw_rimba_meas1", &output_cfg_t::output_raw_rimba_meas1, 37},
    {"output_raw_rimba_meas3", &output_cfg_t::output_raw_rimba_meas3, 38},
    {"output_raw_rimba_pvt", &output_cfg_t::output_raw_rimba_pvt, 39},
    {"output_raw_ddktessa_pvt", &output_cfg_t::output_raw_ddktessa_pvt, 40},
    {"output_raw_ternquill_pvt", &output_cfg_t::output_raw_ternquill_pvt, 41},
};
constexpr unsigned int flag_count = sizeof(flag_table) / sizeof(flag_table[0]);
constexpr unsigned int strict_index = 18;    // strict_nmea in flag_table
constexpr unsigned int first_raw_index = 22; // output_raw_lumo_ephem in flag_table
static_assert(flag_count == 40, "forty flags");

const char* const dpgga_infix = "dpgga_cfg_";
const char* const hehdt_infix = "hehdt_cfg_";
const char* const ttm_infix = "ttm_cfg_";

} // namespace

void output_cfg_t::reset() {
    dpgga_cfg.reset();
    hehdt_cfg.reset();
    ttm_cfg.reset();
    gps_port = -1;
    nmea_version = nmea_version_3_01;
    for (const flag_info_t& f : flag_table) this->*f.member = false;
    output_gga = true;
    output_vtg = true;
    force_talker = force_talker_none;
    gga_ref_type = gga_ref_nmea;
    gga_quality = gga_quality_as_reported;
}

std::uint64_t output_cfg_t::flagBits() const {
    std::uint64_t bits = 0;
    for (const flag_info_t& f : flag_table) {
        if (this->*f.member) bits |= std::uint64_t(1) << f.bit;
    }
    return bits;
}

void output_cfg_t::setFlagBits(std::uint64_t bits) {
    for (const flag_info_t& f : flag_table) this->*f.member = ((bits >> f.bit) & 1u) != 0;
}

bool output_cfg_t::rawOutputEnabled(rawMsgType_t type) const {
    if (type >= raw_receiver_first && type <= raw_receiver_last)
        return this->*flag_table[first_raw_index + (type - raw_receiver_first)].member;
    return type == raw_rtcm && output_rtcm;
}

void output_cfg_t::set_cfg(KeelConfig& cfg, const std::string& prefix) const {
    dpgga_cfg.set_cfg(cfg, prefix + dpgga_infix);
    hehdt_cfg.set_cfg(cfg, prefix + hehdt_infix);
    ttm_cfg.set_cfg(cfg, prefix + ttm_infix);
    cfg.set(prefix + "gps_port", static_cast<int>(gps_port));
    cfg.set(prefix + "nmea_version", nmea_version);
    for (unsigned int i = 0; i < first_raw_index; ++i) {
        if (i != strict_index) cfg.set(prefix + flag_table[i].key, this->*flag_table[i].member);
    }
    cfg.set(prefix + "strict_nmea", strict_nmea);
    for (unsigned int i = first_raw_index; i < flag_count; ++i)
        cfg.set(prefix + flag_table[i].key, this->*flag_table[i].member);
    cfg.set(prefix + "force_talker", force_talker);
    cfg.set(prefix + "gga_ref_type", gga_ref_type);
    cfg.set(prefix + "gga_quality", gga_quality);
}

bool output_cfg_t::load_cfg(KeelConfig& cfg, const std::string& prefix) {
    if (!dpgga_cfg.load_cfg(cfg, prefix + dpgga_infix)) return false;
    hehdt_cfg.load_cfg(cfg, prefix + hehdt_infix);
    ttm_cfg.load_cfg(cfg, prefix + ttm_infix);

    int port = -1;
    cfg.get(prefix + "gps_port", port);
    gps_port = static_cast<signed char>(port);

    if (!cfg.get(prefix + "nmea_version", nmea_version)) return false;
    if (!cfg.get(prefix + "strict_nmea", strict_nmea)) return false;

    // A flag missing from the store is off, whatever its default.
    for (unsigned int i = 0; i < flag_count; ++i) {
        if (i == strict_index) continue;
        bool on = false;
        cfg.get(prefix + flag_table[i].key, on);
        this->*flag_table[i].member = on;
    }

    force_talker = force_talker_none;
    cfg.get(prefix + "force_talker", force_talker);
    gga_ref_type = gga_ref_nmea;
    cfg.get(prefix + "gga_ref_type", gga_ref_type);
    gga_quality = gga_quality_as_reported;
    cfg.get(prefix + "gga_quality", gga_quality);
    return true;
}

namespace {

// One stored setting: its key after the prefix and what its value must be.
struct setting_t {
    std::string key;
    std::string expected;
    std::function<bool(const std::string&)> converts;
};

setting_t boolean(const std::string& key) {
    return {key, "a bool (0, 1, true or false)", [](const std::string& text) {
                bool v = false;
                return ::operator>>(text, v);
            }};
}

setting_t whole(const std::string& key, long long lo, unsigned long long hi) {
    return {key, "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi),
            [lo, hi](const std::string& text) {
                if (lo < 0) {
                    long long v = 0;
                    return ::operator>>(text, v) && v >= lo && v <= static_cast<long long>(hi);
                }
                unsigned long long v = 0;
                return ::operator>>(text, v) && v <= hi;
            }};
}

setting_t number(const std::string& key) {
    return {key, "a number", [](const std::string& text) {
                float v = 0;
                return ::operator>>(text, v);
            }};
}

// An enumeration takes exactly the texts its values are written as.
template <class E>
setting_t texts(const std::string& key, int values) {
    std::vector<std::string> all;
    for (int v = 0; v < values; ++v) {
        std::ostringstream os;
        os << static_cast<E>(v);
        if (std::find(all.begin(), all.end(), os.str()) == all.end()) all.push_back(os.str());
    }
    std::string expected = "one of ";
    for (const std::string& t : all) expected += (&t == &all.front() ? "" : ", ") + t;
    return {key, expected, [all](const std::string& text) {
                return std::find(all.begin(), all.end(), text) != all.end();
            }};
}

// Every setting that set_cfg writes, in its order.
const std::vector<setting_t>& stored_settings() {
    static const std::vector<setting_t> all = [] {
        const std::string dp = dpgga_infix;
        std::vector<setting_t> v = {
            texts<dpgga_prefix_t>(dp + "prefix", 4),
            boolean(dp + "fix_mode_max"),
            boolean(dp + "station_id_limit"),
            boolean(dp + "filter_enable"),
            boolean(dp + "use_pseudo_range_stats"),
            number(dp + "max_hdop"),
            whole(dp + "min_sats", 0, 255),
            whole(dp + "min_3D_time", 0, 65535),
            number(dp + "max_error"),
            texts<hehdt_cfg_t::prefix_t>(std::string(hehdt_infix) + "prefix", 3),
            whole(std::string(ttm_infix) + "target_num", 0, 4294967295u),
            boolean(std::string(ttm_infix) + "range_uses_vertical"),
            whole("gps_port", -128, 127),
            texts<nmeaVersion_t>("nmea_version", 2),
        };
        for (const flag_info_t& f : flag_table) v.push_back(boolean(f.key));
        v.push_back(texts<force_talker_t>("force_talker", 7));
        v.push_back(texts<gga_ref_type_t>("gga_ref_type", 2));
        v.push_back(texts<ggaQuality_t>("gga_quality", 3));
        return v;
    }();
    return all;
}

} // namespace

std::vector<cfg_fault_t> output_cfg_t::check_cfg(const KeelConfig& cfg, const std::string& prefix) {
    std::vector<cfg_fault_t> faults;
    for (const ConfigEntry& e : cfg.entries()) {
        if (e.key.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string key = e.key.substr(prefix.size());
        const auto& all = stored_settings();
        const auto it =
            std::find_if(all.begin(), all.end(), [&](const setting_t& s) { return s.key == key; });
        if (it == all.end())
            faults.push_back({e.key, e.value, std::string()});
        else if (!it->converts(e.value))
            faults.push_back({e.key, e.value, it->expected});
    }
    return faults;
}

bool output_cfg_t::operator==(const output_cfg_t& o) const {
    return dpgga_cfg == o.dpgga_cfg && hehdt_cfg == o.hehdt_cfg && ttm_cfg == o.ttm_cfg &&
           gps_port == o.gps_port && nmea_version == o.nmea_version && flagBits() == o.flagBits() &&
           force_talker == o.force_talker && gga_ref_type == o.gga_ref_type &&
           gga_quality == o.gga_quality;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const output_cfg_t& cfg) {
    enc << cfg.dpgga_cfg << cfg.hehdt_cfg << cfg.ttm_cfg << cfg.gps_port << cfg.nmea_version
        << static_cast<unsigned long long>(cfg.flagBits()) << cfg.force_talker << cfg.gga_ref_type
        << cfg.gga_quality;
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, output_cfg_t& cfg) {
    dec >> cfg.dpgga_cfg >> cfg.hehdt_cfg >> cfg.ttm_cfg >> cfg.gps_port >> cfg.nmea_version;
    // A short frame leaves the flags as they were.
    unsigned long long bits = cfg.flagBits();
    dec >> bits;
    cfg.setFlagBits(bits);
    dec >> cfg.force_talker >> cfg.gga_ref_type >> cfg.gga_quality;
    return dec;
}

} // namespace tern
