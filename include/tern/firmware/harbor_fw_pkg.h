// Harbor engine firmware: components of .s19 files (layout in fw_swinfo.h).
#pragma once

#include <tern/firmware/fw_swinfo.h>

#include <ostream>

// Component of a Harbor file: the header's type itself, accepted below 17.
enum harbor_firmware_component_t {
    harbor_fw_boot1 = 0,
    harbor_fw_boot2 = 1,
    harbor_fw_nav = 2,
    harbor_fw_mtest = 3,
    harbor_fw_pioboot = 4,
    harbor_fw_pioboot2 = 5,
    harbor_fw_pioapp = 6,
    harbor_fw_bluetooth = 7,
    harbor_fw_stm8 = 8,
    harbor_fw_mfg_piob = 9,
    harbor_fw_mfg_gnss = 10,
    harbor_fw_ocean_tide = 11,
    harbor_fw_global_geoid_grid = 12,
    harbor_fw_gpb = 13,
    harbor_fw_geoid99 = 14,
    harbor_fw_ggm02 = 15,
    harbor_fw_all = 16,
};

// "BOOT1", "BOOT2", "NAV", "MTEST", "PIOBOOT" (4 and 5), "PIOAPP", "BLUETOOTH", "STM8",
// "MFG PIOB", "MFG GNSS", "OCEAN TIDE", "GLOBAL GEOID GRID", "GPB", "GEOID99", "GGM02", "ALL";
// any other value "?? (n)".
std::ostream& operator<<(std::ostream& os, harbor_firmware_component_t c);
std::string to_string(harbor_firmware_component_t c);

// Texts start with a capital; only the first 15 characters of the marker are compared.
class harbor_fw_header_t : public fw_swinfo_header_t {
public:
    harbor_fw_header_t();
};

using harbor_fw_comp_info_t = fw_comp_info_tmpl_t<harbor_firmware_component_t, harbor_fw_header_t>;
using harbor_fw_scan_rec_t = fw_scan_rec_tmpl_t<harbor_firmware_component_t>;

struct harbor_fw_family_t {
    using info_t = harbor_fw_comp_info_t;
    using rec_t = harbor_fw_scan_rec_t;
    static const fw_family_t rules;
};

using harbor_fw_scan_t = fw_scan_tmpl_t<harbor_fw_family_t>;
using harbor_fw_comp_loader_t = fw_comp_loader_tmpl_t<harbor_fw_family_t>;

inline bool harbor_fw_scan_file(const std::string& path, std::vector<harbor_fw_scan_rec_t>& recs,
                                int preferred) {
    return fw_scan_file<harbor_fw_family_t>(path, recs, preferred);
}
// Lists the files with one component of product 7.
inline void harbor_fw_scan_dir(const std::string& dir, std::vector<std::string>& names,
                               std::vector<harbor_fw_scan_rec_t>& recs, int preferred) {
    fw_scan_dir<harbor_fw_family_t>(dir, names, recs, preferred);
}

extern template class fw_scan_tmpl_t<harbor_fw_family_t>;
extern template class fw_comp_loader_tmpl_t<harbor_fw_family_t>;

namespace tern {
using ::harbor_firmware_component_t;
using ::harbor_fw_comp_info_t;
using ::harbor_fw_comp_loader_t;
using ::harbor_fw_header_t;
using ::harbor_fw_scan_dir;
using ::harbor_fw_scan_file;
using ::harbor_fw_scan_rec_t;
using ::harbor_fw_scan_t;
} // namespace tern
