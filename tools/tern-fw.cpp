// tern-fw: checks and lists receiver firmware files.
#include "common/program.h"

#include <tern/firmware/cobalt_fw_pkg.h>
#include <tern/firmware/file_scan.h>
#include <tern/firmware/harbor_fw_pkg.h>
#include <tern/firmware/ih_decode.h>
#include <tern/firmware/qvt_fw_pkg.h>
#include <tern/firmware/sha256sum.h>
#include <tern/firmware/slb_decode.h>
#include <tern/firmware/srec_decode.h>
#include <tern/thread/thread.h>

#include <glib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <list>
#include <locale>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char usage[] =
    "Usage: tern-fw check FILE...\n"
    "  or:  tern-fw list DIR\n"
    "  or:  tern-fw blocks FILE [IMAGE]\n"
    "Checks receiver firmware files: S-record (.s19), Intel hex and SLB engine images.\n"
    "  check FILE...        decode each file from end to end; print \"FILE: ok\" and a summary,\n"
    "                       or \"FILE: \" and the reason it was refused\n"
    "  list DIR             the components of every .s19 file in the tree of DIR and the\n"
    "                       package of each install.ini there\n"
    "  blocks FILE [IMAGE]  the reports an SLB image is sent as: kind (start, data, end),\n"
    "                       flash address, length and CRC; IMAGE is an index (default 0) or an\n"
    "                       engine family name\n"
    "Options end at \"--\": a FILE after it may start with \"-\".\n"
    "Exit status: 0 when every file is sound, 1 when one is not, 2 on bad usage.\n";

std::ostringstream text_stream() {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    return s;
}

std::string hex32(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08x", v);
    return b;
}

// Components of a file of either family, with their summary lines; false with the reason.
template <class Family>
bool family_components(const std::string& path, const char* name, std::vector<std::string>& lines,
                       std::string& err) {
    std::list<typename Family::info_t> infos;
    fw_scan_tmpl_t<Family> scan;
    long r = scan.open(path, infos) ? 1 : -1;
    while (r > 0) r = scan.scan_iter();
    if (r < 0) {
        err = scan.get_desc();
        return false;
    }
    unsigned i = 0;
    for (const auto& c : infos) {
        std::ostringstream s = text_stream();
        s << "component " << i++ << ": " << name << ' ' << to_string(c.component) << " product "
          << unsigned(c.header.product_type()) << " version " << c.header.version_str()
          << " addresses " << hex32(c.min_addr) << '-' << hex32(c.max_addr) << " lines "
          << c.first_line << " size " << c.size;
        lines.push_back(s.str());
    }
    return true;
}

// Cobalt first; a type only Harbor knows makes it a Harbor file.
bool components(const std::string& path, std::vector<std::string>& lines, std::string& err) {
    const size_t before = lines.size();
    if (family_components<cobalt_fw_family_t>(path, "cobalt", lines, err)) return true;
    const std::string cobalt_err = err;
    lines.resize(before);
    if (family_components<harbor_fw_family_t>(path, "harbor", lines, err)) return true;
    if (cobalt_err.compare(0, 22, "unknown component code") != 0) err = cobalt_err;
    return false;
}

// What a plain S-record file (one without components) must be: data records that neither
// overlap nor run past 0xFFFFFFFF, then one end record (S7, S8 or S9) and nothing after it.
// A loader stops at the end record and writes overlapping records over each other, so a cut
// file or a doubled record would otherwise be flashed with a hole or with the wrong bytes.
class plain_srec_t {
public:
    void add(const srec_t& rec, unsigned line) {
        if (!err_.empty()) return;
        const unsigned t = rec.type();
        if (end_line_) {
            fail(line, "record after the end record");
        } else if (t >= 7) {
            end_line_ = line;
        } else if (t >= 1 && t <= 3 && rec.data_len()) {
            const uint64_t lo = t == 1 ? rec.addr16() : t == 2 ? rec.addr24() : rec.addr32();
            add_range(lo, lo + rec.data_len(), line);
        }
    }
    // False with the first fault found, naming its line.
    bool check(unsigned last_line, std::string& err) const {
        if (err_.empty() && !end_line_) {
            err = "no end record (S7, S8 or S9)";
            if (last_line) err += " after line " + std::to_string(last_line);
            return false;
        }
        err = err_;
        return err_.empty();
    }

private:
    void fail(unsigned line, const char* what) {
        err_ = "line " + std::to_string(line) + ": " + what;
    }
    // Keeps the data seen so far as disjoint ranges [start, end), joining those that touch.
    void add_range(uint64_t lo, uint64_t hi, unsigned line) {
        if (hi > uint64_t(1) << 32) return fail(line, "data runs past 0xFFFFFFFF");
        auto next = used_.lower_bound(lo);
        if (next != used_.end() && next->first < hi) return fail(line, "address overlap");
        if (next != used_.begin()) {
            auto prev = std::prev(next);
            if (prev->second > lo) return fail(line, "address overlap");
            if (prev->second == lo) {
                lo = prev->first;
                used_.erase(prev);
            }
        }
        if (next != used_.end() && next->first == hi) {
            hi = next->second;
            used_.erase(next);
        }
        used_[lo] = hi;
    }

