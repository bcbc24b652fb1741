// A full snapshot page of a filled data cache (page start, device table, every row class, the
// QC summary, page end), in pages per second and heap allocations per page, against a plain
// reference: the same rows formatted with snprintf and appended to a string, no escaping.
#include <tern/config/snapshot_util.h>
#include <tern/data/data_cache.h>
#include <tern/util/time_util.h>

#include "alloc_count.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <locale>
#include <sstream>
#include <string>

using bench_alloc::allocations;

namespace {

// Every kind of value a page shows, stamped an hour ahead so it stays fresh for the run.
void fill(tern::data_cache_t& c) {
    const double t = tern::gettstamp_data() + 3600.0;
    auto add = [&](tern::data_msg_t& m) {
        m.utc_tstamp = t;
        c.add(static_cast<const tern::data_msg_t&>(m));
    };
    tern::data_pos_t pos;
    pos.latitude_valid = pos.longitude_valid = true;
    pos.latitude = 1.0463;
    pos.longitude = 0.0890;
    add(pos);
    tern::data_height_t h;
    h.ellipsoidal_height_valid = true;
    h.ellipsoidal_height = 83.9;
    add(h);
    tern::data_sog_t sog;
    sog.sog_valid = true;
    sog.sog = 5.1f;
    add(sog);
    tern::data_cog_t cog;
    cog.cog_valid = true;
    cog.cog = 1.2f;
    add(cog);
    tern::data_fix_type_t fix;
    fix.fix_valid = fix.fix_3d = fix.fix_auto = true;
    add(fix);
    tern::data_h_dop_t hdop;
    hdop.hdop_valid = true;
    hdop.hdop = 0.8f;
    add(hdop);
    tern::data_pv_dop_t pv;
    pv.pdop_valid = pv.vdop_valid = true;
    pv.pdop = 1.4f;
    pv.vdop = 1.1f;
    add(pv);
    tern::data_sat_count_t count;
    count.num_sats = 12;
    add(count);
    tern::data_sat_track_t track;
    track.sats.resize(14);
    add(track);
    tern::data_fom_t fom;
    fom.fom_valid = true;
    fom.fom = 0.3f;
    add(fom);
    tern::data_dual_freq_t dual;
    dual.dual_freq = true;
    add(dual);
    tern::data_diff_detail_t detail;
    detail.name = "SIM&REF";
    add(detail);
    tern::data_diff_t diff;
    diff.age_valid = true;
    diff.age = 2.0f;
    add(diff);
    tern::data_heading_t heading;
    heading.heading = 1.3f;
    add(heading);
    tern::data_roll_t roll;
    roll.roll = 0.02f;
    add(roll);
    tern::data_pitch_t pitch;
    pitch.pitch = -0.01f;
    add(pitch);
    tern::data_heave_t heave;
    heave.heave = 0.4f;
    add(heave);
    tern::data_depth_t depth;
    depth.depth = 31.5;
    add(depth);
    tern::data_motion_t motion;
    motion.status = tern::tss1Msg_t::status_full_aided;
    motion.horizontal_acceleration = 0.2f;
    motion.vertical_acceleration = 0.1f;
    add(motion);
    tern::data_qc_t qc;
    qc.stddev_semimajor_error = 0.5f;
    qc.qc_fisher_test = true;
    add(qc);
    tern::data_qc_mde_t mde;
    mde.pmde_lat = 1.0f;
    add(mde);
    tern::data_qc_gbs_t gbs;
    add(gbs);
}

void write_page(std::ostream& os, const tern::data_cache_t& cache) {
    os << tern::snapshot_page_start_t("Bench") << tern::snapshot_device_table_t("sim on Port 1");
    tern::write_cache_snapshot(os, cache);
    os << tern::snapshot_page_end_t();
}

void BM_snapshot_page(benchmark::State& state) {
    tern::data_cache_t cache;
    fill(cache);
    std::ostringstream os;
    os.imbue(std::locale::classic());
    write_page(os, cache); // the stream's buffer grows once
    unsigned long long allocs = 0, runs = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        os.seekp(0);
        const auto before = allocations.load(std::memory_order_relaxed);
        write_page(os, cache);
        allocs += allocations.load(std::memory_order_relaxed) - before;
        bytes = static_cast<std::size_t>(os.tellp());
        ++runs;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["allocs_per_page"] = static_cast<double>(allocs) / static_cast<double>(runs);
    state.counters["page_bytes"] = static_cast<double>(bytes);
}

// The reference: the same rows and values from the same getters, formatted by snprintf.
void plain_row(std::string& out, const char* label, const char* value) {
    out += "<tr><td class=\"definition\">";
    out += label;
    out += "</td>\n<td class=\"value\">";
    out += value;
    out += "</td></tr>\n";
}

void plain_page(std::string& out, const tern::data_cache_t& c) {
    char v[64];
    double d = 0.0;
    float f = 0.0f;
    unsigned int u = 0, u2 = 0;
    bool b = false;
    out.clear();
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta "
           "charset=\"utf-8\">\n<title>Bench</title>\n";
    out += tern::snapshot_style_sheet;
    out +=
        "</head>\n<body>\n<table class=\"deviceTable\"><tr><th>sim on Port 1</th></tr></table>\n";
    out += "<table class=\"twoColumn\">\n";
    auto num = [&](const char* label, bool ok, double x, int prec, const char* tail) {
        if (ok)
            std::snprintf(v, sizeof v, "%.*f%s", prec, x, tail);
        else
            std::snprintf(v, sizeof v, "--");
        plain_row(out, label, v);
    };
    num("Latitude", c.get_latitude(d), d * 57.29577951308232, 4, "&deg;");
    num("Longitude", c.get_longitude(d), d * 57.29577951308232, 4, "&deg;");
    num("Height", c.get_ellipsoidal_height(d), d, 2, " m");
    num("Speed", c.get_speed(f), f, 1, " m/s");
    num("Course", c.get_course(f), f * 57.29577951308232, 1, "&deg;");
    plain_row(out, "Fix Mode", c.fix_type() ? "Auto 3D" : "--");
    num("HDOP", c.get_hdop(f), f, 1, "");
    num("PDOP", c.get_pdop(f), f, 1, "");
    num("VDOP", c.get_vdop(f), f, 1, "");
    c.get_num_sats_used(u);
    c.get_num_sats_tracked(u2);
    std::snprintf(v, sizeof v, "%u/%u", u, u2);
    plain_row(out, "Num Sats", v);
    num("FOM", c.get_fom(f), f, 2, "");
    plain_row(out, "Frequency", c.get_dual_freq(b) && b ? "Dual" : "Single");
    std::string name;
    c.get_diff_detail_name(name);
    plain_row(out, "Corrections Mode", name.c_str());
    num("Diff Age", c.get_diff_age(f), f, 1, "");
    num("Heading", c.get_heading(f), f * 57.29577951308232, 1, "&deg;");
    num("Roll", c.get_roll(f), f * 57.29577951308232, 1, "&deg;");
    num("Pitch", c.get_pitch(f), f * 57.29577951308232, 1, "&deg;");
    num("Heave", c.get_heave(f), f, 2, " m");
    num("Depth Below Transducer", c.get_depth(d), d, 2, " m");
    plain_row(out, "Motion Status", "Full Aided Settling");
    num("Horizontal Acceleration", c.get_horiz_accel(d), d, 2, " m/s&sup2;");
    num("Vertical Acceleration", c.get_vert_accel(d), d, 2, " m/s&sup2;");
    const tern::data_qc_t* qc = c.qc_summary();
    for (int i = 0; i < 8; ++i)
        num("QC Row", qc != nullptr, qc ? qc->stddev_semimajor_error : 0.0, 2, " m");
    num("Maximum MDE(r)", c.get_max_mde_pos(d), d, 2, " m");
    num("RAIM Reject Count", c.get_raim_reject_count(u), u, 0, "");
    out += "</table>\n</body>\n</html>\n";
}

void BM_snapshot_page_reference(benchmark::State& state) {
    tern::data_cache_t cache;
    fill(cache);
    std::string out;
    plain_page(out, cache);
    unsigned long long allocs = 0, runs = 0;
    for (auto _ : state) {
        const auto before = allocations.load(std::memory_order_relaxed);
        plain_page(out, cache);
        benchmark::DoNotOptimize(out.data());
        allocs += allocations.load(std::memory_order_relaxed) - before;
        ++runs;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["allocs_per_page"] = static_cast<double>(allocs) / static_cast<double>(runs);
    state.counters["page_bytes"] = static_cast<double>(out.size());
}

} // namespace

BENCHMARK(BM_snapshot_page_reference);
BENCHMARK(BM_snapshot_page);

BENCHMARK_MAIN();
