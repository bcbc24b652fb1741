// GST: pseudorange error statistics, per statistics message.
//
//   $--GST,hhmmss.ss,r.rrrr,a.aaaa,b.bbbb,o.oooo,l.llll,y.yyyy,h.hhhh*HH
// RMS of the residuals, error ellipse semi-major and semi-minor sigma and orientation
// (degrees), latitude, longitude and altitude sigma (metres); each empty when not valid.
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class gstBuilder_t : public nmeaBuilder_t {
public:
    gstBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;

    void resetState() override;

private:
    constellation_t last_ = constellation_none;
};

} // namespace tern
