// Text forms of the navigation data messages: one key and value after another, angles in
// degrees, six decimals, whatever locale the program runs in (msg_t::dump sets the stream up).
#include <tern/msg/data_msgs.h>

#include <ostream>

namespace tern {

namespace {

constexpr double pi = 3.14159265358979323846;

double deg(double rad) {
    return rad * (180.0 / pi);
}

int flag(bool b) {
    return b ? 1 : 0;
}

// One-byte integers and enumerations print as numbers, never as characters.
template <class T>
unsigned num(T v) {
    return static_cast<unsigned>(v);
}

// "name_valid F[ name V]": the value only when it is valid.
void optional(std::ostream& os, const char* name, bool valid, double value) {
    os << name << "_valid " << flag(valid);
    if (valid) os << ' ' << name << ' ' << value;
}

} // namespace

void data_msg_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    msg_t::dump(os);
    os << "utc_tstamp " << utc_tstamp << " gps_time_valid " << flag(gps_time_valid);
    if (gps_time_valid) os << " gps_week " << gps_week << " gps_week_sec " << gps_week_sec;
    os << '\n';
}

void data_cog_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "cog_valid " << flag(cog_valid);
    if (cog_valid) os << " cog " << deg(cog);
    os << '\n';
}

void data_diff_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "age_valid " << flag(age_valid);
    if (age_valid) os << " age " << age;
    os << " ref_id " << ref_id << '\n';
}

void data_diff_detail_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "type " << diff_type << " name \"" << name << "\" corr_type " << num(corr_type) << '\n';
}

void data_fix_mode_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "fix_mode " << num(fix_mode) << '\n';
}

void data_fix_type_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "fix_auto " << flag(fix_auto) << " fix_3d " << flag(fix_3d) << " fix_valid "
       << flag(fix_valid) << '\n';
}

void data_fom_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    optional(os, "fom", fom_valid, fom);
    os << '\n';
}

void data_h_dop_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    optional(os, "hdop", hdop_valid, hdop);
    os << '\n';
}

void data_height_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    optional(os, "geoidal_height", geoidal_height_valid, geoidal_height);
    os << '\n';
    optional(os, "ellipsoidal_height", ellipsoidal_height_valid, ellipsoidal_height);
    os << '\n';
}

void data_pos_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    optional(os, "latitude", latitude_valid, deg(latitude));
    os << ' ';
    optional(os, "longitude", longitude_valid, deg(longitude));
    os << '\n';
}

void data_pr_stats_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "combined " << flag(combined) << " constellation " << num(constellation) << '\n';
    optional(os, "range_stddev_rms", range_stddev_rms_valid, range_stddev_rms);
    os << '\n';
    optional(os, "semi_major_stddev", semi_major_stddev_valid, semi_major_stddev);
    os << '\n';
    optional(os, "semi_minor_stddev", semi_minor_stddev_valid, semi_minor_stddev);
    os << '\n';
    optional(os, "orientation", orientation_valid, orientation);
    os << '\n';
    optional(os, "lat_stddev", lat_stddev_valid, lat_stddev);
    os << '\n';
    optional(os, "lon_stddev", lon_stddev_valid, lon_stddev);
    os << '\n';
    optional(os, "altitude_stddev", altitude_stddev_valid, altitude_stddev);
    os << '\n';
}

void data_pv_dop_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    optional(os, "pdop", pdop_valid, pdop);
    os << ' ';
    optional(os, "vdop", vdop_valid, vdop);
    os << '\n';
}

void data_sat_track_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "constellation " << num(constellation) << " sat_count " << sats.size() << '\n';
    for (std::size_t i = 0; i < sats.size(); ++i) {
        const sat_t& s = sats[i];
        os << "sat " << i << " id " << num(s.id) << " az " << deg(s.az) << " el " << deg(s.el)
           << '\n';
        for (unsigned f = 0; f < 2; ++f)
            os << " f " << f << " track " << num(s.freq[f].track) << " snr " << s.freq[f].snr;
        os << '\n';
    }
}

void data_sat_count_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "num_sats " << num(num_sats) << '\n';
}

