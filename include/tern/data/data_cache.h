// The latest navigation data of one device, answered under a freshness rule.
#pragma once

#include <tern/decode/tss1Msg.h>
#include <tern/msg/data_msgs.h>

#include <list>
#include <string>

namespace tern {

// Keeps, for one device, the newest navigation data message of each kind it produced and
// answers the current latitude, speed, HDOP and so on while the message that carried the
// value is recent on the data clock (gettstamp_data()).
//
// A value is fresh for a window w when w > (data time - the message's utc_tstamp): a stamp
// in the future counts as fresh, a NaN difference as stale. Every getter uses 2.0 s, except
// get_num_sats_tracked, which uses 5.0 s. Getters write their argument only when they return
// true.
//
// A plain value holder: no threads, no signals, no allocation beyond what the held messages
// own (and their lists keep their capacity from one epoch to the next).
class data_cache_t {
public:
    static constexpr double fresh_window = 2.0;
    static constexpr double sats_tracked_window = 5.0;
    static constexpr unsigned int constellation_slots = 4;

    // Every held message in its default state, everything stale.
    data_cache_t();

    // Makes everything stale: every time stamp (held messages, all track and health slots,
    // the derived protection value and fault count) becomes 0.0. Values are kept.
    void reset();

    // Adds a navigation data message; messages of other categories are ignored.
    void add(const msg_t& msg);
    // Adds every non-null message of the list, in order.
    void add(const std::list<msg_t*>& msgs);
    // Dispatches on the data type; kinds the cache does not hold are ignored, as is a message
    // whose class does not match its type number.
    void add(const data_msg_t& msg);

    // The newest message wins, whatever its time stamp.
    void add(const data_pos_t& msg);
    void add(const data_height_t& msg);
    void add(const data_sog_t& msg);
    void add(const data_cog_t& msg);
    void add(const data_h_dop_t& msg);
    void add(const data_pv_dop_t& msg);
    void add(const data_sat_count_t& msg);
    // Kept per constellation; a constellation number of 4 or more is dropped.
    void add(const data_sat_track_t& msg);
    void add(const data_sat_health_t& msg);
    void add(const data_fom_t& msg);
    void add(const data_roll_t& msg);
    void add(const data_pitch_t& msg);
    void add(const data_heave_t& msg);
    void add(const data_rot_t& msg);
    void add(const data_heading_t& msg);
    void add(const data_depth_t& msg);
    void add(const data_dual_freq_t& msg);
    void add(const data_diff_t& msg);
    void add(const data_diff_detail_t& msg);
    void add(const data_fix_type_t& msg);
    void add(const data_qc_t& msg);
    void add(const data_motion_t& msg);
    // Raises the epoch's largest protection value |(pmde_lat, pmde_long, pmde_altitude)|; a
    // newer epoch restarts it, an older one (or a NaN time stamp) is ignored.
    void add(const data_qc_mde_t& msg);
    // Counts the epoch's fault-detection records whose missed-detection probability is not
    // positive; a newer epoch restarts the count, an older one (or a NaN time stamp) is
    // ignored.
    void add(const data_qc_gbs_t& msg);

    bool get_latitude(double& v) const;
    bool get_longitude(double& v) const;
    bool get_ellipsoidal_height(double& v) const;
    bool get_geoidal_height(double& v) const;
    bool get_speed(float& v) const;  // metres per second
    bool get_course(float& v) const; // radians
    bool get_hdop(float& v) const;
    bool get_pdop(float& v) const;
    bool get_vdop(float& v) const;
    bool get_num_sats_used(unsigned int& v) const;
    // The satellites of the track slots fresh within 5.0 s, summed; false when none is.
    bool get_num_sats_tracked(unsigned int& v) const;
    bool get_fom(float& v) const;
    bool get_roll(float& v) const;
    bool get_pitch(float& v) const;
    bool get_heave(float& v) const;
    bool get_rot(float& v) const;     // radians per second
    bool get_heading(float& v) const; // radians
    bool get_depth(double& v) const;
    bool get_dual_freq(bool& v) const;
    bool get_diff_detail_name(std::string& v) const;
    bool get_diff_age(float& v) const;
    bool get_max_mde_pos(double& v) const;
    bool get_raim_reject_count(unsigned int& v) const;
    bool get_motion_status(tss1Msg_t::status_t& v) const;
    bool get_horiz_accel(double& v) const;
    bool get_vert_accel(double& v) const;

    // The held fix type while fresh, else null. Owned by the cache.
    const data_fix_type_t* fix_type() const;
    // The held quality summary while fresh, else null. Owned by the cache.
    const data_qc_t* qc_summary() const;

private:
    data_pos_t pos_;
    data_height_t height_;
    data_sog_t sog_;
    data_cog_t cog_;
    data_h_dop_t hdop_;
    data_pv_dop_t pvdop_;
    data_sat_count_t sat_count_;
    data_sat_track_t sat_track_[constellation_slots];
    data_sat_health_t sat_health_[constellation_slots];
    data_fom_t fom_;
    data_roll_t roll_;
    data_pitch_t pitch_;
    data_heave_t heave_;
    data_rot_t rot_;
    data_heading_t heading_;
    data_depth_t depth_;
    data_dual_freq_t dual_freq_;
    data_diff_t diff_;
    data_diff_detail_t diff_detail_;
    data_fix_type_t fix_type_;
    data_qc_t qc_;
    data_motion_t motion_;

    double max_mde_pos_ = 0.0;           // metres
    double max_mde_pos_tstamp_ = 0.0;    // epoch of max_mde_pos_
    unsigned int raim_reject_count_ = 0; // records without a positive probability
    double raim_reject_tstamp_ = 0.0;    // epoch of raim_reject_count_
};

} // namespace tern
