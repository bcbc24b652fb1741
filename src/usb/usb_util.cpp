#include "tern/usb/usb_util.h"

#include "tern/config/path_util.h"

#include <glib.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace {

std::string with_slash(const std::string& root) {
    return root.empty() || root.back() == '/' ? root : root + "/";
}

std::string& sysfs_root() {
    static std::string root = [] {
        const char* env = std::getenv("TERN_SYSFS_TTY");
        return env && *env ? with_slash(env) : std::string("/sys/class/tty/");
    }();
    return root;
}

// The first whitespace-delimited word of a file; empty when it cannot be read.
std::string first_word(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    if (in) in >> word;
    return word;
}

bool read_hex(const std::string& path, std::uint32_t& value) {
    const std::string word = first_word(path);
    // strtoul would take a sign, blanks or "0x"; the file holds bare hexadecimal digits.
    if (word.empty() || word.size() > 8 ||
        word.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    value = static_cast<std::uint32_t>(std::strtoul(word.c_str(), nullptr, 16));
    return true;
}

void describe(const char* name, const char* label, const char* type, const std::string& s,
              std::string& n, std::string& l, std::string& t) {
    n = std::string(name) + s;
    l = std::string(label) + s + ")";
    t = type;
}

} // namespace

void usb_set_sysfs_root(const std::string& root) {
    sysfs_root() = with_slash(root);
}

std::string usb_sysfs_root() {
    return sysfs_root();
}

bool usb_get_dev_id(const std::string& tty_path, usb_dev_id_t& id) {
    if (tty_path.compare(0, 8, "/dev/tty") != 0) return false;
    const std::string::size_type slash = tty_path.rfind('/');
    const std::string dev = tty_path.substr(slash + 1);
    const bool acm = tty_path.find("ACM") != std::string::npos;
    const std::string dir = sysfs_root() + dev + (acm ? "/device/../" : "/../../../../");
    usb_dev_id_t got;
    if (!read_hex(dir + "idVendor", got.vendor) || !read_hex(dir + "idProduct", got.product))
        return false;
    got.serial = first_word(dir + "serial");
    if (got.serial.empty()) return false;
    id = got;
    return true;
}

bool usb_get_desc(const usb_dev_id_t& id, std::string& name, std::string& label,
                  std::string& device_type) {
    std::string s = id.serial;
    const std::string::size_type nz = s.find_first_not_of('0');
    if (nz != std::string::npos) s.erase(0, nz);

    const bool tern_vendor = id.vendor == USB_VENDOR_TERN;
    if (tern_vendor && id.product == USB_PRODUCT_TERN_ORSK) {
        describe("orsk:", "TernOrsk USB (S/N ", "ternorsk", s, name, label, device_type);
        return true;
    }
    if (tern_vendor && id.product == USB_PRODUCT_TERN_RIMBA) {
        describe("rimba:", "TernRimba USB (S/N ", "ternrimba", s, name, label, device_type);
        return true;
    }
    const bool hemi_group = tern_vendor || id.vendor == USB_VENDOR_HEMISPHERE;
    if (hemi_group && id.product == USB_PRODUCT_HEMISPHERE) {
        name = "Hemisphere";
        label = "Hemisphere USB";
        device_type = "hemisphereEclipse";
        return true;
    }
    const bool serial_group = hemi_group || id.vendor == USB_VENDOR_SERIAL_CHIP;
    if (serial_group && id.product == USB_PRODUCT_TESSA) {
        describe("Tessa:", "TernTessa USB (S/N ", "ddktessa", s, name, label, device_type);
        return true;
    }
    if (serial_group && id.product == USB_PRODUCT_QUILL) {
        describe("Quill:", "TernQuill USB (S/N ", "ternquill", s, name, label, device_type);
        return true;
    }
    return false;
}

dir_scanner_t::~dir_scanner_t() = default;

void dir_scanner_t::scan(const std::string& root, unsigned int flags) {
    dirs_.clear();
    dirs_.push_back(root);
    while (!dirs_.empty()) {
        const std::string dir = dirs_.back();
        dirs_.pop_back();
        GDir* d = g_dir_open(dir.c_str(), 0, nullptr);
        if (!d) continue;
        while (const gchar* entry = g_dir_read_name(d)) {
            const std::string path = dir + tern::path_sep() + entry;
            if (!filter(path)) break;
            if ((flags & scan_recursive) && !g_file_test(path.c_str(), G_FILE_TEST_IS_SYMLINK) &&
                g_file_test(path.c_str(), G_FILE_TEST_IS_DIR))
                dirs_.push_back(path);
        }
        g_dir_close(d);
    }
}
