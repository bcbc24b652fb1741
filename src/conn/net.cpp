#include "tern/conn/net.h"

#include "tern/thread/glibTimer.h"
#include "tern/thread/thread.h"

#include "conn_priv.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// GLib condition bits as the watches use them.
constexpr unsigned cond_read = G_IO_IN;
constexpr unsigned cond_write = G_IO_OUT;
constexpr unsigned cond_err = G_IO_ERR;
constexpr unsigned cond_hup = G_IO_HUP;
constexpr unsigned cond_connecting = cond_write | cond_err | cond_hup;
constexpr unsigned cond_connected = cond_err | cond_hup;

sockaddr_in make_sockaddr(unsigned addr, unsigned short port) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(addr);
    sa.sin_port = htons(port);
    return sa;
}

void from_sockaddr(const sockaddr_in& sa, unsigned& addr, unsigned short& port) {
    addr = ntohl(sa.sin_addr.s_addr);
    port = ntohs(sa.sin_port);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Free functions

bool net_init(std::string* err) {
    if (err) err->clear();
    return true;
}

int net_errno() {
    return errno;
}

bool net_errno_blocking(int e) {
    return e == EAGAIN;
}

std::string net_err_str() {
    return net_err_str(errno);
}

std::string net_err_str(int e) {
    char buf[256];
    buf[0] = '\0';
    // The GNU variant may return a static text instead of filling buf.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    const char* s = strerror_r(e, buf, sizeof buf);
    return s ? std::string(s) : std::string();
#else
    if (strerror_r(e, buf, sizeof buf) != 0) return "error " + std::to_string(e);
    return buf;
#endif
}

bool resolve_host(const std::string& name, unsigned& addr) {
    if (ip_addr_from_str(name.c_str(), addr)) return true;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) return false;
    bool found = false;
    for (const addrinfo* ai = res; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addr == nullptr ||
            ai->ai_addrlen < sizeof(sockaddr_in))
            continue;
        sockaddr_in sa;
        std::memcpy(&sa, ai->ai_addr, sizeof sa);
        addr = ntohl(sa.sin_addr.s_addr);
        found = true;
        break;
    }
    freeaddrinfo(res);
    return found;
}

// ---------------------------------------------------------------------------------------------
// ip_sock_t

class ip_sock_priv_t {
public:
    virtual ~ip_sock_priv_t() = default;
    int fd = -1;
};

ip_sock_t::ip_sock_t(std::unique_ptr<ip_sock_priv_t> priv) : priv_(std::move(priv)) {}

ip_sock_t::~ip_sock_t() {
    ip_sock_t::close();
}

bool ip_sock_t::is_open() const {
    return priv_->fd >= 0;
}

void ip_sock_t::close() {
    if (priv_->fd < 0) return;
    ::shutdown(priv_->fd, SHUT_RDWR);
    ::close(priv_->fd);
    priv_->fd = -1;
}

bool ip_sock_t::shutdown(shutdown_t how) {
    int sys_how = SHUT_RDWR;
    switch (how) {
    case shutdown_read:
        sys_how = SHUT_RD;
        break;
    case shutdown_write:
        sys_how = SHUT_WR;
        break;
    case shutdown_both:
        sys_how = SHUT_RDWR;
        break;
    default:
        clear_desc() << "unknown shutdown type: " << static_cast<int>(how);
        return false;
    }
    if (::shutdown(priv_->fd, sys_how) < 0) {
        clear_desc() << "shutdown(): " << net_err_str();
        return false;
    }
    return true;
}

bool ip_sock_t::set_blocking(bool blocking) {
    const int flags = fcntl(priv_->fd, F_GETFL);
    if (flags < 0) {
        clear_desc() << "fcntl(F_GETFL): " << net_err_str();
        return false;
    }
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (fcntl(priv_->fd, F_SETFL, wanted) < 0) {
        clear_desc() << "fcntl(F_SETFL): " << net_err_str();
        return false;
    }
    return true;
}

bool ip_sock_t::set_local_endpoint(unsigned addr, unsigned short port) {
    const sockaddr_in sa = make_sockaddr(addr, port);
    if (::bind(priv_->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) < 0) {
        clear_desc() << "bind(): " << net_err_str();
        return false;
    }
    clear_desc() << "bound to " << hostport_str_t(addr, port);
    return true;
}

bool ip_sock_t::set_local_port(unsigned short port) {
    return set_local_endpoint(net_addr_any(), port);
}

