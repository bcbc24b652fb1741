#include <tern/conn/conn.h>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace tern {

namespace {

conn_t* default_conn = nullptr;
conn_t* send_conn = nullptr;
bool send_dropped = false;

} // namespace

conn_client_t::~conn_client_t() = default;

unsigned int conn_client_t::get_bufsize() {
    return 2048;
}

conn_t::guard_t::guard_t(conn_t& c) : conn_(&c), next_(c.guards_) {
    c.guards_ = this;
}

conn_t::guard_t::~guard_t() {
    if (!conn_) return;
    // Guards nest on the stack, so this one is at the head of the list.
    for (guard_t** p = &conn_->guards_; *p; p = &(*p)->next_) {
        if (*p == this) {
            *p = next_;
            break;
        }
    }
}

conn_t::conn_t() = default;

conn_t::~conn_t() {
    for (guard_t* g = guards_; g; g = g->next_) g->conn_ = nullptr;
    if (default_conn == this) default_conn = nullptr;
    // A dangling send-message connection would be written through after its owner deleted it.
    if (send_conn == this) send_conn = nullptr;
}

void conn_t::start(conn_client_t* c) {
    client = c;
    if (!client) return;
    unsigned int size = client->get_bufsize();
    if (!rxbuf.grow(size)) {
        clear_desc() << "failed to allocate buffer of size " << size;
        client->handle_conn_err();
    }
}

void conn_t::stop() {
    client = nullptr;
}

conn_client_t* conn_t::get_client() {
    return client;
}

conn_t* conn_t::set_default(conn_t* c) {
    conn_t* old = default_conn;
    default_conn = c;
    return old;
}

conn_t* conn_t::get_default() {
    return default_conn;
}

bool conn_t::decode() {
    guard_t g(*this);
    unsigned int off = 0;
    unsigned int len = rxbuf.len();
    while (off < len) {
        unsigned int used = decoder.decode_init(rxbuf.data() + off, len - off);
        if (used == 0) break;
        if (decoder.is_valid() && client) {
            client->handle_conn_msg(decoder);
            if (!g.alive()) return false;
        }
        off += used;
    }
    rxbuf.consume(off);
    return true;
}

bool conn_t::check_overflow() {
    if (rxbuf.len() < rxbuf.capacity()) return false;
    clear_desc() << "buffer overflow";
    if (client) client->handle_conn_err();
    return true;
}

long conn_t::receive_from(int fd, int recv_flags) {
    guard_t g(*this);
    if (check_overflow()) return g.alive() ? recv_full : recv_gone;
    ssize_t n;
    do {
        n = recv_flags < 0 ? ::read(fd, rxbuf.free_space(), rxbuf.free_size())
                           : ::recv(fd, rxbuf.free_space(), rxbuf.free_size(), recv_flags);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return static_cast<long>(n);
    rxbuf.add(static_cast<unsigned int>(n));
    if (!decode()) return recv_gone;
    return static_cast<long>(n);
}

long conn_t::receive_socket(int fd) {
    guard_t g(*this);
    unsigned int room = rxbuf.free_size();
    long n = receive_from(fd, 0);
    long total = n;
    for (int i = 0; i < 8 && n > 0 && static_cast<unsigned long>(n) == room; ++i) {
        room = rxbuf.free_size();
        if (room == 0) break; // a frame longer than the buffer: the next wake-up reports it
        n = receive_from(fd, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) return n;
        total += n;
    }
    return total;
}

connector_client_t::~connector_client_t() = default;

connector_t::~connector_t() = default;

void connector_t::start(connector_client_t* c) {
    client = c;
}

void connector_t::stop() {
    client = nullptr;
}

connector_client_t* connector_t::get_client() {
    return client;
}

conn_t* set_send_msg_conn(conn_t* c) {
    conn_t* old = send_conn;
    send_conn = c;
    send_dropped = false;
    return old;
}

bool send_msg(const msg_t* msg) {
    if (!send_conn) {
        send_dropped = true;
        return false;
    }
    return send_conn->send_msg(msg);
}

bool send_msg_dropped() {
    return send_dropped;
}

} // namespace tern
