#include <tern/data/data_cache.h>

#include <tern/msg/data_visit.h>

#include <tern/util/time_util.h>

#include <cmath>

namespace tern {

namespace {

// Written so that a NaN difference (NaN stamp or NaN data time) is stale.
bool fresh_at(double now, double tstamp, double window) {
    return window > (now - tstamp);
}

bool fresh(double tstamp, double window) {
    return fresh_at(gettstamp_data(), tstamp, window);
}

} // namespace

data_cache_t::data_cache_t() {
    reset();
}

void data_cache_t::reset() {
    data_msg_t* const held[] = {&pos_,   &height_,      &sog_,      &cog_,   &hdop_,
                                &pvdop_, &sat_count_,   &fom_,      &roll_,  &pitch_,
                                &heave_, &rot_,         &heading_,  &depth_, &dual_freq_,
                                &diff_,  &diff_detail_, &fix_type_, &qc_,    &motion_};
    for (data_msg_t* m : held) m->utc_tstamp = 0.0;
    for (unsigned int i = 0; i < constellation_slots; ++i) {
        sat_track_[i].utc_tstamp = 0.0;
        sat_health_[i].utc_tstamp = 0.0;
    }
    max_mde_pos_tstamp_ = 0.0;
    raim_reject_tstamp_ = 0.0;
}

void data_cache_t::add(const msg_t& msg) {
    add_data_msg(*this, msg);
}

void data_cache_t::add(const std::list<msg_t*>& msgs) {
    for (const msg_t* m : msgs)
        if (m) add(*m);
}

void data_cache_t::add(const data_msg_t& msg) {
    add_data_msg(*this, msg);
}

void data_cache_t::add(const data_pos_t& msg) {
    pos_ = msg;
}
void data_cache_t::add(const data_height_t& msg) {
    height_ = msg;
}
void data_cache_t::add(const data_sog_t& msg) {
    sog_ = msg;
}
void data_cache_t::add(const data_cog_t& msg) {
    cog_ = msg;
}
void data_cache_t::add(const data_h_dop_t& msg) {
    hdop_ = msg;
}
void data_cache_t::add(const data_pv_dop_t& msg) {
    pvdop_ = msg;
}
void data_cache_t::add(const data_sat_count_t& msg) {
    sat_count_ = msg;
}
void data_cache_t::add(const data_fom_t& msg) {
    fom_ = msg;
}
void data_cache_t::add(const data_roll_t& msg) {
    roll_ = msg;
}
void data_cache_t::add(const data_pitch_t& msg) {
    pitch_ = msg;
}
void data_cache_t::add(const data_heave_t& msg) {
    heave_ = msg;
}
void data_cache_t::add(const data_rot_t& msg) {
    rot_ = msg;
}
void data_cache_t::add(const data_heading_t& msg) {
    heading_ = msg;
}
void data_cache_t::add(const data_depth_t& msg) {
    depth_ = msg;
}
void data_cache_t::add(const data_dual_freq_t& msg) {
    dual_freq_ = msg;
}
void data_cache_t::add(const data_diff_t& msg) {
    diff_ = msg;
}
void data_cache_t::add(const data_diff_detail_t& msg) {
    diff_detail_ = msg;
}
void data_cache_t::add(const data_fix_type_t& msg) {
    fix_type_ = msg;
}
void data_cache_t::add(const data_qc_t& msg) {
    qc_ = msg;
}
void data_cache_t::add(const data_motion_t& msg) {
    motion_ = msg;
}

void data_cache_t::add(const data_sat_track_t& msg) {
    const unsigned int c = msg.constellation;
    if (c < constellation_slots) sat_track_[c] = msg;
}

void data_cache_t::add(const data_sat_health_t& msg) {
    const unsigned int c = msg.constellation;
    if (c < constellation_slots) sat_health_[c] = msg;
}

void data_cache_t::add(const data_qc_mde_t& msg) {
    const double s = msg.utc_tstamp;
    // A record without a finite time belongs to no epoch (an infinite one would shut out every
    // later record).
    if (!std::isfinite(s) || max_mde_pos_tstamp_ > s) return;
    const float m = std::sqrt(msg.pmde_lat * msg.pmde_lat + msg.pmde_long * msg.pmde_long +
                              msg.pmde_altitude * msg.pmde_altitude);
    if (s > max_mde_pos_tstamp_) {
        max_mde_pos_ = m;
        max_mde_pos_tstamp_ = s;
    } else if (m > max_mde_pos_ || std::isnan(max_mde_pos_)) {
        // A NaN from an earlier record of the epoch must not hide the real values after it.
        max_mde_pos_ = m;
    }
}

void data_cache_t::add(const data_qc_gbs_t& msg) {
    const double s = msg.utc_tstamp;
    if (!std::isfinite(s) || raim_reject_tstamp_ > s) return;
    if (s > raim_reject_tstamp_) {
        raim_reject_count_ = 0;
        raim_reject_tstamp_ = s;
    }
    if (!(msg.prob_miss_detect_mlfs > 0.0f)) ++raim_reject_count_;
}

bool data_cache_t::get_latitude(double& v) const {
    if (!fresh(pos_.utc_tstamp, fresh_window) || !pos_.latitude_valid) return false;
    v = pos_.latitude;
    return true;
}

bool data_cache_t::get_longitude(double& v) const {
    if (!fresh(pos_.utc_tstamp, fresh_window) || !pos_.longitude_valid) return false;
    v = pos_.longitude;
    return true;
}

bool data_cache_t::get_ellipsoidal_height(double& v) const {
    if (!fresh(height_.utc_tstamp, fresh_window) || !height_.ellipsoidal_height_valid) return false;
    v = height_.ellipsoidal_height;
    return true;
}

bool data_cache_t::get_geoidal_height(double& v) const {
    if (!fresh(height_.utc_tstamp, fresh_window) || !height_.geoidal_height_valid) return false;
    v = height_.geoidal_height;
    return true;
}

bool data_cache_t::get_speed(float& v) const {
    if (!fresh(sog_.utc_tstamp, fresh_window) || !sog_.sog_valid) return false;
    v = sog_.sog;
    return true;
}

bool data_cache_t::get_course(float& v) const {
    if (!fresh(cog_.utc_tstamp, fresh_window) || !cog_.cog_valid) return false;
    v = cog_.cog;
    return true;
}

bool data_cache_t::get_hdop(float& v) const {
    if (!fresh(hdop_.utc_tstamp, fresh_window) || !hdop_.hdop_valid) return false;
    v = hdop_.hdop;
    return true;
}

bool data_cache_t::get_pdop(float& v) const {
    if (!fresh(pvdop_.utc_tstamp, fresh_window) || !pvdop_.pdop_valid) return false;
    v = pvdop_.pdop;
    return true;
}

bool data_cache_t::get_vdop(float& v) const {
    if (!fresh(pvdop_.utc_tstamp, fresh_window) || !pvdop_.vdop_valid) return false;
    v = pvdop_.vdop;
    return true;
}

bool data_cache_t::get_num_sats_used(unsigned int& v) const {
    if (!fresh(sat_count_.utc_tstamp, fresh_window)) return false;
    v = sat_count_.num_sats;
    return true;
}

bool data_cache_t::get_num_sats_tracked(unsigned int& v) const {
    // One reading of the clock judges all four slots alike.
    const double now = gettstamp_data();
    bool any = false;
    unsigned int sum = 0;
    for (const data_sat_track_t& slot : sat_track_) {
        if (!fresh_at(now, slot.utc_tstamp, sats_tracked_window)) continue;
        any = true;
        sum += static_cast<unsigned int>(slot.sats.size());
    }
    if (any) v = sum;
    return any;
}

bool data_cache_t::get_fom(float& v) const {
    if (!fresh(fom_.utc_tstamp, fresh_window) || !fom_.fom_valid) return false;
    v = fom_.fom;
    return true;
}

bool data_cache_t::get_roll(float& v) const {
    if (!fresh(roll_.utc_tstamp, fresh_window)) return false;
    v = roll_.roll;
    return true;
}

bool data_cache_t::get_pitch(float& v) const {
    if (!fresh(pitch_.utc_tstamp, fresh_window)) return false;
    v = pitch_.pitch;
    return true;
}

bool data_cache_t::get_heave(float& v) const {
    if (!fresh(heave_.utc_tstamp, fresh_window)) return false;
    v = heave_.heave;
    return true;
}

bool data_cache_t::get_rot(float& v) const {
    if (!fresh(rot_.utc_tstamp, fresh_window)) return false;
    v = rot_.rot;
    return true;
}

bool data_cache_t::get_heading(float& v) const {
    if (!fresh(heading_.utc_tstamp, fresh_window)) return false;
    v = heading_.heading;
    return true;
}

bool data_cache_t::get_depth(double& v) const {
    if (!fresh(depth_.utc_tstamp, fresh_window)) return false;
    v = depth_.depth;
    return true;
}

bool data_cache_t::get_dual_freq(bool& v) const {
    if (!fresh(dual_freq_.utc_tstamp, fresh_window)) return false;
    v = dual_freq_.dual_freq;
    return true;
}

bool data_cache_t::get_diff_detail_name(std::string& v) const {
    if (!fresh(diff_detail_.utc_tstamp, fresh_window)) return false;
    v = diff_detail_.name;
    return true;
}

bool data_cache_t::get_diff_age(float& v) const {
    if (!fresh(diff_.utc_tstamp, fresh_window) || !diff_.age_valid) return false;
    v = diff_.age;
    return true;
}

bool data_cache_t::get_max_mde_pos(double& v) const {
    if (!fresh(max_mde_pos_tstamp_, fresh_window)) return false;
    v = max_mde_pos_;
    return true;
}

bool data_cache_t::get_raim_reject_count(unsigned int& v) const {
    if (!fresh(raim_reject_tstamp_, fresh_window)) return false;
    v = raim_reject_count_;
    return true;
}

bool data_cache_t::get_motion_status(tss1Msg_t::status_t& v) const {
    if (!fresh(motion_.utc_tstamp, fresh_window)) return false;
    v = motion_.status;
    return true;
}

bool data_cache_t::get_horiz_accel(double& v) const {
    if (!fresh(motion_.utc_tstamp, fresh_window)) return false;
    v = motion_.horizontal_acceleration;
    return true;
}

bool data_cache_t::get_vert_accel(double& v) const {
    if (!fresh(motion_.utc_tstamp, fresh_window)) return false;
    v = motion_.vertical_acceleration;
    return true;
}

const data_fix_type_t* data_cache_t::fix_type() const {
    return fresh(fix_type_.utc_tstamp, fresh_window) ? &fix_type_ : nullptr;
}

const data_qc_t* data_cache_t::qc_summary() const {
    return fresh(qc_.utc_tstamp, fresh_window) ? &qc_ : nullptr;
}

} // namespace tern
