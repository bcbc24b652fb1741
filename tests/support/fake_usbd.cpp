#include "support/fake_usbd.h"

#include <tern/conn/conn_usock_stream.h>
#include <tern/usb/usbd_msg.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace tern_test {

class fake_usbd_t::peer_t : public tern::conn_client_t {
public:
    peer_t(fake_usbd_t& d, tern::conn_t* c) : daemon(d), conn(c) {}
    void handle_conn_msg(tern::msg_decoder_t& dec) override {
        if (dec.category() != tern::msg_t::category_cmd || dec.type() != 0) return;
        ++daemon.lists_;
        for (const usb_dev_t& d : daemon.devs_) {
            tern::fb_usbd_dev_t m(d);
            conn->send_msg(&m);
        }
    }
    void handle_conn_lost() override { daemon.lost(this); }
    void handle_conn_err() override { daemon.lost(this); }

    fake_usbd_t& daemon;
    std::unique_ptr<tern::conn_t> conn;
};

fake_usbd_t::fake_usbd_t(bool listen) {
    static unsigned int count = 0;
    name_ = "@tern-test-usbd-" + std::to_string(::getpid()) + "-" + std::to_string(++count);
    args_.push_back("socket=" + name_);
    ::setenv("TERN_USBD_SOCKET", name_.c_str(), 1);
    if (listen) start();
}

fake_usbd_t::~fake_usbd_t() {
    stop();
    dead_.clear();
}

void fake_usbd_t::start() {
    connector_.reset(new tern::connector_usock_stream_t);
    connector_->start(this);
}

void fake_usbd_t::stop() {
    connector_.reset();
    hang_up_clients();
}

void fake_usbd_t::hang_up_clients() {
    for (auto& p : peers_) p->conn.reset();
    dead_.splice(dead_.end(), peers_);
}

void fake_usbd_t::conn_ready(tern::conn_t* conn) {
    peers_.emplace_back(new peer_t(*this, conn));
    conn->start(peers_.back().get());
}

void fake_usbd_t::lost(peer_t* p) {
    for (auto it = peers_.begin(); it != peers_.end(); ++it) {
        if (it->get() != p) continue;
        // The connection is deleted from inside its own callback, which its guard allows; the
        // peer object lives on until the daemon goes.
        p->conn.reset();
        dead_.splice(dead_.end(), peers_, it);
        return;
    }
}

void fake_usbd_t::add(const usb_dev_t& dev) {
    bool replaced = false;
    for (usb_dev_t& d : devs_) {
        if (d.dev_path == dev.dev_path) {
            d = dev;
            replaced = true;
        }
    }
    if (!replaced) devs_.push_back(dev);
    tern::fb_usbd_dev_t m(dev);
    for (auto& p : peers_) p->conn->send_msg(&m);
}

void fake_usbd_t::remove(const std::string& dev_path) {
    for (auto it = devs_.begin(); it != devs_.end(); ++it) {
        if (it->dev_path != dev_path) continue;
        devs_.erase(it);
        break;
    }
    tern::fb_usbd_dev_gone_t m(dev_path);
    for (auto& p : peers_) p->conn->send_msg(&m);
}

void fake_usbd_t::send(const tern::msg_t& m) {
    for (auto& p : peers_) p->conn->send_msg(&m);
}

usb_dev_t usb_volume(const std::string& dev_path, const std::string& mount_path, bool persistent,
                     const std::string& label, const std::string& vol_id) {
    usb_dev_t d;
    d.dev_path = dev_path;
    d.mount_path = mount_path;
    d.label = label;
    d.vol_id = vol_id;
    d.persistent = persistent;
    return d;
}

} // namespace tern_test
