// Proprietary navigation quality, once per differential-detail time stamp.
//
//   $PQVTR,NAVQ,hhmmss.ss,f,name,DUAL*HH    f: 3D or 2D; name: the differential service;
//                                           DUAL or C/A for dual or single frequency
//   $PQVTR,NAVQ,hhmmss.ss,NN*HH             without a valid fix
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class pqvtrNavqBuilder_t : public nmeaBuilder_t {
public:
    pqvtrNavqBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
