#include <tern/output/gsvBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;

gsvBuilder_t::gsvBuilder_t() : nmeaBuilder_t(raw_gsv) {
    watchMessageType(data_type_sat_track);
}

void gsvBuilder_t::resetState() {
    nmeaBuilder_t::resetState();
    last_ = constellation_none;
}

void gsvBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_gsv);
}

void gsvBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    const data_sat_track_t* track = cache.lastSatTrack();
    if (!track) return;
    const double t = track->utc_tstamp;
    if (!std::isfinite(t)) return;
    if (t == outputTimestamp() && track->constellation == last_) return;
    count_ = static_cast<unsigned int>((track->sats.size() + 3) / 4);
    if (count_ == 0) return;
    for (index_ = 0; index_ < count_; ++index_) buildMessage(cache, out);
    setOutputTimestamp(t);
    last_ = track->constellation;
}

void gsvBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& os) {
    const data_sat_track_t* track = cache.lastSatTrack();
    if (!track) return;
    const std::string talker = talkerString(*track);
    if (talker.empty()) return;
    put(os, '$');
    put(os, talker);
    lit(os, "GSV,");
    uint(os, count_);
    put(os, ',');
    uint(os, index_ + 1);
    put(os, ',');
    uint(os, track->sats.size(), 2);
    for (unsigned int k = 4 * index_; k < 4 * index_ + 4; ++k) {
        if (k >= track->sats.size()) {
            lit(os, ",,,,");
            continue;
        }
        const data_sat_track_t::sat_t& s = track->sats[k];
        long v = 0;
        put(os, ',');
        uint(os, s.id, 2);
        put(os, ',');
        // Below the horizon by more than half a degree: no elevation rather than a negative one.
        if (round_half(s.el * rad2deg, v) && v >= 0) uint(os, static_cast<unsigned long>(v), 2);
        put(os, ',');
        if (whole_angle(s.az * rad2deg, v)) uint(os, static_cast<unsigned long>(v), 3);
        put(os, ',');
        if (s.freq[0].track && round_half(s.freq[0].snr, v) && v >= 0)
            uint(os, static_cast<unsigned long>(v), 2);
    }
}

} // namespace tern
