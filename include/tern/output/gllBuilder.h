// GLL: geographic position, once per position time stamp.
//
//   $--GLL,llll.llllll,a,yyyyy.yyyyyy,a,hhmmss.ss,A,m*HH
// Status A when latitude and longitude are both valid and the fix mode does not say there is
// no fix, else V (under 2.1, which does not wait for the epoch's fix mode, one at most 2 s
// older counts); the mode field (A, D, N) only with NMEA 3.01, which also waits for the fix
// mode of the same epoch.
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class gllBuilder_t : public nmeaBuilder_t {
public:
    gllBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