bool ip_sock_t::get_local_endpoint(unsigned& addr, unsigned short& port) {
    if (priv_->fd < 0) return false;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    socklen_t len = sizeof sa;
    if (getsockname(priv_->fd, reinterpret_cast<sockaddr*>(&sa), &len) < 0) {
        clear_desc() << "getsockname(): " << net_err_str();
        return false;
    }
    from_sockaddr(sa, addr, port);
    return true;
}

bool ip_sock_t::open_type(int type) {
    if (priv_->fd >= 0) return true;
    std::string err;
    if (!net_init(&err)) {
        clear_desc() << err;
        return false;
    }
    // Close-on-exec: the controller starts other programs, which must not inherit our links.
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        clear_desc() << "socket(): " << net_err_str();
        return false;
    }
    priv_->fd = fd;
    return true;
}

// ---------------------------------------------------------------------------------------------
// tcp_conn_t

class tcp_conn_priv_t : public ip_sock_priv_t {
public:
    tcp_conn_t* owner = nullptr;
    int state = 0;
    bool remote_known = false;
    unsigned remote_addr = 0;
    unsigned short remote_port = 0;
    tcp_conn_t::client_t* client = nullptr;
    gio_t<tcp_conn_priv_t> io;
    unsigned send_timeout_ms = tcp_conn_t::default_send_timeout_ms;
    // Set while handle_io runs: cleared when a client deletes the socket from its callback.
    bool* alive = nullptr;

    explicit tcp_conn_priv_t(tcp_conn_t* o) : owner(o) {
        io.connect(this, &tcp_conn_priv_t::handle_io);
    }
    ~tcp_conn_priv_t() override {
        if (alive) *alive = false;
    }

    // An empty set stops the watch: poll reports a hang-up even when nothing was asked for,
    // so an empty watch would wake the loop without end.
    void watch(unsigned cond) {
        if (cond == 0)
            io.stop();
        else
            start_io(io, fd, cond);
    }
    hostport_str_t remote() const { return hostport_str_t(remote_addr, remote_port); }
    // A refused attempt is reported as hang-up and error together: the pending error names
    // the cause better than the condition does.
    void connect_failed_cond(const char* why) {
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err != 0)
            connect_failed(net_err_str(err).c_str());
        else
            connect_failed(why);
    }
    void connect_failed(const char* why) {
        owner->clear_desc() << "connect() to " << remote() << ": " << why;
        state = 0;
        io.stop();
    }
    void handle_io();
};

tcp_conn_t::tcp_conn_t() : ip_sock_t(std::unique_ptr<ip_sock_priv_t>(new tcp_conn_priv_t(this))) {
    clear_desc() << "not connected";
}

tcp_conn_t::tcp_conn_t(int fd, unsigned addr, unsigned short port) : tcp_conn_t() {
    tcp_conn_priv_t* d = p();
    d->fd = fd;
    d->remote_known = true;
    d->remote_addr = addr;
    d->remote_port = port;
    d->state = 1;
    clear_desc() << "connecting to " << d->remote();
    d->watch(cond_connecting);
}

tcp_conn_t::~tcp_conn_t() {
    tcp_conn_t::close();
}

tcp_conn_priv_t* tcp_conn_t::p() const {
    return static_cast<tcp_conn_priv_t*>(priv());
}

bool tcp_conn_t::open() {
    return open_type(SOCK_STREAM);
}

void tcp_conn_t::close() {
    p()->io.stop();
    ip_sock_t::close();
    p()->state = 0;
    clear_desc() << "not connected";
}

void tcp_conn_t::set_client(client_t* client) {
    p()->client = client;
}

tcp_conn_t::client_t* tcp_conn_t::get_client() const {
    return p()->client;
}

int tcp_conn_t::connect(unsigned addr, unsigned short port) {
    tcp_conn_priv_t* d = p();
    d->remote_known = true;
    d->remote_addr = addr;
    d->remote_port = port;
    const sockaddr_in sa = make_sockaddr(addr, port);
    int rc;
    do {
        rc = ::connect(d->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0 && errno != EINPROGRESS) {
        clear_desc() << "connect() to " << d->remote() << ": " << net_err_str();
        d->state = 0;
        d->io.stop();
        if (d->client) d->client->tcp_conn_connected(false); // may delete this
        return 0;
    }
    if (rc == 0) {
        // poll rather than select: select cannot take descriptors above FD_SETSIZE.
        pollfd pfd{d->fd, POLLOUT, 0};
        if (poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLOUT)) {
            clear_desc() << "connected to " << d->remote();
            d->state = 2;
            d->watch(cond_connected);
            if (d->client) d->client->tcp_conn_connected(true); // may delete this
            return 2;
        }
    }
    clear_desc() << "connecting to " << d->remote();
    d->state = 1;
    d->watch(cond_connecting);
    return 1;
}

