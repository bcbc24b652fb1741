#include <tern/output/gsaBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;

gsaBuilder_t::gsaBuilder_t() : nmeaBuilder_t(raw_gsa) {
    for (unsigned int t :
         {data_type_sat_use, data_type_h_dop, data_type_pv_dop, data_type_fix_type})
        watchMessageType(t);
}

void gsaBuilder_t::resetState() {
    nmeaBuilder_t::resetState();
    last_ = constellation_none;
    for (double& s : sent_) s = never;
}

void gsaBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_gsa);
}

void gsaBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    // Every satellite-use message of the epoch gets its sentences once its companions are in,
    // whichever of them came last: looking at the newest one only lost the others.
    const double t = cache.hdop().utc_tstamp;
    if (!std::isfinite(t) || cache.pvdop().utc_tstamp != t || cache.fixType().utc_tstamp != t)
        return;
    for (const auto& kv : cache.allSatUse()) {
        const data_sat_use_t& use = kv.second;
        if (use.utc_tstamp != t || use.constellation >= constellation_none) continue;
        double& sent = sent_[use.constellation];
        if (sent == t) continue;
        static const unsigned int ranges[2][2] = {{1, 32}, {65, 96}};
        use_ = &use;
        for (const auto& r : ranges) {
            lo_ = r[0];
            hi_ = r[1];
            buildMessage(cache, out);
        }
        use_ = nullptr;
        sent = t;
        setOutputTimestamp(t);
        last_ = use.constellation;
    }
}

void gsaBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_sat_use_t* use = use_ ? use_ : cache.lastSatUse();
    if (!use) return;
    unsigned char sats[12];
    unsigned int n = 0;
    for (unsigned char s : use->sats) {
        if (s < lo_ || s > hi_) continue;
        sats[n++] = s;
        if (n == 12) break;
    }
    if (n == 0) return;
    const data_fix_type_t& fix = cache.fixType();
    const data_pv_dop_t& pv = cache.pvdop();
    put(os, '$');
    put(os, builder_detail::talker(*this, *use));
    lit(os, "GSA,");
    put(os, fix.fix_auto ? 'A' : 'M');
    put(os, ',');
    put(os, !fix.fix_valid ? '1' : fix.fix_3d ? '3' : '2');
    for (unsigned int i = 0; i < 12; ++i) {
        put(os, ',');
        if (i < n) uint(os, sats[i], 2);
    }
    put(os, ',');
    if (pv.pdop_valid) fixed(os, pv.pdop, 1);
    put(os, ',');
    if (cache.hdop().hdop_valid) fixed(os, cache.hdop().hdop, 1);
    put(os, ',');
    if (pv.vdop_valid) fixed(os, pv.vdop, 1);
}

} // namespace tern
