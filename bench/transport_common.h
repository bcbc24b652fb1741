// Shared parts of the transport benchmarks: a stream of position frames and a request/answer
// exchange between two processes, once through library connections on the GLib main loop
// (decoded and created by number) and once as the plain reference (blocking write/read of the
// same bytes, no loop, no decoding). A transport supplies a connected descriptor pair and a
// way to wrap one descriptor in its connection class.
#pragma once

#include <tern/conn/conn.h>
#include <tern/msg/catalogue.h>
#include <tern/msg/data_msgs.h>

#include <glib.h>

#include <cstring>
#include <functional>
#include <memory>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench_transport {

// Wraps a connected descriptor (ownership passes) in a library connection.
using wrap_fn = std::function<tern::conn_t*(int fd)>;

// Puts the two processes of a run on two different processors, the same two for every run:
// left to the scheduler, a pair sometimes shares one processor and sometimes not, and the
// cost of a wake-up differs so much between the two that ratios of runs placed differently
// say nothing. Created in the parent before fork(); the child calls child(). Without two
// processors to choose from it does nothing.
class placement_t {
public:
    placement_t() {
        if (sched_getaffinity(0, sizeof saved_, &saved_) != 0 || CPU_COUNT(&saved_) < 2) return;
        int found = 0;
        for (int cpu = 0; cpu < CPU_SETSIZE && found < 2; ++cpu)
            if (CPU_ISSET(cpu, &saved_)) cpus_[found++] = cpu;
        pinned_ = pin(cpus_[0]);
    }
    ~placement_t() {
        if (pinned_) sched_setaffinity(0, sizeof saved_, &saved_);
    }
    placement_t(const placement_t&) = delete;
    placement_t& operator=(const placement_t&) = delete;
    void child() const {
        if (pinned_) pin(cpus_[1]);
    }

private:
    static bool pin(int cpu) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        return sched_setaffinity(0, sizeof one, &one) == 0;
    }
    cpu_set_t saved_{};
    int cpus_[2] = {0, 0};
    bool pinned_ = false;
};

inline double now_s() {
    return static_cast<double>(g_get_monotonic_time()) / 1e6;
}

inline tern::data_pos_t make_pos() {
    tern::data_pos_t pos;
    pos.utc_tstamp = 1700000000.25;
    pos.gps_time_valid = true;
    pos.gps_week = 2288;
    pos.gps_week_sec = 248418.25;
    pos.latitude_valid = pos.longitude_valid = true;
    pos.latitude = 1.0463;
    pos.longitude = 0.0890;
    pos.port = 1;
    return pos;
}

inline std::vector<unsigned char> frame_of(const tern::msg_t& m) {
    tern::msg_encoder_t enc;
    enc.encodeMessage(m);
    return std::vector<unsigned char>(enc.data(), enc.data() + enc.size());
}

