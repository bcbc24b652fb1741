// DTM: the datum in use, sent when a datum message with a new time stamp arrives.
//
//   $--DTM,ccc,a,x.xxxxxx,a,x.xxxxxx,a,x.xxxxxx,ccc*HH
//          |   | |          |          |        reference datum code
//          |   | |          |          altitude offset, metres
//          |   | |          longitude offset, minutes of arc, E/W
//          |   | latitude offset, minutes of arc, N/S
//          |   local datum subdivision
//          local datum code (W84, W72, S85, P90, 999)
// Each value is written only when its bit of the message's presence mask is set.
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class dtmBuilder_t : public nmeaBuilder_t {
public:
    dtmBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
