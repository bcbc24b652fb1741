// Proprietary receiver quality, once per receiver-quality time stamp.
//
//   $PQVTR,RXQ,hhmmss,f,v.vv,c1,c2*HH    time in whole seconds (truncated); f Y or N; the
//                                        receiver's value and two counts, copied
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class pqvtrRxqBuilder_t : public nmeaBuilder_t {
public:
    pqvtrRxqBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