int tcp_conn_t::get_state() const {
    return p()->state;
}

bool tcp_conn_t::get_remote_endpoint(unsigned& addr, unsigned short& port) const {
    if (!p()->remote_known) return false;
    addr = p()->remote_addr;
    port = p()->remote_port;
    return true;
}

void tcp_conn_t::set_read_watch(bool on) {
    tcp_conn_priv_t* d = p();
    if (d->fd < 0) return;
    unsigned cond = static_cast<unsigned>(d->io.get_watch_cond());
    cond = on ? (cond | cond_read) : (cond & ~cond_read);
    d->watch(cond);
}

void tcp_conn_t::set_write_watch(bool on) {
    tcp_conn_priv_t* d = p();
    if (d->fd < 0) return;
    unsigned cond = static_cast<unsigned>(d->io.get_watch_cond());
    cond = on ? (cond | cond_write) : (cond & ~cond_write);
    d->watch(cond);
}

bool tcp_conn_t::get_read_watch() const {
    return (static_cast<unsigned>(p()->io.get_watch_cond()) & cond_read) != 0;
}

bool tcp_conn_t::get_write_watch() const {
    return (static_cast<unsigned>(p()->io.get_watch_cond()) & cond_write) != 0;
}

void tcp_conn_t::set_send_timeout(unsigned ms) {
    p()->send_timeout_ms = ms;
}

unsigned tcp_conn_t::send_timeout() const {
    return p()->send_timeout_ms;
}

int tcp_conn_t::send(const void* buf, unsigned len) {
    tcp_conn_priv_t* d = p();
    std::int64_t deadline = 0; // set at the first full queue: the common case costs no clock
    for (;;) {
        // Never blocking in the system, so that the wait below is the only one and bounded.
        const ssize_t n = ::send(d->fd, buf, len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        int e = errno;
        if (e == EINTR) continue;
        if (net_errno_blocking(e) || e == EWOULDBLOCK) {
            // A full send queue blocks the caller until there is room, but not for ever: a
            // peer that stops reading must not freeze the process.
            if (deadline == 0) deadline = tern::deadline_after(d->send_timeout_ms);
            if (tern::wait_for_room(d->fd, deadline)) continue;
            e = ETIMEDOUT;
        }
        clear_desc() << "send(): err=" << e << ' ' << net_err_str(e);
        if (e == ECONNRESET || e == EPIPE) d->state = 0;
        return -1;
    }
}

int tcp_conn_t::recv(void* buf, unsigned len) {
    return recv(buf, len, 0);
}

int tcp_conn_t::recv(void* buf, unsigned len, int flags) {
    ssize_t n;
    do {
        n = ::recv(p()->fd, buf, len, flags);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        clear_desc() << "recv(): " << net_err_str();
        return -1;
    }
    return static_cast<int>(n);
}

void tcp_conn_priv_t::handle_io() {
    const unsigned cond = static_cast<unsigned>(io.get_current_cond());
    bool is_alive = true;
    bool* const outer = alive;
    alive = &is_alive;
    // Restores the outer guard unless a callback deleted us; returns whether we still exist.
    auto still_here = [&]() {
        if (is_alive) return true;
        if (outer) *outer = false;
        return false;
    };
    if (cond & cond_hup) {
        if (state == 1) {
            connect_failed_cond("hangup");
            if (client) client->tcp_conn_connected(false);
        } else {
            // A hang-up is final and stays reported: tell once, then stop watching, or the
            // main loop would spin on it until the owner closes the socket.
            io.stop();
            if (client) client->tcp_conn_hup();
        }
    } else if (cond & cond_err) {
        if (state == 1) {
            connect_failed_cond("error");
            if (client) client->tcp_conn_connected(false);
        } else {
            io.stop(); // likewise: a pending socket error keeps the condition raised
            if (client) client->tcp_conn_err();
        }
    } else {
        if (cond & cond_write) {
            if (state == 1) {
                int err = 0;
                socklen_t len = sizeof err;
                bool ok = false;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) {
                    const std::string text = "getsockopt(): " + net_err_str();
                    connect_failed(text.c_str());
                } else if (err != 0) {
                    connect_failed(net_err_str(err).c_str());
                } else {
                    owner->clear_desc() << "connected to " << remote();
                    state = 2;
                    watch(cond_connected);
                    ok = true;
                }
                if (client) client->tcp_conn_connected(ok);
            } else if (client) {
                client->tcp_conn_write();
            }
        }
        if (!still_here()) return;
        if ((cond & cond_read) && client) client->tcp_conn_read();
    }
    if (!still_here()) return;
    alive = outer;
}

