// THS: true heading and its mode (always autonomous).
//
//   $--THS,h.hhh,A*HH
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class thsBuilder_t : public nmeaBuilder_t {
public:
    thsBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
