// CRC-16 throughput of the library against the byte-at-a-time table reference.
#include "reference.h"

#include <tern/msg/msg.h>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

std::vector<unsigned char> payload(std::size_t n) {
    std::vector<unsigned char> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(i * 131 + 7);
    return v;
}

void BM_crc_tern(benchmark::State& state) {
    const auto data = payload(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(data.data());
        benchmark::DoNotOptimize(
            tern::calc_checksum(data.data(), static_cast<unsigned>(data.size())));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_crc_reference(benchmark::State& state) {
    const auto data = payload(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(data.data());
        benchmark::DoNotOptimize(
            bench_ref::crc_bytewise(data.data(), static_cast<unsigned>(data.size())));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(BM_crc_reference)->Arg(64)->Arg(1 << 20);
BENCHMARK(BM_crc_tern)->Arg(64)->Arg(1 << 20);

BENCHMARK_MAIN();
