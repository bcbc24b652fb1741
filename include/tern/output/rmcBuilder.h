// RMC: recommended minimum data, once per complete epoch (position, course, speed).
//
//   $--RMC,hhmmss.ss,A,llll.llllll,a,yyyyy.yyyyyy,a,s.ss,c.c,ddmmyy,,,m*HH
// Status A for a valid position, V when latitude or longitude is not valid or the fix mode
// says there is no fix (an autopilot on 2.1 has no mode field and trusts the status). Speed in
// knots, course in degrees [0, 360); magnetic variation always empty; the mode field (N, A, D,
// E, S) only with NMEA 3.01, which also waits for the fix mode.
#pragma once

#include <tern/output/nmeaBuilder.h>

namespace tern {

class rmcBuilder_t : public nmeaBuilder_t {
public:
    rmcBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
};

} // namespace tern
