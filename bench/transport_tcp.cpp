// The TCP transport against plain blocking sockets, both over loopback to a child process:
//  - stream: the child writes a batch of navigation-data frames; we receive them (library:
//    through the main loop, conn_tcp_t, creation by number; reference: blocking read() into a
//    buffer of the same size, the same decoder and creation);
//  - round trip: one frame in flight; the child echoes it, we decode it and send the next.
// Each library figure is reported beside its reference from the same run.
#include <tern/conn/conn_tcp.h>
#include <tern/conn/net.h>
#include <tern/msg/catalogue.h>
#include <tern/msg/data_msgs.h>

#include <benchmark/benchmark.h>
#include <glib.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned kBatch = 1000; // frames per stream iteration
constexpr unsigned kBufSize = 2048;

tern::data_pos_t make_pos() {
    tern::data_pos_t pos;
    pos.utc_tstamp = 1700000000.25;
    pos.gps_time_valid = true;
    pos.gps_week = 2288;
    pos.gps_week_sec = 248418.25;
    pos.latitude_valid = pos.longitude_valid = true;
    pos.latitude = 1.0463;
    pos.longitude = 0.0890;
    return pos;
}

std::vector<unsigned char> frame_of(const tern::msg_t& m) {
    tern::msg_encoder_t enc;
    enc.encodeMessage(m);
    return std::vector<unsigned char>(enc.data(), enc.data() + enc.size());
}

