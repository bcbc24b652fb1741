// Sentence building: GGA and RMC through the real builders from a filled cache against an
// snprintf reference writing the same text into a fixed buffer, the heap allocations per
// sentence, and a full 1 Hz epoch with every sentence enabled.
#include <tern/data/outputDataCache.h>
#include <tern/decode/bufferStream.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/output/ggaBuilder.h>
#include <tern/output/outputBuilder.h>
#include <tern/output/rmcBuilder.h>

#include "alloc_count.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using bench_alloc::allocations;
using namespace tern;

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double T = 1700000000.37;

template <class M>
M at(double t) {
    M m;
    m.utc_tstamp = t;
    return m;
}

// One epoch of navigation data, as a receiver sends it (~32 messages).
std::vector<std::unique_ptr<data_msg_t>> epoch(double t) {
    std::vector<std::unique_ptr<data_msg_t>> v;
    auto add = [&](data_msg_t* m) {
        m->utc_tstamp = t;
        v.emplace_back(m);
    };
    auto* pos = new data_pos_t;
    pos->latitude_valid = pos->longitude_valid = true;
    pos->latitude = 59.9512345 * pi / 180;
    pos->longitude = -5.1034567 * pi / 180;
    add(pos);
    auto* h = new data_height_t;
    h->geoidal_height_valid = h->ellipsoidal_height_valid = true;
    h->geoidal_height = 12.345;
    h->ellipsoidal_height = 53.678;
    add(h);
    auto* sog = new data_sog_t;
    sog->sog_valid = true;
    sog->sog = 5.6f;
    add(sog);
    auto* cog = new data_cog_t;
    cog->cog_valid = true;
    cog->cog = 0.733f;
    add(cog);
    auto* hd = new data_h_dop_t;
    hd->hdop_valid = true;
    hd->hdop = 0.9f;
    add(hd);
    auto* pv = new data_pv_dop_t;
    pv->pdop_valid = pv->vdop_valid = true;
    pv->pdop = 1.6f;
    pv->vdop = 1.3f;
    add(pv);
    auto* fm = new data_fix_mode_t;
    fm->fix_mode = data_fix_mode_t::fix_mode_rtk_fixed;
    add(fm);
    auto* ft = new data_fix_type_t;
    ft->fix_auto = ft->fix_3d = ft->fix_valid = true;
    add(ft);
    auto* d = new data_diff_t;
    d->age = 1.4f;
    d->ref_id = 412;
    add(d);
    auto* dd = new data_diff_detail_t;
    dd->name = "RTKNET";
    add(dd);
    auto* dual = new data_dual_freq_t;
    dual->dual_freq = true;
    add(dual);
    auto* ext = new data_ext_nav_mode_t;
    add(ext);
    auto* st = new data_pr_stats_t;
    st->combined = st->range_stddev_rms_valid = st->semi_major_stddev_valid = true;
    st->semi_minor_stddev_valid = st->orientation_valid = true;
    st->range_stddev_rms = 0.6f;
    st->semi_major_stddev = 0.5f;
    st->semi_minor_stddev = 0.3f;
    add(st);
    unsigned used = 0;
    for (unsigned c = 0; c < 4; ++c) {
        auto* tr = new data_sat_track_t;
        auto* use = new data_sat_use_t;
        tr->constellation = use->constellation = static_cast<constellation_t>(c);
        const unsigned base[] = {1, 65, 174, 139};
        for (unsigned i = 0; i < 8; ++i) {
            data_sat_track_t::sat_t s;
            s.id = static_cast<unsigned char>(base[c] + i);
            s.az = 0.7f * static_cast<float>(i);
            s.el = 0.15f * static_cast<float>(i + 1);
            s.freq[0].track = s.freq[1].track = 1;
            s.freq[0].snr = 40.0f + static_cast<float>(i);
            s.freq[1].snr = 35.0f;
            tr->sats.push_back(s);
            use->sats.push_back(s.id);
            ++used;
        }
        add(tr);
        add(use);
    }
    auto* cnt = new data_sat_count_t;
    cnt->num_sats = static_cast<unsigned char>(used);
    add(cnt);
    auto* datum = new data_datum_t;
    datum->mask = data_datum_t::datum_local | data_datum_t::datum_reference;
    add(datum);
    auto* head = new data_heading_t;
    head->heading = 0.74f;
    add(head);
    auto* mbh = new data_mbrtk_heading_t;
    mbh->heading = 42.3f;
    add(mbh);
    auto* base = new data_mbrtk_baseline_t;
    base->north = 1.8f;
    base->east = 1.7f;
    add(base);
    add(new data_roll_t);
    add(new data_pitch_t);
    add(new data_heave_t);
    add(new data_motion_t);
    auto* rot = new data_rot_t;
    rot->rot = 0.001f;
    add(rot);
    add(new data_rxq_t);
    return v;
}