    std::map<uint64_t, uint64_t> used_;
    unsigned end_line_ = 0;
    std::string err_;
};

bool check_srec(const std::string& path, std::vector<std::string>& lines, std::string& err) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        err = std::string("failed to open: ") + std::strerror(errno);
        return false;
    }
    srec_decode_t dec;
    dec.init(f);
    srec_t rec;
    unsigned long long bytes = 0;
    uint64_t lo = UINT32_MAX, hi = 0;
    bool swinfo = false;
    plain_srec_t plain;
    int r;
    while ((r = dec.get_rec(rec)) > 0) {
        const unsigned t = rec.type();
        if (t == 0 && rec.data_len() == 19 && std::memcmp(rec.data(), "QVT SWINFO VER ", 15) == 0)
            swinfo = true;
        plain.add(rec, dec.line_num());
        if (t < 1 || t > 3 || rec.data_len() == 0) continue;
        const uint64_t a = t == 1 ? rec.addr16() : t == 2 ? rec.addr24() : rec.addr32();
        lo = std::min(lo, a);
        hi = std::max(hi, a + rec.data_len() - 1);
        bytes += rec.data_len();
    }
    std::fclose(f);
    if (r < 0) {
        err = dec.get_desc();
        return false;
    }
    // A component file's structure is the component scan's to check.
    if (!swinfo && !plain.check(dec.line_num(), err)) return false;
    std::ostringstream s = text_stream();
    s << "S-record: " << dec.rec_num() << " records, " << bytes << " data bytes";
    if (bytes)
        s << " at " << hex32(static_cast<uint32_t>(lo)) << '-' << hex32(static_cast<uint32_t>(hi));
    lines.push_back(s.str());
    return !swinfo || components(path, lines, err);
}

bool check_ihex(const std::string& path, std::vector<std::string>& lines, std::string& err) {
    ih_decode_t ih;
    if (!ih.scan(path)) {
        err = ih.get_err();
        return false;
    }
    std::ostringstream s = text_stream();
    s << "Intel hex: " << ih.get_total_len() << " data bytes";
    if (ih.get_total_len())
        s << " at " << hex32(ih.get_min_addr()) << '-' << hex32(ih.get_max_addr());
    lines.push_back(s.str());
    return true;
}

bool check_slb(const std::string& path, std::vector<std::string>& lines, std::string& err) {
    slb_decode_t slb;
    if (!slb.scan(path)) {
        err = slb.get_err();
        return false;
    }
    std::ostringstream s = text_stream();
    unsigned char sum[32];
    if (slb.get_file_version() == 0) {
        s << "SLB single image";
    } else {
        slb.get_file_checksum(sum);
        s << "SLB combined file version " << slb.get_file_version() << ", "
          << slb.get_num_firmwares() << " images, SHA-256 " << sha256sum_t::sum_string(sum);
    }
    lines.push_back(s.str());
    for (unsigned i = 0; i < slb.get_num_firmwares(); ++i) {
        std::unique_ptr<slb_fw_t> fw(slb.get_fw(i));
        if (!fw) {
            err = "image " + std::to_string(i) + ": " + slb.get_err();
            return false;
        }
        std::ostringstream l = text_stream();
        l << "image " << i << ": " << fw->get_engine_id() << " version " << fw->get_version_str()
          << ", " << fw->get_num_sections() << " sections, " << fw->get_total_len() << " bytes";
        for (unsigned k = 0; k < fw->get_num_sections(); ++k)
            l << (k ? ", " : ": ") << hex32(fw->get_section_addr(k)) << '+'
              << fw->get_section_length(k);
        lines.push_back(l.str());
    }
    return true;
}

