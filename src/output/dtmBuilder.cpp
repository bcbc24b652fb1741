#include <tern/output/dtmBuilder.h>

#include "output/builder_priv.h"

namespace tern {

using namespace nmea_write;
using builder_detail::fresh;

namespace {

// Minutes of arc of an offset in radians, then its letter; the empty pair when not finite.
void offset(line_t& os, double rad, char positive, char negative) {
    if (!fixed(os, std::fabs(rad) * 60.0 * rad2deg, 6)) {
        put(os, ',');
        return;
    }
    put(os, ',');
    put(os, rad < 0 ? negative : positive);
}

} // namespace

dtmBuilder_t::dtmBuilder_t() : nmeaBuilder_t(raw_dtm) {
    watchMessageType(data_type_datum);
}

void dtmBuilder_t::setConfig(const output_cfg_t& cfg) {
    nmeaBuilder_t::setConfig(cfg);
    setEnabled(cfg.output_dtm);
}

void dtmBuilder_t::build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) {
    if (!fresh(cache.datum().utc_tstamp, outputTimestamp())) return;
    buildMessage(cache, out);
}

void dtmBuilder_t::buildContents(const outputDataCache_t& cache, std::ostream& stream) {
    line_t os(stream);
    const data_datum_t& d = cache.datum();
    put(os, '$');
    put(os, builder_detail::talker(*this, cache));
    lit(os, "DTM,");
    if (d.mask & data_datum_t::datum_local) put(os, datumTypeToNmeaCode(d.localDatum));
    put(os, ',');
    if (d.mask & data_datum_t::datum_local_subdivision) text(os, d.localDatumSubdivision);
    put(os, ',');
    if (d.mask & data_datum_t::datum_latitude_offset)
        offset(os, d.latitudeOffset, 'N', 'S');
    else
        put(os, ',');
    put(os, ',');
    if (d.mask & data_datum_t::datum_longitude_offset)
        offset(os, d.longitudeOffset, 'E', 'W');
    else
        put(os, ',');
    put(os, ',');
    if (d.mask & data_datum_t::datum_altitude_offset) fixed(os, d.altitudeOffset, 6);
    put(os, ',');
    if (d.mask & data_datum_t::datum_reference) put(os, datumTypeToNmeaCode(d.referenceDatum));
    setOutputTimestamp(d.utc_tstamp);
}

} // namespace tern
