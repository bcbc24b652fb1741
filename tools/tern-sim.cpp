// tern-sim: a simulated receiver on a vessel at sea, writing navigation data frames.
#include "common/program.h"
#include "common/transport.h"

#include <tern/msg/data_msgs.h>

#include <glib.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char usage[] =
    "Usage: tern-sim [OPTION]...\n"
    "Writes the navigation data frames of a simulated receiver to standard output, or sends\n"
    "them on a connection and then hangs up.\n"
    "  --epochs N           number of epochs (default 10)\n"
    "  --rate HZ            epochs per second (default 1; 0 writes as fast as possible)\n"
    "  --start UTC_SECONDS  data time of the first epoch (default 1700000000)\n";

using emit_fn = std::function<void(const tern::msg_t&)>;

constexpr double pi = 3.14159265358979323846;
constexpr double deg = pi / 180.0;
constexpr double earth_radius = 6371000.0;
// GPS time started at 1980-01-06; GPS has run 18 s ahead of UTC since 2017.
constexpr double gps_epoch = 315964800.0;
constexpr double gps_minus_utc = 18.0;

struct sat_def_t {
    unsigned char id;
    double az0, el0, drift; // degrees, degrees, degrees per hour
};

const sat_def_t gps_sats[] = {{2, 40, 62, 9},   {5, 110, 35, -7},  {7, 175, 18, 11},
                              {13, 230, 51, 6}, {15, 300, 27, -8}, {18, 350, 8, 12},
                              {20, 80, 74, -5}, {24, 140, 12, 10}, {29, 265, 41, 7}};
const sat_def_t glonass_sats[] = {
    {66, 20, 33, 8}, {67, 95, 58, -6}, {75, 190, 22, 9}, {76, 250, 6, -11}, {81, 320, 47, 5}};
const sat_def_t galileo_sats[] = {{176, 60, 44, 6}, {181, 150, 29, -9}, {190, 285, 66, 4}};
const sat_def_t beidou_sats[] = {{141, 120, 23, 7}, {152, 210, 38, -5}};

// The vessel: a steady speed on a slowly turning course, rolling and pitching in a swell.
struct vessel_t {
    double lat = 59.95 * deg, lon = 5.10 * deg; // radians
    double speed = 5.6;                         // metres per second
    double course = 42.0 * deg;                 // radians
    double turn = 0.05 * deg;                   // radians per second
};

class simulator_t {
public:
    simulator_t(double start, double step) : start_(start), step_(step) {}

    // Appends the frames of epoch `k` to `out`.
    void epoch(unsigned long long k, std::vector<unsigned char>& out) {
        epoch(k, [&out](const tern::msg_t& m) {
            tern::msg_encoder_t enc;
            if (enc.encodeMessage(m)) out.insert(out.end(), enc.data(), enc.data() + enc.size());
        });
    }

