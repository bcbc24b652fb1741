#include <tern/conn/conn_usock_stream.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <tern/thread/glibTimer.h>

#include "conn_priv.h"
#include "retry_priv.h"

namespace tern {

namespace {

constexpr unsigned int path_size = sizeof(sockaddr_un::sun_path);

void close_fd(int& fd) {
    if (fd < 0) return;
    ::close(fd);
    fd = -1;
}

// The socket name from a "socket=" argument, else from TERN_SOCKNAME.
bool find_sock_name(connector_client_t* client, std::string& name) {
    if (const std::vector<std::string>* args = client->get_args()) {
        for (const std::string& arg : *args) {
            if (arg.compare(0, 7, "socket=") == 0) {
                name = arg.substr(7);
                return true;
            }
        }
    }
    if (const char* env = std::getenv("TERN_SOCKNAME")) {
        name = env;
        return true;
    }
    return false;
}

} // namespace

class connector_usock_stream_priv_t {
public:
    explicit connector_usock_stream_priv_t(connector_usock_stream_t* o) : owner(o) {
        io.connect(this, &connector_usock_stream_priv_t::io_ready);
        clock.connect(this, &connector_usock_stream_priv_t::attempt);
        std::memset(&address, 0, sizeof(address));
    }
    ~connector_usock_stream_priv_t() { halt(); }

    void halt() {
        clock.stop();
        io.stop();
        close_fd(fd);
    }

    bool create_sock();
    void passive_start();
    void active_start();
    void attempt();
    void io_ready();
    void accept_peer();
    void hand_over();

    connector_usock_stream_t* owner;
    bool passive = false;
    int fd = -1;
    sockaddr_un address;
    gio_t<connector_usock_stream_priv_t> io;
    retry_clock_t<connector_usock_stream_priv_t> clock; // the start's attempt counts too
    bool abstract_name = false;
};

bool connector_usock_stream_priv_t::create_sock() {
    std::string name;
    if (!find_sock_name(owner->get_client(), name)) {
        owner->clear_desc() << "no socket name specified ";
        return false;
    }
    if (name.size() >= path_size) {
        owner->clear_desc() << "socket name is too long";
        return false;
    }
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    abstract_name = !name.empty() && name[0] == '@';
    if (abstract_name)
        std::memcpy(address.sun_path + 1, name.data() + 1, name.size() - 1);
    else
        std::memcpy(address.sun_path, name.data(), name.size());
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        owner->clear_desc() << "failed to create socket: " << std::strerror(errno);
        return false;
    }
    return true;
}

void connector_usock_stream_priv_t::passive_start() {
    if (!abstract_name) {
        // Only a stale socket is cleared away: any other file at the path is somebody's data.
        struct stat st;
        if (::lstat(address.sun_path, &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(address.sun_path);
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) < 0) {
        owner->clear_desc() << "failed to bind socket: " << std::strerror(errno);
        owner->get_client()->handle_conn_failed();
        return;
    }
    if (!abstract_name) ::chmod(address.sun_path, 0777);
    if (::listen(fd, 10) < 0) {
        owner->clear_desc() << "failed to listen on socket: " << std::strerror(errno);
        owner->get_client()->handle_conn_failed();
        return;
    }
    io.start(fd, G_IO_IN);
}

void connector_usock_stream_priv_t::active_start() {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) {
        owner->clear_desc() << "failed to get socket flags: " << std::strerror(errno);
        owner->get_client()->handle_conn_failed();
        return;
    }
    if (::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        owner->clear_desc() << "failed to set socket nonblocking: " << std::strerror(errno);
        owner->get_client()->handle_conn_failed();
        return;
    }
    clock.start();
    attempt();
}

void connector_usock_stream_priv_t::attempt() {
    if (clock.spent(*owner)) {
        if (owner->get_client()) owner->get_client()->handle_conn_failed();
        return;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) < 0) {
        owner->clear_desc() << "connect failed: " << std::strerror(errno);
        if (owner->get_client()) owner->get_client()->handle_conn_status();
        return;
    }
    clock.stop();
    // Error and hang-up too, so a peer that vanished at once is handed over (and then
    // found lost) instead of leaving the watch spinning.
    io.start(fd, static_cast<GIOCondition>(G_IO_OUT | G_IO_ERR | G_IO_HUP));
}

void connector_usock_stream_priv_t::io_ready() {
    if (passive)
        accept_peer();
    else
        hand_over();
}

void connector_usock_stream_priv_t::accept_peer() {
    int peer = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0) {
        // A peer that gave up before we took it is its own business.
        if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED) return;
        owner->clear_desc() << "failed to accept connection: " << std::strerror(errno);
        // The pending peer keeps the socket readable: listening on would report the same
        // failure in a busy loop, so the connector gives up until it is started again.
        halt();
        if (owner->get_client()) owner->get_client()->handle_conn_failed();
        return;
    }
    auto* conn = new conn_usock_stream_t(peer);
    if (owner->get_client())
        owner->get_client()->conn_ready(conn);
    else
        delete conn;
}

void connector_usock_stream_priv_t::hand_over() {
    // The connection blocks on writes like every other one: a full peer buffer must not make
    // a send fail.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    auto* conn = new conn_usock_stream_t(fd);
    io.stop();
    fd = -1;
    if (owner->get_client())
        owner->get_client()->conn_ready(conn);
    else
        delete conn;
}

