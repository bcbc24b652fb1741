#include <tern/output/zdaBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

zdaBuilder_t::zdaBuilder_t() : nmeaBuilder_t(raw_zda) {
    watchAllMessageTypes();
    unwatchMessageType(data_type_rxq);
}

void zdaBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_zda);
}

void zdaBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    if (!fresh(cache.lastTimestamp(), outputTimestamp())) return;
    buildMessage(cache, out);
}

void zdaBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const double t = cache.lastTimestamp();
    const nmeaTimestamp_t time(t);
    put(os, '$');
    put(os, builder_detail::talker(*this, cache));
    lit(os, "ZDA,");
    os << time;
    put(os, ',');
    if (time.valid()) uint(os, static_cast<unsigned int>(time.day()), 2);
    put(os, ',');
    if (time.valid()) uint(os, static_cast<unsigned int>(time.month()), 2);
    put(os, ',');
    if (time.valid()) uint(os, static_cast<unsigned int>(time.year()), 4);
    lit(os, ",00,00");
    setOutputTimestamp(t);
}

} // namespace tern
