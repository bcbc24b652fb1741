// Where files live: the controller's data directory, the fixed tree on every USB volume, the
// file-name extensions of the system's files, and the small path and directory functions the
// rest of the library uses.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <list>
#include <string>
#include <sys/types.h>

namespace tern {

// Directories and files on a USB volume, relative to its mount point.
inline constexpr const char* USB_BASE_DIR = "tern";
inline constexpr const char* USB_UUID_PATH = "tern/.uuid";
inline constexpr const char* USB_SETTINGS_DIR = "tern/settings";
inline constexpr const char* USB_SNAPSHOT_DIR = "tern/snapshot";
inline constexpr const char* USB_LOG_DATA_DIR = "tern/log_data";
inline constexpr const char* USB_UPDATES_DIR = "tern/updates";
inline constexpr const char* USB_ALMANAC_DIR = "tern/almanac";

// File-name extensions.
inline constexpr const char* SETTINGS_EXT = ".trs";
inline constexpr const char* UPLOAD_EXT = ".tru";
inline constexpr const char* ALM_YUMA_EXT = ".alm";
inline constexpr const char* TKS_IP_CFG_EXT = ".tksoticfg";

// The environment variable naming the controller's data directory ("/tmp" when unset).
inline constexpr const char* TERN_DATA_PATH = "TERN_DATA_PATH";

// The path separator, '/'.
char path_sep();

// Appends every non-empty component of `path` to `out`, in order: "/a//b/" gives a, b.
void path_split(const std::string& path, std::list<std::string>& out);

// The path without trailing separators; separators only give "/", empty stays empty.
std::string trim_path_sep(const std::string& path);

// The last component: "/a/b/" gives "b"; separators only give "/"; empty gives "".
std::string base_name(const std::string& path);

// Everything before the last component, without the separators ending it: "a//b/" gives "a";
// a single component gives "."; "/a", "", and separators only give "/".
std::string dir_name(const std::string& path);

// From the base name, the text from the last '.' on, dot included; empty without a dot.
std::string file_extension(const std::string& path);

// The value of environment variable `env` (or "/tmp" when unset), joined with `sub` by one
// '/' when `sub` is not empty.
std::string get_system_file_path(const char* env, const std::string& sub = std::string());

// True when `name` ends in `ext`, compared without regard to ASCII case.
bool ends_in_ext(const std::string& name, const std::string& ext);
bool is_settings_filename(const std::string& name);
bool is_upload_filename(const std::string& name);
bool is_tks_ip_cfg_filename(const std::string& name);
// True when the base name begins with "SATDEFS" (case-sensitive).
bool isSatdefsFilename(const std::string& path);

// A file name (no directory) not present in `dir`: base + ext, else base_1 + ext, base_2 +
// ext, ... Returns an empty string only when every counter up to a large bound is taken.
std::string unique_filename(const std::string& dir, const std::string& base,
                            const std::string& ext);

// Creates one directory with the given permission bits; true on success.
bool create_dir(const std::string& path, mode_t mode);

// Makes sure base/rel exists, creating each missing component of `rel` with mode 0777. A
// non-empty `base` must already be a directory. True when the whole path exists.
bool verify_dir(const std::string& base, const std::string& rel);

// Removes a file; true on success.
bool delete_file(const std::string& path);

// A time stamp for file names: "20240131_000000+0000" (UTC date and time of t plus the
// offset, then the offset). A non-finite or unrepresentable t writes "00000000_000000" and
// the offset, so a file name never carries garbage.
struct time_fname_t {
    double t = 0.0; // seconds since 1970
    int tzoff = 0;  // seconds east of UTC

    explicit time_fname_t(double secs = 0.0, int off = 0) : t(secs), tzoff(off) {}
};
std::ostream& operator<<(std::ostream& os, const time_fname_t& v);

} // namespace tern
