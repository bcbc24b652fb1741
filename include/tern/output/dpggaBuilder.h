// Filtered GGA: a second GGA that is held back while the solution fails its quality limits.
//
//   $DPGGA,hhmmss.ss,llll.llllll,a,yyyyy.yyyyyy,a,q,nn,h.h,a.aaa,M,g.ggg,M,c.c,rrrr*HH
//
// Fields as GGA; the address is DP, GN, GP or IN (never the forced talker); the quality is 2
// whatever the fix when fix_mode_max is set; the age is never negative; the station number
// is the differential reference id of the epoch (0 otherwise), cut to 10 bits when
// station_id_limit is set.
//
// Filter status bits (0: the sentence goes out):
//   1   no HDOP or no error-ellipse statistics (the other tests are then not made)
//   2   fewer satellites than min_sats
//   4   3D fix held for less than min_3D_time seconds since the last non-3D fix (none
//       seen yet: no hold)
//   8   error sqrt(semi-major^2 + semi-minor^2) above max_error (or not a number)
//   16  HDOP above max_hdop (or not a number)
#pragma once

#include <tern/output/nmeaBuilder.h>
#include <tern/output/output_cfg.h>

#include <sigc++/signal.h>

#include <limits>

namespace tern {

class dpggaBuilder_t : public nmeaBuilder_t {
public:
    enum : unsigned int {
        status_no_stats = 1,
        status_few_sats = 2,
        status_3d_hold = 4,
        status_error = 8,
        status_hdop = 16,
    };

    dpggaBuilder_t();

    void build(const outputDataCache_t& cache, std::vector<cmd_device_write_t*>& out) override;
    void setConfig(const output_cfg_t& cfg) override;
    void buildContents(const outputDataCache_t& cache, std::ostream& os) override;
    // Output time stamp and filter status to 0 (without a signal); no non-3D fix seen.
    void resetState() override;

    const dpgga_filter_cfg_t& filterConfig() const { return cfg_; }
    void setFilterConfig(const dpgga_filter_cfg_t& cfg) { cfg_ = cfg; }
    unsigned int filterStatus() const { return status_; }
    // Stores the status and emits filterStatusSignal when it changed.
    void updateFilterStatus(unsigned int status);
    sigc::signal<void, unsigned int>& filterStatusSignal() { return signal_; }

private:
    dpgga_filter_cfg_t cfg_;
    unsigned int status_ = 0;
    static constexpr double none_seen = std::numeric_limits<double>::quiet_NaN();
    double last_non3d_ = none_seen; // data time of the last non-3D fix
    sigc::signal<void, unsigned int> signal_;
};

} // namespace tern
