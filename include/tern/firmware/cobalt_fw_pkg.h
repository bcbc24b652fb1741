// Cobalt engine firmware: components of .s19 files (layout in fw_swinfo.h).
#pragma once

#include <tern/firmware/fw_swinfo.h>

#include <ostream>

// Component of a Cobalt file; from header types 0, 1, 2, 10 and 11.
enum cobalt_fw_component_t {
    cobalt_fw_boot1 = 0,
    cobalt_fw_boot2 = 1,
    cobalt_fw_nav = 2,
    cobalt_fw_pioboot = 3,
    cobalt_fw_pioapp = 4,
};

// "BOOT1", "BOOT2", "NAV", "PIOBOOT", "PIOAPP"; any other value "?? (n)".
std::ostream& operator<<(std::ostream& os, cobalt_fw_component_t c);
std::string to_string(cobalt_fw_component_t c);

// Texts start in lower case; the marker record is compared in full.
class cobalt_fw_header_t : public fw_swinfo_header_t {
public:
    cobalt_fw_header_t();
};

using cobalt_fw_comp_info_t = fw_comp_info_tmpl_t<cobalt_fw_component_t, cobalt_fw_header_t>;
using cobalt_fw_scan_rec_t = fw_scan_rec_tmpl_t<cobalt_fw_component_t>;

struct cobalt_fw_family_t {
    using info_t = cobalt_fw_comp_info_t;
    using rec_t = cobalt_fw_scan_rec_t;
    static const fw_family_t rules;
};

using cobalt_fw_scan_t = fw_scan_tmpl_t<cobalt_fw_family_t>;
using cobalt_fw_comp_loader_t = fw_comp_loader_tmpl_t<cobalt_fw_family_t>;

inline bool cobalt_fw_scan_file(const std::string& path, std::vector<cobalt_fw_scan_rec_t>& recs,
                                int preferred) {
    return fw_scan_file<cobalt_fw_family_t>(path, recs, preferred);
}
// Lists the files with one component of product 2.
inline void cobalt_fw_scan_dir(const std::string& dir, std::vector<std::string>& names,
                               std::vector<cobalt_fw_scan_rec_t>& recs, int preferred) {
    fw_scan_dir<cobalt_fw_family_t>(dir, names, recs, preferred);
}

extern template class fw_scan_tmpl_t<cobalt_fw_family_t>;
extern template class fw_comp_loader_tmpl_t<cobalt_fw_family_t>;

namespace tern {
using ::cobalt_fw_comp_info_t;
using ::cobalt_fw_comp_loader_t;
using ::cobalt_fw_component_t;
using ::cobalt_fw_header_t;
using ::cobalt_fw_scan_dir;
using ::cobalt_fw_scan_file;
using ::cobalt_fw_scan_rec_t;
using ::cobalt_fw_scan_t;
} // namespace tern