    // Hands the messages of epoch `k` to `sink`, in order.
    void epoch(unsigned long long k, const emit_fn& sink) {
        const double t = start_ + static_cast<double>(k) * step_;
        if (k > 0) advance(step_);
        const double el = static_cast<double>(k) * step_; // seconds since the start

        auto stamp = [&](tern::data_msg_t& m) {
            m.utc_tstamp = t;
            const double g = t - gps_epoch + gps_minus_utc;
            m.gps_time_valid = true;
            m.gps_week = static_cast<unsigned>(std::floor(g / 604800.0));
            m.gps_week_sec = g - m.gps_week * 604800.0;
            m.port = 1;
        };
        auto emit = [&](tern::data_msg_t& m) {
            stamp(m);
            sink(m);
        };

        tern::data_pos_t pos;
        pos.latitude_valid = pos.longitude_valid = true;
        pos.latitude = v_.lat;
        pos.longitude = v_.lon;
        emit(pos);

        tern::data_height_t h;
        h.geoidal_height_valid = h.ellipsoidal_height_valid = true;
        h.geoidal_height = 1.2 * std::sin(el / 7.0); // the swell
        h.ellipsoidal_height = h.geoidal_height + 41.3;
        emit(h);

        tern::data_sog_t sog;
        sog.sog_valid = true;
        sog.sog = static_cast<float>(v_.speed);
        emit(sog);
        tern::data_cog_t cog;
        cog.cog_valid = true;
        cog.cog = static_cast<float>(v_.course);
        emit(cog);

        tern::data_h_dop_t hdop;
        hdop.hdop_valid = true;
        hdop.hdop = 0.9f;
        emit(hdop);
        tern::data_pv_dop_t pvdop;
        pvdop.pdop_valid = pvdop.vdop_valid = true;
        pvdop.pdop = 1.6f;
        pvdop.vdop = 1.3f;
        emit(pvdop);

        // The fix before the satellites, so that each constellation's satellites in use find
        // the epoch's fix and DOPs already there.
        tern::data_fix_mode_t mode;
        mode.fix_mode = tern::data_fix_mode_t::fix_mode_differential;
        emit(mode);
        tern::data_fix_type_t type;
        type.fix_auto = type.fix_3d = type.fix_valid = true;
        emit(type);
        tern::data_diff_t diff;
        diff.age_valid = true;
        diff.age = static_cast<float>(1.0 + std::fmod(el, 5.0));
        diff.ref_id = 412;
        emit(diff);
        tern::data_diff_detail_t detail;
        detail.diff_type = 1;
        detail.name = "SIMREF";
        detail.corr_type = tern::data_diff_detail_t::corr_type_code;
        emit(detail);
        tern::data_dual_freq_t dual;
        dual.dual_freq = true;
        emit(dual);
        tern::data_ext_nav_mode_t ext;
        ext.beam = 3;
        ext.mode = 7;
        emit(ext);
        tern::data_pr_stats_t stats;
        stats.combined = true;
        stats.constellation = tern::constellation_gps;
        stats.range_stddev_rms_valid = stats.semi_major_stddev_valid = true;
        stats.semi_minor_stddev_valid = stats.orientation_valid = true;
        stats.lat_stddev_valid = stats.lon_stddev_valid = stats.altitude_stddev_valid = true;
        stats.range_stddev_rms = 0.62f;
        stats.semi_major_stddev = static_cast<float>(0.48 + 0.05 * std::sin(el / 9.0));
        stats.semi_minor_stddev = 0.31f;
        stats.orientation = static_cast<float>(35.0 * deg);
        stats.lat_stddev = 0.42f;
        stats.lon_stddev = 0.37f;
        stats.altitude_stddev = 0.85f;
        emit(stats);

        unsigned used = 0;
        used += satellites(tern::constellation_gps, gps_sats, el, emit);
        used += satellites(tern::constellation_glonass, glonass_sats, el, emit);
        used += satellites(tern::constellation_galileo, galileo_sats, el, emit);
        used += satellites(tern::constellation_beidou, beidou_sats, el, emit);
        tern::data_sat_count_t count;
        count.num_sats = static_cast<unsigned char>(used);
        emit(count);

        tern::data_datum_t datum;
        datum.mask = tern::data_datum_t::datum_all;
        datum.localDatum = tern::datum_w84;
        datum.referenceDatum = tern::datum_w84;
        emit(datum);

        tern::data_heading_t heading;
        heading.heading = static_cast<float>(wrap(v_.course + 1.5 * deg * std::sin(el / 11.0)));
        emit(heading);
        // The moving baseline: a 2.5 m antenna pair along the hull, in degrees.
        tern::data_mbrtk_heading_t mbh;
        mbh.heading = static_cast<float>(heading.heading / deg + 0.3);
        emit(mbh);
        tern::data_mbrtk_baseline_t base;
        base.north = static_cast<float>(2.5 * std::cos(heading.heading));
        base.east = static_cast<float>(2.5 * std::sin(heading.heading));
        base.up = static_cast<float>(0.04 * std::sin(el / 3.1));
        emit(base);
        tern::data_roll_t roll;
        roll.roll = static_cast<float>(4.0 * deg * std::sin(el / 3.1));
        emit(roll);
        tern::data_pitch_t pitch;
        pitch.pitch = static_cast<float>(1.5 * deg * std::sin(el / 4.3));
        emit(pitch);
        tern::data_heave_t heave;
        heave.heave = static_cast<float>(0.6 * std::sin(el / 2.2));
        emit(heave);
        tern::data_motion_t motion;
        motion.status = tern::tss1Msg_t::status_full_aided;
        motion.horizontal_acceleration = static_cast<float>(0.3 + 0.1 * std::sin(el / 2.2));
        motion.vertical_acceleration = static_cast<float>(-0.5 * std::sin(el / 2.2));
        emit(motion);
        tern::data_rot_t rot;
        rot.rot = static_cast<float>(v_.turn);
        emit(rot);
        tern::data_rxq_t rxq;
        rxq.flag = true;
        rxq.value = static_cast<float>(47.5 + std::sin(el / 5.0));
        rxq.count1 = static_cast<unsigned char>(used);
        rxq.count2 = 2;
        emit(rxq);
    }

private:
    static double wrap(double a) {
        a = std::fmod(a, 2 * pi);
        return a < 0 ? a + 2 * pi : a;
    }

    void advance(double dt) {
        const double d = v_.speed * dt;
        v_.lat += d * std::cos(v_.course) / earth_radius;
        v_.lon += d * std::sin(v_.course) / (earth_radius * std::cos(v_.lat));
        v_.course = wrap(v_.course + v_.turn * dt);
    }