connector_usock_stream_t::connector_usock_stream_t()
    : priv_(new connector_usock_stream_priv_t(this)) {}

connector_usock_stream_t::~connector_usock_stream_t() = default;

void connector_usock_stream_t::start(connector_client_t* c) {
    connector_t::start(c);
    priv_->halt();
    if (!client) return;
    if (!priv_->create_sock()) {
        client->handle_conn_failed();
        return;
    }
    priv_->passive = client->get_passive();
    if (priv_->passive)
        priv_->passive_start();
    else
        priv_->active_start();
}

void connector_usock_stream_t::stop() {
    priv_->halt();
    connector_t::stop();
}

unsigned int connector_usock_stream_t::retry_count() const {
    return priv_->clock.retries();
}

void connector_usock_stream_t::set_retry_count(unsigned int n) {
    priv_->clock.set_retries(n);
}

unsigned int connector_usock_stream_t::retry_interval() const {
    return priv_->clock.interval();
}

void connector_usock_stream_t::set_retry_interval(unsigned int ms) {
    priv_->clock.set_interval(ms);
}

class conn_usock_stream_priv_t {
public:
    conn_usock_stream_priv_t(conn_usock_stream_t* o, int s) : owner(o), fd(s) {
        io.connect(this, &conn_usock_stream_priv_t::readable);
    }
    ~conn_usock_stream_priv_t() {
        io.stop();
        close_fd(fd);
    }
    void readable() { owner->readable(); }

    conn_usock_stream_t* owner;
    int fd;
    gio_t<conn_usock_stream_priv_t> io;
};

conn_usock_stream_t::conn_usock_stream_t(int fd) : priv_(new conn_usock_stream_priv_t(this, fd)) {}

conn_usock_stream_t::~conn_usock_stream_t() = default;

void conn_usock_stream_t::start(conn_client_t* c) {
    guard_t g(*this);
    conn_t::start(c);
    if (!g.alive()) return;
    priv_->io.stop();
    if (!client) return;
    if (priv_->fd < 0) {
        clear_desc() << "not connected";
        client->handle_conn_err();
        return;
    }
    // Hang-up and error too: they are reported by the read that follows them.
    priv_->io.start(priv_->fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
}

void conn_usock_stream_t::stop() {
    priv_->io.stop();
    conn_t::stop();
}

void conn_usock_stream_t::readable() {
    long n = receive_socket(priv_->fd);
    if (n > 0 || n == recv_full || n == recv_gone) return;
    // A closed or failed socket stays readable: stop watching so it is reported once.
    priv_->io.stop();
    if (n == 0) {
        clear_desc() << "lost connection";
        if (client) client->handle_conn_lost();
        return;
    }
    clear_desc() << "error receiving data: " << std::strerror(errno);
    if (client) client->handle_conn_err();
}

bool conn_usock_stream_t::send_msg(const msg_t* msg) {
    if (priv_->fd < 0) {
        clear_desc() << "not connected";
        if (client) client->handle_conn_err();
        return false;
    }
    msg_encoder_t enc;
    if (!encode_frame(msg, enc)) return false;
    const unsigned char* p = enc.data();
    std::size_t left = enc.size();
    // A peer that stops reading gets the send timeout, then it counts as gone: the socket
    // may block, so every send is a non-blocking one and the waiting is ours. The clock is
    // read only when the queue is full.
    std::int64_t deadline = 0;
    while (left > 0) {
        ssize_t n = ::send(priv_->fd, p, left, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 1) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (deadline == 0) deadline = deadline_after(send_timeout());
                if (wait_for_room(priv_->fd, deadline)) continue;
                clear_desc() << "lost connection: " << std::strerror(errno);
                if (client) client->handle_conn_lost();
                return false;
            }
            if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
                clear_desc() << "lost connection";
                if (client) client->handle_conn_lost();
                return false;
            }
            clear_desc() << "error sending data: " << std::strerror(n < 0 ? errno : EIO);
            if (client) client->handle_conn_err();
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool conn_usock_stream_t::get_path(std::string& path) {
    if (priv_->fd < 0) {
        clear_desc() << "not connected";
        return false;
    }
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof(addr));
    socklen_t len = sizeof(addr);
    if (::getsockname(priv_->fd, reinterpret_cast<sockaddr*>(&addr), &len) < 0) {
        clear_desc() << "getsockname(): " << std::strerror(errno);
        return false;
    }
    std::size_t n =
        len > offsetof(sockaddr_un, sun_path) ? len - offsetof(sockaddr_un, sun_path) : 0;
    if (n > 0 && addr.sun_path[0] == '\0' && n > 1) {
        const char* name = addr.sun_path + 1;
        path = "@" + std::string(name, strnlen(name, n - 1));
        return true;
    }
    std::string name(addr.sun_path, strnlen(addr.sun_path, n));
    if (name.empty()) {
        clear_desc() << "no socket name";
        return false;
    }
    path = name;
    return true;
}

bool conn_usock_stream_t::is_open() const {
    return priv_->fd >= 0;
}

void conn_usock_stream_t::close() {
    priv_->io.stop();
    close_fd(priv_->fd);
}

} // namespace tern
