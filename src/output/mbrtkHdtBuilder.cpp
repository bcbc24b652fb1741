#include <tern/output/mbrtkHdtBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

mbrtkHdtBuilder_t::mbrtkHdtBuilder_t() : nmeaBuilder_t(raw_hdt) {
    watchMessageType(data_type_mbrtk_heading);
}

void mbrtkHdtBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    cfg_ = cfg.hehdt_cfg;
    setEnabled(cfg.output_hehdt);
}

void mbrtkHdtBuilder_t::build(const outputDataCache_t& cache,
                              std::vector<cmd_device_write_t*>& out) {
    if (!fresh(cache.mbrtkHeading().utc_tstamp, outputTimestamp())) return;
    buildMessage(cache, out);
}

void mbrtkHdtBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    switch (cfg_.prefix) {
    case hehdt_cfg_t::prefix_gp:
        lit(os, "$GPHDT,");
        break;
    case hehdt_cfg_t::prefix_in:
        lit(os, "$INHDT,");
        break;
    default:
        lit(os, "$HEHDT,");
        break;
    }
    // Degrees already; brought into [0, 360) so that -10.5 reads 349.50.
    angle(os, std::fmod(cache.mbrtkHeading().heading, 360.0f), 2);
    lit(os, ",T");
    setOutputTimestamp(cache.mbrtkHeading().utc_tstamp);
}

} // namespace tern
