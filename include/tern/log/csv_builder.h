// One CSV line per second from the latest navigation data.
//
// Header line (selected columns in field order, see csv_fields.h):
//
//   H Unix Seconds,UTC Time,Latitude,Longitude,...,Heave<CR><LF>
//
// Data line: the epoch's time stamp, its UTC date and time, then one column per selected
// field, each followed by a comma (so a line has one column more than the header):
//
//   1700000000.250,11/14/2023 22:13:20,59.95000000,5.10000000,41.3000,...,0.12,<CR><LF>
//
// Angles are written in degrees; a field older than 1.1 s against the epoch (or never set)
// leaves its column empty. Numbers are fixed-point in the classic locale.
#pragma once

#include <tern/log/csv_fields.h>

#include <iosfwd>
#include <list>
#include <string>

namespace tern {

class msg_t;

// The latest value of every CSV field with the data time it arrived at.
class csv_builder_t {
public:
    csv_builder_t();

    // The epoch time stamp and every field become invalid.
    void clear();

    const csv_output_cfg_t& output_cfg() const { return cfg_; }
    void set_output_cfg(const csv_output_cfg_t& cfg) { cfg_ = cfg; }

    void set_msg_tstamp(double t);
    double msg_tstamp() const { return msg_tstamp_; }
    bool msg_tstamp_valid() const { return msg_tstamp_valid_; }
    void clear_msg_tstamp() { msg_tstamp_valid_ = false; }

    // Each setter stores the value, marks its field valid and remembers t.
    void set_latitude(double v, double t);  // radians
    void set_longitude(double v, double t); // radians
    void set_height(double v, double t);
    void set_speed(double v, double t);
    void set_course(double v, double t); // radians
    void set_sats_used(unsigned int v, double t);
    void set_sats_tracked(unsigned int v, double t);
    void set_hdop(double v, double t);
    void set_vdop(double v, double t);
    void set_pdop(double v, double t);
    void set_nav_3d(bool v, double t);
    void set_dual_freq(bool v, double t);
    void set_fom(double v, double t);
    void set_corr_mode(unsigned int v, double t);
    void set_corr_age(double v, double t);
    void set_corr_snr(double v, double t);
    void set_corr_net(unsigned int v, double t);
    void set_qaqc_ftest(bool v, double t);
    void set_qaqc_unit_var(double v, double t);
    void set_qaqc_semi_major(double v, double t);
    void set_qaqc_semi_minor(double v, double t);
    void set_mbrtk_heading(double v, double t); // written as given
    void set_heading(double v, double t);       // radians
    void set_pitch(double v, double t);         // radians
    void set_roll(double v, double t);          // radians
    void set_heave(double v, double t);

    // Counts the RAIM rejections of the epoch t: each event with `passed` false adds one; a new
    // epoch restarts the count.
    void add_raim_event(bool passed, double t);
    // Keeps the largest positional MDE of the epoch t; a new epoch restarts it.
    void add_pos_mde(double v, double t);

    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    double height() const { return height_; }
    double speed() const { return speed_; }
    double course() const { return course_; }
    unsigned int sats_used() const { return sats_used_; }
    unsigned int sats_tracked() const { return sats_tracked_; }
    double hdop() const { return hdop_; }
    double vdop() const { return vdop_; }
    double pdop() const { return pdop_; }
    bool nav_3d() const { return nav_3d_; }
    bool dual_freq() const { return dual_freq_; }
    double fom() const { return fom_; }
    unsigned int corr_mode() const { return corr_mode_; }
    double corr_age() const { return corr_age_; }
    double corr_snr() const { return corr_snr_; }
    unsigned int corr_net() const { return corr_net_; }
    bool qaqc_ftest() const { return ftest_; }
    double qaqc_unit_var() const { return unit_var_; }
    double qaqc_semi_major() const { return semi_major_; }
    double qaqc_semi_minor() const { return semi_minor_; }
    unsigned int raim_rejects() const { return raim_rejects_; }
    double max_pos_mde() const { return max_pos_mde_; }
    double mbrtk_heading() const { return mbrtk_heading_; }
    double heading() const { return heading_; }
    double pitch() const { return pitch_; }
    double roll() const { return roll_; }
    double heave() const { return heave_; }

    bool field_valid(unsigned int i) const;
    void set_field_valid(unsigned int i);
    void clear_field_valid(unsigned int i);
    // The data time field i was last set at; 0 above 27.
    double field_tstamp(unsigned int i) const;

    // Every valid field more than its maximum age (1.1 s) older than the epoch becomes invalid,
    // compared in whole microseconds: a value set exactly 1.1 s before stays.
    void age_fields();

    // The header line of the selected columns, with its line end.
    std::string file_header() const;
    // Writes one data line (with its line end) to `os`, without touching os's own state.
    void write_line(std::ostream& os) const;
    // Appends one data line to `out` without allocating once `out` has room for it.
    void append_line(std::string& out) const;

private:
    void mark(unsigned int i, double t);

    csv_output_cfg_t cfg_;
    bool msg_tstamp_valid_ = false;
    unsigned int valid_ = 0;
    double tstamps_[csv_field_count] = {};
    double max_age_[csv_field_count] = {};
    double msg_tstamp_ = 0.0;

    double latitude_ = 0.0, longitude_ = 0.0, height_ = 0.0, speed_ = 0.0, course_ = 0.0,
           heading_ = 0.0;
    unsigned int sats_used_ = 0, sats_tracked_ = 0;
    double hdop_ = 0.0, vdop_ = 0.0, pdop_ = 0.0;
    bool nav_3d_ = false, dual_freq_ = false;
    double fom_ = 0.0;
    unsigned int corr_mode_ = 0;
    double corr_age_ = 0.0, corr_snr_ = 0.0;
    unsigned int corr_net_ = 0;
    bool ftest_ = false;
    double unit_var_ = 0.0, semi_major_ = 0.0, semi_minor_ = 0.0;
    unsigned int raim_rejects_ = 0;
    double max_pos_mde_ = 0.0, mbrtk_heading_ = 0.0, pitch_ = 0.0, roll_ = 0.0, heave_ = 0.0;
};

// One data line.
std::ostream& operator<<(std::ostream& os, const csv_builder_t& b);

// Copy values out of a batch of messages; anything but navigation data is skipped, and each
// value takes the message's own data time.
void update_gga_fields(csv_builder_t& b, const std::list<msg_t*>& msgs);
void update_vtg_fields(csv_builder_t& b, const std::list<msg_t*>& msgs);
void update_fom(csv_builder_t& b, const std::list<msg_t*>& msgs);
void update_heading(csv_builder_t& b, const std::list<msg_t*>& msgs);
void update_attitude(csv_builder_t& b, const std::list<msg_t*>& msgs);
void update_qc_summary(csv_builder_t& b, const std::list<msg_t*>& msgs);
void update_qc_mde(csv_builder_t& b, const std::list<msg_t*>& msgs);
void update_qc_gbs(csv_builder_t& b, const std::list<msg_t*>& msgs);
// All of the above, for one message.
void update_csv_fields(csv_builder_t& b, const msg_t& msg);

} // namespace tern