// The kind of a file by its first bytes (or its name, for S-records).
enum class kind_t { none, srec, ihex, slb };

kind_t kind_of(const std::string& path) {
    if (srec_filename_check(path)) return kind_t::srec;
    FILE* f = std::fopen(path.c_str(), "rb");
    char head[2] = {0, 0};
    if (f) {
        if (std::fread(head, 1, 2, f) != 2) head[0] = 0;
        std::fclose(f);
    }
    if (head[0] == ':') return kind_t::ihex;
    if (head[0] == 'S' && head[1] >= '0' && head[1] <= '9') return kind_t::srec;
    return kind_t::slb;
}

// Why the path cannot be a firmware file ("" when it may be one): a directory or a device
// would only give a puzzling read error, and a FIFO would block the check.
std::string not_a_file(const std::string& path) {
    struct stat st = {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
    return S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file";
}

int cmd_check(const std::vector<std::string>& files) {
    int status = 0;
    for (const std::string& path : files) {
        std::vector<std::string> lines;
        std::string err = not_a_file(path);
        bool ok = false;
        switch (err.empty() ? kind_of(path) : kind_t::none) {
        case kind_t::none:
            break;
        case kind_t::srec:
            ok = check_srec(path, lines, err);
            break;
        case kind_t::ihex:
            ok = check_ihex(path, lines, err);
            break;
        case kind_t::slb:
            ok = check_slb(path, lines, err);
            break;
        }
        if (!ok) {
            std::cout << path << ": " << err << '\n';
            status = 1;
            continue;
        }
        std::cout << path << ": ok\n";
        for (const std::string& l : lines) std::cout << "  " << l << '\n';
    }
    return status;
}

// A firmware file the search found.
class found_file_t : public file_scan_t::file_t {
public:
    explicit found_file_t(std::string p) : path(std::move(p)) {}
    std::string path;
};

// Keeps .s19 files and install.ini indexes.
class fw_filter_t : public file_scan_t::filter_t {
public:
    bool filter(const std::string& path, const usb_dev_t&,
                std::list<file_scan_t::file_t*>& files) override {
        const std::string name = path.substr(path.rfind('/') + 1);
        if ((srec_filename_check(name) || g_ascii_strcasecmp(name.c_str(), "install.ini") == 0) &&
            g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR))
            files.push_back(new found_file_t(path));
        return true;
    }
};

class lister_t : public file_scan_t::client_t {
public:
    explicit lister_t(std::string dir) : root_(std::move(dir)) {}
    std::vector<std::string> found;
    GMainLoop* loop = nullptr;

    void file_scan_found(file_scan_t::file_t* file) override {
        std::unique_ptr<file_scan_t::file_t> f(file);
        found.push_back(static_cast<found_file_t*>(file)->path);
    }
    void file_scan_done() override { g_main_loop_quit(loop); }
    void file_scan_volumes(std::vector<usb_dev_t>& volumes) override {
        usb_dev_t root;
        root.mount_path = root_;
        volumes.push_back(root);
    }
    file_scan_t::filter_t* file_scan_filter() override { return new fw_filter_t; }

private:
    std::string root_;
};

