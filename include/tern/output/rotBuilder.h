// ROT: rate of turn in degrees per minute, negative to port.
//
//   $--ROT,r.rr,A*HH
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class rotBuilder_t : public nmeaBuilder_t {
public:
    rotBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
