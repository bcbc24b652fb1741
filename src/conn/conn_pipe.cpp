#include <tern/conn/conn_pipe.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

#include <tern/thread/glibTimer.h>

#include "conn_priv.h"

namespace tern {

class conn_pipe_priv_t {
public:
    conn_pipe_priv_t(conn_pipe_t* o, int r, int w) : owner(o), read_fd(r), write_fd(w) {
        in_io.connect(this, &conn_pipe_priv_t::readable);
        hup_io.connect(this, &conn_pipe_priv_t::hung_up);
    }
    void readable() { owner->readable(); }
    void hung_up() { owner->hung_up(); }
    void halt() {
        in_io.stop();
        hup_io.stop();
    }

    conn_pipe_t* owner;
    gio_t<conn_pipe_priv_t> in_io;
    gio_t<conn_pipe_priv_t> hup_io;
    int read_fd;
    int write_fd;
};

class connector_pipe_priv_t {
public:
    explicit connector_pipe_priv_t(connector_pipe_t* o) : owner(o) {}
    connector_pipe_t* owner;
};

namespace {

// Writes all of [p, p + len) to fd, with SIGPIPE held back so that a reader that went away
// is an EPIPE error instead of killing the process, and waiting for room until `deadline` at
// most (ETIMEDOUT). A frame is shorter than the room a pipe reports, so a write after the
// wait does not block. Returns the bytes written; errno tells why when fewer.
std::size_t write_all(int fd, const unsigned char* p, std::size_t len, std::int64_t deadline) {
    sigset_t pipe_set, old_set;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    bool was_pending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);

    std::size_t done = 0;
    int err = 0;
    while (done < len) {
        if (!wait_for_room(fd, deadline)) {
            err = ETIMEDOUT;
            break;
        }
        ssize_t n = ::write(fd, p + done, len - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 1) {
            err = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (err == EPIPE && !was_pending) {
        // Swallow the SIGPIPE this write raised before unblocking.
        timespec zero{0, 0};
        while (sigtimedwait(&pipe_set, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
    errno = err;
    return done;
}

} // namespace

conn_pipe_t::conn_pipe_t(int read_fd, int write_fd)
    : priv_(new conn_pipe_priv_t(this, read_fd, write_fd)) {}

conn_pipe_t::~conn_pipe_t() = default;

void conn_pipe_t::start(conn_client_t* c) {
    guard_t g(*this);
    conn_t::start(c);
    if (!g.alive()) return;
    priv_->halt();
    if (!client) return;
    priv_->in_io.start(priv_->read_fd, G_IO_IN);
    priv_->hup_io.start(priv_->read_fd, G_IO_HUP);
}

void conn_pipe_t::stop() {
    priv_->halt();
    conn_t::stop();
}

void conn_pipe_t::readable() {
    long n = receive_from(priv_->read_fd);
    if (n > 0 || n == recv_full || n == recv_gone) return;
    if (n == 0) {
        // End of input without a hang-up (a file or /dev/null on standard input): it would
        // stay readable for ever, so it ends the connection like a hang-up.
        hung_up();
        return;
    }
    clear_desc() << "read(): " << std::strerror(errno);
    if (client) client->handle_conn_err();
}

void conn_pipe_t::hung_up() {
    // The peer may have written its last frames just before it went: read them first.
    long n;
    do {
        n = receive_from(priv_->read_fd);
        if (n == recv_gone) return;
        if (!client) return; // stopped by the handler: no more reads, no report
    } while (n > 0);
    priv_->halt();
    clear_desc() << "received HUP from peer";
    if (client) client->handle_conn_lost();
}

bool conn_pipe_t::send_msg(const msg_t* msg) {
    msg_encoder_t enc;
    if (!encode_frame(msg, enc)) return false;
    std::size_t done =
        write_all(priv_->write_fd, enc.data(), enc.size(), deadline_after(send_timeout()));
    if (done == enc.size()) return true;
    if (errno == ETIMEDOUT) {
        // The reader stopped reading: waiting on would freeze us, so it counts as gone.
        clear_desc() << "lost connection: " << std::strerror(errno);
        if (client) client->handle_conn_lost();
        return false;
    }
    clear_desc() << "wrote " << done << " of " << enc.size() << ": " << std::strerror(errno);
    if (client) client->handle_conn_err();
    return false;
}

connector_pipe_t::connector_pipe_t() : priv_(new connector_pipe_priv_t(this)) {}

connector_pipe_t::~connector_pipe_t() = default;

void connector_pipe_t::start(connector_client_t* c) {
    connector_t::start(c);
    if (!client) return;
    client->conn_ready(new conn_pipe_t(STDIN_FILENO, STDOUT_FILENO));
}

void connector_pipe_t::stop() {
    connector_t::stop();
}

} // namespace tern
