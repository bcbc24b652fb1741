// GSA: satellites used and dilution of precision, per satellite-use message.
//
//   $--GSA,a,x,ss,ss,ss,ss,ss,ss,ss,ss,ss,ss,ss,ss,p.p,h.h,v.v*HH
// a: A automatic or M manual 2D/3D; x: 1 no fix, 2 2D, 3 3D; up to twelve satellite numbers
// of one range (1 to 32, then 65 to 96: one sentence each); PDOP, HDOP, VDOP.
// Each satellite-use message (one per constellation) is sent once its HDOP, PV-DOP and fix
// type of the same time stamp are in, in whatever order they all arrive; the duplicate guard
// is the pair (time stamp, constellation).
#pragma once

#include <tern/output/nmeaBuilder.h>

#include <limits>

namespace tern {

class gsaBuilder_t : public nmeaBuilder_t {
public:
    gsaBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;

    void resetState() override;

private:
    static constexpr double never = std::numeric_limits<double>::quiet_NaN();

    constellation_t last_ = constellation_none;
    double sent_[constellation_none] = {never, never, never, never}; // per constellation
    const data_sat_use_t* use_ = nullptr; // the message being built, during build()
    unsigned int lo_ = 1, hi_ = 32;       // satellite-number range of the sentence being built
};

} // namespace tern
