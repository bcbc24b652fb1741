// What the sentence builders share beyond the field writers.
#pragma once

#include <tern/data/outputDataCache.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/output/output_cfg.h>

#include "output/nmea_write_priv.h"

#include <cmath>
#include <ostream>

#pragma GCC visibility push(hidden)

namespace tern {
namespace builder_detail {

// A driving time stamp is new when it is a real time and not the one last sent.
inline bool fresh(double t, double sent) {
    return std::isfinite(t) && t != sent;
}

// The RMC and GLL status letter of a position stamped t: "A" only when latitude and
// longitude are valid (and numbers) and the fix mode does not say there is no fix, else "V". The
// fix mode counts when stamped t or, under 2.1 (which sends before the epoch's fix mode may
// arrive), at most 2 s before.
char positionStatus(const outputDataCache_t& cache, double t);

// The RMC and VTG mode letter: N, A, D (2 to 5), E, S; nothing for other modes.
void modeIndicator(nmea_write::line_t& os, unsigned int fix_mode);

// Latitude, N/S, longitude, E/W of a position (an empty pair for a value not valid).
void latLonFields(nmea_write::line_t& os, const data_pos_t& pos, bool strict);

// The page of a satellite-tracking group: ",n,i,ss" and `per_page` satellite blocks from
// satellite per_page * index on: ",id,el,az" and the SNR of the first `freqs` frequencies
// (empty when not tracked); a missing satellite is 3 + freqs empty fields.
void satPage(nmea_write::line_t& os, const data_sat_track_t& track, unsigned int count,
             unsigned int index, unsigned int per_page, unsigned int freqs);

// The talkers of nmeaBuilder_t::talkerString as static texts ("" for none): the builders
// write these, with no string made per sentence.
const char* talker(const nmeaBuilder_t& b, const outputDataCache_t& cache);
const char* talker(const nmeaBuilder_t& b, const data_sat_use_t& use);
const char* talker(const nmeaBuilder_t& b, const data_sat_track_t& track);
const char* talker(const nmeaBuilder_t& b, const data_pr_stats_t& stats);

// GGA fields 1 to 12, each after its comma: time of t, latitude, longitude, quality q,
// satellites, HDOP, altitude and M, geoid separation and M.
void ggaFields(nmea_write::line_t& os, const outputDataCache_t& cache, double t, bool strict,
               unsigned int q);

} // namespace builder_detail
} // namespace tern

#pragma GCC visibility pop
