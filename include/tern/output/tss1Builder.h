// TSS1 motion record for motion-compensated sensors, once per roll time stamp when pitch,
// heave and motion of the same stamp are there. The record (see tern/decode/tss1Msg.h) is
// 27 bytes ending in CR LF and carries no NMEA checksum:
//
//   :XXAAAA SHHHHQSRRRR SPPPP<CR><LF>
#pragma once

#include <tern/output/messageBuilder.h>

namespace tern {

class tss1Builder_t : public messageBuilder_t {
public:
    tss1Builder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    // Takes only output_tss1.
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
