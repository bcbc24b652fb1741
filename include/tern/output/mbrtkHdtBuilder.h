// HDT from the moving-baseline RTK heading, with a configurable talker (HE, GP or IN).
//
//   $HEHDT,h.hh,T*HH    heading in degrees [0, 360), 2 decimals
#pragma once

#include <tern/output/nmeaBuilder.h>
#include <tern/output/output_cfg.h>

namespace tern {

class mbrtkHdtBuilder_t : public nmeaBuilder_t {
public:
    mbrtkHdtBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;

    const hehdt_cfg_t& config() const { return cfg_; }
    void setConfig(const hehdt_cfg_t& cfg) { cfg_ = cfg; }

private:
    hehdt_cfg_t cfg_;
};

} // namespace tern
