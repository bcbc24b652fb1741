#include <tern/output/rmcBuilder.h>

#include <tern/util/units.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

rmcBuilder_t::rmcBuilder_t() : nmeaBuilder_t(raw_rmc) {
    for (unsigned int t : {data_type_pos, data_type_cog, data_type_sog, data_type_fix_mode})
        watchMessageType(t);
}

void rmcBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_rmc);
}

void rmcBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    const double t = cache.position().utc_tstamp;
    if (!fresh(t, outputTimestamp())) return;
    if (cache.course().utc_tstamp != t || cache.speed().utc_tstamp != t) return;
    if (nmeaVersion() > nmea_version_2_1 && cache.fixMode().utc_tstamp != t) return;
    buildMessage(cache, out);
}

void rmcBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_pos_t& pos = cache.position();
    const double t = pos.utc_tstamp;
    const nmeaTimestamp_t time(t);
    put(os, '$');
    put(os, builder_detail::talker(*this, cache));
    lit(os, "RMC,");
    os << time;
    put(os, ',');
    put(os, builder_detail::positionStatus(cache, t));
    put(os, ',');
    builder_detail::latLonFields(os, pos, strict());
    put(os, ',');
    if (cache.speed().sog_valid)
        fixed(os, speed_convert(cache.speed().sog, speed_unit_mps, speed_unit_knot), 2);
    put(os, ',');
    if (cache.course().cog_valid) angle(os, cache.course().cog * rad2deg, 1);
    put(os, ',');
    if (time.valid()) {
        // ddmmyy: each part is below 100, so always two digits.
        char* date = os.room(6);
        two_at(date, static_cast<unsigned int>(time.day()));
        two_at(date + 2, static_cast<unsigned int>(time.month()));
        two_at(date + 4, static_cast<unsigned int>(time.year() % 100));
        os.commit(6);
    }
    lit(os, ",,");
    if (nmeaVersion() > nmea_version_2_1) {
        put(os, ',');
        builder_detail::modeIndicator(os, cache.fixMode().fix_mode);
    }
    setOutputTimestamp(t);
}

} // namespace tern