outputDataCache_t filled_cache() {
    outputDataCache_t cache;
    for (const auto& m : epoch(T)) cache.add(*m);
    return cache;
}

// The reference: the same sentence with snprintf into a fixed buffer, and the same tail.
void tail(char* buf, int& n) {
    unsigned char sum = 0;
    for (int i = 1; i < n; ++i) sum = static_cast<unsigned char>(sum ^ buf[i]);
    n += std::snprintf(buf + n, 8, "*%02X\r\n", sum);
}

void split(double rad, int& d, double& m, char& hemi, const char* letters) {
    const double a = std::fabs(rad) * 180.0 / pi;
    d = static_cast<int>(a);
    m = (a - d) * 60.0;
    hemi = rad < 0 ? letters[1] : letters[0];
}

// Time of day and position split for printf, as a plain program would.
struct ref_fix_t {
    int hh, mm, ld, od;
    double ss, lm, om;
    char lh, oh;
    explicit ref_fix_t(const outputDataCache_t& c) {
        const double t = std::round(c.position().utc_tstamp * 100.0) / 100.0;
        const double day = std::fmod(t, 86400.0);
        hh = static_cast<int>(day / 3600);
        mm = static_cast<int>(std::fmod(day, 3600) / 60);
        ss = std::fmod(day, 60.0);
        split(c.position().latitude, ld, lm, lh, "NS");
        split(c.position().longitude, od, om, oh, "EW");
    }
};

int ref_gga(const outputDataCache_t& c, char* buf) {
    const ref_fix_t f(c);
    const auto& h = c.height();
    int n = std::snprintf(buf, 1024,
                          "$GNGGA,%02d%02d%05.2f,%02d%09.6f,%c,%03d%09.6f,%c,%u,%02u,%.1f,%.3f,M,%."
                          "3f,M,%.1f,%04u",
                          f.hh, f.mm, f.ss, f.ld, f.lm, f.lh, f.od, f.om, f.oh,
                          unsigned(c.fixMode().fix_mode), unsigned(c.satCount().num_sats),
                          double(c.hdop().hdop), h.geoidal_height,
                          h.ellipsoidal_height - h.geoidal_height, double(c.diffInfo().age),
                          unsigned(c.diffInfo().ref_id));
    tail(buf, n);
    return n;
}

int ref_rmc(const outputDataCache_t& c, char* buf) {
    const ref_fix_t f(c);
    double course = std::fmod(c.course().cog * 180.0 / pi, 360.0);
    if (course < 0) course += 360.0;
    int n = std::snprintf(buf, 1024,
                          "$GNRMC,%02d%02d%05.2f,A,%02d%09.6f,%c,%03d%09.6f,%c,%.2f,%.1f,%02d%02d%"
                          "02d,,,D",
                          f.hh, f.mm, f.ss, f.ld, f.lm, f.lh, f.od, f.om, f.oh,
                          c.speed().sog * 1.9438444924406046, course, 14, 11, 23);
    tail(buf, n);
    return n;
}

template <class B>
std::string built(B& b, const outputDataCache_t& cache) {
    std::vector<cmd_device_write_t*> out;
    b.setOutputTimestamp(0.0);
    b.build(cache, out);
    std::string s;
    for (auto* c : out) {
        s.assign(reinterpret_cast<const char*>(c->data), c->len);
        delete c;
    }
    return s;
}

