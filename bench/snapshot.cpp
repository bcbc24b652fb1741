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

// One message of each kind a page shows, stamped an hour ahead so it stays fresh for the run.
template <class M, class F>
void put(tern::data_cache_t& c, F set) {
    M m;
    set(m);
    m.utc_tstamp = tern::gettstamp_data() + 3600.0;
    c.add(static_cast<const tern::data_msg_t&>(m));
}

void fill(tern::data_cache_t& c) {
    using namespace tern;
    put<data_pos_t>(c, [](auto& m) {
        m.latitude_valid = m.longitude_valid = true;
        m.latitude = 1.0463;
        m.longitude = 0.0890;
    });
    put<data_height_t>(
        c, [](auto& m) { m.ellipsoidal_height_valid = true, m.ellipsoidal_height = 83.9; });
    put<data_sog_t>(c, [](auto& m) { m.sog_valid = true, m.sog = 5.1f; });
    put<data_cog_t>(c, [](auto& m) { m.cog_valid = true, m.cog = 1.2f; });
    put<data_fix_type_t>(c, [](auto& m) { m.fix_valid = m.fix_3d = m.fix_auto = true; });
    put<data_h_dop_t>(c, [](auto& m) { m.hdop_valid = true, m.hdop = 0.8f; });
    put<data_pv_dop_t>(c, [](auto& m) {
        m.pdop_valid = m.vdop_valid = true;
        m.pdop = 1.4f;
        m.vdop = 1.1f;
    });
    put<data_sat_count_t>(c, [](auto& m) { m.num_sats = 12; });
    put<data_sat_track_t>(c, [](auto& m) { m.sats.resize(14); });
    put<data_fom_t>(c, [](auto& m) { m.fom_valid = true, m.fom = 0.3f; });
    put<data_dual_freq_t>(c, [](auto& m) { m.dual_freq = true; });
    put<data_diff_detail_t>(c, [](auto& m) { m.name = "SIM&REF"; });
    put<data_diff_t>(c, [](auto& m) { m.age_valid = true, m.age = 2.0f; });
    put<data_heading_t>(c, [](auto& m) { m.heading = 1.3f; });
    put<data_roll_t>(c, [](auto& m) { m.roll = 0.02f; });
    put<data_pitch_t>(c, [](auto& m) { m.pitch = -0.01f; });
    put<data_heave_t>(c, [](auto& m) { m.heave = 0.4f; });
    put<data_depth_t>(c, [](auto& m) { m.depth = 31.5; });
    put<data_motion_t>(c, [](auto& m) {
        m.status = tss1Msg_t::status_full_aided;
        m.horizontal_acceleration = 0.2f;
        m.vertical_acceleration = 0.1f;
    });
    put<data_qc_t>(c, [](auto& m) { m.stddev_semimajor_error = 0.5f, m.qc_fisher_test = true; });
    put<data_qc_mde_t>(c, [](auto& m) { m.pmde_lat = 1.0f; });
    put<data_qc_gbs_t>(c, [](auto&) {});
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
