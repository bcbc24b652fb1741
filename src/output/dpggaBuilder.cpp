#include <tern/output/dpggaBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

dpggaBuilder_t::dpggaBuilder_t() : nmeaBuilder_t(raw_dpgga) {
    for (unsigned int t : {data_type_pos, data_type_fix_mode, data_type_fix_type, data_type_h_dop,
                           data_type_height, data_type_sat_count, data_type_pr_stats})
        watchMessageType(t);
}

void dpggaBuilder_t::resetState() {
    nmeaBuilder_t::resetState();
    status_ = 0;
    last_non3d_ = none_seen;
}

void dpggaBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    cfg_ = cfg.dpgga_cfg;
    setEnabled(cfg.output_dpgga);
}

void dpggaBuilder_t::updateFilterStatus(unsigned int status) {
    if (status == status_) return;
    status_ = status;
    signal_.emit(status);
}

void dpggaBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    const double t = cache.position().utc_tstamp;
    if (!fresh(t, outputTimestamp())) return;
    if (cache.fixMode().utc_tstamp != t || cache.fixType().utc_tstamp != t ||
        cache.hdop().utc_tstamp != t || cache.height().utc_tstamp != t ||
        cache.satCount().utc_tstamp != t)
        return;
    if (cfg_.use_pseudo_range_stats && cache.pseudorangeStats().utc_tstamp != t) return;
    buildMessage(cache, out);
}

void dpggaBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const double t = cache.position().utc_tstamp;
    // A data clock set back before the last non-3D fix restarts the hold rather than block
    // the sentence until the clock reaches that time again.
    if (!cache.fixType().fix_3d || t < last_non3d_) last_non3d_ = t;
    if (cfg_.filter_enable) {
        const data_h_dop_t& hdop = cache.hdop();
        const data_pr_stats_t& st = cache.pseudorangeStats();
        unsigned int status = 0;
        if (!hdop.hdop_valid || !st.semi_major_stddev_valid || !st.semi_minor_stddev_valid) {
            status = status_no_stats;
        } else {
            // Written so that a value that is not a number fails its limit.
            if (!(hdop.hdop <= cfg_.max_hdop)) status |= status_hdop;
            if (cache.satCount().num_sats < cfg_.min_sats) status |= status_few_sats;
            const double a = st.semi_major_stddev, b = st.semi_minor_stddev;
            if (!(std::sqrt(a * a + b * b) <= cfg_.max_error)) status |= status_error;
            // Before any non-3D fix was seen there is nothing to hold on (the difference is
            // not a number then).
            if (cfg_.min_3D_time > t - last_non3d_) status |= status_3d_hold;
        }
        updateFilterStatus(status);
        if (status != 0) return;
    }
    const unsigned int q = cfg_.fix_mode_max ? 2 : ggaFixMode(cache.fixMode());
    put(os, '$');
    switch (cfg_.prefix) {
    case dpgga_prefix_gn:
        lit(os, "GN");
        break;
    case dpgga_prefix_gp:
        lit(os, "GP");
        break;
    case dpgga_prefix_in:
        lit(os, "IN");
        break;
    default:
        lit(os, "DP");
        break;
    }
    lit(os, "GGA");
    builder_detail::ggaFields(os, cache, t, strict(), q);
    put(os, ',');
    const data_diff_t& diff = cache.diffInfo();
    if (q > 1) {
        // A negative age is written as 0.0; one that is not a number stays empty.
        const double age = diff.age < 0 ? 0.0 : static_cast<double>(diff.age);
        fixed(os, age, 1);
    }
    put(os, ',');
    if (q > 1) {
        unsigned int station = diff.utc_tstamp == t ? diff.ref_id : 0;
        if (cfg_.station_id_limit) station &= 0x3FF;
        uint(os, station, 4);
    }
    setOutputTimestamp(t);
}

} // namespace tern