void data_sat_use_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "combined " << flag(combined) << " constellation " << num(constellation) << " sat_count "
       << sats.size() << '\n';
    if (sats.empty()) return;
    os << "sats";
    for (unsigned char s : sats) os << ' ' << num(s);
    os << '\n';
}

void data_sog_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    optional(os, "sog", sog_valid, sog);
    os << '\n';
}

void data_qc_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "unit_variance " << unit_variance << '\n'
       << "stddev_semimajor_error " << stddev_semimajor_error << '\n'
       << "stddev_semiminor_error " << stddev_semiminor_error << '\n'
       << "orientation_semimajor_error " << orientation_semimajor_error << '\n'
       << "stddev_latitude_error " << stddev_latitude_error << '\n'
       << "stddev_longitude_error " << stddev_longitude_error << '\n'
       << "stddev_height_error " << stddev_height_error << '\n'
       << "qc_fisher_test " << flag(qc_fisher_test) << '\n';
}

void data_qc_mde_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "prn " << num(prn) << '\n'
       << "mde_meas_type " << num(mde_meas_type) << '\n'
       << "non_centrality " << non_centrality << '\n'
       << "mde " << mde << '\n'
       << "pmde_lat " << pmde_lat << '\n'
       << "pmde_long " << pmde_long << '\n'
       << "pmde_altitude " << pmde_altitude << '\n';
}

void data_qc_gbs_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "prn " << num(prn) << '\n'
       << "expected_north_error " << expected_north_error << '\n'
       << "expected_east_error " << expected_east_error << '\n'
       << "expected_up_error " << expected_up_error << '\n'
       << "prob_miss_detect_mlfs " << prob_miss_detect_mlfs << '\n'
       << "estimate_bias " << estimate_bias << '\n'
       << "stddev_estimate_bias " << stddev_estimate_bias << '\n';
}

void data_ext_nav_mode_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "beam " << beam << " mode " << mode << '\n';
}

// Rate of turn in degrees per minute, as helmsmen read it.
void data_rot_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "rot " << deg(rot) * 60.0 << '\n';
}

void data_heading_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "heading " << deg(heading) << '\n';
}

void data_motion_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "status " << num(status) << '\n'
       << "horizontal acceleration " << horizontal_acceleration << '\n'
       << "vertical acceleration " << vertical_acceleration << '\n';
}

void data_wind_speed_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "reference " << num(reference) << " speed " << speed << '\n';
}

void data_wind_direction_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "reference " << num(reference) << " direction " << deg(direction) << '\n';
}

void data_depth_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "depth " << depth << '\n';
}

// Offsets in minutes of arc, as the datum sentence carries them.
void data_datum_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    if (mask & datum_local) os << "localDatum " << num(localDatum) << '\n';
    if (mask & datum_local_subdivision)
        os << "localDatumSubdivision \"" << localDatumSubdivision << "\"\n";
    if (mask & datum_latitude_offset) os << "latitudeOffset " << deg(latitudeOffset) * 60.0 << '\n';
    if (mask & datum_longitude_offset)
        os << "longitudeOffset " << deg(longitudeOffset) * 60.0 << '\n';
    if (mask & datum_altitude_offset) os << "altitudeOffset " << altitudeOffset << '\n';
    if (mask & datum_reference) os << "referenceDatum " << num(referenceDatum) << '\n';
}

void data_sat_health_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "constellation " << num(constellation) << " sat_count " << sats.size() << '\n';
    for (std::size_t i = 0; i < sats.size(); ++i) {
        const sat_t& s = sats[i];
        os << "sat " << i << " id " << s.id << " azim " << deg(s.azim) << " elev " << deg(s.elev)
           << " snr1 " << s.snr1 << " snr2 " << s.snr2 << " snr3 " << s.snr3 << " healthy "
           << flag(s.healthy) << " in_use " << flag(s.in_use) << '\n';
    }
}

void data_vhd_info_t::dump(std::ostream& os) const {
    const dump_format_t format(os);
    data_msg_t::dump(os);
    os << "raw heading " << raw_heading << " attitude " << attitude << " baseline " << baseline
       << " heading rms " << heading_rms << '\n';
}

} // namespace tern
