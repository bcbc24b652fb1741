#include "tern/usb/usbd_conn.h"

#include "tern/conn/conn_usock_stream.h"
#include "tern/usb/usbd_msg.h"

#include <cstdlib>
#include <vector>

namespace tern {

usbd_client_t::~usbd_client_t() = default;

std::string usbd_get_sockname() {
    const char* env = std::getenv("TERN_USBD_SOCKET");
    return env && *env ? std::string(env) : std::string("/tmp/tern_usbd_socket");
}

class usbd_conn_priv_t : public connector_client_t, public conn_client_t {
public:
    explicit usbd_conn_priv_t(usbd_conn_t* o) : owner(o) {}
    ~usbd_conn_priv_t() override { drop(); }

    // Deletes the connection; a connection deleted from inside its own callback knows it.
    void drop() {
        conn_t* c = conn;
        conn = nullptr;
        delete c;
    }
    void fail(const char* why) {
        owner->clear_desc() << why;
        if (client) client->usbd_client_err();
    }

    const std::vector<std::string>* get_args() override { return &args; }
    bool get_passive() override { return false; }
    void conn_ready(conn_t* c) override {
        drop();
        conn = c;
        conn->start(this);
        if (client) client->usbd_client_connected();
    }
    void handle_conn_failed() override { fail("failed to connect to daemon"); }
    void handle_conn_status() override {}

    void handle_conn_msg(msg_decoder_t& dec) override {
        if (dec.category() == msg_t::category_fb && dec.type() == fb_usbd_dev_t::msg_type) {
            fb_usbd_dev_t m(dec);
            if (!dec.is_short()) {
                if (client) client->usbd_client_dev(m);
                return;
            }
        } else if (dec.category() == msg_t::category_fb &&
                   dec.type() == fb_usbd_dev_gone_t::msg_type) {
            fb_usbd_dev_gone_t m(dec);
            if (!dec.is_short()) {
                if (client) client->usbd_client_dev_gone(m);
                return;
            }
        }
        // A cut record is as foreign as an unknown message: its volume cannot be trusted.
        fail("unknown message received");
    }
    void handle_conn_lost() override { fail("lost connection with daemon"); }
    void handle_conn_err() override { fail("connection error"); }

    usbd_conn_t* owner;
    usbd_client_t* client = nullptr;
    connector_usock_stream_t connector;
    conn_t* conn = nullptr;
    std::vector<std::string> args;
};

usbd_conn_t::usbd_conn_t() : priv_(new usbd_conn_priv_t(this)) {}

usbd_conn_t::~usbd_conn_t() {
    disconnect();
}

void usbd_conn_t::connect(usbd_client_t* client) {
    priv_->client = client;
    priv_->drop();
    priv_->args.assign(1, "socket=" + usbd_get_sockname());
    priv_->connector.start(priv_.get());
}

void usbd_conn_t::disconnect() {
    priv_->drop();
    priv_->connector.stop();
}

bool usbd_conn_t::connected() const {
    return priv_->conn != nullptr;
}

bool usbd_conn_t::send(const msg_t& msg) {
    if (!priv_->conn) {
        priv_->fail("not connected");
        return false;
    }
    // A failed send has told the client through the connection already.
    return priv_->conn->send_msg(&msg);
}

bool usbd_conn_t::get_list() {
    return send(cmd_usbd_list_t());
}

} // namespace tern
