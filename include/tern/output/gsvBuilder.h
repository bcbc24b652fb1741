// GSV: satellites in view, four to a sentence, per satellite-tracking message.
//
//   $--GSV,n,i,ss,nn,ee,aaa,rr,nn,ee,aaa,rr,nn,ee,aaa,rr,nn,ee,aaa,rr*HH
// n sentences in the group, i this one (from 1), ss satellites in view; per satellite its
// number, elevation and azimuth in whole degrees and the first frequency's SNR (empty when
// not tracked). Missing satellites of the last sentence are four empty fields.
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class gsvBuilder_t : public nmeaBuilder_t {
public:
    gsvBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;

    void resetState() override;

private:
    constellation_t last_ = constellation_none;
    unsigned int count_ = 0; // sentences of the group being built
    unsigned int index_ = 0; // the one being built
};

} // namespace tern
