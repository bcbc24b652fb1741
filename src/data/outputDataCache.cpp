#include <tern/data/outputDataCache.h>

#include <tern/msg/data_visit.h>

#include <cmath>

namespace tern {

namespace {

// Assigning into an existing entry keeps its list's capacity: no allocation per epoch.
template <class M>
void store(std::map<constellation_t, M>& map, const M& msg) {
    const auto it = map.find(msg.constellation);
    if (it == map.end())
        map.emplace(msg.constellation, msg);
    else
        it->second = msg;
}

template <class M>
const M* entry(const std::map<constellation_t, M>& map, constellation_t c) {
    if (c == constellation_none) return nullptr;
    const auto it = map.find(c);
    return it == map.end() ? nullptr : &it->second;
}

} // namespace

outputDataCache_t::outputDataCache_t() {
    clear();
}

void outputDataCache_t::clear() {
    last_type_ = 0;
    last_tstamp_ = 0.0;
    gps2utc_valid_ = false;
    data_msg_t* const held[] = {
        &pos_,      &height_,    &fix_mode_, &fix_type_,    &hdop_,          &pvdop_,
        &pr_stats_, &sat_count_, &diff_,     &diff_detail_, &dual_freq_,     &ext_nav_mode_,
        &rxq_,      &sog_,       &cog_,      &heading_,     &mbrtk_heading_, &mbrtk_baseline_,
        &fom_,      &roll_,      &pitch_,    &heave_,       &rot_,           &motion_,
        &depth_,    &datum_};
    for (data_msg_t* m : held) m->utc_tstamp = 0.0;
    sat_use_.clear();
    last_sat_use_ = constellation_none;
    sat_track_.clear();
    last_sat_track_ = constellation_none;
    sat_health_.clear();
    last_sat_health_ = constellation_none;
    max_mde_tstamp_ = 0.0;
}

void outputDataCache_t::add(const msg_t& msg) {
    add_data_msg(*this, msg);
}

void outputDataCache_t::add(const std::list<msg_t*>& msgs) {
    for (const msg_t* m : msgs)
        if (m) add(*m);
}

void outputDataCache_t::updateLastMessage(const data_msg_t& msg) {
    last_type_ = msg.type;
    // Written as "newer than" so that a NaN stamp never becomes the last time stamp.
    if (msg.data_type() != data_type_rxq && msg.utc_tstamp > last_tstamp_)
        last_tstamp_ = msg.utc_tstamp;
}

#define TERN_OUTPUT_CACHE_ADD(T, member)                                                           \
    void outputDataCache_t::add(const T& msg) {                                                    \
        member = msg;                                                                              \
        updateLastMessage(msg);                                                                    \
    }
TERN_OUTPUT_CACHE_ADD(data_pos_t, pos_)
TERN_OUTPUT_CACHE_ADD(data_height_t, height_)
TERN_OUTPUT_CACHE_ADD(data_fix_mode_t, fix_mode_)
TERN_OUTPUT_CACHE_ADD(data_fix_type_t, fix_type_)
TERN_OUTPUT_CACHE_ADD(data_h_dop_t, hdop_)
TERN_OUTPUT_CACHE_ADD(data_pv_dop_t, pvdop_)
TERN_OUTPUT_CACHE_ADD(data_pr_stats_t, pr_stats_)
TERN_OUTPUT_CACHE_ADD(data_sat_count_t, sat_count_)
TERN_OUTPUT_CACHE_ADD(data_diff_t, diff_)
TERN_OUTPUT_CACHE_ADD(data_diff_detail_t, diff_detail_)
TERN_OUTPUT_CACHE_ADD(data_dual_freq_t, dual_freq_)
TERN_OUTPUT_CACHE_ADD(data_ext_nav_mode_t, ext_nav_mode_)
TERN_OUTPUT_CACHE_ADD(data_rxq_t, rxq_)
TERN_OUTPUT_CACHE_ADD(data_sog_t, sog_)
TERN_OUTPUT_CACHE_ADD(data_cog_t, cog_)
TERN_OUTPUT_CACHE_ADD(data_heading_t, heading_)
TERN_OUTPUT_CACHE_ADD(data_mbrtk_heading_t, mbrtk_heading_)
TERN_OUTPUT_CACHE_ADD(data_mbrtk_baseline_t, mbrtk_baseline_)
TERN_OUTPUT_CACHE_ADD(data_fom_t, fom_)
TERN_OUTPUT_CACHE_ADD(data_roll_t, roll_)
TERN_OUTPUT_CACHE_ADD(data_pitch_t, pitch_)
TERN_OUTPUT_CACHE_ADD(data_heave_t, heave_)
TERN_OUTPUT_CACHE_ADD(data_rot_t, rot_)
TERN_OUTPUT_CACHE_ADD(data_motion_t, motion_)
TERN_OUTPUT_CACHE_ADD(data_depth_t, depth_)
TERN_OUTPUT_CACHE_ADD(data_datum_t, datum_)
#undef TERN_OUTPUT_CACHE_ADD

void outputDataCache_t::add(const data_sat_use_t& msg) {
    if (msg.constellation >= constellation_none) return;
    store(sat_use_, msg);
    last_sat_use_ = msg.constellation;
    updateLastMessage(msg);
}

void outputDataCache_t::add(const data_sat_track_t& msg) {
    if (msg.constellation >= constellation_none) return;
    store(sat_track_, msg);
    last_sat_track_ = msg.constellation;
    updateLastMessage(msg);
}

void outputDataCache_t::add(const data_sat_health_t& msg) {
    if (msg.constellation >= constellation_none) return;
    store(sat_health_, msg);
    last_sat_health_ = msg.constellation;
    updateLastMessage(msg);
}

void outputDataCache_t::add(const data_gps2utc_t& msg) {
    gps2utc_ = msg.gps2utc;
    gps2utc_valid_ = true;
}

void outputDataCache_t::add(const data_qc_mde_t& msg) {
    const float m = std::sqrt(msg.pmde_lat * msg.pmde_lat + msg.pmde_long * msg.pmde_long +
                              msg.pmde_altitude * msg.pmde_altitude);
    // A NaN held for this time stamp must not hide the real values that follow it.
    const bool same_epoch = msg.utc_tstamp == max_mde_tstamp_;
    if (!same_epoch || m > max_mde_ || std::isnan(max_mde_)) {
        max_mde_ = m;
        max_mde_tstamp_ = msg.utc_tstamp;
    }
    updateLastMessage(msg);
}

const data_sat_use_t* outputDataCache_t::lastSatUse() const {
    return entry(sat_use_, last_sat_use_);
}

const data_sat_track_t* outputDataCache_t::lastSatTrack() const {
    return entry(sat_track_, last_sat_track_);
}

const data_sat_health_t* outputDataCache_t::lastSatHealth() const {
    return entry(sat_health_, last_sat_health_);
}

satNumberSet_t outputDataCache_t::currentSatsUsed() const {
    satNumberSet_t used;
    const data_sat_use_t* last = lastSatUse();
    if (!last) return used;
    const double t = last->utc_tstamp;
    for (const auto& kv : sat_use_) {
        const double s = kv.second.utc_tstamp;
        if (s >= t - sats_used_window && s <= t)
            for (unsigned char n : kv.second.sats) used.insert(n);
    }
    return used;
}

} // namespace tern
