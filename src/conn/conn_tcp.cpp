#include "tern/conn/conn_tcp.h"

#include "tern/conn/net.h"

#include "retry_priv.h"

#include <cstdlib>
#include <iostream>
#include <sys/socket.h>

namespace tern {

namespace {

constexpr unsigned short default_port = 7654;
constexpr int max_reads_per_wakeup = 16;

// Marks, for the code that made a call, whether its object survived it: the object's
// destructor clears the flag that `slot` points at. Guards nest (a callback may run a nested
// main loop that enters the object again).
class life_guard_t {
public:
    explicit life_guard_t(bool*& slot) : slot_(slot), outer_(slot) { slot = &alive_; }
    life_guard_t(const life_guard_t&) = delete;
    life_guard_t& operator=(const life_guard_t&) = delete;
    ~life_guard_t() {
        if (alive_)
            slot_ = outer_;
        else if (outer_)
            *outer_ = false;
    }
    bool alive() const { return alive_; }

private:
    bool alive_ = true;
    bool*& slot_;
    bool* outer_;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// conn_tcp_t

class conn_tcp_priv_t : public tcp_conn_t::client_t {
public:
    conn_tcp_priv_t(conn_tcp_t* o, tcp_conn_t* s) : owner(o), sock(s) {}
    ~conn_tcp_priv_t() override { delete sock; }

    conn_tcp_t* owner = nullptr;
    tcp_conn_t* sock = nullptr;
    bool lost = false; // the loss was reported; later events of the dead link are ignored

    void tcp_conn_hup() override { owner->on_lost("TCP connection hung up"); }
    void tcp_conn_err() override { owner->on_err(); }
    void tcp_conn_read() override { owner->on_read(); }
};

conn_tcp_t::conn_tcp_t(tcp_conn_t* sock) : priv_(new conn_tcp_priv_t(this, sock)) {
    if (sock) sock->set_client(priv_.get());
}

conn_tcp_t::~conn_tcp_t() {
    close();
}

void conn_tcp_t::start(conn_client_t* c) {
    guard_t g(*this);
    conn_t::start(c);
    if (!g.alive()) return; // the owner deleted us on a failed buffer allocation
    tcp_conn_t* sock = priv_->sock;
    if (!sock) return;
    sock->set_read_watch(false);
    if (client && sock->is_open() && !priv_->lost) sock->set_read_watch(true);
}

void conn_tcp_t::stop() {
    if (priv_->sock) priv_->sock->set_read_watch(false);
    conn_t::stop();
}

bool conn_tcp_t::get_peer(unsigned& addr, unsigned short& port) const {
    return priv_->sock && priv_->sock->get_remote_endpoint(addr, port);
}

bool conn_tcp_t::is_open() const {
    return priv_->sock && priv_->sock->is_open();
}

void conn_tcp_t::close() {
    if (!priv_->sock) return;
    priv_->sock->set_read_watch(false);
    delete priv_->sock;
    priv_->sock = nullptr;
}

bool conn_tcp_t::send_msg(const msg_t* msg) {
    tcp_conn_t* sock = priv_->sock;
    if (!sock || !sock->is_open()) {
        clear_desc() << "not connected";
        if (client) client->handle_conn_err();
        return false;
    }
    msg_encoder_t enc;
    if (!encode_frame(msg, enc)) return false;
    sock->set_send_timeout(send_timeout());
    const unsigned char* p = enc.data();
    unsigned left = enc.size();
    while (left > 0) {
        const int n = sock->send(p, left);
        if (n < 1) {
            clear_desc() << "lost connection: " << sock->get_desc();
            if (client) client->handle_conn_lost();
            return false;
        }
        p += n;
        left -= static_cast<unsigned>(n);
    }
    return true;
}

void conn_tcp_t::on_read() {
    guard_t g(*this);
    // While a read fills all the free space more is likely waiting: take it in the same
    // wake-up (without blocking), up to a bound so that a fast peer cannot starve the loop.
    for (int round = 0; round < max_reads_per_wakeup; ++round) {
        // The client's handler may have closed or stopped us: then nothing more is read.
        tcp_conn_t* sock = priv_->sock;
        if (!sock || !client || priv_->lost) return;
        if (check_overflow()) return; // a full buffer reads nothing (and the client was told)
        const unsigned want = rxbuf.free_size();
        const int n = sock->recv(rxbuf.free_space(), want, round == 0 ? 0 : MSG_DONTWAIT);
        if (n > 0) {
            rxbuf.add(static_cast<unsigned>(n));
            if (!decode()) return; // the client deleted us
            if (static_cast<unsigned>(n) < want) return;
        } else if (n < 0) {
            if (round > 0 && net_errno_blocking(net_errno())) return; // drained
            clear_desc() << "error receiving data: " << sock->get_desc();
            if (client) client->handle_conn_err();
            return;
        } else {
            // The peer closed its end. TCP raises no hang-up for that alone (only readable,
            // with nothing to read), so waiting for one would spin the main loop: report the
            // loss now.
            return on_lost("TCP connection hung up");
        }
    }
}

void conn_tcp_t::on_lost(const char* why) {
    if (priv_->lost) return;
    priv_->lost = true;
    if (priv_->sock) priv_->sock->set_read_watch(false);
    clear_desc() << why;
    if (client) client->handle_conn_lost();
}

void conn_tcp_t::on_err() {
    if (priv_->lost) return;
    clear_desc() << "TCP connection error";
    if (client) client->handle_conn_err();
}

// ---------------------------------------------------------------------------------------------
// connector_tcp_t

class connector_tcp_priv_t : public tcp_conn_t::client_t, public tcp_listener_t::client_t {
public:
    explicit connector_tcp_priv_t(connector_tcp_t* o) : owner(o) {
        clock.connect(this, &connector_tcp_priv_t::connect_timer);
    }
    ~connector_tcp_priv_t() override {
        if (alive) *alive = false;
        stop();
    }

