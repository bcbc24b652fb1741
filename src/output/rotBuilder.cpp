#include <tern/output/rotBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

rotBuilder_t::rotBuilder_t() : nmeaBuilder_t(raw_rot) {
    watchMessageType(data_type_rot);
}

void rotBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_rot);
}

void rotBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    if (!fresh(cache.rateOfTurn().utc_tstamp, outputTimestamp())) return;
    buildMessage(cache, out);
}

void rotBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    put(os, '$');
    put(os, builder_detail::talker(*this, cache));
    lit(os, "ROT,");
    fixed(os, static_cast<double>(cache.rateOfTurn().rot) * 60.0 * rad2deg, 2);
    lit(os, ",A");
    setOutputTimestamp(cache.rateOfTurn().utc_tstamp);
}

} // namespace tern
