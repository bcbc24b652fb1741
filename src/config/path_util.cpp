#include "tern/config/path_util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <locale>
#include <ostream>
#include <sstream>

#include "util/time_util_priv.h"

namespace tern {

namespace {

constexpr char separator = '/';
const char* const default_data_path = "/tmp";

// Highest counter unique_filename tries before giving up.
constexpr unsigned int unique_limit = 1000000;

bool exists(const std::string& path) {
    struct stat st {};
    // lstat: a dangling link still occupies the name.
    return ::lstat(path.c_str(), &st) == 0;
}

bool is_dir(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

char path_sep() {
    return separator;
}

void path_split(const std::string& path, std::list<std::string>& out) {
    std::string::size_type pos = 0;
    while (pos < path.size()) {
        const std::string::size_type end = path.find(separator, pos);
        const std::string::size_type stop = end == std::string::npos ? path.size() : end;
        if (stop > pos) out.push_back(path.substr(pos, stop - pos));
        pos = stop + 1;
    }
}

std::string trim_path_sep(const std::string& path) {
    if (path.empty()) return path;
    const std::string::size_type last = path.find_last_not_of(separator);
    if (last == std::string::npos) return std::string(1, separator);
    return path.substr(0, last + 1);
}

std::string base_name(const std::string& path) {
    const std::string trimmed = trim_path_sep(path);
    if (trimmed.empty() || trimmed == "/") return trimmed;
    const std::string::size_type pos = trimmed.rfind(separator);
    return pos == std::string::npos ? trimmed : trimmed.substr(pos + 1);
}

std::string dir_name(const std::string& path) {
    const std::string trimmed = trim_path_sep(path);
    if (trimmed.empty() || trimmed == "/") return "/";
    const std::string::size_type pos = trimmed.rfind(separator);
    if (pos == std::string::npos) return ".";
    const std::string head = trim_path_sep(trimmed.substr(0, pos));
    return head.empty() ? "/" : head;
}

std::string get_system_file_path(const char* env, const std::string& sub) {
    const char* value = env ? std::getenv(env) : nullptr;
    // An empty value would put the files at the root; treat it as unset.
    std::string path = (value && *value) ? value : default_data_path;
    if (!sub.empty()) {
        if (path.back() != separator) path += separator;
        path += sub;
    }
    return path;
}

bool ends_in_ext(const std::string& name, const std::string& ext) {
    if (name.size() < ext.size()) return false;
    const std::string::size_type off = name.size() - ext.size();
    for (std::string::size_type i = 0; i < ext.size(); ++i) {
        if (ascii_lower(name[off + i]) != ascii_lower(ext[i])) return false;
    }
    return true;
}

bool is_settings_filename(const std::string& name) {
    return ends_in_ext(name, SETTINGS_EXT);
}

bool is_upload_filename(const std::string& name) {
    return ends_in_ext(name, UPLOAD_EXT);
}

bool is_tks_ip_cfg_filename(const std::string& name) {
    return ends_in_ext(name, TKS_IP_CFG_EXT);
}

bool isSatdefsFilename(const std::string& path) {
    return base_name(path).compare(0, 7, "SATDEFS") == 0;
}

std::string unique_filename(const std::string& dir, const std::string& base,
                            const std::string& ext) {
    const std::string prefix = dir + separator;
    std::string name = base + ext;
    if (!exists(prefix + name)) return name;
    for (unsigned int n = 1; n <= unique_limit; ++n) {
        name = base + "_" + std::to_string(n) + ext;
        if (!exists(prefix + name)) return name;
    }
    return std::string();
}

bool create_dir(const std::string& path, mode_t mode) {
    return ::mkdir(path.c_str(), mode) == 0;
}

bool verify_dir(const std::string& base, const std::string& rel) {
    if (!base.empty() && !is_dir(base)) return false;
    std::list<std::string> parts;
    path_split(rel, parts);
    std::string path = base;
    for (const std::string& part : parts) {
        if (!path.empty() && path.back() != separator) path += separator;
        path += part;
        if (is_dir(path)) continue;
        // Another process may create it at the same moment: what counts is that it exists.
        if (!create_dir(path, 0777) && !(errno == EEXIST && is_dir(path))) return false;
    }
    return true;
}

bool delete_file(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::ostream& operator<<(std::ostream& os, const time_fname_t& v) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << std::setfill('0');
    // Checked before the conversion: a NaN or huge double has no integer value.
    if (std::isfinite(v.t) && std::fabs(v.t) < 9.0e18) {
        const std::int64_t whole = static_cast<std::int64_t>(std::floor(v.t));
        const detail::utc_fields_t f = detail::utc_breakdown(detail::add_clamped(whole, v.tzoff));
        s << std::setw(4) << f.year << std::setw(2) << f.mon << std::setw(2) << f.day << '_'
          << std::setw(2) << f.hour << std::setw(2) << f.min << std::setw(2) << f.sec;
    } else {
        s << "00000000_000000";
    }
    detail::write_tzoff(s, v.tzoff);
    return os << s.str();
}

} // namespace tern
