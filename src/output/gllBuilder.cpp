#include <tern/output/gllBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

gllBuilder_t::gllBuilder_t() : nmeaBuilder_t(raw_gll) {
    watchMessageType(data_type_pos);
    watchMessageType(data_type_fix_mode);
}

void gllBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_gll);
}

void gllBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    const double t = cache.position().utc_tstamp;
    if (!fresh(t, outputTimestamp())) return;
    if (nmeaVersion() > nmea_version_2_1 && cache.fixMode().utc_tstamp != t) return;
    buildMessage(cache, out);
}

void gllBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_pos_t& pos = cache.position();
    put(os, '$');
    put(os, builder_detail::talker(*this, cache));
    lit(os, "GLL,");
    builder_detail::latLonFields(os, pos, strict());
    put(os, ',');
    os << nmeaTimestamp_t(pos.utc_tstamp);
    put(os, ',');
    put(os, builder_detail::positionStatus(cache, pos.utc_tstamp));
    if (nmeaVersion() > nmea_version_2_1) {
        put(os, ',');
        // GLL knows no estimated or simulated mode.
        const unsigned int m = cache.fixMode().fix_mode;
        if (m <= 5) builder_detail::modeIndicator(os, m);
    }
    setOutputTimestamp(pos.utc_tstamp);
}

} // namespace tern
