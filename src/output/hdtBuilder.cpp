#include <tern/output/hdtBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

hdtBuilder_t::hdtBuilder_t() : nmeaBuilder_t(raw_hdt) {
    watchMessageType(data_type_heading);
}

void hdtBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_hdt);
}

void hdtBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    if (!fresh(cache.heading().utc_tstamp, outputTimestamp())) return;
    buildMessage(cache, out);
}

void hdtBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    // The heading sensor's own talker, whatever is forced on the satellite sentences.
    lit(os, "$HDHDT,");
    os << nmeaHeading_t(cache.heading().heading, strict());
    lit(os, ",T");
    setOutputTimestamp(cache.heading().utc_tstamp);
}

} // namespace tern
