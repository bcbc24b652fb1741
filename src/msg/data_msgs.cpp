// Wire forms of the navigation data messages (text forms: data_msgs_dump.cpp).
#include <tern/msg/data_msgs.h>

#include <utility>

namespace tern {

namespace {

// Writes a one-byte count and then the entries; a list longer than 255 sends its first 255,
// so the count always matches what follows.
template <class T, class Write>
void encode_list(msg_encoder_t& enc, const std::vector<T>& list, Write write) {
    const unsigned int n = enc.encodeCount8(list.size());
    for (unsigned int i = 0; i < n; ++i) write(list[i]);
}

// Reads a one-byte count and appends up to that many entries. Reading stops as soon as the
// frame runs out, and an entry cut short is not kept: a count that lies costs nothing.
template <class T, class Read>
void decode_list(msg_decoder_t& dec, std::vector<T>& list, Read read) {
    unsigned char n = 0;
    dec >> n;
    list.reserve(list.size() + n); // one allocation per list, at most 255 entries
    for (unsigned int i = 0; i < n && !dec.is_short(); ++i) {
        T entry{};
        read(entry);
        if (dec.is_short()) break;
        list.push_back(std::move(entry));
    }
}

unsigned char bit(bool set, unsigned int n) {
    return static_cast<unsigned char>(set ? 1u << n : 0u);
}

} // namespace

// ---- header ----

void data_msg_t::encodeContents(msg_encoder_t& enc) const {
    enc << utc_tstamp << gps_time_valid;
    if (gps_time_valid) enc << gps_week << gps_week_sec;
    encodeData(enc);
}

void data_msg_t::decodeContents(msg_decoder_t& dec) {
    dec >> utc_tstamp >> gps_time_valid;
    if (gps_time_valid) dec >> gps_week >> gps_week_sec;
    decodeData(dec);
}

void data_msg_t::encodeData(msg_encoder_t&) const {}

void data_msg_t::decodeData(msg_decoder_t&) {}

void data_pos_target_msg_t::encodeData(msg_encoder_t& enc) const {
    enc << target_id;
    encodeTargetData(enc);
}

void data_pos_target_msg_t::decodeData(msg_decoder_t& dec) {
    dec >> target_id;
    decodeTargetData(dec);
}

void data_pos_target_msg_t::encodeTargetData(msg_encoder_t&) const {}

void data_pos_target_msg_t::decodeTargetData(msg_decoder_t&) {}

// ---- flag and value ----

void data_cog_t::encodeData(msg_encoder_t& enc) const {
    enc << cog_valid;
    if (cog_valid) enc << cog;
}

void data_cog_t::decodeData(msg_decoder_t& dec) {
    dec >> cog_valid;
    if (cog_valid) dec >> cog;
}

void data_fom_t::encodeData(msg_encoder_t& enc) const {
    enc << fom_valid;
    if (fom_valid) enc << fom;
}

void data_fom_t::decodeData(msg_decoder_t& dec) {
    dec >> fom_valid;
    if (fom_valid) dec >> fom;
}

void data_h_dop_t::encodeData(msg_encoder_t& enc) const {
    enc << hdop_valid;
    if (hdop_valid) enc << hdop;
}

void data_h_dop_t::decodeData(msg_decoder_t& dec) {
    dec >> hdop_valid;
    if (hdop_valid) dec >> hdop;
}

void data_sog_t::encodeData(msg_encoder_t& enc) const {
    enc << sog_valid;
    if (sog_valid) enc << sog;
}

void data_sog_t::decodeData(msg_decoder_t& dec) {
    dec >> sog_valid;
    if (sog_valid) dec >> sog;
}

// The age travels whatever its flag says.
void data_diff_t::encodeData(msg_encoder_t& enc) const {
    enc << age_valid << age << ref_id;
}

void data_diff_t::decodeData(msg_decoder_t& dec) {
    dec >> age_valid >> age >> ref_id;
}

// ---- presence masks ----

void data_height_t::encodeData(msg_encoder_t& enc) const {
    enc << static_cast<unsigned char>(bit(geoidal_height_valid, 0) |
                                      bit(ellipsoidal_height_valid, 1));
    if (geoidal_height_valid) enc << geoidal_height;
    if (ellipsoidal_height_valid) enc << ellipsoidal_height;
}

void data_height_t::decodeData(msg_decoder_t& dec) {
    unsigned char m = 0;
    dec >> m;
    if (dec.is_short()) return;
    geoidal_height_valid = (m & 0x01) != 0;
    ellipsoidal_height_valid = (m & 0x02) != 0;
    if (geoidal_height_valid) dec >> geoidal_height;
    if (ellipsoidal_height_valid) dec >> ellipsoidal_height;
}

void data_pos_t::encodeData(msg_encoder_t& enc) const {
    enc << static_cast<unsigned char>(bit(latitude_valid, 0) | bit(longitude_valid, 1));
    if (latitude_valid) enc << latitude;
    if (longitude_valid) enc << longitude;
}

void data_pos_t::decodeData(msg_decoder_t& dec) {
    unsigned char m = 0;
    dec >> m;
    if (dec.is_short()) return;
    latitude_valid = (m & 0x01) != 0;
    longitude_valid = (m & 0x02) != 0;
    if (latitude_valid) dec >> latitude;
    if (longitude_valid) dec >> longitude;
}

void data_pr_stats_t::encodeData(msg_encoder_t& enc) const {
    enc << combined << constellation;
    enc << static_cast<unsigned char>(
        bit(range_stddev_rms_valid, 0) | bit(semi_major_stddev_valid, 1) |
        bit(semi_minor_stddev_valid, 2) | bit(orientation_valid, 3) | bit(lat_stddev_valid, 4) |
        bit(lon_stddev_valid, 5) | bit(altitude_stddev_valid, 6));
    if (range_stddev_rms_valid) enc << range_stddev_rms;
    if (semi_major_stddev_valid) enc << semi_major_stddev;
    if (semi_minor_stddev_valid) enc << semi_minor_stddev;
    if (orientation_valid) enc << orientation;
    if (lat_stddev_valid) enc << lat_stddev;
    if (lon_stddev_valid) enc << lon_stddev;
    if (altitude_stddev_valid) enc << altitude_stddev;
}

void data_pr_stats_t::decodeData(msg_decoder_t& dec) {
    dec >> combined >> constellation;
    unsigned char m = 0;
    dec >> m;
    if (dec.is_short()) return;
    range_stddev_rms_valid = (m & 0x01) != 0;
    semi_major_stddev_valid = (m & 0x02) != 0;
    semi_minor_stddev_valid = (m & 0x04) != 0;
    orientation_valid = (m & 0x08) != 0;
    lat_stddev_valid = (m & 0x10) != 0;
    lon_stddev_valid = (m & 0x20) != 0;
    altitude_stddev_valid = (m & 0x40) != 0;
    if (range_stddev_rms_valid) dec >> range_stddev_rms;
    if (semi_major_stddev_valid) dec >> semi_major_stddev;
    if (semi_minor_stddev_valid) dec >> semi_minor_stddev;
    if (orientation_valid) dec >> orientation;
    if (lat_stddev_valid) dec >> lat_stddev;
    if (lon_stddev_valid) dec >> lon_stddev;
    if (altitude_stddev_valid) dec >> altitude_stddev;
}

void data_pv_dop_t::encodeData(msg_encoder_t& enc) const {
    enc << static_cast<unsigned char>(bit(pdop_valid, 0) | bit(vdop_valid, 1));
    if (pdop_valid) enc << pdop;
    if (vdop_valid) enc << vdop;
}

void data_pv_dop_t::decodeData(msg_decoder_t& dec) {
    unsigned char m = 0;
    dec >> m;
    if (dec.is_short()) return;
    pdop_valid = (m & 0x01) != 0;
    vdop_valid = (m & 0x02) != 0;
    if (pdop_valid) dec >> pdop;
    if (vdop_valid) dec >> vdop;
}

// Bits that no value stands for are neither sent nor kept.
void data_datum_t::encodeData(msg_encoder_t& enc) const {
    const unsigned char m = mask & datum_all;
    enc << m;
    if (m & datum_local) enc << localDatum;
    if (m & datum_local_subdivision) enc << localDatumSubdivision;
    if (m & datum_latitude_offset) enc << latitudeOffset;
    if (m & datum_longitude_offset) enc << longitudeOffset;
    if (m & datum_altitude_offset) enc << altitudeOffset;
    if (m & datum_reference) enc << referenceDatum;
}

void data_datum_t::decodeData(msg_decoder_t& dec) {
    unsigned char m = 0;
    dec >> m;
    if (dec.is_short()) return;
    mask = m & datum_all;
    if (mask & datum_local) dec >> localDatum;
    if (mask & datum_local_subdivision) dec >> localDatumSubdivision;
    if (mask & datum_latitude_offset) dec >> latitudeOffset;
    if (mask & datum_longitude_offset) dec >> longitudeOffset;
    if (mask & datum_altitude_offset) dec >> altitudeOffset;
    if (mask & datum_reference) dec >> referenceDatum;
}

// ---- packed flags ----

void data_fix_type_t::encodeData(msg_encoder_t& enc) const {
    enc << static_cast<unsigned char>(bit(fix_valid, 0) | bit(fix_3d, 1) | bit(fix_auto, 2));
}

void data_fix_type_t::decodeData(msg_decoder_t& dec) {
    unsigned char m = 0;
    dec >> m;
    if (dec.is_short()) return;
    fix_valid = (m & 0x01) != 0;
    fix_3d = (m & 0x02) != 0;
    fix_auto = (m & 0x04) != 0;
}

// ---- counted lists ----

void data_sat_track_t::encodeData(msg_encoder_t& enc) const {
    enc << constellation;
    encode_list(enc, sats, [&enc](const sat_t& s) {
        enc << s.id << s.az << s.el;
        for (const freq_t& f : s.freq) enc << f.track << f.snr;
    });
}

void data_sat_track_t::decodeData(msg_decoder_t& dec) {
    dec >> constellation;
    decode_list(dec, sats, [&dec](sat_t& s) {
        dec >> s.id >> s.az >> s.el;
        for (freq_t& f : s.freq) {
            unsigned char track = 0;
            dec >> track >> f.snr;
            f.track = track & 0x01;
        }
    });
}

void data_sat_use_t::encodeData(msg_encoder_t& enc) const {
    enc << combined << constellation;
    encode_list(enc, sats, [&enc](unsigned char s) { enc << s; });
}

// The list is replaced, not extended: it says which satellites are used now.
void data_sat_use_t::decodeData(msg_decoder_t& dec) {
    sats.clear();
    dec >> combined >> constellation;
    decode_list(dec, sats, [&dec](unsigned char& s) { dec >> s; });
}

void data_csv_ea_t::encodeData(msg_encoder_t& enc) const {
    encode_list(enc, sats, [&enc](const sat_t& s) {
        enc.encodeString(s.name, name_maxlen);
        enc << s.azimuth << s.elevation << s.id;
    });
}

void data_csv_ea_t::decodeData(msg_decoder_t& dec) {
    decode_list(dec, sats, [&dec](sat_t& s) {
        dec.decodeString(s.name, name_maxlen);
        dec >> s.azimuth >> s.elevation >> s.id;
    });
}

void data_csv_snr_t::encodeData(msg_encoder_t& enc) const {
    encode_list(enc, sats, [&enc](const sat_t& s) {
        enc.encodeString(s.name, name_maxlen);
        enc << s.snr << s.id;
    });
}

void data_csv_snr_t::decodeData(msg_decoder_t& dec) {
    decode_list(dec, sats, [&dec](sat_t& s) {
        dec.decodeString(s.name, name_maxlen);
        dec >> s.snr >> s.id;
    });
}

void data_sat_health_t::encodeData(msg_encoder_t& enc) const {
    enc << constellation;
    encode_list(enc, sats, [&enc](const sat_t& s) {
        enc << s.id << s.azim << s.elev << s.snr1 << s.snr2 << s.snr3 << s.healthy << s.in_use;
    });
}

void data_sat_health_t::decodeData(msg_decoder_t& dec) {
    dec >> constellation;
    decode_list(dec, sats, [&dec](sat_t& s) {
        dec >> s.id >> s.azim >> s.elev >> s.snr1 >> s.snr2 >> s.snr3 >> s.healthy >> s.in_use;
    });
}

// The count field says what the frame carried; what is sent as the count is always the
// number of entries that follow, whatever the field holds.
void data_raw_meas_t::encodeData(msg_encoder_t& enc) const {
    encode_list(enc, meas, [&enc](const meas_t& m) {
        enc << m.id;
        for (double v : m.value) enc << v;
    });
}

void data_raw_meas_t::decodeData(msg_decoder_t& dec) {
    meas.clear();
    decode_list(dec, meas, [&dec](meas_t& m) {
        dec >> m.id;
        for (double& v : m.value) dec >> v;
    });
    count = static_cast<unsigned char>(meas.size());
}

// ---- plain fields ----

void data_diff_detail_t::encodeData(msg_encoder_t& enc) const {
    enc << diff_type;
    enc.encodeString(name, name_maxlen);
    enc << corr_type;
}

void data_diff_detail_t::decodeData(msg_decoder_t& dec) {
    dec >> diff_type;
    dec.decodeString(name, name_maxlen);
    dec >> corr_type;
}

void data_fix_mode_t::encodeData(msg_encoder_t& enc) const {
    enc << fix_mode;
}

void data_fix_mode_t::decodeData(msg_decoder_t& dec) {
    dec >> fix_mode;
}

// The leap-second parameters stay in the process.
void data_gps2utc_t::encodeData(msg_encoder_t&) const {}

void data_gps2utc_t::decodeData(msg_decoder_t&) {}

void data_sat_count_t::encodeData(msg_encoder_t& enc) const {
    enc << num_sats;
}

void data_sat_count_t::decodeData(msg_decoder_t& dec) {
    dec >> num_sats;
}

void data_dual_freq_t::encodeData(msg_encoder_t& enc) const {
    enc << dual_freq;
}

void data_dual_freq_t::decodeData(msg_decoder_t& dec) {
    dec >> dual_freq;
}

void data_rxq_t::encodeData(msg_encoder_t& enc) const {
    enc << flag << value << count1 << count2;
}

void data_rxq_t::decodeData(msg_decoder_t& dec) {
    dec >> flag >> value >> count1 >> count2;
}

void data_ionosphere_t::encodeData(msg_encoder_t& enc) const {
    for (float v : alpha) enc << v;
    for (float v : beta) enc << v;
}

void data_ionosphere_t::decodeData(msg_decoder_t& dec) {
    for (float& v : alpha) dec >> v;
    for (float& v : beta) dec >> v;
}

void data_ephemeris_t::encodeData(msg_encoder_t& enc) const {
    enc << prn << health << week;
    for (double v : params) enc << v;
}

void data_ephemeris_t::decodeData(msg_decoder_t& dec) {
    dec >> prn >> health >> week;
    for (double& v : params) dec >> v;
}

void data_mbrtk_heading_t::encodeData(msg_encoder_t& enc) const {
    enc << heading;
}

void data_mbrtk_heading_t::decodeData(msg_decoder_t& dec) {
    dec >> heading;
}

void data_mbrtk_baseline_t::encodeData(msg_encoder_t& enc) const {
    enc << north << east << up;
}

void data_mbrtk_baseline_t::decodeData(msg_decoder_t& dec) {
    dec >> north >> east >> up;
}

void data_qc_t::encodeData(msg_encoder_t& enc) const {
    enc << unit_variance << stddev_semimajor_error << stddev_semiminor_error
        << orientation_semimajor_error << stddev_latitude_error << stddev_longitude_error
        << stddev_height_error << qc_fisher_test;
}

void data_qc_t::decodeData(msg_decoder_t& dec) {
    dec >> unit_variance >> stddev_semimajor_error >> stddev_semiminor_error >>
        orientation_semimajor_error >> stddev_latitude_error >> stddev_longitude_error >>
        stddev_height_error >> qc_fisher_test;
}

void data_qc_mde_t::encodeData(msg_encoder_t& enc) const {
    enc << prn << mde_meas_type << non_centrality << mde << pmde_lat << pmde_long << pmde_altitude;
}

void data_qc_mde_t::decodeData(msg_decoder_t& dec) {
    dec >> prn >> mde_meas_type >> non_centrality >> mde >> pmde_lat >> pmde_long >> pmde_altitude;
}

void data_qc_gbs_t::encodeData(msg_encoder_t& enc) const {
    enc << prn << expected_north_error << expected_east_error << expected_up_error
        << prob_miss_detect_mlfs << estimate_bias << stddev_estimate_bias;
}

void data_qc_gbs_t::decodeData(msg_decoder_t& dec) {
    dec >> prn >> expected_north_error >> expected_east_error >> expected_up_error >>
        prob_miss_detect_mlfs >> estimate_bias >> stddev_estimate_bias;
}

void data_ext_nav_mode_t::encodeData(msg_encoder_t& enc) const {
    enc << beam << mode;
}

void data_ext_nav_mode_t::decodeData(msg_decoder_t& dec) {
    dec >> beam >> mode;
}

void data_roll_t::encodeData(msg_encoder_t& enc) const {
    enc << roll;
}

void data_roll_t::decodeData(msg_decoder_t& dec) {
    dec >> roll;
}

void data_pitch_t::encodeData(msg_encoder_t& enc) const {
    enc << pitch;
}

void data_pitch_t::decodeData(msg_decoder_t& dec) {
    dec >> pitch;
}

void data_heave_t::encodeData(msg_encoder_t& enc) const {
    enc << heave;
}

void data_heave_t::decodeData(msg_decoder_t& dec) {
    dec >> heave;
}

void data_rot_t::encodeData(msg_encoder_t& enc) const {
    enc << rot;
}

void data_rot_t::decodeData(msg_decoder_t& dec) {
    dec >> rot;
}

void data_heading_t::encodeData(msg_encoder_t& enc) const {
    enc << heading;
}

void data_heading_t::decodeData(msg_decoder_t& dec) {
    dec >> heading;
}

void data_motion_t::encodeData(msg_encoder_t& enc) const {
    enc << status << horizontal_acceleration << vertical_acceleration;
}

void data_motion_t::decodeData(msg_decoder_t& dec) {
    dec >> status >> horizontal_acceleration >> vertical_acceleration;
}

void data_wind_speed_t::encodeData(msg_encoder_t& enc) const {
    enc << reference << speed;
}

void data_wind_speed_t::decodeData(msg_decoder_t& dec) {
    dec >> reference >> speed;
}

void data_wind_direction_t::encodeData(msg_encoder_t& enc) const {
    enc << reference << direction;
}

void data_wind_direction_t::decodeData(msg_decoder_t& dec) {
    dec >> reference >> direction;
}

void data_depth_t::encodeData(msg_encoder_t& enc) const {
    enc << depth;
}

void data_depth_t::decodeData(msg_decoder_t& dec) {
    dec >> depth;
}

void data_vhd_info_t::encodeData(msg_encoder_t& enc) const {
    enc << raw_heading << attitude << baseline << heading_rms;
}

void data_vhd_info_t::decodeData(msg_decoder_t& dec) {
    dec >> raw_heading >> attitude >> baseline >> heading_rms;
}

// ---- target messages ----

void data_range_bearing_t::encodeTargetData(msg_encoder_t& enc) const {
    enc << range << bearing;
}

void data_range_bearing_t::decodeTargetData(msg_decoder_t& dec) {
    dec >> range >> bearing;
}

void data_pos_offset_vessel_t::encodeTargetData(msg_encoder_t& enc) const {
    enc << x << y;
}

void data_pos_offset_vessel_t::decodeTargetData(msg_decoder_t& dec) {
    dec >> x >> y;
}

void data_pos_offset_cardinal_t::encodeTargetData(msg_encoder_t& enc) const {
    enc << north << east;
}

void data_pos_offset_cardinal_t::decodeTargetData(msg_decoder_t& dec) {
    dec >> north >> east;
}

void data_pos_target_accuracy_t::encodeTargetData(msg_encoder_t& enc) const {
    enc << accuracy;
}

void data_pos_target_accuracy_t::decodeTargetData(msg_decoder_t& dec) {
    dec >> accuracy;
}

void data_pos_target_depth_t::encodeTargetData(msg_encoder_t& enc) const {
    enc << depth;
}

void data_pos_target_depth_t::decodeTargetData(msg_decoder_t& dec) {
    dec >> depth;
}

void data_pos_target_status_t::encodeTargetData(msg_encoder_t& enc) const {
    enc << status;
}

void data_pos_target_status_t::decodeTargetData(msg_decoder_t& dec) {
    dec >> status;
}

// ---- raw device bytes ----

data_device_raw_t::data_device_raw_t(rawMsgType_t kind, const void* data, unsigned int length)
    : data_msg_t(data_type_device_raw), raw_type_(kind), buf_(new refd_buf_t(data, length)) {}

data_device_raw_t::data_device_raw_t(const data_device_raw_t& other)
    : data_msg_t(other), raw_type_(other.raw_type_), buf_(other.buf_) {
    if (buf_) buf_->ref();
}

// The new reference is taken before the old one is dropped, so assigning a message that
// shares this buffer (or the message itself) never frees it under our feet.
data_device_raw_t& data_device_raw_t::operator=(const data_device_raw_t& other) {
    if (other.buf_) other.buf_->ref();
    refd_buf_t* old = buf_;
    data_msg_t::operator=(other);
    raw_type_ = other.raw_type_;
    buf_ = other.buf_;
    refd_buf_t::release(old);
    return *this;
}

data_device_raw_t::~data_device_raw_t() {
    refd_buf_t::release(buf_);
}

} // namespace tern
