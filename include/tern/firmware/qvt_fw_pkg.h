// QVT firmware package: the GNSS engine image and the LBM and IOP processor images of one
// receiver, named by an index file "install.ini".
//
// install.ini, one image per line (other lines are ignored; trailing CRs are dropped):
//   KEY[= ]...FILE
// KEY is the text before the first "=" or space, compared without regard to case:
//   gpssoftware  SLB engine image        lbmsoftware  LBM Intel hex image
//   iopsoftware  IOP Intel hex image
// FILE is the rest of the line after the run of "=" and spaces, taken as it is; it is looked
// up in the index file's directory without regard to case. A later line with the same key
// replaces the image of an earlier one.
#pragma once

#include <tern/firmware/ih_decode.h>
#include <tern/firmware/slb_decode.h>

#include <string>

// Finds and opens the three images of a package, each checked from end to end by its decoder.
class qvt_fw_pkg_t {
public:
    qvt_fw_pkg_t() = default;
    qvt_fw_pkg_t(const qvt_fw_pkg_t&) = delete;
    qvt_fw_pkg_t& operator=(const qvt_fw_pkg_t&) = delete;
    ~qvt_fw_pkg_t() { close(); }

    // Opens the package of a directory holding install.ini, or of the index file itself.
    // False with the reason in get_err() and the package not open.
    bool scan(const std::string& path);
    void close();
    bool is_open() const { return open_; }
    const std::string& get_err() const { return err_; }

    // The version of the LBM or IOP image from its file name: "lbmv" or "iopv" (any case),
    // major, "." or ",", minor; written major.minor. False, out untouched, for other names.
    bool get_lbm_version_str(std::string& out) const;
    bool get_iop_version_str(std::string& out) const;
    // The version text of the file at `path` whose name starts with `prefix` ("lbmv", "iopv").
    static bool get_version_str(const std::string& prefix, const std::string& path,
                                std::string& out);

    std::string lbm_path;
    ih_decode_t lbm_dec;
    std::string iop_path;
    ih_decode_t iop_dec;
    std::string gps_path;
    slb_decode_t gps_dec;

private:
    bool fail(const std::string& what);
    bool find_in_dir(const std::string& dir, const std::string& name, std::string& path);

    std::string err_ = "not initialized";
    bool open_ = false;
};

// The version text of a file name that starts with `prefix` as get_lbm_version_str describes.
bool qvt_fw_version_str(const std::string& prefix, const std::string& path, std::string& out);

inline bool qvt_fw_pkg_t::get_version_str(const std::string& prefix, const std::string& path,
                                          std::string& out) {
    return qvt_fw_version_str(prefix, path, out);
}

namespace tern {
using ::qvt_fw_pkg_t;
using ::qvt_fw_version_str;
} // namespace tern
