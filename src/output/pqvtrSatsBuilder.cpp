#include <tern/output/pqvtrSatsBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;

pqvtrSatsBuilder_t::pqvtrSatsBuilder_t() : nmeaBuilder_t(raw_pternr_sats) {
    watchMessageType(data_type_sat_track);
}

void pqvtrSatsBuilder_t::resetState() {
    nmeaBuilder_t::resetState();
    last_ = constellation_none;
}

void pqvtrSatsBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_pternr_sats);
}

void pqvtrSatsBuilder_t::build(const outputDataCache_t& cache,
                               std::vector<cmd_device_write_t*>& out) {
    const data_sat_track_t* track = cache.lastSatTrack();
    if (!track) return;
    const double t = track->utc_tstamp;
    if (!std::isfinite(t)) return;
    if (t == outputTimestamp() && track->constellation == last_) return;
    count_ = static_cast<unsigned int>((track->sats.size() + 2) / 3);
    if (count_ == 0) return;
    for (index_ = 0; index_ < count_; ++index_) buildMessage(cache, out);
    setOutputTimestamp(t);
    last_ = track->constellation;
}

void pqvtrSatsBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_sat_track_t* track = cache.lastSatTrack();
    if (!track) return;
    lit(os, "$PQVTR,SATS");
    builder_detail::satPage(os, *track, count_, index_, 3, 2);
}

} // namespace tern
