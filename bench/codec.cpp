// Frame encode and decode of navigation data against a plain reference (fields copied with
// memcpy, byte-at-a-time table CRC), and the heap allocations each makes.
#include "reference.h"

#include <tern/msg/data_msgs.h>

#include "alloc_count.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

using bench_alloc::allocations;

namespace {

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

tern::data_sat_track_t make_track() {
    tern::data_sat_track_t track;
    track.utc_tstamp = 1700000000.25;
    track.gps_time_valid = true;
    track.gps_week = 2288;
    track.gps_week_sec = 248418.25;
    track.constellation = tern::constellation_gps;
    for (unsigned char i = 0; i < 12; ++i) {
        tern::data_sat_track_t::sat_t s;
        s.id = static_cast<unsigned char>(i + 1);
        s.az = 0.1f * i;
        s.el = 0.05f * i;
        s.freq[0].track = 1;
        s.freq[0].snr = 40.0f + i;
        s.freq[1].track = i & 1;
        s.freq[1].snr = 35.0f;
        track.sats.push_back(s);
    }
    return track;
}

// The plain reference: the same frame built and checked field by field with memcpy.
struct ref_frame_t {
    unsigned char buf[1024];
    unsigned size = 0;
    unsigned pos = 0;
    template <class T>
    void put(const T& v) {
        std::memcpy(buf + pos, &v, sizeof v);
        pos += sizeof v;
    }
    template <class T>
    void get(T& v) {
        std::memcpy(&v, buf + pos, sizeof v);
        pos += sizeof v;
    }
    void begin(std::uint32_t word) {
        pos = 0;
        buf[pos++] = 2;
        pos += 2;
        put(word);
    }
    void finish() {
        const std::uint16_t crc = bench_ref::crc_bytewise(buf + 3, pos - 3);
        put(crc);
        buf[pos++] = 3;
        size = pos;
        const auto len = static_cast<std::uint16_t>(size - 6);
        std::memcpy(buf + 1, &len, 2);
    }
    bool check() {
        std::uint16_t len, crc;
        std::memcpy(&len, buf + 1, 2);
        std::memcpy(&crc, buf + 3 + len, 2);
        pos = 7;
        return buf[0] == 2 && buf[len + 5] == 3 && crc == bench_ref::crc_bytewise(buf + 3, len);
    }
};

struct plain_pos_t {
    double utc, week_sec, lat, lon;
    unsigned week;
    unsigned char gps_valid, mask;
};

struct plain_sat_t {
    unsigned char id, track1, track2;
    float az, el, snr1, snr2;
};

void BM_pos_reference(benchmark::State& state) {
    const tern::data_pos_t src = make_pos();
    const plain_pos_t in{
        src.utc_tstamp, src.gps_week_sec, src.latitude, src.longitude, src.gps_week, 1, 3};
    ref_frame_t f;
    plain_pos_t out{};
    for (auto _ : state) {
        f.begin(0x03FF000A);
        f.put(in.utc);
        f.put(in.gps_valid);
        f.put(in.week);
        f.put(in.week_sec);
        f.put(in.mask);
        f.put(in.lat);
        f.put(in.lon);
        f.finish();
        benchmark::DoNotOptimize(f.buf);
        if (!f.check()) state.SkipWithError("bad frame");
        f.get(out.utc);
        f.get(out.gps_valid);
        f.get(out.week);
        f.get(out.week_sec);
        f.get(out.mask);
        f.get(out.lat);
        f.get(out.lon);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_pos_tern(benchmark::State& state) {
    const tern::data_pos_t src = make_pos();
    tern::msg_encoder_t enc;
    tern::msg_decoder_t dec;
    for (auto _ : state) {
        enc.encodeMessage(src);
        benchmark::DoNotOptimize(enc.data());
        dec.decode_init(enc.data(), enc.size());
        tern::data_pos_t out(dec);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_sat_track_reference(benchmark::State& state) {
    const tern::data_sat_track_t src = make_track();
    plain_sat_t in[12];
    for (unsigned i = 0; i < 12; ++i) {
        const auto& s = src.sats[i];
        in[i] = {s.id, s.freq[0].track, s.freq[1].track, s.az, s.el, s.freq[0].snr, s.freq[1].snr};
    }
    ref_frame_t f;
    plain_sat_t out[12];
    for (auto _ : state) {
        f.begin(0x03FF000D);
        f.put(src.utc_tstamp);
        f.put(static_cast<unsigned char>(1));
        f.put(src.gps_week);
        f.put(src.gps_week_sec);
        f.put(static_cast<unsigned char>(0));
        f.put(static_cast<unsigned char>(12));
        for (const auto& s : in) {
            f.put(s.id);
            f.put(s.az);
            f.put(s.el);
            f.put(s.track1);
            f.put(s.snr1);
            f.put(s.track2);
            f.put(s.snr2);
        }
        f.finish();
        benchmark::DoNotOptimize(f.buf);
        if (!f.check()) state.SkipWithError("bad frame");
        double utc, sec;
        unsigned week;
        unsigned char flag, cons, n;
        f.get(utc);
        f.get(flag);
        f.get(week);
        f.get(sec);
        f.get(cons);
        f.get(n);
        for (unsigned i = 0; i < n && i < 12; ++i) {
            f.get(out[i].id);
            f.get(out[i].az);
            f.get(out[i].el);
            f.get(out[i].track1);
            f.get(out[i].snr1);
            f.get(out[i].track2);
            f.get(out[i].snr2);
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_sat_track_tern(benchmark::State& state) {
    const tern::data_sat_track_t src = make_track();
    tern::msg_encoder_t enc;
    tern::msg_decoder_t dec;
    for (auto _ : state) {
        enc.encodeMessage(src);
        benchmark::DoNotOptimize(enc.data());
        dec.decode_init(enc.data(), enc.size());
        tern::data_sat_track_t out(dec);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// Heap allocations of one encode and of one decode, counted over many runs.
template <class M>
void count_allocations(benchmark::State& state, const M& src) {
    tern::msg_encoder_t enc;
    tern::msg_decoder_t dec;
    unsigned long long encode_allocs = 0, decode_allocs = 0, runs = 0;
    for (auto _ : state) {
        auto before = allocations.load();
        enc.encodeMessage(src);
        encode_allocs += allocations.load() - before;
        before = allocations.load();
        dec.decode_init(enc.data(), enc.size());
        M out(dec);
        benchmark::DoNotOptimize(out);
        decode_allocs += allocations.load() - before;
        ++runs;
    }
    state.counters["allocs_per_encode"] =
        static_cast<double>(encode_allocs) / static_cast<double>(runs);
    state.counters["allocs_per_decode"] =
        static_cast<double>(decode_allocs) / static_cast<double>(runs);
}

void BM_pos_allocations(benchmark::State& state) {
    count_allocations(state, make_pos());
}
void BM_sat_track_allocations(benchmark::State& state) {
    count_allocations(state, make_track());
}

} // namespace

BENCHMARK(BM_pos_reference);
BENCHMARK(BM_pos_tern);
BENCHMARK(BM_sat_track_reference);
BENCHMARK(BM_sat_track_tern);
BENCHMARK(BM_pos_allocations);
BENCHMARK(BM_sat_track_allocations);

BENCHMARK_MAIN();
