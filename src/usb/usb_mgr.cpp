#include "tern/usb/usb_mgr.h"

#include "tern/thread/glibTimer.h"
#include "tern/usb/usbd_conn.h"
#include "tern/usb/usbd_msg.h"

#include <sys/statvfs.h>

#include <map>

namespace {
usb_mgr_t* default_mgr = nullptr;

// The stored form of a reported record.
void normalise(usb_dev_t& dev) {
    if (dev.label.empty()) dev.label = "<no label>";
    // An empty mount path stays empty: as "/" it would begin every path on the controller.
    if (!dev.mount_path.empty() && dev.mount_path.back() != '/') dev.mount_path += '/';
}
} // namespace

usb_mgr_client_t::~usb_mgr_client_t() = default;

class usb_mgr_priv_t : public tern::usbd_client_t {
public:
    usb_mgr_priv_t() { timer.connect(this, &usb_mgr_priv_t::check_conn); }

    void usbd_client_connected() override { link.get_list(); }

    void usbd_client_err() override {
        for (auto it = devs.begin(); it != devs.end();) {
            if (it->second.persistent) {
                ++it;
                continue;
            }
            const usb_dev_t gone = it->second;
            it = devs.erase(it);
            if (client) client->usb_dev_removed(gone);
        }
        link.disconnect();
    }

    void usbd_client_dev(const tern::fb_usbd_dev_t& msg) override {
        usb_dev_t dev = msg.dev;
        normalise(dev);
        auto it = devs.find(dev.dev_path);
        if (it == devs.end()) {
            devs.emplace(dev.dev_path, dev);
            if (client) client->usb_dev_added(dev);
            return;
        }
        // A reconnected daemon lists every volume again: only a different record is a change
        // (else every log channel on it would start afresh, and a per-start file split).
        if (it->second == dev) return;
        const usb_dev_t old = it->second;
        it->second = dev;
        if (client) client->usb_dev_changed(old, dev);
    }

    void usbd_client_dev_gone(const tern::fb_usbd_dev_gone_t& msg) override {
        auto it = devs.find(msg.dev_path);
        if (it == devs.end()) return;
        const usb_dev_t gone = it->second;
        devs.erase(it);
        if (client) client->usb_dev_removed(gone);
    }

    void check_conn() {
        if (!link.connected()) link.connect(this);
    }

    usb_mgr_client_t* client = nullptr;
    std::map<std::string, usb_dev_t> devs;
    gtimer_t<usb_mgr_priv_t> timer;
    tern::usbd_conn_t link;
    unsigned int interval = 1000;
};

usb_mgr_t::usb_mgr_t() : priv_(new usb_mgr_priv_t) {}

usb_mgr_t::~usb_mgr_t() {
    shutdown();
    if (default_mgr == this) default_mgr = nullptr;
}

void usb_mgr_t::init(usb_mgr_client_t* client) {
    shutdown();
    priv_->client = client;
    priv_->link.connect(priv_.get());
    priv_->timer.start(priv_->interval);
}

void usb_mgr_t::shutdown() {
    priv_->link.disconnect();
    priv_->timer.stop();
    while (!priv_->devs.empty()) {
        const usb_dev_t gone = priv_->devs.begin()->second;
        priv_->devs.erase(priv_->devs.begin());
        if (priv_->client) priv_->client->usb_dev_removed(gone);
    }
}

usb_mgr_t* usb_mgr_t::get_default() {
    return default_mgr;
}

void usb_mgr_t::set_default(usb_mgr_t* mgr) {
    default_mgr = mgr;
}

void usb_mgr_t::get_devs(std::vector<usb_dev_t>& devs) const {
    for (const auto& kv : priv_->devs) devs.push_back(kv.second);
}

bool usb_mgr_t::get_by_dev_path(const std::string& path, usb_dev_t& dev) const {
    auto it = priv_->devs.find(path);
    if (it == priv_->devs.end()) return false;
    dev = it->second;
    return true;
}

bool usb_mgr_t::get_by_path(const std::string& path, usb_dev_t& dev) const {
    dev.mount_path.clear();
    const usb_dev_t* best = nullptr;
    for (const auto& kv : priv_->devs) {
        const usb_dev_t& d = kv.second;
        if (d.has_path(path) && (!best || d.mount_path.size() > best->mount_path.size())) best = &d;
    }
    if (!best) return false;
    dev = *best;
    return true;
}

bool usb_mgr_t::get_by_vol_id(const std::string& id, usb_dev_t& dev) const {
    for (const auto& kv : priv_->devs) {
        if (kv.second.vol_id == id) {
            dev = kv.second;
            return true;
        }
    }
    return false;
}

bool usb_mgr_t::get_space(const usb_dev_t& dev, unsigned long long& total,
                          unsigned long long& free) const {
    if (dev.mount_path.empty()) return false;
    struct statvfs64 st;
    if (::statvfs64(dev.mount_path.c_str(), &st) != 0) return false;
    total = static_cast<unsigned long long>(st.f_blocks) * st.f_frsize;
    free = static_cast<unsigned long long>(st.f_bavail) * st.f_bsize;
    return true;
}

bool usb_mgr_t::connected() const {
    return priv_->link.connected();
}

void usb_mgr_t::set_check_interval(unsigned int ms) {
    priv_->interval = ms ? ms : 1;
}
