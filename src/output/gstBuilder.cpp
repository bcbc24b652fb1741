#include <tern/output/gstBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;

gstBuilder_t::gstBuilder_t() : nmeaBuilder_t(raw_gst) {
    watchMessageType(data_type_pr_stats);
}

void gstBuilder_t::resetState() {
    nmeaBuilder_t::resetState();
    last_ = constellation_none;
}

void gstBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_gst);
}

void gstBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    const data_pr_stats_t& st = cache.pseudorangeStats();
    const double t = st.utc_tstamp;
    if (!std::isfinite(t)) return;
    if (t == outputTimestamp() && st.constellation == last_) return;
    buildMessage(cache, out);
}

void gstBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_pr_stats_t& st = cache.pseudorangeStats();
    const char* talker = builder_detail::talker(*this, st);
    // Statistics of no known constellation still need a talker parsers accept.
    if (!*talker) talker = "GN";
    put(os, '$');
    put(os, talker);
    lit(os, "GST,");
    os << nmeaTimestamp_t(st.utc_tstamp);
    const struct {
        bool valid;
        double value;
        bool angle; // from true north, into [0, 360) like every other angle
    } fields[] = {{st.range_stddev_rms_valid, st.range_stddev_rms, false},
                  {st.semi_major_stddev_valid, st.semi_major_stddev, false},
                  {st.semi_minor_stddev_valid, st.semi_minor_stddev, false},
                  {st.orientation_valid, st.orientation * rad2deg, true},
                  {st.lat_stddev_valid, st.lat_stddev, false},
                  {st.lon_stddev_valid, st.lon_stddev, false},
                  {st.altitude_stddev_valid, st.altitude_stddev, false}};
    for (const auto& f : fields) {
        put(os, ',');
        if (!f.valid) continue;
        if (f.angle)
            angle(os, f.value, 4);
        else
            fixed(os, f.value, 4);
    }
    setOutputTimestamp(st.utc_tstamp);
    last_ = st.constellation;
}

} // namespace tern
