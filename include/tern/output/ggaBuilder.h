// GGA: the position fix, once per complete epoch.
//
//   $--GGA,hhmmss.ss,llll.llllll,a,yyyyy.yyyyyy,a,q,nn,h.h,a.aaa,M,g.ggg,M,c.c,rrrr*HH
//          |         |              |              | |  |   |       |       |   station number
//          |         |              |              | |  |   |       |       age of corrections
//          |         |              |              | |  |   |       geoid separation, metres
//          |         |              |              | |  |   altitude above the geoid, metres
//          |         |              |              | |  HDOP
//          |         |              |              | satellites used
//          |         |              |              quality (0 invalid, 1 autonomous, 2 DGPS...)
//          UTC time  latitude, N/S  longitude, E/W
//
// Age and station number only when the quality is above 1. Strict NMEA writes 5 decimals of
// minutes and 2 of heights.
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class ggaBuilder_t : public nmeaBuilder_t {
public:
    ggaBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;

    gga_ref_type_t refType() const { return ref_type_; }
    void setRefType(gga_ref_type_t t) { ref_type_ = t; }
    ggaQuality_t ggaQuality() const { return quality_; }
    void setGgaQuality(ggaQuality_t q) { quality_ = q; }

private:
    gga_ref_type_t ref_type_ = gga_ref_nmea;
    ggaQuality_t quality_ = gga_quality_as_reported;
};

} // namespace tern