    connector_tcp_t* owner = nullptr;
    bool passive = false;
    tcp_listener_t* listener = nullptr;
    tcp_conn_t* pending = nullptr;
    unsigned short port = 0;
    retry_clock_t<connector_tcp_priv_t> clock; // ticks since the first active attempt
    bool* alive = nullptr;                     // see life_guard_t

    connector_client_t* client() const { return owner->client; }

    void stop() {
        clock.stop();
        delete listener;
        listener = nullptr;
        delete pending;
        pending = nullptr;
    }

    void start() {
        stop();
        if (!client()) return;
        passive = client()->get_passive();
        if (passive)
            passive_start();
        else
            active_start();
    }

    void failed() {
        if (client()) client()->handle_conn_failed();
    }
    void status() {
        if (client()) client()->handle_conn_status();
    }

    bool get_args() {
        std::string text;
        bool have = false;
        if (const std::vector<std::string>* args = client() ? client()->get_args() : nullptr) {
            for (const std::string& a : *args) {
                if (a.compare(0, 5, "port=") == 0) {
                    text = a.substr(5);
                    have = true;
                    break;
                }
            }
        }
        if (!have) {
            if (const char* env = std::getenv("TERN_PORT")) {
                text = env;
                have = true;
            }
        }
        if (!have) {
            port = default_port;
            return true;
        }
        unsigned short p = 0;
        if (!ip_port_from_str(text.c_str(), p)) {
            owner->clear_desc() << "invalid port number " << text;
            return false;
        }
        port = p;
        return true;
    }

    void passive_start() {
        if (!get_args()) return failed();
        listener = new tcp_listener_t;
        if (!listener->open()) {
            owner->clear_desc() << "failed to open socket "
                                << "for listen: " << listener->get_desc();
            return failed();
        }
        if (!listener->set_local_port(port)) {
            owner->clear_desc() << "failed to set local endpoint "
                                << "for listen: " << listener->get_desc();
            return failed();
        }
        if (!listener->listen(this, 1)) {
            owner->clear_desc() << "failed to listen for connections: " << listener->get_desc();
            return failed();
        }
        owner->clear_desc() << "listening on port " << port << '\n';
        status();
    }

    void active_start() {
        if (!get_args()) return failed();
        start_connect(true);
    }

    void start_connect(bool first) {
        pending = new tcp_conn_t;
        if (!pending->open()) {
            owner->clear_desc() << "failed to open socket "
                                << "for connect: " << pending->get_desc();
            return failed();
        }
        if (!pending->set_blocking(false)) {
            owner->clear_desc() << "failed to set socket "
                                << "non-blocking: " << pending->get_desc();
            return failed();
        }
        if (first) clock.start();
        pending->set_client(this);
        // An immediate outcome arrives through tcp_conn_connected before this returns.
        pending->connect(net_addr_loopback(), port);
    }

    void connect_timer() {
        if (clock.spent(*owner)) {
            // Given up: a late success of the last attempt must not follow the failure.
            delete pending;
            pending = nullptr;
            return failed();
        }
        if (pending && pending->get_state() == 1) return; // still connecting
        delete pending;
        pending = nullptr;
        start_connect(false);
    }

    void tcp_conn_connected(bool ok) override {
        if (ok) return hand_over();
        if (passive) {
            std::cerr << "connector_tcp_priv_t::"
                      << "tcp_conn_connected (false)"
                      << ": going back to listening" << std::endl;
            delete pending; // the caller, which copes with being deleted
            pending = nullptr;
            return passive_start();
        }
        owner->clear_desc() << "TCP connection failed: " << pending->get_desc();
        status();
    }

    void hand_over() {
        owner->clear_desc() << pending->get_desc();
        auto* conn = new conn_tcp_t(pending);
        pending = nullptr;
        clock.stop();
        life_guard_t g(alive);
        status();
        if (!g.alive()) {
            delete conn; // nobody is left to take it
            return;
        }
        if (client())
            client()->conn_ready(conn);
        else
            delete conn;
    }

    void tcp_listener_accept(tcp_conn_t* sock, unsigned addr, unsigned short peer_port) override {
        owner->clear_desc() << "accepted connection from " << hostport_str_t(addr, peer_port);
        // One peer per start: stop listening (we are inside the listener's call, which copes).
        delete listener;
        listener = nullptr;
        delete pending;
        pending = sock;
        sock->set_client(this);
        status();
    }

    void tcp_listener_accept_fail() override {
        owner->clear_desc() << "failure while accepting connection: " << listener->get_desc();
        // The peer that could not be taken (out of descriptors, say) keeps the socket
        // readable: listening on would report the same failure in a busy loop. Give up until
        // started again (we are inside the listener's call, which copes).
        delete listener;
        listener = nullptr;
        failed();
    }
};

connector_tcp_t::connector_tcp_t() : priv_(new connector_tcp_priv_t(this)) {}

connector_tcp_t::~connector_tcp_t() = default;

void connector_tcp_t::start(connector_client_t* c) {
    connector_t::start(c);
    priv_->start();
}

void connector_tcp_t::stop() {
    priv_->stop();
    connector_t::stop();
}

unsigned connector_tcp_t::retry_count() const {
    return priv_->clock.retries();
}

void connector_tcp_t::set_retry_count(unsigned n) {
    priv_->clock.set_retries(n);
}

unsigned connector_tcp_t::retry_interval() const {
    return priv_->clock.interval();
}

void connector_tcp_t::set_retry_interval(unsigned ms) {
    priv_->clock.set_interval(ms);
}

} // namespace tern
