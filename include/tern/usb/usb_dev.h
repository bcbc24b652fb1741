// One USB storage volume as the USB daemon reports it.
#pragma once

#include <cstddef>
#include <string>

namespace tern {
class msg_encoder_t;
class msg_decoder_t;
} // namespace tern

// A USB storage volume. Codec: dev_path, mount_path, label, vol_id (strings), persistent.
class usb_dev_t {
public:
    std::string dev_path;    // device path; identifies the volume
    std::string mount_path;  // mount point; ends with '/' once the manager has stored it
    std::string label;       // volume label
    std::string vol_id;      // volume identifier
    bool persistent = false; // survives a loss of the daemon link

    bool operator==(const usb_dev_t& o) const;
    bool operator!=(const usb_dev_t& o) const { return !(*this == o); }

    // True when `path` is the mount point or lies below it, compared by whole components
    // ("/media/usb0" and "/media/usb0/x" are on "/media/usb0/", "/media/usb01" is not); never
    // for an empty mount_path. A mount path of "/" holds every absolute path.
    bool has_path(const std::string& path) const;
    // Length of mount_path without its trailing separators: where a path on the volume goes
    // on after the mount point.
    std::size_t mount_length() const;
};

tern::msg_encoder_t& operator<<(tern::msg_encoder_t& enc, const usb_dev_t& dev);
tern::msg_decoder_t& operator>>(tern::msg_decoder_t& dec, usb_dev_t& dev);
