#include <tern/output/tss1Builder.h>

#include <tern/decode/tss1Msg.h>

#include "output/builder_priv.h"

namespace tern {

using builder_detail::fresh;

tss1Builder_t::tss1Builder_t() : messageBuilder_t(raw_tss1) {
    for (unsigned int t : {data_type_roll, data_type_pitch, data_type_heave, data_type_motion})
        watchMessageType(t);
}

void tss1Builder_t::setConfig(const output_cfg_t& cfg) {
    setEnabled(cfg.output_tss1);
}

void tss1Builder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    const double t = cache.roll().utc_tstamp;
    if (!fresh(t, outputTimestamp())) return;
    if (cache.pitch().utc_tstamp != t || cache.heave().utc_tstamp != t ||
        cache.motion().utc_tstamp != t)
        return;
    buildMessage(cache, out);
}

void tss1Builder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    nmea_write::line_t os(stream);
    tss1MsgBuilder_t rec;
    rec.setRoll(cache.roll().roll);
    rec.setPitch(cache.pitch().pitch);
    rec.setHeave(cache.heave().heave);
    rec.setStatus(cache.motion().status);
    rec.setHorizontalAcceleration(cache.motion().horizontal_acceleration);
    rec.setVerticalAcceleration(cache.motion().vertical_acceleration);
    char record[tss1MsgBuilder_t::record_size];
    nmea_write::put(os, record, rec.build(record));
    setOutputTimestamp(cache.roll().utc_tstamp);
}

} // namespace tern
