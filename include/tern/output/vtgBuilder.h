// VTG: course and speed over ground, once per course time stamp.
//
//   $--VTG,c.c,T,,M,s.ss,N,k.kk,K,m*HH
// Course in degrees [0, 360), speed in knots and in km/h; the mode field only with 3.01.
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class vtgBuilder_t : public nmeaBuilder_t {
public:
    vtgBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
