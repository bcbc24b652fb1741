#include <tern/output/thsBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

thsBuilder_t::thsBuilder_t() : nmeaBuilder_t(raw_ths) {
    watchMessageType(data_type_heading);
}

void thsBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_ths);
}

void thsBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    if (!fresh(cache.heading().utc_tstamp, outputTimestamp())) return;
    buildMessage(cache, out);
}

void thsBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    put(os, '$');
    put(os, builder_detail::talker(*this, cache));
    lit(os, "THS,");
    os << nmeaHeading_t(cache.heading().heading, false);
    lit(os, ",A");
    setOutputTimestamp(cache.heading().utc_tstamp);
}

} // namespace tern
