#include <tern/conn/conn.h>

#include "conn_priv.h"

#include <glib.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tern {

namespace {

conn_t* default_conn = nullptr;
conn_t* send_conn = nullptr;
bool send_dropped = false;

// Bytes to drop when `p` starts with a start byte whose length field claims a longer frame
// than the encoder ever writes (up to the next start byte); 0 otherwise. Such a length is
// garbage: waiting for its frame would fill the buffer and wedge the connection.
unsigned int oversized_start(const unsigned char* p, unsigned int len) {
    if (len < 3 || p[0] != STX) return 0;
    const unsigned int l = p[1] | (static_cast<unsigned int>(p[2]) << 8);
    if (l + 6 <= msg_encoder_t::max_frame) return 0;
    const void* next = std::memchr(p + 1, STX, len - 1);
    return next ? static_cast<unsigned int>(static_cast<const unsigned char*>(next) - p) : len;
}

} // namespace

std::int64_t deadline_after(unsigned int ms) {
    return g_get_monotonic_time() + static_cast<std::int64_t>(ms) * 1000;
}

bool wait_for_room(int fd, std::int64_t deadline) {
    if (fd < 0) return true; // poll would ignore it and wait in vain: let the write say EBADF
    for (;;) {
        const std::int64_t left_us = deadline - g_get_monotonic_time();
        if (left_us <= 0) {
            errno = ETIMEDOUT;
            return false;
        }
        pollfd pfd{fd, POLLOUT, 0};
        const int rc = ::poll(&pfd, 1, static_cast<int>((left_us + 999) / 1000));
        if (rc < 0 && errno == EINTR) continue;
        if (rc != 0) return true;
    }
}

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
    cancel_delivery();
    for (guard_t* g = guards_; g; g = g->next_) g->conn_ = nullptr;
    if (default_conn == this) default_conn = nullptr;
    // A dangling send-message connection would be written through after its owner deleted it.
    if (send_conn == this) send_conn = nullptr;
}

void conn_t::start(conn_client_t* c) {
    cancel_delivery();
    client = c;
    if (!client) return;
    unsigned int size = client->get_bufsize();
    if (!rxbuf.grow(size)) {
        clear_desc() << "failed to allocate buffer of size " << size;
        client->handle_conn_err(); // may delete us: nothing after this
        return;
    }
    // Frames kept while stopped: no read may come to decode them, so the loop does.
    if (rxbuf.len() > 0)
        delivery_ = g_idle_add_full(G_PRIORITY_DEFAULT, &conn_t::deliver_buffered, this, nullptr);
}

void conn_t::stop() {
    cancel_delivery();
    client = nullptr;
}

int conn_t::deliver_buffered(void* self) {
    auto* conn = static_cast<conn_t*>(self);
    conn->delivery_ = 0;
    conn->decode();
    return G_SOURCE_REMOVE;
}

void conn_t::cancel_delivery() {
    if (delivery_ == 0) return;
    g_source_remove(delivery_);
    delivery_ = 0;
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
    // A handler that runs a nested main loop may get here again: the outer loop below goes on
    // with whatever the nested read added.
    if (decoding_) return true;
    guard_t g(*this);
    decoding_ = true;
    unsigned int off = 0;
    // The length is read again on every round for the same reason.
    while (client && off < rxbuf.len()) {
        const unsigned char* p = rxbuf.data() + off;
        const unsigned int left = rxbuf.len() - off;
        unsigned int used = oversized_start(p, left);
        if (used == 0) {
            used = decoder.decode_init(p, left);
            if (used == 0) break;
            if (decoder.is_valid()) {
                client->handle_conn_msg(decoder);
                if (!g.alive()) return false;
            }
        }
        off += used;
    }
    decoding_ = false;
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

long conn_t::receive_socket(const int& fd) {
    unsigned int room = rxbuf.free_size();
    long n = receive_from(fd, 0);
    long total = n;
    for (int i = 0; i < 8 && n > 0 && static_cast<unsigned long>(n) == room; ++i) {
        if (fd < 0 || !client) break; // closed or stopped by the client's handler
        room = rxbuf.free_size();
        if (room == 0) break; // a frame longer than the buffer: the next wake-up reports it
        n = receive_from(fd, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) return n;
        total += n;
    }
    return total;
}

bool conn_t::encode_frame(const msg_t* msg, msg_encoder_t& enc) {
    if (!msg) {
        clear_desc() << "no message to send";
        return false;
    }
    if (!enc.encodeMessage(*msg)) {
        clear_desc() << "message does not fit in one frame";
        return false;
    }
    return true;
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
