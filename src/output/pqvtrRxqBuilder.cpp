#include <tern/output/pqvtrRxqBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

pqvtrRxqBuilder_t::pqvtrRxqBuilder_t() : nmeaBuilder_t(raw_pternr_rxq) {
    watchMessageType(data_type_rxq);
}

void pqvtrRxqBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_pternr_rxq);
}

void pqvtrRxqBuilder_t::build(const outputDataCache_t& cache,
                              std::vector<cmd_device_write_t*>& out) {
    if (!fresh(cache.rxq().utc_tstamp, outputTimestamp())) return;
    buildMessage(cache, out);
}

void pqvtrRxqBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_rxq_t& q = cache.rxq();
    lit(os, "$PQVTR,RXQ,");
    // Whole seconds, truncated: 59.75 s is second 59, never "60".
    const double t = std::floor(q.utc_tstamp);
    const nmeaTimestamp_t time(t);
    if (time.valid()) {
        uint(os, static_cast<unsigned int>(time.hour()), 2);
        uint(os, static_cast<unsigned int>(time.minute()), 2);
        uint(os, static_cast<unsigned int>(time.centiseconds() / 100), 2);
    }
    put(os, ',');
    put(os, q.flag ? 'Y' : 'N');
    put(os, ',');
    fixed(os, q.value, 2);
    put(os, ',');
    uint(os, q.count1);
    put(os, ',');
    uint(os, q.count2);
    setOutputTimestamp(q.utc_tstamp);
}

} // namespace tern
