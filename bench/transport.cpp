// Messages per second between two processes over a Unix stream socket and over loopback TCP:
// a stream of position frames and request/answer round trips, through library connections on
// the GLib main loop against plain blocking write/read of the same bytes, in the same run.
// The two processes of every run sit on two fixed processors; under `taskset -c N` they share
// one, which shows the pure processing cost of each wake-up.
#include "transport_common.h"

#include <tern/conn/conn_tcp.h>
#include <tern/conn/conn_usock_stream.h>
#include <tern/conn/net.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace {

constexpr unsigned long long stream_count = 200000;
constexpr unsigned long long rtt_count = 20000;

tern::conn_t* wrap_usock(int fd) {
    return new tern::conn_usock_stream_t(fd);
}

bool usock_pair(int fds[2]) {
    return socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0;
}

tern::conn_t* wrap_tcp(int fd) {
    // A socket taken this way counts as connecting until its first writable event confirms
    // it, as the connector's accepted sockets do.
    auto* sock = new tcp_conn_t(fd, net_addr_loopback(), 0);
    for (int i = 0; i < 1000 && sock->get_state() == 1; ++i)
        g_main_context_iteration(nullptr, TRUE);
    return new tern::conn_tcp_t(sock);
}

// A connected pair on 127.0.0.1: fds[0] accepted, fds[1] connecting.
bool tcp_pair(int fds[2]) {
    const int lfd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    bool ok = lfd >= 0 && ::bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
              ::listen(lfd, 1) == 0 &&
              getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &len) == 0;
    fds[1] = ok ? socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    ok = ok && fds[1] >= 0 && ::connect(fds[1], reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    fds[0] = ok ? ::accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    if (lfd >= 0) ::close(lfd);
    return ok && fds[0] >= 0;
}

struct transport_t {
    const char* name;
    bool (*make_pair)(int fds[2]);
    tern::conn_t* (*wrap)(int fd);
};

const transport_t transports[] = {{"usock", usock_pair, wrap_usock}, {"tcp", tcp_pair, wrap_tcp}};

template <class Run>
void measure(benchmark::State& state, const transport_t& tr, unsigned long long count, Run run) {
    double seconds = 0;
    unsigned long long total = 0;
    for (auto _ : state) {
        int fds[2];
        if (!tr.make_pair(fds)) {
            state.SkipWithError("no connected pair");
            return;
        }
        unsigned long long done = 0;
        const double t = run(fds, done);
        state.SetIterationTime(t);
        if (done != count) {
            state.SkipWithError("messages lost");
            return;
        }
        seconds += t;
        total += done;
    }
    const double rate = static_cast<double>(total) / seconds;
    state.counters["msgs_per_s"] = rate;
    state.SetItemsProcessed(static_cast<std::int64_t>(total));
}

void stream_library(benchmark::State& state, const transport_t& tr) {
    measure(state, tr, stream_count, [&tr](int fds[2], unsigned long long& n) {
        return bench_transport::library_stream(fds, tr.wrap, stream_count, n);
    });
}

void stream_reference(benchmark::State& state, const transport_t& tr) {
    measure(state, tr, stream_count, [](int fds[2], unsigned long long& n) {
        return bench_transport::reference_stream(fds, stream_count, n);
    });
}

void rtt_library(benchmark::State& state, const transport_t& tr) {
    measure(state, tr, rtt_count, [&tr](int fds[2], unsigned long long& n) {
        return bench_transport::library_rtt(fds, tr.wrap, rtt_count, n);
    });
}

void rtt_reference(benchmark::State& state, const transport_t& tr) {
    measure(state, tr, rtt_count, [](int fds[2], unsigned long long& n) {
        return bench_transport::reference_rtt(fds, rtt_count, n);
    });
}

} // namespace

int main(int argc, char** argv) {
    const struct {
        const char* name;
        void (*run)(benchmark::State&, const transport_t&);
    } kinds[] = {{"stream_reference", stream_reference},
                 {"stream_library", stream_library},
                 {"rtt_reference", rtt_reference},
                 {"rtt_library", rtt_library}};
    for (const transport_t& tr : transports)
        for (const auto& k : kinds)
            benchmark::RegisterBenchmark((std::string(tr.name) + "_" + k.name).c_str(), k.run, tr)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(5);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The runs above are not interleaved, so load that changes between them skews their
    // ratios. Here reference and library alternate, and the median of the rounds' ratios is
    // the figure to quote.
    // TERN_BENCH_RATIOS=usock_rtt (a part of "<transport>_<stream|rtt>") limits the rounds
    // to the matching figures, to keep a run short.
    const char* only = std::getenv("TERN_BENCH_RATIOS");
    for (const transport_t& tr : transports)
        for (const bool stream : {true, false}) {
            const std::string figure = std::string(tr.name) + (stream ? "_stream" : "_rtt");
            if (only && figure.find(only) == std::string::npos) continue;
            const unsigned long long count = stream ? stream_count : rtt_count;
            std::vector<double> ratios;
            for (int round = 0; round < 7; ++round) {
                double rate[2] = {0, 0}; // reference, library
                for (int lib = 0; lib < 2; ++lib) {
                    int fds[2];
                    if (!tr.make_pair(fds)) return 1;
                    unsigned long long n = 0;
                    const double t =
                        stream ? (lib ? bench_transport::library_stream(fds, tr.wrap, count, n)
                                      : bench_transport::reference_stream(fds, count, n))
                               : (lib ? bench_transport::library_rtt(fds, tr.wrap, count, n)
                                      : bench_transport::reference_rtt(fds, count, n));
                    if (n != count || t <= 0) return 1;
                    rate[lib] = static_cast<double>(n) / t;
                }
                ratios.push_back(rate[1] / rate[0]);
            }
            std::sort(ratios.begin(), ratios.end());
            std::printf("%s %s: median ratio library/reference over %zu alternating rounds %.2f "
                        "(lowest %.2f, highest %.2f)\n",
                        tr.name, stream ? "stream" : "round trips", ratios.size(),
                        ratios[ratios.size() / 2], ratios.front(), ratios.back());
        }
    return 0;
}
