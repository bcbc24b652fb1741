#include "tern/log/csv_fields.h"

#include "tern/msg/msg.h"

#include <keelconfig/KeelConfig.h>

namespace tern {

const char Unknown_str[] = "Unknown";

namespace {

struct csvFieldInfo_t {
    const char* title;
    const char* name;
};

const csvFieldInfo_t csv_fields[csv_field_count] = {
    {"Latitude", "latitude"},
    {"Longitude", "longitude"},
    {"Height", "height"},
    {"Speed", "speed"},
    {"Course", "course"},
    {"Sats Used", "sats_used"},
    {"Sats Tracked", "sats_tracked"},
    {"HDOP", "hdop"},
    {"VDOP", "vdop"},
    {"PDOP", "pdop"},
    {"3D/2D", "nav_3d"},
    {"Dual Freq", "dual_freq"},
    {"FOM", "fom"},
    {"Corr Mode", "corr_mode"},
    {"Corr Age", "corr_age"},
    {"Corr Sat SNR", "corr_snr"},
    {"Corr Sat Net", "corr_net"},
    {"F-Test", "ftest"},
    {"Unit Variance", "unit_variance"},
    {"QA/QC Semi Major", "qaqc_semi_major"},
    {"QA/QC Semi Minor", "qaqc_semi_minor"},
    {"RAIM Rejections", "raim_rejects"},
    {"Max MDE(r)", "max_pos_mde"},
    {"MBRTK Heading", "mbrtk_heading"},
    {"Heading", "heading"},
    {"Pitch", "pitch"},
    {"Roll", "roll"},
    {"Heave", "heave"},
};

std::string enable_key(const std::string& prefix, unsigned int field) {
    return prefix + "enable_" + csv_fields[field].name;
}

} // namespace

std::string csvFieldToString(unsigned int field) {
    return field < csv_field_count ? csv_fields[field].title : Unknown_str;
}

std::string csvFieldToConfigString(unsigned int field) {
    return field < csv_field_count ? csv_fields[field].name : Unknown_str;
}

unsigned int csvFieldFromConfigString(const std::string& name) {
    for (unsigned int i = 0; i < csv_field_count; ++i) {
        if (name == csv_fields[i].name) return i;
    }
    return csv_field_count;
}

bool csv_output_cfg_t::field_is_set(unsigned int field) const {
    return field < 32 && (mask & (std::uint32_t(1) << field)) != 0;
}

void csv_output_cfg_t::set_field(unsigned int field, bool on) {
    if (field >= 32) return;
    const std::uint32_t bit = std::uint32_t(1) << field;
    mask = on ? (mask | bit) : (mask & ~bit);
}

void csv_output_cfg_t::set_cfg(KeelConfig& cfg, const std::string& prefix) const {
    for (unsigned int i = 0; i < csv_field_count; ++i)
        cfg.set(enable_key(prefix, i), field_is_set(i));
}

bool csv_output_cfg_t::load_cfg(KeelConfig& cfg, const std::string& prefix) {
    // Only the 28 field bits are read; the bits beyond them keep what they held, so that a
    // default selection saved and loaded again is the same selection.
    bool all_present = true;
    for (unsigned int i = 0; i < csv_field_count; ++i) {
        bool on = false;
        if (!cfg.get(enable_key(prefix, i), on)) all_present = false;
        set_field(i, on);
    }
    return all_present;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const csv_output_cfg_t& cfg) {
    enc << static_cast<unsigned int>(cfg.mask);
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, csv_output_cfg_t& cfg) {
    dec.decodeAs<unsigned int>(cfg.mask);
    return dec;
}

} // namespace tern
