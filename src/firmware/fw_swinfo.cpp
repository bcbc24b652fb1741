#include <tern/firmware/cobalt_fw_pkg.h>
#include <tern/firmware/harbor_fw_pkg.h>

#include "firmware/open_priv.h"

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace {

const char marker[] = "QVT SWINFO VER 001"; // with its zero byte: 19 bytes

// The family's form of a text: Harbor's start with a capital.
std::string text(const fw_family_t& f, const char* s) {
    std::string t(s);
    if (f.capital && !t.empty()) t[0] = g_ascii_toupper(t[0]);
    return t;
}

std::ostream& line_text(desc_t& d, const fw_family_t& f, unsigned line, const char* what) {
    return d.clear_desc() << text(f, "line ") << line << ": " << text(f, what);
}

int cobalt_component(unsigned type) {
    switch (type) {
    case 0:
    case 1:
    case 2:
        return static_cast<int>(type);
    case 10:
        return cobalt_fw_pioboot;
    case 11:
        return cobalt_fw_pioapp;
    default:
        return -1;
    }
}

int harbor_component(unsigned type) {
    return type < 17 ? static_cast<int>(type) : -1;
}

std::string component_text(const char* const* names, unsigned count, int c) {
    if (c >= 0 && static_cast<unsigned>(c) < count) return names[c];
    return "?? (" + std::to_string(c) + ")";
}

const char* const cobalt_names[] = {"BOOT1", "BOOT2", "NAV", "PIOBOOT", "PIOAPP"};
const char* const harbor_names[] = {
    "BOOT1",     "BOOT2", "NAV",      "MTEST",    "PIOBOOT",    "PIOBOOT",           "PIOAPP",
    "BLUETOOTH", "STM8",  "MFG PIOB", "MFG GNSS", "OCEAN TIDE", "GLOBAL GEOID GRID", "GPB",
    "GEOID99",   "GGM02", "ALL"};

} // namespace

const fw_family_t cobalt_fw_family_t::rules = {false, sizeof marker, cobalt_component, 2};
const fw_family_t harbor_fw_family_t::rules = {true, 15, harbor_component, 7};

cobalt_fw_header_t::cobalt_fw_header_t() : fw_swinfo_header_t(cobalt_fw_family_t::rules) {}
harbor_fw_header_t::harbor_fw_header_t() : fw_swinfo_header_t(harbor_fw_family_t::rules) {}

std::string to_string(cobalt_fw_component_t c) {
    return component_text(cobalt_names, 5, static_cast<int>(c));
}
std::string to_string(harbor_firmware_component_t c) {
    return component_text(harbor_names, 17, static_cast<int>(c));
}
std::ostream& operator<<(std::ostream& os, cobalt_fw_component_t c) {
    return os << to_string(c);
}
std::ostream& operator<<(std::ostream& os, harbor_firmware_component_t c) {
    return os << to_string(c);
}

// ---------------------------------------------------------------------------------------------

int fw_swinfo_header_t::read(srec_decode_t& dec) {
    const fw_family_t& f = *family_;
    clear_desc();
    srec_t rec;
    bool marked = false;
    unsigned have = 0;
    for (;;) {
        const int r = dec.get_rec(rec);
        if (r < 0) {
            clear_desc() << text(f, "error reading record") << ": " << dec.get_desc();
            return -1;
        }
        if (r == 0) {
            clear_desc() << text(f, "end of file while reading");
            return 0;
        }
        if (rec.type() != 0) {
            clear_desc() << text(f, "read non-header record");
            return -1;
        }
        const unsigned n = rec.data_len();
        if (n == 0) continue;
        if (!marked) {
            marked = n == sizeof marker && std::memcmp(rec.data(), marker, f.marker_len) == 0;
            continue;
        }
        if (n > block_len - have) {
            clear_desc() << text(f, "record too long");
            return -1;
        }
        std::memcpy(block_ + have, rec.data(), n);
        have += n;
        if (have == block_len) return 1;
    }
}

std::string fw_swinfo_header_t::version_str() const {
    std::string v = std::to_string(version_major()) + "." + std::to_string(version_minor()) + "." +
                    std::to_string(build_number());
    if (spin_number()) v += "." + std::to_string(spin_number());
    return v;
}