int cmd_list(const std::string& dir) {
    if (!g_file_test(dir.c_str(), G_FILE_TEST_IS_DIR)) {
        tern_tool::diag(dir + ": not a directory");
        return 1;
    }
    tern::thread_init();
    lister_t lister(dir);
    file_scan_t scan(&lister);
    scan.add_dir("", file_scan_t::scan_subdirs);
    lister.loop = g_main_loop_new(nullptr, FALSE);
    if (!scan.start()) {
        g_main_loop_unref(lister.loop);
        tern_tool::diag("failed to start the search");
        return 1;
    }
    g_main_loop_run(lister.loop);
    g_main_loop_unref(lister.loop);
    std::sort(lister.found.begin(), lister.found.end());

    int status = 0;
    for (const std::string& path : lister.found) {
        std::vector<std::string> lines;
        std::string err;
        bool ok;
        if (srec_filename_check(path)) {
            ok = components(path, lines, err);
        } else {
            qvt_fw_pkg_t pkg;
            ok = pkg.scan(path);
            if (ok) {
                std::string lbm = "?", iop = "?";
                pkg.get_lbm_version_str(lbm);
                pkg.get_iop_version_str(iop);
                lines.push_back("QVT package: GPS " + pkg.gps_path);
                lines.push_back("QVT package: LBM " + pkg.lbm_path + " version " + lbm);
                lines.push_back("QVT package: IOP " + pkg.iop_path + " version " + iop);
            } else {
                err = pkg.get_err();
            }
        }
        if (!ok) {
            std::cout << path << ": " << err << '\n';
            status = 1;
            continue;
        }
        for (const std::string& l : lines) std::cout << path << ": " << l << '\n';
    }
    return status;
}

int cmd_blocks(const std::string& path, const char* image) {
    const std::string not_file = not_a_file(path);
    slb_decode_t slb;
    if (!not_file.empty() || !slb.scan(path)) {
        std::cout << path << ": " << (not_file.empty() ? slb.get_err() : not_file) << '\n';
        return 1;
    }
    std::unique_ptr<slb_fw_t> fw;
    if (!image || std::strspn(image, "0123456789") == std::strlen(image)) {
        // An index too large for any file is out of range like any other.
        unsigned long long index = 0;
        if (image && !tern_tool::parse_unsigned(image, UINT_MAX, index)) index = UINT_MAX;
        fw.reset(slb.get_fw(static_cast<unsigned>(index)));
    } else {
        fw.reset(slb.get_fw_by_engine(image));
    }
    if (!fw) {
        std::cout << path << ": " << slb.get_err() << '\n';
        return 1;
    }
    static const char* const kinds[] = {"start", "data", "end"};
    std::vector<unsigned char> buf(slb_fw_t::chunk_size);
    slb_fw_t::data_control_t ctl;
    fw->start_flash(0, 0);
    while (fw->get_data(buf.data(), ctl)) {
        char line[80];
        std::snprintf(line, sizeof line, "%s 0x%08x %u 0x%04x", kinds[ctl.kind % 3], ctl.flash_addr,
                      ctl.length, unsigned(ctl.crc));
        std::cout << line << '\n';
    }
    if (!fw->at_end()) {
        std::cout << path << ": " << fw->get_err() << '\n';
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    tern_tool::set_program(argv[0]);
    std::vector<std::string> args(argv + 1, argv + argc);
    // Options stand before "--"; after it every word is the command or a file, "-x" too.
    const auto options_end = std::find(args.begin(), args.end(), "--");
    for (auto a = args.begin(); a != options_end; ++a)
        if (*a == "--help" || *a == "-h") {
            std::cout << usage << tern_tool::standard_usage;
            return 0;
        } else if (*a == "--version") {
            return tern_tool::print_version();
        }
    auto bad = [](const std::string& why) {
        tern_tool::diag(why + " (see --help)");
        return 2;
    };
    for (auto a = args.begin(); a != options_end; ++a)
        if (a->size() > 1 && (*a)[0] == '-') return bad("unknown option " + *a);
    if (options_end != args.end()) args.erase(options_end);
    if (args.empty()) return bad("no command given");
    const std::string cmd = args[0];
    args.erase(args.begin());
    int status;
    if (cmd == "check") {
        if (args.empty()) return bad("check needs at least one FILE");
        status = cmd_check(args);
    } else if (cmd == "list") {
        if (args.size() != 1) return bad("list needs one DIR");
        status = cmd_list(args[0]);
    } else if (cmd == "blocks") {
        if (args.empty() || args.size() > 2) return bad("blocks needs FILE and at most one IMAGE");
        status = cmd_blocks(args[0], args.size() == 2 ? args[1].c_str() : nullptr);
    } else {
        return bad("unknown command " + cmd);
    }
    std::cout.flush();
    if (!std::cout) {
        tern_tool::diag("write error on standard output");
        return 1;
    }
    return status;
}
