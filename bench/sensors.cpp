// Sensor streams decoded into navigation data messages: EM attitude frames and TSS1 records
// fed through sensorInput_t in reads of 512 bytes, against plain references that decode the
// same well-aligned input straight from fixed offsets and columns (no resynchronisation, no
// validation) into the same messages. Counters: messages per second and heap allocations per
// message beyond the messages themselves.
#include <tern/msg/data_msgs.h>
#include <tern/sensors/sensorInput.h>

#include "alloc_count.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <list>
#include <string>

using bench_alloc::allocations;

namespace {

constexpr unsigned frames_per_round = 200;
constexpr std::size_t read_size = 512;

std::string em_stream() {
    std::string s;
    for (unsigned i = 0; i < frames_per_round; ++i) {
        const std::uint16_t w[4] = {
            static_cast<std::uint16_t>(i * 7), static_cast<std::uint16_t>(-i),
            static_cast<std::uint16_t>(i * 3), static_cast<std::uint16_t>(i * 150 % 36000)};
        s += static_cast<char>(i % 2 ? 0x00 : 0x9C);
        s += static_cast<char>(0x90);
        for (std::uint16_t v : w) {
            s += static_cast<char>(v & 0xFF);
            s += static_cast<char>(v >> 8);
        }
    }
    return s;
}

std::string tss1_stream() {
    std::string s;
    for (unsigned i = 0; i < frames_per_round; ++i)
        s += i % 2 ? ":0AFF38  0012F-0150  0200\r\n" : ":12FF00 -0250H 1234 -0999\r\n";
    return s;
}

template <class T>
void push(std::list<tern::msg_t*>& out, float T::*field, float v) {
    auto* m = new T;
    m->utc_tstamp = 1.0;
    m->*field = v;
    out.push_back(m);
}

int digits4(const char* p) {
    return (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
}

int hex(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

void reference_em(const std::string& s, std::list<tern::msg_t*>& out) {
    const float scale = 0.01f * 3.14159265f / 180.0f;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t off = 0; off + 10 <= s.size(); off += 10) {
        const unsigned char* f = p + off;
        auto word = [f](int i) { return static_cast<std::int16_t>(f[i] | (f[i + 1] << 8)); };
        push(out, &tern::data_roll_t::roll, word(2) * scale);
        push(out, &tern::data_pitch_t::pitch, word(4) * scale);
        push(out, &tern::data_heave_t::heave, word(6) * -0.01f);
        push(out, &tern::data_heading_t::heading, static_cast<std::uint16_t>(word(8)) * scale);
    }
}

void reference_tss1(const std::string& s, std::list<tern::msg_t*>& out) {
    const float scale = 0.01f * 3.14159265f / 180.0f;
    for (std::size_t off = 0; off + 27 <= s.size(); off += 27) {
        const char* r = s.data() + off;
        const auto sign = [](char c) { return c == '-' ? -1 : 1; };
        push(out, &tern::data_roll_t::roll,
             static_cast<float>(sign(r[14]) * digits4(r + 15)) * scale);
        push(out, &tern::data_pitch_t::pitch,
             static_cast<float>(sign(r[20]) * digits4(r + 21)) * scale);
        push(out, &tern::data_heave_t::heave,
             static_cast<float>(sign(r[8]) * digits4(r + 9)) * 0.01f);
        auto* m = new tern::data_motion_t;
        m->utc_tstamp = 1.0;
        m->status = tern::tss1Msg_t::status_full_aided;
        m->horizontal_acceleration = static_cast<float>(hex(r[1]) * 16 + hex(r[2])) * 0.0383f;
        const int v = hex(r[3]) << 12 | hex(r[4]) << 8 | hex(r[5]) << 4 | hex(r[6]);
        m->vertical_acceleration = static_cast<float>(static_cast<std::int16_t>(v)) * 0.000625f;
        out.push_back(m);
    }
}

void finish_round(benchmark::State& state, std::list<tern::msg_t*>& out, unsigned long long& msgs) {
    msgs += out.size();
    for (tern::msg_t* m : out) delete m;
    out.clear();
    (void)state;
}

void report(benchmark::State& state, unsigned long long msgs, unsigned long long allocs) {
    state.SetItemsProcessed(static_cast<std::int64_t>(msgs));
    // Each message is one allocation of its own; the rest is what decoding adds.
    state.counters["extra_allocs_per_msg"] =
        msgs ? static_cast<double>(allocs - msgs) / static_cast<double>(msgs) : 0.0;
}

void run_reference(benchmark::State& state, const std::string& s,
                   void (*decode)(const std::string&, std::list<tern::msg_t*>&)) {
    std::list<tern::msg_t*> out;
    unsigned long long msgs = 0;
    const unsigned long long a0 = allocations.load();
    for (auto _ : state) {
        decode(s, out);
        benchmark::DoNotOptimize(out.back());
        finish_round(state, out, msgs);
    }
    report(state, msgs, allocations.load() - a0);
}

void run_library(benchmark::State& state, const std::string& s, tern::sensorFormat_t format) {
    tern::sensorInput_t in(format, [] { return 1.0; });
    std::list<tern::msg_t*> out;
    // One round first, so the decoder's buffers have their working size.
    in.feed(s.data(), s.size(), out);
    unsigned long long msgs = 0;
    finish_round(state, out, msgs);
    msgs = 0;
    const unsigned long long a0 = allocations.load();
    for (auto _ : state) {
        for (std::size_t off = 0; off < s.size(); off += read_size)
            in.feed(s.data() + off, std::min(read_size, s.size() - off), out);
        benchmark::DoNotOptimize(out.back());
        finish_round(state, out, msgs);
    }
    report(state, msgs, allocations.load() - a0);
}

void BM_em_reference(benchmark::State& state) {
    run_reference(state, em_stream(), reference_em);
}
void BM_em_sensorInput(benchmark::State& state) {
    run_library(state, em_stream(), tern::sensorFormat_em);
}
void BM_tss1_reference(benchmark::State& state) {
    run_reference(state, tss1_stream(), reference_tss1);
}
void BM_tss1_sensorInput(benchmark::State& state) {
    run_library(state, tss1_stream(), tern::sensorFormat_tss1);
}

} // namespace

BENCHMARK(BM_em_reference);
BENCHMARK(BM_em_sensorInput);
BENCHMARK(BM_tss1_reference);
BENCHMARK(BM_tss1_sensorInput);
BENCHMARK_MAIN();
