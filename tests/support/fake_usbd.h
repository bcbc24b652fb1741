// An in-process stand-in for the USB daemon: serves the USB daemon link on a fresh abstract
// socket named in TERN_USBD_SOCKET, answers list requests and announces volume changes.
#pragma once

#include <tern/conn/conn.h>
#include <tern/usb/usb_dev.h>

#include <list>
#include <memory>
#include <string>
#include <vector>

namespace tern_test {

class fake_usbd_t : public tern::connector_client_t {
public:
    // Sets TERN_USBD_SOCKET to a name of its own; listens at once unless `listen` is false.
    explicit fake_usbd_t(bool listen = true);
    ~fake_usbd_t() override;

    void start();           // listens
    void stop();            // stops listening and hangs up on every client (a killed daemon)
    void hang_up_clients(); // hangs up on every client but goes on listening

    // Adds or replaces (same dev_path) a volume and tells the clients.
    void add(const usb_dev_t& dev);
    void remove(const std::string& dev_path);
    // Sends any message to every client.
    void send(const tern::msg_t& m);

    std::size_t clients() const { return peers_.size(); }
    unsigned int list_requests() const { return lists_; }
    const std::string& socket_name() const { return name_; }

    const std::vector<std::string>* get_args() override { return &args_; }
    bool get_passive() override { return true; }
    void conn_ready(tern::conn_t* conn) override;
    void handle_conn_failed() override {}
    void handle_conn_status() override {}

    class peer_t;

private:
    friend class peer_t;
    void lost(peer_t* p);

    std::string name_;
    std::vector<std::string> args_;
    std::unique_ptr<tern::connector_t> connector_;
    std::list<std::unique_ptr<peer_t>> peers_;
    std::list<std::unique_ptr<peer_t>> dead_;
    std::vector<usb_dev_t> devs_;
    unsigned int lists_ = 0;
};

// A usb_dev_t record.
usb_dev_t usb_volume(const std::string& dev_path, const std::string& mount_path,
                     bool persistent = false, const std::string& label = "L",
                     const std::string& vol_id = "V");

} // namespace tern_test
