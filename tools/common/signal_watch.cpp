#include "common/signal_watch.h"

#include <glib-unix.h>
#include <glib.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tern_tool {
namespace {

// The write end of each signal's pipe plus one (0: no watch), read by the handler.
volatile sig_atomic_t write_ends[NSIG];

void handler(int sig) {
    const int saved = errno;
    const char byte = 1;
    if (sig > 0 && sig < NSIG && write_ends[sig] > 0) {
        // A full pipe already holds a wake-up: nothing is lost.
        [[maybe_unused]] const ssize_t n = ::write(write_ends[sig] - 1, &byte, 1);
    }
    errno = saved;
}

} // namespace

signal_watch_t::signal_watch_t(int sig, std::function<void()> on_signal)
    : sig_(sig), on_signal_(std::move(on_signal)) {
    if (sig <= 0 || sig >= NSIG || !g_unix_open_pipe(pipe_, FD_CLOEXEC, nullptr)) return;
    if (!g_unix_set_fd_nonblocking(pipe_[0], TRUE, nullptr) ||
        !g_unix_set_fd_nonblocking(pipe_[1], TRUE, nullptr)) {
        ::close(pipe_[0]);
        ::close(pipe_[1]);
        pipe_[0] = pipe_[1] = -1;
        return;
    }
    write_ends[sig] = pipe_[1] + 1;
    struct sigaction sa {};
    sa.sa_handler = handler;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    if (::sigaction(sig, &sa, &old_) != 0) {
        write_ends[sig] = 0;
        return;
    }
    const auto readable = [](gint fd, GIOCondition, gpointer self) -> gboolean {
        char buf[64];
        bool got = false;
        while (::read(fd, buf, sizeof buf) > 0) got = true;
        if (got) static_cast<signal_watch_t*>(self)->on_signal_();
        return G_SOURCE_CONTINUE;
    };
    source_ = g_unix_fd_add(pipe_[0], G_IO_IN, readable, this);
}

signal_watch_t::~signal_watch_t() {
    if (source_) {
        ::sigaction(sig_, &old_, nullptr);
        g_source_remove(source_);
    }
    if (sig_ > 0 && sig_ < NSIG) write_ends[sig_] = 0;
    if (pipe_[0] >= 0) ::close(pipe_[0]);
    if (pipe_[1] >= 0) ::close(pipe_[1]);
}

} // namespace tern_tool
