// HDT: true heading from the heading message, talker always HD.
//
//   $HDHDT,h.hhh,T*HH    (one decimal when strict)
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class hdtBuilder_t : public nmeaBuilder_t {
public:
    hdtBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
