#include <tern/output/ggaBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

namespace builder_detail {

void modeIndicator(line_t& os, unsigned int fix_mode) {
    switch (fix_mode) {
    case 0:
        put(os, 'N');
        break;
    case 1:
        put(os, 'A');
        break;
    case 2:
    case 3:
    case 4:
    case 5:
        put(os, 'D');
        break;
    case 6:
        put(os, 'E');
        break;
    case 8:
        put(os, 'S');
        break;
    default:
        break;
    }
}

char positionStatus(const outputDataCache_t& cache, double t) {
    const data_pos_t& pos = cache.position();
    // A value that is not a number is written as an empty field: no position either.
    if (!pos.latitude_valid || !pos.longitude_valid || !std::isfinite(pos.latitude) ||
        !std::isfinite(pos.longitude))
        return 'V';
    const data_fix_mode_t& mode = cache.fixMode();
    const double age = t - mode.utc_tstamp; // not a number when either is not
    const bool current = age >= 0.0 && age <= 2.0;
    return current && mode.fix_mode == data_fix_mode_t::fix_mode_invalid ? 'V' : 'A';
}

void latLonFields(line_t& os, const data_pos_t& pos, bool strict) {
    if (pos.latitude_valid)
        os << nmeaLatitude_t(pos.latitude, strict);
    else
        put(os, ',');
    put(os, ',');
    if (pos.longitude_valid)
        os << nmeaLongitude_t(pos.longitude, strict);
    else
        put(os, ',');
}

void satPage(line_t& os, const data_sat_track_t& track, unsigned int count, unsigned int index,
             unsigned int per_page, unsigned int freqs) {
    put(os, ',');
    uint(os, count);
    put(os, ',');
    uint(os, index + 1);
    put(os, ',');
    uint(os, track.sats.size(), 2);
    for (unsigned int k = per_page * index; k < per_page * (index + 1); ++k) {
        if (k >= track.sats.size()) {
            for (unsigned int i = 0; i < 3 + freqs; ++i) put(os, ',');
            continue;
        }
        const data_sat_track_t::sat_t& s = track.sats[k];
        long v = 0;
        put(os, ',');
        uint(os, s.id, 2);
        put(os, ',');
        // Below the horizon by more than half a degree: no elevation rather than a negative one.
        if (round_half(s.el * rad2deg, v) && v >= 0) uint(os, static_cast<unsigned long>(v), 2);
        put(os, ',');
        if (whole_angle(s.az * rad2deg, v)) uint(os, static_cast<unsigned long>(v), 3);
        for (unsigned int f = 0; f < freqs && f < 2; ++f) {
            put(os, ',');
            if (s.freq[f].track && round_half(s.freq[f].snr, v) && v >= 0)
                uint(os, static_cast<unsigned long>(v), 2);
        }
    }
}

void ggaFields(line_t& os, const outputDataCache_t& cache, double t, bool strict, unsigned int q) {
    const data_pos_t& pos = cache.position();
    const data_height_t& h = cache.height();
    const data_h_dop_t& hdop = cache.hdop();
    put(os, ',');
    os << nmeaTimestamp_t(t);
    put(os, ',');
    latLonFields(os, pos, strict);
    put(os, ',');
    uint(os, q);
    put(os, ',');
    uint(os, cache.satCount().num_sats, 2);
    put(os, ',');
    if (hdop.hdop_valid) fixed(os, hdop.hdop, 1);
    put(os, ',');
    if (h.geoidal_height_valid) os << nmeaHeight_t(h.geoidal_height, strict);
    lit(os, ",M,");
    if (h.geoidal_height_valid && h.ellipsoidal_height_valid)
        os << nmeaHeight_t(h.ellipsoidal_height - h.geoidal_height, strict);
    lit(os, ",M");
}

} // namespace builder_detail

ggaBuilder_t::ggaBuilder_t() : nmeaBuilder_t(raw_gga) {
    for (unsigned int t : {data_type_pos, data_type_fix_mode, data_type_h_dop, data_type_height,
                           data_type_sat_count, data_type_diff, data_type_ext_nav_mode})
        watchMessageType(t);
}

void ggaBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    ref_type_ = cfg.gga_ref_type;
    quality_ = cfg.gga_quality;
    setEnabled(cfg.output_gga);
}

void ggaBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    const double t = cache.position().utc_tstamp;
    if (!fresh(t, outputTimestamp())) return;
    if (cache.fixMode().utc_tstamp != t || cache.hdop().utc_tstamp != t ||
        cache.height().utc_tstamp != t || cache.satCount().utc_tstamp != t ||
        cache.diffInfo().utc_tstamp != t)
        return;
    if (ref_type_ == gga_ref_qvt && cache.extendedNavMode().utc_tstamp != t) return;
    buildMessage(cache, out);
}

void ggaBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const double t = cache.position().utc_tstamp;
    unsigned int q = ggaFixMode(cache.fixMode());
    if (quality_ == gga_quality_as_5 &&
        cache.diffDetail().corr_type == data_diff_detail_t::corr_type_precise)
        q = 5;
    put(os, '$');
    put(os, builder_detail::talker(*this, cache));
    lit(os, "GGA");
    builder_detail::ggaFields(os, cache, t, strict(), q);
    put(os, ',');
    if (q > 1) fixed(os, cache.diffInfo().age, 1);
    put(os, ',');
    if (q > 1) {
        unsigned long long station = 0;
        if (ref_type_ == gga_ref_qvt)
            station = static_cast<unsigned long long>(cache.extendedNavMode().beam) * 100 +
                      cache.extendedNavMode().mode;
        else if (ref_type_ == gga_ref_nmea)
            station = cache.diffInfo().ref_id;
        uint(os, station, 4);
    }
    setOutputTimestamp(t);
}

} // namespace tern