bool read_exactly(int fd, unsigned char* p, size_t n) {
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool write_all(int fd, const unsigned char* p, size_t n) {
    while (n > 0) {
        const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// The peer process: for every request frame it reads, either echoes it or writes a batch.
[[noreturn]] void peer_main(unsigned short port, bool echo) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(0x7F000001u);
    sa.sin_port = htons(port);
    for (int i = 0; ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) < 0; ++i) {
        if (i > 500) _exit(1);
        usleep(10000);
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const auto req = frame_of(make_pos());
    std::vector<unsigned char> batch;
    for (unsigned i = 0; i < kBatch; ++i) batch.insert(batch.end(), req.begin(), req.end());
    std::vector<unsigned char> in(req.size());
    while (read_exactly(fd, in.data(), in.size())) {
        const bool ok =
            echo ? write_all(fd, in.data(), in.size()) : write_all(fd, batch.data(), batch.size());
        if (!ok) break;
    }
    ::close(fd);
    _exit(0);
}

unsigned short free_port() {
    tcp_listener_t l;
    unsigned addr = 0;
    unsigned short port = 0;
    l.open();
    l.set_local_endpoint(0x7F000001u, 0);
    l.get_local_endpoint(addr, port);
    return port;
}

pid_t start_peer(unsigned short port, bool echo) {
    const pid_t pid = fork();
    if (pid == 0) peer_main(port, echo);
    return pid;
}

void end_peer(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
}

// --- library ------------------------------------------------------------------------------

struct lib_side_t : tern::connector_client_t, tern::conn_client_t {
    std::vector<std::string> args;
    std::unique_ptr<tern::conn_t> conn;
    bool failed = false;
    unsigned received = 0;
    tern::data_pos_t next = make_pos();

    const std::vector<std::string>* get_args() override { return &args; }
    bool get_passive() override { return true; }
    void conn_ready(tern::conn_t* c) override { conn.reset(c); }
    void handle_conn_failed() override { failed = true; }
    void handle_conn_status() override {}

    void handle_conn_msg(tern::msg_decoder_t& dec) override {
        auto m = tern::create_msg(dec);
        benchmark::DoNotOptimize(m.get());
        ++received;
    }
    void handle_conn_lost() override { failed = true; }
    void handle_conn_err() override { failed = true; }

    // Connects to a new peer process; false on failure.
    bool open(bool echo_peer, pid_t& pid) {
        const unsigned short port = free_port();
        args = {"port=" + std::to_string(port)};
        tern::connector_tcp_t connector;
        connector.start(this);
        pid = start_peer(port, echo_peer);
        while (!conn && !failed) g_main_context_iteration(nullptr, TRUE);
        if (!conn) return false;
        conn->start(this);
        return true;
    }
};

void BM_TcpStream_Library(benchmark::State& state) {
    lib_side_t side;
    pid_t pid = -1;
    if (!side.open(false, pid)) return state.SkipWithError("no connection");
    const auto go = make_pos();
    for (auto _ : state) {
        side.received = 0;
        side.conn->send_msg(&go);
        while (side.received < kBatch && !side.failed) g_main_context_iteration(nullptr, TRUE);
        if (side.failed) return state.SkipWithError("link failed");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
    side.conn.reset();
    end_peer(pid);
}

void BM_TcpRoundTrip_Library(benchmark::State& state) {
    lib_side_t side;
    pid_t pid = -1;
    if (!side.open(true, pid)) return state.SkipWithError("no connection");
    const auto msg = make_pos();
    for (auto _ : state) {
        side.received = 0;
        side.conn->send_msg(&msg);
        while (side.received < 1 && !side.failed) g_main_context_iteration(nullptr, TRUE);
        if (side.failed) return state.SkipWithError("link failed");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    side.conn.reset();
    end_peer(pid);
}

// --- plain reference ------------------------------------------------------------------------

int plain_accept(bool echo_peer, pid_t& pid) {
    const int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(0x7F000001u);
    socklen_t len = sizeof sa;
    if (::bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) < 0 || ::listen(lfd, 1) < 0 ||
        getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &len) < 0) {
        ::close(lfd);
        return -1;
    }
    pid = start_peer(ntohs(sa.sin_port), echo_peer);
    const int fd = ::accept(lfd, nullptr, nullptr);
    ::close(lfd);
    return fd;
}

// Blocking reads into a fixed buffer, every whole frame decoded and created by number.
struct plain_rx_t {
    unsigned char buf[kBufSize];
    unsigned len = 0;
    tern::msg_decoder_t dec;

    // Reads once and returns the number of messages created; negative at end or error.
    int read_some(int fd) {
        const ssize_t n = ::read(fd, buf + len, kBufSize - len);
        if (n <= 0) return -1;
        len += static_cast<unsigned>(n);
        unsigned off = 0;
        int count = 0;
        while (off < len) {
            const unsigned used = dec.decode_init(buf + off, len - off);
            if (used == 0) break;
            if (dec.is_valid()) {
                auto m = tern::create_msg(dec);
                benchmark::DoNotOptimize(m.get());
                ++count;
            }
            off += used;
        }
        std::memmove(buf, buf + off, len - off);
        len -= off;
        return count;
    }
};

void BM_TcpStream_Reference(benchmark::State& state) {
    pid_t pid = -1;
    const int fd = plain_accept(false, pid);
    if (fd < 0) return state.SkipWithError("no connection");
    const auto go = frame_of(make_pos());
    plain_rx_t rx;
    for (auto _ : state) {
        write_all(fd, go.data(), go.size());
        unsigned got = 0;
        while (got < kBatch) {
            const int n = rx.read_some(fd);
            if (n < 0) return state.SkipWithError("link failed");
            got += static_cast<unsigned>(n);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
    ::close(fd);
    end_peer(pid);
}

void BM_TcpRoundTrip_Reference(benchmark::State& state) {
    pid_t pid = -1;
    const int fd = plain_accept(true, pid);
    if (fd < 0) return state.SkipWithError("no connection");
    const auto msg = make_pos();
    plain_rx_t rx;
    for (auto _ : state) {
        tern::msg_encoder_t enc; // encoded each time, as send_msg does
        enc.encodeMessage(msg);
        write_all(fd, enc.data(), enc.size());
        int got = 0;
        while (got < 1) {
            const int n = rx.read_some(fd);
            if (n < 0) return state.SkipWithError("link failed");
            got += n;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    ::close(fd);
    end_peer(pid);
}

} // namespace

BENCHMARK(BM_TcpStream_Reference)->UseRealTime();
BENCHMARK(BM_TcpStream_Library)->UseRealTime();
BENCHMARK(BM_TcpRoundTrip_Reference)->UseRealTime();
BENCHMARK(BM_TcpRoundTrip_Library)->UseRealTime();

BENCHMARK_MAIN();