// ---------------------------------------------------------------------------------------------

template <class Family>
void fw_scan_tmpl_t<Family>::close() {
    if (file_) fclose(file_);
    file_ = nullptr;
    dec_.init(nullptr, 1);
}

template <class Family>
void fw_scan_tmpl_t<Family>::begin() {
    cur_ = info_t();
    cur_.offset = ftell(file_);
    cur_.first_line = dec_.line_num() + 1;
    have_header_ = false;
    have_data_ = false;
}

template <class Family>
bool fw_scan_tmpl_t<Family>::open(const std::string& path, std::list<info_t>& infos) {
    const fw_family_t& f = Family::rules;
    close();
    infos_ = &infos;
    std::string why;
    file_ = tern_fw::open_file(path, why);
    if (!file_) {
        clear_desc() << text(f, "failed to open");
        return false;
    }
    if (fseek(file_, 0, SEEK_END) != 0 || (total_ = ftell(file_)) < 0) {
        clear_desc() << text(f, "failed to get total size");
        close();
        return false;
    }
    ::rewind(file_);
    dec_.init(file_, 1);
    begin();
    clear_desc();
    return true;
}

template <class Family>
int fw_scan_tmpl_t<Family>::fail_line(const char* what) {
    line_text(*this, Family::rules, dec_.line_num(), what);
    return -1;
}

template <class Family>
int fw_scan_tmpl_t<Family>::scan_iter() {
    const fw_family_t& f = Family::rules;
    if (!file_) {
        clear_desc() << "not initialized";
        return -1;
    }
    if (!have_header_) {
        const int r = cur_.header.read(dec_);
        if (r < 1) {
            clear_desc() << cur_.header.get_desc();
            // Only a file that ends before any record of a new component ends cleanly; a
            // torn header would otherwise drop its component without a word.
            return r == 0 && dec_.line_num() >= cur_.first_line ? -1 : r;
        }
        const int c = f.component(cur_.header.type());
        if (c < 0) {
            clear_desc() << text(f, "unknown component code: ") << unsigned(cur_.header.type());
            return -1;
        }
        cur_.component = static_cast<decltype(cur_.component)>(c);
        have_header_ = true;
        return static_cast<int>(ftell(file_));
    }
    const int r = dec_.get_rec(rec_);
    if (r < 0) {
        clear_desc() << text(f, "read error") << ": " << dec_.get_desc();
        return -1;
    }
    if (r == 0) {
        clear_desc() << text(f, "no end record");
        return -1;
    }
    switch (rec_.type()) {
    case 3: {
        // A record holds [address, address + length - 1], or just its address when empty; it
        // must start above every byte before it and end below 2^32 (counted in 64 bits, where
        // nothing wraps).
        const uint64_t lo = rec_.addr32();
        const uint64_t end = lo + std::max(rec_.data_len(), 1u);
        if (end > uint64_t(1) << 32) return fail_line("data runs past 0xFFFFFFFF");
        if (have_data_ && lo < next_free_) return fail_line("address overlap");
        if (!have_data_) cur_.min_addr = static_cast<uint32_t>(lo);
        cur_.max_addr = static_cast<uint32_t>(end - 1);
        next_free_ = end;
        have_data_ = true;
        break;
    }
    case 7:
        if (!have_data_) return fail_line("no data records");
        cur_.size = static_cast<unsigned>(ftell(file_) - cur_.offset);
        infos_->push_back(cur_);
        begin();
        break;
    default:
        return fail_line("unknown record type");
    }
    return r;
}

template <class Family>
void fw_comp_loader_tmpl_t<Family>::close() {
    if (file_) fclose(file_);
    file_ = nullptr;
    dec_.init(nullptr, 1);
}

