// Messages per second over a Unix stream socket between two processes: a stream of position
// frames and request/answer round trips, through library connections on the GLib main loop
// against plain blocking write/read of the same bytes, measured in the same run.
#include "transport_common.h"

#include <tern/conn/conn_usock_stream.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <sys/socket.h>

namespace {

constexpr unsigned long long stream_count = 200000;
constexpr unsigned long long rtt_count = 20000;

// Rates of the last run of each, for the ratios printed at the end.
double rate_lib_stream = 0, rate_ref_stream = 0, rate_lib_rtt = 0, rate_ref_rtt = 0;

tern::conn_t* wrap_usock(int fd) {
    return new tern::conn_usock_stream_t(fd);
}

bool make_pair(int fds[2]) {
    return socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0;
}

template <class Run>
void measure(benchmark::State& state, unsigned long long count, double& rate, Run run) {
    double seconds = 0;
    unsigned long long total = 0;
    for (auto _ : state) {
        int fds[2];
        if (!make_pair(fds)) {
            state.SkipWithError("socketpair failed");
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
    rate = static_cast<double>(total) / seconds;
    state.counters["msgs_per_s"] = rate;
    state.SetItemsProcessed(static_cast<std::int64_t>(total));
}

void BM_usock_stream_library(benchmark::State& state) {
    measure(state, stream_count, rate_lib_stream, [](int fds[2], unsigned long long& n) {
        return bench_transport::library_stream(fds, wrap_usock, stream_count, n);
    });
}

void BM_usock_stream_reference(benchmark::State& state) {
    measure(state, stream_count, rate_ref_stream, [](int fds[2], unsigned long long& n) {
        return bench_transport::reference_stream(fds, stream_count, n);
    });
}

void BM_usock_rtt_library(benchmark::State& state) {
    measure(state, rtt_count, rate_lib_rtt, [](int fds[2], unsigned long long& n) {
        return bench_transport::library_rtt(fds, wrap_usock, rtt_count, n);
    });
}

void BM_usock_rtt_reference(benchmark::State& state) {
    measure(state, rtt_count, rate_ref_rtt, [](int fds[2], unsigned long long& n) {
        return bench_transport::reference_rtt(fds, rtt_count, n);
    });
}

BENCHMARK(BM_usock_stream_reference)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_usock_stream_library)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_usock_rtt_reference)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_usock_rtt_library)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (rate_ref_stream > 0 && rate_lib_stream > 0)
        std::printf("stream: library %.0f msg/s, reference %.0f msg/s, ratio %.2f\n",
                    rate_lib_stream, rate_ref_stream, rate_lib_stream / rate_ref_stream);
    if (rate_ref_rtt > 0 && rate_lib_rtt > 0)
        std::printf("round trips: library %.0f /s, reference %.0f /s, ratio %.2f\n", rate_lib_rtt,
                    rate_ref_rtt, rate_lib_rtt / rate_ref_rtt);
    return 0;
}