    // Emits tracking and use of one constellation; returns the satellites used.
    template <std::size_t N, class Emit>
    static unsigned satellites(tern::constellation_t c, const sat_def_t (&defs)[N], double el,
                               Emit& emit) {
        tern::data_sat_track_t track;
        tern::data_sat_use_t use;
        track.constellation = use.constellation = c;
        for (std::size_t i = 0; i < N; ++i) {
            const sat_def_t& s = defs[i];
            tern::data_sat_track_t::sat_t sat;
            sat.id = s.id;
            const double elev = std::max(0.0, s.el0 + s.drift * el / 3600.0);
            sat.az = static_cast<float>(wrap((s.az0 + 0.002 * el) * deg));
            sat.el = static_cast<float>(elev * deg);
            sat.freq[0].track = 1;
            sat.freq[0].snr = static_cast<float>(32.0 + 16.0 * std::sin(elev * deg));
            sat.freq[1].track = i % 2 == 0;
            sat.freq[1].snr = sat.freq[1].track ? sat.freq[0].snr - 4.0f : 0.0f;
            track.sats.push_back(sat);
            if (elev >= 10.0) use.sats.push_back(s.id);
        }
        emit(track);
        emit(use);
        return static_cast<unsigned>(use.sats.size());
    }

    double start_, step_;
    vessel_t v_;
};

bool write_all(const std::vector<unsigned char>& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
           std::fflush(stdout) == 0;
}

// Sends the epochs on one connection, paced by the main loop, then hangs up.
int send_link(simulator_t& sim, unsigned long long epochs, double rate,
              const tern_tool::transport_opt_t& link_opt) {
    tern_tool::link_t link(link_opt);
    unsigned long long k = 0;
    guint source = 0;
    bool sending = true;
    auto send_epoch = [&]() {
        if (k >= epochs) {
            // All sent: hanging up tells the peer we are done.
            link.close();
            link.quit(0);
            source = 0;
            return false;
        }
        sim.epoch(k++, [&](const tern::msg_t& m) {
            if (sending && link.conn() && !link.conn()->send_msg(&m)) sending = false;
        });
        if (!sending) source = 0;
        return sending;
    };
    std::function<bool()> tick = send_epoch;
    auto tick_cb = [](void* data) -> gboolean {
        return (*static_cast<std::function<bool()>*>(data))() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    };
    link.on_ready = [&](tern::conn_t&) {
        if (source) return;
        if (!tick()) return;
        // Flat out still goes through the loop, so a hang-up of the peer is seen.
        source = rate > 0 ? g_timeout_add(static_cast<guint>(1000.0 / rate + 0.5), tick_cb, &tick)
                          : g_idle_add(tick_cb, &tick);
    };
    link.on_error = [&](const std::string& why) {
        tern_tool::diag(why);
        link.quit(1);
    };
    // On the standard streams the end of our input says nothing about the reader of our
    // output: a write that fails is what ends the run there.
    if (link_opt.kind == tern_tool::transport_opt_t::kind_pipe)
        link.on_lost = [](const std::string&) {};
    else
        link.on_lost = link.on_error;
    const int status = link.run();
    if (source) g_source_remove(source);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    tern_tool::set_program(argv[0]);
    unsigned long long epochs = 10;
    double rate = 1.0;
    double start = 1700000000.0;
    tern_tool::transport_opt_t link_opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << usage << tern_tool::transport_usage << tern_tool::standard_usage;
            return 0;
        } else if (a == "--version") {
            return tern_tool::print_version();
        }
        int status = 0;
        if (tern_tool::take_transport_option(argc, argv, i, link_opt, status)) {
            if (status) return status;
            continue;
        }
        const bool known = a == "--epochs" || a == "--rate" || a == "--start";
        if (!known) {
            tern_tool::diag("unknown option " + a + " (see --help)");
            return 2;
        }
        if (i + 1 >= argc) {
            tern_tool::diag(a + " needs a value (see --help)");
            return 2;
        }
        const char* v = argv[++i];
        bool ok = true;
        if (a == "--epochs")
            ok = tern_tool::parse_unsigned(v, ~0ULL, epochs);
        else if (a == "--rate")
            ok = tern_tool::parse_double(v, rate) && rate >= 0 && rate <= 1e6;
        else
            ok = tern_tool::parse_double(v, start) && start >= 0 && start < 4e9;
        if (!ok) {
            tern_tool::diag("invalid value for " + a + ": " + v);
            return 2;
        }
    }

    // Data time moves by one period per epoch (one second when running flat out).
    const double step = rate > 0 ? 1.0 / rate : 1.0;
    simulator_t sim(start, step);
    if (link_opt.used) return send_link(sim, epochs, rate, link_opt);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const long long period_ns = rate > 0 ? static_cast<long long>(1e9 / rate) : 0;
    std::vector<unsigned char> frames;
    for (unsigned long long k = 0; k < epochs; ++k) {
        if (period_ns && k > 0) {
            const long long ns = next.tv_nsec + period_ns;
            next.tv_sec += static_cast<time_t>(ns / 1000000000);
            next.tv_nsec = static_cast<long>(ns % 1000000000);
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
            }
        }
        frames.clear();
        sim.epoch(k, frames);
        if (!write_all(frames)) {
            tern_tool::diag(std::string("write error on standard output: ") + std::strerror(errno));
            return 1;
        }
    }
    return 0;
}
