// The columns of the CSV log and the selection of columns to write.
#pragma once

#include <cstdint>
#include <string>

class KeelConfig;

namespace tern {

class msg_encoder_t;
class msg_decoder_t;

// Column numbers; a column's number is its bit in the selection and validity masks.
enum csvField_t : unsigned char {
    csv_field_latitude = 0,
    csv_field_longitude = 1,
    csv_field_height = 2,
    csv_field_speed = 3,
    csv_field_course = 4,
    csv_field_sats_used = 5,
    csv_field_sats_tracked = 6,
    csv_field_hdop = 7,
    csv_field_vdop = 8,
    csv_field_pdop = 9,
    csv_field_nav_3d = 10,
    csv_field_dual_freq = 11,
    csv_field_fom = 12,
    csv_field_corr_mode = 13,
    csv_field_corr_age = 14,
    csv_field_corr_snr = 15,
    csv_field_corr_net = 16,
    csv_field_ftest = 17,
    csv_field_unit_variance = 18,
    csv_field_qaqc_semi_major = 19,
    csv_field_qaqc_semi_minor = 20,
    csv_field_raim_rejects = 21,
    csv_field_max_pos_mde = 22,
    csv_field_mbrtk_heading = 23,
    csv_field_heading = 24,
    csv_field_pitch = 25,
    csv_field_roll = 26,
    csv_field_heave = 27,
    csv_field_count = 28,
};

// "Unknown": the text of a column number that does not exist.
extern const char Unknown_str[];

// Column title ("Latitude", "Sats Used", ...), or Unknown_str above 27.
std::string csvFieldToString(unsigned int field);
// Settings name ("latitude", "sats_used", ...), or Unknown_str above 27.
std::string csvFieldToConfigString(unsigned int field);
// Column number of a settings name, or csv_field_count (28) when there is none.
unsigned int csvFieldFromConfigString(const std::string& name);

// Which columns the CSV log writes: bit i set writes column i. All set by default.
// Travels as one u32; stored as one boolean per column, prefix + "enable_" + settings name.
class csv_output_cfg_t {
public:
    std::uint32_t mask = 0xFFFFFFFFu;

    void reset() { mask = 0xFFFFFFFFu; }
    // False for numbers beyond the mask.
    bool field_is_set(unsigned int field) const;
    // Ignores numbers beyond the mask.
    void set_field(unsigned int field, bool on);

    // Writes all 28 booleans.
    void set_cfg(KeelConfig& cfg, const std::string& prefix) const;
    // Sets each of the 28 columns from its key: a missing key turns its column off; the bits
    // beyond the columns are left as they are. True when every key was present.
    bool load_cfg(KeelConfig& cfg, const std::string& prefix);

    bool operator==(const csv_output_cfg_t& o) const { return mask == o.mask; }
    bool operator!=(const csv_output_cfg_t& o) const { return mask != o.mask; }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const csv_output_cfg_t& cfg);
msg_decoder_t& operator>>(msg_decoder_t& dec, csv_output_cfg_t& cfg);

} // namespace tern
