#include <tern/firmware/qvt_fw_pkg.h>

#include <dirent.h>
#include <glib.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

std::string base_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string dir_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Decimal digits at `at` into `value`; false when there are none or too many.
bool read_number(const std::string& s, size_t& at, unsigned long& value) {
    const size_t start = at;
    value = 0;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9') {
        if (value > 99999999UL) return false;
        value = value * 10 + static_cast<unsigned long>(s[at++] - '0');
    }
    return at > start;
}

} // namespace

bool qvt_fw_version_str(const std::string& prefix, const std::string& path, std::string& out) {
    const std::string name = base_of(path);
    if (name.size() < prefix.size() ||
        g_ascii_strncasecmp(name.c_str(), prefix.c_str(), prefix.size()) != 0)
        return false;
    size_t at = prefix.size();
    unsigned long major, minor;
    if (!read_number(name, at, major)) return false;
    if (at >= name.size() || (name[at] != '.' && name[at] != ',')) return false;
    ++at;
    if (!read_number(name, at, minor)) return false;
    out = std::to_string(major) + "." + std::to_string(minor);
    return true;
}

bool qvt_fw_pkg_t::get_lbm_version_str(std::string& out) const {
    return qvt_fw_version_str("lbmv", lbm_path, out);
}

bool qvt_fw_pkg_t::get_iop_version_str(std::string& out) const {
    return qvt_fw_version_str("iopv", iop_path, out);
}

void qvt_fw_pkg_t::close() {
    lbm_path.clear();
    iop_path.clear();
    gps_path.clear();
    lbm_dec.close();
    iop_dec.close();
    gps_dec.close();
    open_ = false;
}

bool qvt_fw_pkg_t::fail(const std::string& what) {
    err_ = what;
    return false;
}

bool qvt_fw_pkg_t::find_in_dir(const std::string& dir, const std::string& name, std::string& path) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
        err_ = "failed to open dir " + dir + ": " + strerror(errno);
        return false;
    }
    bool found = false;
    while (const dirent* entry = readdir(d)) {
        if (g_ascii_strcasecmp(entry->d_name, name.c_str()) == 0) {
            path = dir + "/" + entry->d_name;
            found = true;
            break;
        }
    }
    closedir(d);
    return found;
}

bool qvt_fw_pkg_t::scan(const std::string& path_in) {
    close();
    std::string path = path_in;
    while (path.size() > 1 && path.back() == '/') path.pop_back();

    std::string index, dir;
    if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS))
        return fail("failed to locate install.ini: " + path + "does not exist");
    if (g_file_test(path.c_str(), G_FILE_TEST_IS_DIR)) {
        dir = path;
        if (!find_in_dir(dir, "install.ini", index))
            return fail("failed to locate install.ini: failed to find install.ini in dir");
    } else {
        index = path;
        dir = dir_of(path);
    }

    std::ifstream in(index, std::ios::binary);
    if (!in) return fail(std::string("failed to open INI file: ") + strerror(errno));

    struct image_key_t {
        const char* key;
        const char* what;
        std::string* path;
        bool (*open)(qvt_fw_pkg_t&, const std::string&, std::string&);
    };
    const image_key_t keys[] = {
        {"gpssoftware", "GPS", &gps_path,
         [](qvt_fw_pkg_t& p, const std::string& f, std::string& err) {
             const bool ok = p.gps_dec.scan(f);
             err = p.gps_dec.get_err();
             return ok;
         }},
        {"lbmsoftware", "LBM", &lbm_path,
         [](qvt_fw_pkg_t& p, const std::string& f, std::string& err) {
             const bool ok = p.lbm_dec.scan(f);
             err = p.lbm_dec.get_err();
             return ok;
         }},
        {"iopsoftware", "IOP", &iop_path,
         [](qvt_fw_pkg_t& p, const std::string& f, std::string& err) {
             const bool ok = p.iop_dec.scan(f);
             err = p.iop_dec.get_err();
             return ok;
         }},
    };

    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t key_end = line.find_first_of("= ");
        if (key_end == std::string::npos || key_end == 0) continue;
        const size_t name_at = line.find_first_not_of("= ", key_end);
        if (name_at == std::string::npos) continue;
        const std::string key = line.substr(0, key_end);
        const std::string name = line.substr(name_at);
        for (const image_key_t& k : keys) {
            std::string file;
            if (g_ascii_strcasecmp(key.c_str(), k.key) != 0 || !find_in_dir(dir, name, file))
                continue;
            std::string err;
            if (!k.open(*this, file, err))
                return fail(std::string("failed to init ") + k.what + " decoder: " + err);
            *k.path = file;
            break;
        }
    }

    if (!gps_dec.is_open())
        err_ = "no GPS file in INI file";
    else if (!lbm_dec.is_open())
        err_ = "no LBM file in INI file";
    else if (!iop_dec.is_open())
        err_ = "no IOP file in INI file";
    else {
        open_ = true;
        err_.clear();
        return true;
    }
    close();
    return false;
}
