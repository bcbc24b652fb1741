#include "tern/usb/usb_dev.h"

#include "tern/msg/msg.h"

bool usb_dev_t::operator==(const usb_dev_t& o) const {
    return dev_path == o.dev_path && mount_path == o.mount_path && label == o.label &&
           vol_id == o.vol_id && persistent == o.persistent;
}

std::size_t usb_dev_t::mount_length() const {
    std::size_t n = mount_path.size();
    while (n > 0 && mount_path[n - 1] == '/') --n;
    return n;
}

bool usb_dev_t::has_path(const std::string& path) const {
    // A volume without a mount path lies on no path (it would otherwise begin every one).
    if (mount_path.empty()) return false;
    // Whole components: "/media/usb0" is the mount point itself, "/media/usb01" another place.
    const std::size_t n = mount_length();
    return path.compare(0, n, mount_path, 0, n) == 0 && (path.size() == n ? n > 0 : path[n] == '/');
}

tern::msg_encoder_t& operator<<(tern::msg_encoder_t& enc, const usb_dev_t& dev) {
    using tern::operator<<;
    enc << dev.dev_path << dev.mount_path << dev.label << dev.vol_id << dev.persistent;
    return enc;
}

tern::msg_decoder_t& operator>>(tern::msg_decoder_t& dec, usb_dev_t& dev) {
    using tern::operator>>;
    dec >> dev.dev_path >> dev.mount_path >> dev.label >> dev.vol_id >> dev.persistent;
    return dec;
}