// Builds through the real builder into a new command, as the output builder does.
template <class B>
void library(benchmark::State& state) {
    const outputDataCache_t cache = filled_cache();
    B b;
    output_cfg_t cfg;
    cfg.setFlagBits(~0ULL);
    cfg.strict_nmea = false;
    b.setConfig(cfg);
    std::vector<cmd_device_write_t*> out;
    out.reserve(4);
    const unsigned long long a0 = allocations.load();
    for (auto _ : state) {
        b.setOutputTimestamp(0.0);
        b.build(cache, out);
        benchmark::DoNotOptimize(out.front()->data);
        delete out.front();
        out.clear();
    }
    state.counters["allocs_per_sentence"] =
        double(allocations.load() - a0) / double(state.iterations());
}

template <int (*Ref)(const outputDataCache_t&, char*), class B>
void reference(benchmark::State& state) {
    const outputDataCache_t cache = filled_cache();
    char buf[1024];
    B b;
    output_cfg_t cfg;
    cfg.setFlagBits(~0ULL);
    cfg.strict_nmea = false;
    b.setConfig(cfg);
    // The reference must produce the very text the builder produces.
    const int n = Ref(cache, buf);
    if (std::string(buf, static_cast<std::size_t>(n)) != built(b, cache)) {
        state.SkipWithError(
            ("reference differs: " + std::string(buf, n) + built(b, cache)).c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(Ref(cache, buf));
        benchmark::ClobberMemory();
    }
}

// Only the formatting: the sentence body into a stream over a fixed buffer.
void BM_gga_contents_only(benchmark::State& state) {
    const outputDataCache_t cache = filled_cache();
    ggaBuilder_t b;
    char buf[1024];
    bufferStream_t os(buf, sizeof buf);
    for (auto _ : state) {
        os.reset(buf, sizeof buf);
        b.buildContents(cache, os);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_gga_contents_only);

void BM_new_command(benchmark::State& state) {
    for (auto _ : state) {
        auto* c = new cmd_device_write_t;
        benchmark::DoNotOptimize(c->data);
        delete c;
    }
}
BENCHMARK(BM_new_command);

void BM_gga_builder(benchmark::State& s) {
    library<ggaBuilder_t>(s);
}
void BM_gga_snprintf_reference(benchmark::State& s) {
    reference<ref_gga, ggaBuilder_t>(s);
}
void BM_rmc_builder(benchmark::State& s) {
    library<rmcBuilder_t>(s);
}
void BM_rmc_snprintf_reference(benchmark::State& s) {
    reference<ref_rmc, rmcBuilder_t>(s);
}
BENCHMARK(BM_gga_builder);
BENCHMARK(BM_gga_snprintf_reference);
BENCHMARK(BM_rmc_builder);
BENCHMARK(BM_rmc_snprintf_reference);

// A full 1 Hz epoch with every sentence enabled, through handleDataMessage.
void BM_epoch_every_sentence(benchmark::State& state) {
    outputBuilder_t ob;
    output_cfg_t cfg;
    cfg.setFlagBits(~0ULL);
    ob.setConfig(cfg);
    auto msgs = epoch(T);
    outputBuilder_t::msgList_t out;
    double t = T;
    unsigned long long sentences = 0;
    const unsigned long long a0 = allocations.load();
    for (auto _ : state) {
        t += 1.0;
        for (auto& m : msgs) m->utc_tstamp = t;
        for (auto& m : msgs) ob.handleDataMessage(*m, out);
        sentences += out.size();
        for (msg_t* m : out) delete m;
        out.clear();
    }
    state.counters["epochs_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["sentences_per_epoch"] = double(sentences) / double(state.iterations());
    state.counters["allocs_per_sentence"] =
        double(allocations.load() - a0) / double(sentences ? sentences : 1);
}
BENCHMARK(BM_epoch_every_sentence);

} // namespace

BENCHMARK_MAIN();
