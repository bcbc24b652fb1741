// One 10-message navigation epoch added to a data_cache_t and to an outputDataCache_t, and
// every getter read back, against a plain reference (the same messages assigned to typed
// members and read with the same freshness test); and the heap allocations per epoch.
#include <tern/data/data_cache.h>
#include <tern/data/outputDataCache.h>
#include <tern/util/time_util.h>

#include "alloc_count.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <list>
#include <new>

using bench_alloc::allocations;

namespace {

// The ten messages of one receiver epoch.
struct epoch_t {
    tern::data_pos_t pos;
    tern::data_height_t height;
    tern::data_sog_t sog;
    tern::data_cog_t cog;
    tern::data_h_dop_t hdop;
    tern::data_pv_dop_t pvdop;
    tern::data_sat_count_t count;
    tern::data_sat_track_t track;
    tern::data_fix_type_t fix;
    tern::data_diff_t diff;
    std::list<tern::msg_t*> list;

    epoch_t() {
        pos.latitude_valid = pos.longitude_valid = true;
        pos.latitude = 1.0463;
        pos.longitude = 0.0890;
        height.geoidal_height_valid = height.ellipsoidal_height_valid = true;
        height.geoidal_height = 41.2;
        height.ellipsoidal_height = 83.9;
        sog.sog_valid = true;
        sog.sog = 5.1f;
        cog.cog_valid = true;
        cog.cog = 1.2f;
        hdop.hdop_valid = true;
        hdop.hdop = 0.8f;
        pvdop.pdop_valid = pvdop.vdop_valid = true;
        pvdop.pdop = 1.4f;
        pvdop.vdop = 1.1f;
        count.num_sats = 12;
        track.constellation = tern::constellation_gps;
        track.sats.resize(12);
        fix.fix_valid = fix.fix_3d = true;
        diff.age_valid = true;
        diff.age = 2.0f;
        list = {&pos, &height, &sog, &cog, &hdop, &pvdop, &count, &track, &fix, &diff};
    }
    void stamp(double t) {
        for (tern::msg_t* m : list) static_cast<tern::data_msg_t*>(m)->utc_tstamp = t;
    }
};

// Sums what the getters return, so that none of them is optimised away.
double read_all(const tern::data_cache_t& c) {
    double d = 0.0, sum = 0.0;
    float f = 0.0f;
    unsigned int u = 0;
    bool b = false;
    tern::tss1Msg_t::status_t s{};
    if (c.get_latitude(d)) sum += d;
    if (c.get_longitude(d)) sum += d;
    if (c.get_ellipsoidal_height(d)) sum += d;
    if (c.get_geoidal_height(d)) sum += d;
    if (c.get_speed(f)) sum += f;
    if (c.get_course(f)) sum += f;
    if (c.get_hdop(f)) sum += f;
    if (c.get_pdop(f)) sum += f;
    if (c.get_vdop(f)) sum += f;
    if (c.get_num_sats_used(u)) sum += u;
    if (c.get_num_sats_tracked(u)) sum += u;
    if (c.get_fom(f)) sum += f;
    if (c.get_roll(f)) sum += f;
    if (c.get_pitch(f)) sum += f;
    if (c.get_heave(f)) sum += f;
    if (c.get_rot(f)) sum += f;
    if (c.get_heading(f)) sum += f;
    if (c.get_depth(d)) sum += d;
    if (c.get_dual_freq(b)) sum += b;
    if (c.get_diff_age(f)) sum += f;
    if (c.get_max_mde_pos(d)) sum += d;
    if (c.get_raim_reject_count(u)) sum += u;
    if (c.get_motion_status(s)) sum += s;
    if (c.get_horiz_accel(d)) sum += d;
    if (c.get_vert_accel(d)) sum += d;
    if (const auto* fix = c.fix_type()) sum += fix->fix_3d;
    if (const auto* qc = c.qc_summary()) sum += qc->unit_variance;
    return sum;
}

double read_all(const tern::outputDataCache_t& c) {
    double sum = c.position().latitude + c.height().geoidal_height + c.fixMode().fix_mode +
                 c.fixType().fix_3d + c.hdop().hdop + c.pvdop().pdop +
                 c.pseudorangeStats().lat_stddev + c.satCount().num_sats + c.diffInfo().age +
                 c.diffDetail().diff_type + c.dualFreq().dual_freq + c.extendedNavMode().beam +
                 c.rxq().value + c.speed().sog + c.course().cog + c.heading().heading +
                 c.mbrtkHeading().heading + c.mbrtkBaseline().up + c.figureOfMerit().fom +
                 c.roll().roll + c.pitch().pitch + c.heave().heave + c.rateOfTurn().rot +
                 c.motion().vertical_acceleration + c.depth().depth + c.datum().mask +
                 c.gps2utcValid() + c.gps2utc().dn + c.lastMessageType() + c.lastTimestamp() +
                 c.maxPosMde() + c.maxPosMdeTimestamp();
    if (const auto* t = c.lastSatTrack()) sum += static_cast<double>(t->sats.size());
    if (const auto* u = c.lastSatUse()) sum += static_cast<double>(u->sats.size());
    if (const auto* h = c.lastSatHealth()) sum += static_cast<double>(h->sats.size());
    sum += static_cast<double>(c.allSatUse().size() + c.allSatTrack().size() +
                               c.allSatHealth().size() + c.currentSatsUsed().size());
    return sum;
}

// The plain reference: typed members assigned directly, read with the same freshness test.
struct plain_cache_t {
    epoch_t held;
    static bool fresh(double t) { return 2.0 > tern::gettstamp_data() - t; }
    void add(const epoch_t& e) {
        held.pos = e.pos;
        held.height = e.height;
        held.sog = e.sog;
        held.cog = e.cog;
        held.hdop = e.hdop;
        held.pvdop = e.pvdop;
        held.count = e.count;
        held.track = e.track;
        held.fix = e.fix;
        held.diff = e.diff;
    }
    double read() const {
        double sum = 0.0;
        if (fresh(held.pos.utc_tstamp)) sum += held.pos.latitude + held.pos.longitude;
        if (fresh(held.height.utc_tstamp))
            sum += held.height.geoidal_height + held.height.ellipsoidal_height;
        if (fresh(held.sog.utc_tstamp)) sum += held.sog.sog;
        if (fresh(held.cog.utc_tstamp)) sum += held.cog.cog;
        if (fresh(held.hdop.utc_tstamp)) sum += held.hdop.hdop;
        if (fresh(held.pvdop.utc_tstamp)) sum += held.pvdop.pdop + held.pvdop.vdop;
        if (fresh(held.count.utc_tstamp)) sum += held.count.num_sats;
        if (fresh(held.track.utc_tstamp)) sum += static_cast<double>(held.track.sats.size());
        if (fresh(held.fix.utc_tstamp)) sum += held.fix.fix_3d;
        if (fresh(held.diff.utc_tstamp)) sum += held.diff.age;
        return sum;
    }
};

void BM_epoch_reference(benchmark::State& state) {
    epoch_t e;
    plain_cache_t cache;
    double t = tern::gettstamp_data();
    for (auto _ : state) {
        e.stamp(t += 0.1);
        cache.add(e);
        benchmark::DoNotOptimize(cache.read());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// Adds the epoch through add(list), as the device manager hands it over, and reads every
// getter; counts the allocations of each epoch after the first (which fills empty lists).
template <class C>
void run_epochs(benchmark::State& state) {
    epoch_t e;
    C cache;
    double t = tern::gettstamp_data();
    e.stamp(t);
    cache.add(e.list);
    unsigned long long allocs = 0, runs = 0;
    for (auto _ : state) {
        e.stamp(t += 0.1);
        const auto before = allocations.load(std::memory_order_relaxed);
        cache.add(e.list);
        benchmark::DoNotOptimize(read_all(cache));
        allocs += allocations.load(std::memory_order_relaxed) - before;
        ++runs;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["allocs_per_epoch"] =
        static_cast<double>(allocs) / static_cast<double>(runs ? runs : 1);
}

void BM_epoch_data_cache(benchmark::State& state) {
    run_epochs<tern::data_cache_t>(state);
}
void BM_epoch_output_cache(benchmark::State& state) {
    run_epochs<tern::outputDataCache_t>(state);
}

} // namespace

BENCHMARK(BM_epoch_reference);
BENCHMARK(BM_epoch_data_cache);
BENCHMARK(BM_epoch_output_cache);

BENCHMARK_MAIN();
