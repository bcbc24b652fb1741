// An in-process stand-in for the USB daemon: serves the USB daemon link on a fresh abstract
// socket named in TERN_USBD_SOCKET, answers list requests and announces volume changes.
#pragma once

#include <tern/conn/conn_usock_stream.h>
#include <tern/usb/usb_dev.h>
#include <tern/usb/usbd_msg.h>

#include <cstdlib>
#include <list>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace tern_test {

class fake_usbd_t : public tern::connector_client_t {
public:
    // Sets TERN_USBD_SOCKET to a name of its own; listens at once unless `listen` is false.
    explicit fake_usbd_t(bool listen = true) {
        static unsigned int count = 0;
        const std::string name =
            "@tern-test-usbd-" + std::to_string(::getpid()) + "-" + std::to_string(++count);
        args_.push_back("socket=" + name);
        ::setenv("TERN_USBD_SOCKET", name.c_str(), 1);
        if (listen) start();
    }
    ~fake_usbd_t() override {
        stop();
        dead_.clear();
    }

    void start() { // listens
        connector_.reset(new tern::connector_usock_stream_t);
        connector_->start(this);
    }
    void stop() { // stops listening and hangs up on every client (a killed daemon)
        connector_.reset();
        hang_up_clients();
    }
    void hang_up_clients() { // hangs up on every client but goes on listening
        for (auto& p : peers_) p->conn.reset();
        dead_.splice(dead_.end(), peers_);
    }

    // Adds or replaces (same dev_path) a volume and tells the clients.
    void add(const usb_dev_t& dev) {
        auto it = devs_.begin();
        while (it != devs_.end() && it->dev_path != dev.dev_path) ++it;
        if (it == devs_.end())
            devs_.push_back(dev);
        else
            *it = dev;
        send(tern::fb_usbd_dev_t(dev));
    }
    void remove(const std::string& dev_path) {
        for (auto it = devs_.begin(); it != devs_.end(); ++it) {
            if (it->dev_path != dev_path) continue;
            devs_.erase(it);
            break;
        }
        send(tern::fb_usbd_dev_gone_t(dev_path));
    }
    // Sends any message to every client.
    void send(const tern::msg_t& m) {
        for (auto& p : peers_) p->conn->send_msg(&m);
    }

    std::size_t clients() const { return peers_.size(); }
    unsigned int list_requests() const { return lists_; }

    const std::vector<std::string>* get_args() override { return &args_; }
    bool get_passive() override { return true; }
    void conn_ready(tern::conn_t* conn) override {
        peers_.emplace_back(new peer_t(*this, conn));
        conn->start(peers_.back().get());
    }
    void handle_conn_failed() override {}
    void handle_conn_status() override {}

private:
    struct peer_t : tern::conn_client_t {
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

    void lost(peer_t* p) {
        for (auto it = peers_.begin(); it != peers_.end(); ++it) {
            if (it->get() != p) continue;
            // The connection is deleted from inside its own callback, which its guard allows;
            // the peer object lives on until the daemon goes.
            p->conn.reset();
            dead_.splice(dead_.end(), peers_, it);
            return;
        }
    }

    std::vector<std::string> args_;
    std::unique_ptr<tern::connector_t> connector_;
    std::list<std::unique_ptr<peer_t>> peers_;
    std::list<std::unique_ptr<peer_t>> dead_;
    std::vector<usb_dev_t> devs_;
    unsigned int lists_ = 0;
};

// A usb_dev_t record.
inline usb_dev_t usb_volume(const std::string& dev_path, const std::string& mount_path,
                            bool persistent = false, const std::string& label = "L",
                            const std::string& vol_id = "V") {
    usb_dev_t d;
    d.dev_path = dev_path;
    d.mount_path = mount_path;
    d.label = label;
    d.vol_id = vol_id;
    d.persistent = persistent;
    return d;
}

} // namespace tern_test
