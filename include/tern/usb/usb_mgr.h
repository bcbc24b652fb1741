// The process's table of USB storage volumes, kept from the USB daemon's reports.
//
// The manager connects to the daemon, asks for its list and follows its reports. While the
// link is down it tries again once per second. Losing the link forgets every volume whose
// persistent flag is clear; shutdown forgets them all. Stored records always carry a label
// ("<no label>" for an empty one) and a mount path ending in '/'; a volume reported without a
// mount path keeps an empty one and lies on no path at all. A record reported again unchanged
// (as a reconnected daemon lists them all) is no change and tells the client nothing.
#pragma once

#include <tern/usb/usb_dev.h>

#include <memory>
#include <string>
#include <vector>

class usb_mgr_priv_t;

// Whoever follows the volumes. Called on the main loop, after the table has changed.
class usb_mgr_client_t {
public:
    virtual ~usb_mgr_client_t();
    virtual void usb_dev_added(const usb_dev_t& dev) = 0;
    virtual void usb_dev_changed(const usb_dev_t& old_dev, const usb_dev_t& new_dev) = 0;
    virtual void usb_dev_removed(const usb_dev_t& dev) = 0;
};

// The USB storage manager. Main-loop thread only.
class usb_mgr_t {
public:
    usb_mgr_t();
    // shutdown(); stops being the default manager.
    ~usb_mgr_t();
    usb_mgr_t(const usb_mgr_t&) = delete;
    usb_mgr_t& operator=(const usb_mgr_t&) = delete;

    // shutdown(), then follows the daemon for `client` (null: nobody is told).
    void init(usb_mgr_client_t* client);
    // Disconnects, stops retrying and removes every volume, telling the client of each.
    void shutdown();

    // The process-wide manager that log channels and file searches ask (initially null).
    static usb_mgr_t* get_default();
    static void set_default(usb_mgr_t* mgr);

    // Appends every volume in device-path order.
    void get_devs(std::vector<usb_dev_t>& devs) const;
    // The volume with this device path.
    bool get_by_dev_path(const std::string& path, usb_dev_t& dev) const;
    // The volume holding `path`: of those whose mount path begins it, the one with the longest
    // mount path. False when none (dev.mount_path is cleared first).
    bool get_by_path(const std::string& path, usb_dev_t& dev) const;
    // The volume with this volume id.
    bool get_by_vol_id(const std::string& id, usb_dev_t& dev) const;
    // Size and space left for unprivileged users of the volume's file system, in bytes. False
    // when the statistics cannot be read or the volume has no mount path.
    bool get_space(const usb_dev_t& dev, unsigned long long& total, unsigned long long& free) const;

    // Whether the link to the daemon is up.
    bool connected() const;
    // Milliseconds between reconnection checks (1000); takes effect at the next init().
    void set_check_interval(unsigned int ms);

private:
    friend class usb_mgr_priv_t;
    std::unique_ptr<usb_mgr_priv_t> priv_;
};

namespace tern {
using ::usb_mgr_client_t;
using ::usb_mgr_t;
} // namespace tern
