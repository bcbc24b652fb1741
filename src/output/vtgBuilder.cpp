#include <tern/output/vtgBuilder.h>

#include <tern/util/units.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

vtgBuilder_t::vtgBuilder_t() : nmeaBuilder_t(raw_vtg) {
    for (unsigned int t : {data_type_cog, data_type_sog, data_type_fix_mode}) watchMessageType(t);
}

void vtgBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_vtg);
}

void vtgBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    const double t = cache.course().utc_tstamp;
    if (!fresh(t, outputTimestamp())) return;
    if (cache.speed().utc_tstamp != t) return;
    if (nmeaVersion() > nmea_version_2_1 && cache.fixMode().utc_tstamp != t) return;
    buildMessage(cache, out);
}

void vtgBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_cog_t& cog = cache.course();
    const data_sog_t& sog = cache.speed();
    put(os, '$');
    put(os, builder_detail::talker(*this, cache));
    lit(os, "VTG,");
    if (cog.cog_valid) angle(os, cog.cog * rad2deg, 1);
    lit(os, ",T,,M,");
    if (sog.sog_valid) fixed(os, speed_convert(sog.sog, speed_unit_mps, speed_unit_knot), 2);
    lit(os, ",N,");
    if (sog.sog_valid) fixed(os, speed_convert(sog.sog, speed_unit_mps, speed_unit_kph), 2);
    lit(os, ",K");
    if (nmeaVersion() > nmea_version_2_1) {
        put(os, ',');
        builder_detail::modeIndicator(os, cache.fixMode().fix_mode);
    }
    setOutputTimestamp(cog.utc_tstamp);
}

} // namespace tern
