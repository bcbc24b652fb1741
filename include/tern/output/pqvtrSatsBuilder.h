// Proprietary satellite detail: three satellites to a sentence with both frequencies, per
// satellite-tracking message (duplicate guard: time stamp and constellation).
//
//   $PQVTR,SATS,n,i,ss,nn,ee,aaa,r1,r2,nn,ee,aaa,r1,r2,nn,ee,aaa,r1,r2*HH
//   n sentences, i this one, ss satellites; per satellite number, elevation and azimuth in
//   whole degrees, and the SNR of each frequency (empty when not tracked). Missing satellites
//   of the last sentence are five empty fields.
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class pqvtrSatsBuilder_t : public nmeaBuilder_t {
public:
    pqvtrSatsBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
    void resetState() override;

private:
    constellation_t last_ = constellation_none;
    unsigned int count_ = 0;
    unsigned int index_ = 0;
};

} // namespace tern
