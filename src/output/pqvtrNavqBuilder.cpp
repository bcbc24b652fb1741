#include <tern/output/pqvtrNavqBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

pqvtrNavqBuilder_t::pqvtrNavqBuilder_t() : nmeaBuilder_t(raw_pternr_navq) {
    for (unsigned int t : {data_type_diff_detail, data_type_fix_type, data_type_dual_freq})
        watchMessageType(t);
}

void pqvtrNavqBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_pternr_navq);
}

void pqvtrNavqBuilder_t::build(const outputDataCache_t& cache,
                               std::vector<cmd_device_write_t*>& out) {
    const double t = cache.diffDetail().utc_tstamp;
    if (!fresh(t, outputTimestamp())) return;
    if (cache.fixType().utc_tstamp != t || cache.dualFreq().utc_tstamp != t) return;
    buildMessage(cache, out);
}

void pqvtrNavqBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const double t = cache.diffDetail().utc_tstamp;
    const data_fix_type_t& fix = cache.fixType();
    lit(os, "$PQVTR,NAVQ,");
    os << nmeaTimestamp_t(t);
    if (fix.fix_valid) {
        lit(os, fix.fix_3d ? ",3D," : ",2D,");
        text(os, cache.diffDetail().name);
        if (cache.dualFreq().dual_freq)
            lit(os, ",DUAL");
        else
            lit(os, ",C/A");
    } else {
        lit(os, ",NN");
    }
    setOutputTimestamp(t);
}

} // namespace tern
