// Identification of USB-serial receivers from the kernel's sysfs tree, and a directory walker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Identity of a USB-serial adapter.
struct usb_dev_id_t {
    std::uint32_t vendor = 0;
    std::uint32_t product = 0;
    std::string serial;
};

// USB ids of the receivers we recognise by name.
constexpr std::uint32_t USB_VENDOR_TERN = 0x2F1Cu;        // the receivers' own vendor id
constexpr std::uint32_t USB_PRODUCT_TERN_ORSK = 0x0101u;  // orsk receiver
constexpr std::uint32_t USB_PRODUCT_TERN_RIMBA = 0x0102u; // rimba receiver
constexpr std::uint32_t USB_VENDOR_HEMISPHERE = 0x1735u;
constexpr std::uint32_t USB_PRODUCT_HEMISPHERE = 0x0002u;
constexpr std::uint32_t USB_VENDOR_SERIAL_CHIP = 0x0403u;
constexpr std::uint32_t USB_PRODUCT_TESSA = 0x6001u;
constexpr std::uint32_t USB_PRODUCT_QUILL = 0x6015u;

// Where the tty class lives in sysfs: "/sys/class/tty/", or the environment variable
// TERN_SYSFS_TTY when set at first use, unless changed here (tests give a tree of their own).
// A root without a trailing '/' gets one. Process-wide; main-loop thread.
void usb_set_sysfs_root(const std::string& root);
std::string usb_sysfs_root();

// Reads vendor id, product id (hexadecimal) and serial number of the USB adapter behind a tty:
// for "/dev/ttyACM0" from <root>ttyACM0/device/../, for "/dev/ttyUSB1" from
// <root>ttyUSB1/../../../../, the first word of the files idVendor, idProduct and serial. False
// when the path does not begin with "/dev/tty" or a file is missing, empty or not a number.
bool usb_get_dev_id(const std::string& tty_path, usb_dev_id_t& id);

// Name, display label and device type of a known receiver ("orsk:123", "TernOrsk USB (S/N
// 123)", "ternorsk"); the serial number loses its leading zeros unless it has nothing else.
// False (outputs untouched) for an adapter we do not know.
bool usb_get_desc(const usb_dev_id_t& id, std::string& name, std::string& label,
                  std::string& device_type);

// Walks a directory tree, handing every entry to filter(). Symbolic links are handed on but
// never descended into, so a link to "." or "/" on a volume neither loops nor leaves it.
class dir_scanner_t {
public:
    static constexpr unsigned int scan_recursive = 1; // descend into subdirectories

    virtual ~dir_scanner_t();
    // Walks from `root`, most recently found directory first.
    void scan(const std::string& root, unsigned int flags);

protected:
    // Called for every entry (directory + '/' + name); false stops the listing of the current
    // directory (directories already found are still walked).
    virtual bool filter(const std::string& path) = 0;
    // From filter(): abandons the rest of the walk (return false too, to end the listing).
    void stop() { dirs_.clear(); }

private:
    std::vector<std::string> dirs_; // still to visit
};

namespace tern {
using ::dir_scanner_t;
using ::usb_dev_id_t;
using ::usb_get_desc;
using ::usb_get_dev_id;
using ::usb_set_sysfs_root;
using ::usb_sysfs_root;
} // namespace tern
