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

void gsvBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_sat_track_t* track = cache.lastSatTrack();
    if (!track) return;
    const char* talker = builder_detail::talker(*this, *track);
    if (!*talker) return;
    put(os, '$');
    put(os, talker);
    lit(os, "GSV");
    builder_detail::satPage(os, *track, count_, index_, 4, 1);
}

} // namespace tern
