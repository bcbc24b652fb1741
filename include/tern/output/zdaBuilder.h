// ZDA: date and time, once for every new newest time stamp of the cache.
//
//   $--ZDA,hhmmss.ss,dd,mm,yyyy,00,00*HH
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class zdaBuilder_t : public nmeaBuilder_t {
public:
    zdaBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
