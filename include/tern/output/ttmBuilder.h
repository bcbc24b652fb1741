// TTM: the moving-baseline vector reported as the range and bearing of a target.
//
//   $GPTTM,nn,d.dd,b.bb,T,,,,,,,,,,,A*HH
// nn target number, d distance in metres (with the vertical component when configured),
// b true bearing in degrees [0, 360); the other target fields are empty.
#pragma once

#include <tern/output/nmeaBuilder.h>
#include <tern/output/output_cfg.h>

namespace tern {

class ttmBuilder_t : public nmeaBuilder_t {
public:
    ttmBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;

    const ttm_cfg_t& config() const { return cfg_; }
    void setConfig(const ttm_cfg_t& cfg);

private:
    ttm_cfg_t cfg_;
};

} // namespace tern
