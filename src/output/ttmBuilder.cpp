#include <tern/output/ttmBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

ttmBuilder_t::ttmBuilder_t() : nmeaBuilder_t(raw_ttm) {
    watchMessageType(data_type_mbrtk_baseline);
}

void ttmBuilder_t::setConfig(const ttm_cfg_t& cfg) {
    if (&cfg == &cfg_) return;
    cfg_.target_num = cfg.target_num;
    cfg_.range_uses_vertical = cfg.range_uses_vertical;
}

void ttmBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setConfig(cfg.ttm_cfg);
    setEnabled(cfg.output_ttm);
}

void ttmBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    if (!fresh(cache.mbrtkBaseline().utc_tstamp, outputTimestamp())) return;
    buildMessage(cache, out);
}

void ttmBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_mbrtk_baseline_t& b = cache.mbrtkBaseline();
    const double n = b.north, e = b.east, u = b.up;
    lit(os, "$GPTTM,");
    uint(os, cfg_.target_num, 2);
    put(os, ',');
    fixed(os, std::sqrt(n * n + e * e + (cfg_.range_uses_vertical ? u * u : 0.0)), 2);
    put(os, ',');
    double bearing = 90.0 - std::atan2(b.north, b.east) * rad2deg;
    if (bearing < 0) bearing += 360.0;
    angle(os, bearing, 2);
    lit(os, ",T,,,,,,,,,,,A");
    setOutputTimestamp(b.utc_tstamp);
}

} // namespace tern