inline bool write_full(int fd, const unsigned char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

inline bool read_full(int fd, unsigned char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

// Receives messages on the main loop, creating each by number, until the peer hangs up.
struct receiver_t : tern::conn_client_t {
    GMainLoop* loop = nullptr;
    tern::conn_t* conn = nullptr;
    unsigned long long created = 0;
    unsigned long long rounds = 0; // request/answer mode: answers still to ask for
    tern::msg_t* request = nullptr;
    bool echo = false; // the answering side: send every message back

    void handle_conn_msg(tern::msg_decoder_t& dec) override {
        std::unique_ptr<tern::msg_t> m = tern::create_msg(dec);
        if (!m) return;
        ++created;
        if (echo) {
            conn->send_msg(m.get());
        } else if (request) {
            if (--rounds == 0)
                g_main_loop_quit(loop);
            else
                conn->send_msg(request);
        }
    }
    void handle_conn_lost() override { g_main_loop_quit(loop); }
    void handle_conn_err() override { g_main_loop_quit(loop); }
};

// Streams `count` position messages from a child's connection to ours; returns seconds and
// sets `received` to the messages created on our side.
inline double library_stream(int fds[2], const wrap_fn& wrap, unsigned long long count,
                             unsigned long long& received) {
    const double t0 = now_s();
    const placement_t placed;
    const pid_t pid = fork();
    if (pid == 0) {
        placed.child();
        ::close(fds[0]);
        std::unique_ptr<tern::conn_t> out(wrap(fds[1]));
        const tern::data_pos_t pos = make_pos();
        for (unsigned long long i = 0; i < count; ++i)
            if (!out->send_msg(&pos)) _exit(1);
        out.reset();
        _exit(0);
    }
    ::close(fds[1]);
    receiver_t rx;
    rx.loop = g_main_loop_new(nullptr, FALSE);
    std::unique_ptr<tern::conn_t> in(wrap(fds[0]));
    rx.conn = in.get();
    in->start(&rx);
    g_main_loop_run(rx.loop);
    const double t = now_s() - t0;
    in.reset();
    g_main_loop_unref(rx.loop);
    waitpid(pid, nullptr, 0);
    received = rx.created;
    return t;
}

// The same bytes with blocking writes (one per frame) and reads (2048 bytes at most).
inline double reference_stream(int fds[2], unsigned long long count, unsigned long long& received) {
    const std::vector<unsigned char> frame = frame_of(make_pos());
    const double t0 = now_s();
    const placement_t placed;
    const pid_t pid = fork();
    if (pid == 0) {
        placed.child();
        ::close(fds[0]);
        for (unsigned long long i = 0; i < count; ++i)
            if (!write_full(fds[1], frame.data(), frame.size())) _exit(1);
        _exit(0);
    }
    ::close(fds[1]);
    unsigned char buf[2048];
    unsigned long long bytes = 0;
    ssize_t r;
    while ((r = ::read(fds[0], buf, sizeof buf)) > 0) bytes += static_cast<unsigned long long>(r);
    const double t = now_s() - t0;
    ::close(fds[0]);
    waitpid(pid, nullptr, 0);
    received = bytes / frame.size();
    return t;
}

// `count` request/answer rounds with one message in flight: we send a position, the child's
// connection sends it back, and only then the next one goes. Returns seconds.
inline double library_rtt(int fds[2], const wrap_fn& wrap, unsigned long long count,
                          unsigned long long& answered) {
    const double t0 = now_s();
    const placement_t placed;
    const pid_t pid = fork();
    if (pid == 0) {
        placed.child();
        ::close(fds[0]);
        receiver_t echo;
        echo.echo = true;
        echo.loop = g_main_loop_new(nullptr, FALSE);
        std::unique_ptr<tern::conn_t> c(wrap(fds[1]));
        echo.conn = c.get();
        c->start(&echo);
        g_main_loop_run(echo.loop);
        _exit(0);
    }
    ::close(fds[1]);
    tern::data_pos_t pos = make_pos();
    receiver_t rx;
    rx.loop = g_main_loop_new(nullptr, FALSE);
    rx.request = &pos;
    rx.rounds = count;
    std::unique_ptr<tern::conn_t> c(wrap(fds[0]));
    rx.conn = c.get();
    c->start(&rx);
    c->send_msg(&pos);
    g_main_loop_run(rx.loop);
    const double t = now_s() - t0;
    c.reset(); // the child sees the hang-up and ends
    g_main_loop_unref(rx.loop);
    waitpid(pid, nullptr, 0);
    answered = rx.created;
    return t;
}

inline double reference_rtt(int fds[2], unsigned long long count, unsigned long long& answered) {
    const std::vector<unsigned char> frame = frame_of(make_pos());
    std::vector<unsigned char> got(frame.size());
    const double t0 = now_s();
    const placement_t placed;
    const pid_t pid = fork();
    if (pid == 0) {
        placed.child();
        ::close(fds[0]);
        while (read_full(fds[1], got.data(), got.size()))
            if (!write_full(fds[1], got.data(), got.size())) break;
        _exit(0);
    }
    ::close(fds[1]);
    answered = 0;
    for (unsigned long long i = 0; i < count; ++i) {
        if (!write_full(fds[0], frame.data(), frame.size()) ||
            !read_full(fds[0], got.data(), got.size()))
            break;
        ++answered;
    }
    const double t = now_s() - t0;
    ::close(fds[0]);
    waitpid(pid, nullptr, 0);
    return t;
}

} // namespace bench_transport