template <class Family>
bool fw_comp_loader_tmpl_t<Family>::open(const std::string& path, long offset,
                                         unsigned first_line) {
    const fw_family_t& f = Family::rules;
    close();
    std::string why;
    file_ = tern_fw::open_file(path, why);
    if (!file_) {
        clear_desc() << text(f, "failed to open");
        return false;
    }
    if (offset < 0 || fseek(file_, offset, SEEK_SET) != 0) {
        clear_desc() << text(f, "failed to seek to offset");
        close();
        return false;
    }
    offset_ = offset;
    dec_.init(file_, first_line);
    loader_.reset();
    loader_.skip(true);
    typename Family::info_t::header_t header;
    if (header.read(dec_) != 1) {
        clear_desc() << text(f, "failed to read header");
        close();
        return false;
    }
    loader_.skip(false);
    clear_desc();
    return true;
}

template <class Family>
int fw_comp_loader_tmpl_t<Family>::load(unsigned char* buf, unsigned max) {
    if (!file_) {
        clear_desc() << "not initialized";
        return -1;
    }
    const int r = loader_.load(dec_, buf, max);
    if (r < 0) {
        clear_desc() << dec_.get_desc();
        return -1;
    }
    return r == 0 ? 0 : static_cast<int>(r - offset_);
}

template <class Rec>
void filter_preferred_product(int preferred, std::vector<Rec>& recs,
                              std::vector<std::string>* names) {
    std::set<int> has_preferred;
    for (const Rec& r : recs)
        if (static_cast<int>(r.product_type) == preferred)
            has_preferred.insert(static_cast<int>(r.component));
    size_t keep = 0;
    for (size_t i = 0; i < recs.size(); ++i) {
        const bool drop = has_preferred.count(static_cast<int>(recs[i].component)) &&
                          static_cast<int>(recs[i].product_type) != preferred;
        if (drop) continue;
        if (keep != i) {
            recs[keep] = std::move(recs[i]);
            if (names && i < names->size()) (*names)[keep] = std::move((*names)[i]);
        }
        ++keep;
    }
    recs.resize(keep);
    if (names && names->size() > keep) names->resize(keep);
}

template <class Family>
bool fw_scan_file(const std::string& path, std::vector<typename Family::rec_t>& recs,
                  int preferred) {
    recs.clear();
    std::list<typename Family::info_t> infos;
    fw_scan_tmpl_t<Family> scan;
    if (!scan.open(path, infos)) return false;
    long r;
    while ((r = scan.scan_iter()) > 0) {
    }
    if (r < 0) return false;
    unsigned index = 0;
    for (const auto& info : infos) {
        typename Family::rec_t rec;
        rec.index = index++;
        rec.component = info.component;
        rec.product_type = info.header.product_type();
        rec.version = info.header.version_str();
        recs.push_back(rec);
    }
    if (preferred >= 0) filter_preferred_product(preferred, recs);
    return true;
}

template <class Family>
void fw_scan_dir(const std::string& dir, std::vector<std::string>& names,
                 std::vector<typename Family::rec_t>& recs, int preferred) {
    names.clear();
    recs.clear();
    GDir* d = g_dir_open(dir.c_str(), 0, nullptr);
    if (!d) return;
    std::vector<std::string> entries;
    while (const char* e = g_dir_read_name(d))
        if (srec_filename_check(e)) entries.emplace_back(e);
    g_dir_close(d);
    std::sort(entries.begin(), entries.end());
    for (const std::string& e : entries) {
        const std::string path = dir + "/" + e;
        std::vector<typename Family::rec_t> one;
        fw_scan_file<Family>(path, one, Family::rules.dir_product);
        if (one.size() != 1) continue;
        names.push_back(path);
        recs.push_back(one.front());
    }
    if (preferred >= 0) filter_preferred_product(preferred, recs, &names);
}

#define TERN_FW_FAMILY(F)                                                                          \
    template class fw_scan_tmpl_t<F>;                                                              \
    template class fw_comp_loader_tmpl_t<F>;                                                       \
    template void filter_preferred_product(int, std::vector<F::rec_t>&,                            \
                                           std::vector<std::string>*);                             \
    template bool fw_scan_file<F>(const std::string&, std::vector<F::rec_t>&, int);                \
    template void fw_scan_dir<F>(const std::string&, std::vector<std::string>&,                    \
                                 std::vector<F::rec_t>&, int);
TERN_FW_FAMILY(cobalt_fw_family_t)
TERN_FW_FAMILY(harbor_fw_family_t)
#undef TERN_FW_FAMILY