// ---------------------------------------------------------------------------------------------
// tcp_listener_t

class tcp_listener_priv_t : public ip_sock_priv_t {
public:
    tcp_listener_t* owner = nullptr;
    tcp_listener_t::client_t* client = nullptr;
    gio_t<tcp_listener_priv_t> io;

    explicit tcp_listener_priv_t(tcp_listener_t* o) : owner(o) {
        io.connect(this, &tcp_listener_priv_t::handle_io);
    }
    void handle_io();
};

tcp_listener_t::tcp_listener_t()
    : ip_sock_t(std::unique_ptr<ip_sock_priv_t>(new tcp_listener_priv_t(this))) {
    clear_desc() << "no socket";
}

tcp_listener_t::~tcp_listener_t() {
    tcp_listener_t::close();
}

tcp_listener_priv_t* tcp_listener_t::p() const {
    return static_cast<tcp_listener_priv_t*>(priv());
}

bool tcp_listener_t::open() {
    if (is_open()) return true;
    if (!open_type(SOCK_STREAM)) return false;
    const int one = 1;
    if (setsockopt(p()->fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) < 0) {
        clear_desc() << "setsockopt(SO_REUSEADDR): " << net_err_str();
        return false;
    }
    // Non-blocking, so that a peer that vanished between readiness and accept cannot stall
    // the main loop.
    if (!set_blocking(false)) return false;
    clear_desc() << "open";
    return true;
}

bool tcp_listener_t::listen(client_t* client, int backlog) {
    if (::listen(p()->fd, backlog) < 0) {
        clear_desc() << "listen(): " << net_err_str();
        return false;
    }
    p()->client = client;
    start_io(p()->io, p()->fd, cond_read | cond_err);
    clear_desc() << "listening with backlog " << backlog;
    return true;
}

void tcp_listener_t::close() {
    p()->io.stop();
    ip_sock_t::close();
    clear_desc() << "no socket";
}

tcp_listener_t::client_t* tcp_listener_t::get_client() const {
    return p()->client;
}

void tcp_listener_priv_t::handle_io() {
    const unsigned cond = static_cast<unsigned>(io.get_current_cond());
    if (cond & cond_err) {
        owner->clear_desc() << "socket error";
        if (client) client->tcp_listener_accept_fail();
        return;
    }
    if (!(cond & cond_read)) return;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    socklen_t len = sizeof sa;
    int nfd;
    do {
        nfd = accept4(fd, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (nfd < 0 && errno == EINTR);
    if (nfd < 0) {
        // The peer may have gone before we got to it: nothing to accept is no failure.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED) return;
        owner->clear_desc() << "accept(): " << net_err_str();
        if (client) client->tcp_listener_accept_fail();
        return;
    }
    unsigned addr = 0;
    unsigned short port = 0;
    from_sockaddr(sa, addr, port);
    auto* sock = new tcp_conn_t(nfd, addr, port);
    if (client)
        client->tcp_listener_accept(sock, addr, port);
    else
        delete sock;
}

// ---------------------------------------------------------------------------------------------
// udp_sock_t

class udp_sock_priv_t : public ip_sock_priv_t {
public:
    unsigned from_addr = 0;
    unsigned short from_port = 0;
    bool from_known = false;
    gio_t<udp_sock_priv_t> io;
    udp_sock_t::client_t* client = nullptr;

    udp_sock_priv_t() { io.connect(this, &udp_sock_priv_t::handle_read); }
    void handle_read() {
        if (client) client->udp_sock_readable();
    }
};

udp_sock_t::udp_sock_t() : ip_sock_t(std::unique_ptr<ip_sock_priv_t>(new udp_sock_priv_t())) {
    clear_desc() << "no socket";
}

udp_sock_t::~udp_sock_t() {
    udp_sock_t::close();
}

udp_sock_priv_t* udp_sock_t::p() const {
    return static_cast<udp_sock_priv_t*>(priv());
}

bool udp_sock_t::open() {
    return open_type(SOCK_DGRAM);
}

void udp_sock_t::close() {
    p()->io.stop();
    p()->from_known = false;
    p()->from_addr = 0;
    p()->from_port = 0;
    ip_sock_t::close();
    clear_desc() << "no socket";
}

void udp_sock_t::set_client(client_t* client) {
    p()->client = client;
}

udp_sock_t::client_t* udp_sock_t::get_client() const {
    return p()->client;
}

void udp_sock_t::set_read_watch(bool on) {
    if (!is_open()) return;
    if (on)
        start_io(p()->io, p()->fd, cond_read);
    else
        p()->io.stop();
}

bool udp_sock_t::get_read_watch() const {
    return p()->io.is_active();
}

bool udp_sock_t::set_remote_endpoint(unsigned addr, unsigned short port) {
    const sockaddr_in sa = make_sockaddr(addr, port);
    if (::connect(p()->fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) < 0) {
        clear_desc() << "connect() to " << hostport_str_t(addr, port) << ": " << net_err_str();
        return false;
    }
    clear_desc() << "connected to " << hostport_str_t(addr, port);
    return true;
}

bool udp_sock_t::send(const void* buf, unsigned len) {
    const ssize_t n = ::send(p()->fd, buf, len, MSG_NOSIGNAL);
    if (n == static_cast<ssize_t>(len)) return true;
    clear_desc() << "send(" << len << ") = " << n << ": " << net_err_str();
    return false;
}

bool udp_sock_t::sendto(const void* buf, unsigned len, unsigned addr, unsigned short port) {
    const sockaddr_in sa = make_sockaddr(addr, port);
    const ssize_t n = ::sendto(p()->fd, buf, len, MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (n == static_cast<ssize_t>(len)) return true;
    clear_desc() << "sendto(" << len << ") = " << n << ": " << net_err_str();
    return false;
}

int udp_sock_t::recv(void* buf, unsigned len) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    socklen_t salen = sizeof sa;
    ssize_t n;
    do {
        n = ::recvfrom(p()->fd, buf, len, 0, reinterpret_cast<sockaddr*>(&sa), &salen);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == ECONNREFUSED) return 0; // an earlier datagram of ours was refused
        clear_desc() << "recvfrom(): " << net_err_str();
        return -1;
    }
    if (n > 0) {
        from_sockaddr(sa, p()->from_addr, p()->from_port);
        p()->from_known = true;
    }
    return static_cast<int>(n);
}

bool udp_sock_t::get_from_addr(unsigned& addr, unsigned short& port) const {
    if (!p()->from_known) return false;
    addr = p()->from_addr;
    port = p()->from_port;
    return true;
}

// ---------------------------------------------------------------------------------------------
// gethost_client_t

namespace {

// One lookup: the name goes to the worker, the address comes back.
class gethost_msg_t : public tern::tmsg_t {
public:
    unsigned id = 0;
    std::string name;
    unsigned addr = 0;
};

void gethost_body(void* data) {
    auto* msg = static_cast<gethost_msg_t*>(data);
    unsigned addr = 0;
    if (!resolve_host(msg->name, addr)) addr = 0;
    msg->addr = addr;
    // When it cannot be queued the message is still ours.
    if (tern::tmsg_send(msg->id, msg) < 0) delete msg;
}

} // namespace

class gethost_priv_t : public tern::tmsg_listener_t {
public:
    explicit gethost_priv_t(gethost_client_t* o) : owner(o) {}
    gethost_client_t* owner = nullptr;
    std::set<unsigned> ids; // outstanding lookups: only our own ids are ever cancelled

    bool tmsg_receive(unsigned id, tern::tmsg_t* msg) override {
        auto* m = dynamic_cast<gethost_msg_t*>(msg);
        const unsigned addr = m ? m->addr : 0;
        // Released before the owner hears of it: the owner may delete itself in the call.
        ids.erase(id);
        tern::tmsg_cancel(id);
        owner->gethost_result(id, addr);
        return false; // the dispatcher deletes the message
    }
};

gethost_client_t::gethost_client_t() : priv_(new gethost_priv_t(this)) {}

gethost_client_t::~gethost_client_t() = default;

unsigned gethost_client_t::lookup(const std::string& name) {
    const unsigned id = tern::tmsg_listen(priv_.get());
    if (id == 0) return 0;
    auto* msg = new gethost_msg_t;
    msg->id = id;
    msg->name = name;
    if (!tern::thread_nojoin(&gethost_body, msg)) {
        tern::tmsg_cancel(id);
        delete msg;
        return 0;
    }
    priv_->ids.insert(id);
    return id;
}

void gethost_client_t::cancel_lookup(unsigned id) {
    if (priv_->ids.erase(id) != 0) tern::tmsg_cancel(id);
}

void gethost_client_t::cancel_all() {
    priv_->ids.clear();
    tern::tmsg_remove_listener(priv_.get());
}
