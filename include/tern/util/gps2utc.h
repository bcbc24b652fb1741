// GPS-to-UTC leap-second parameters, as broadcast in the GPS navigation message.
#pragma once

#include <cstdint>

namespace tern {

// The four leap-second parameters: the current count, the count after the scheduled change,
// and when that change happens (week modulo 256, day 1 to 7 within that week).
struct gps2utc_t {
    std::int32_t delta_t_ls = 0;  // current GPS minus UTC, seconds
    std::int32_t delta_t_lsf = 0; // GPS minus UTC after the scheduled change, seconds
    std::int32_t wn_lsf = 0;      // week of the change, modulo 256
    std::int32_t dn = 0;          // day of the change within that week, 1 to 7
};

inline bool operator==(const gps2utc_t& a, const gps2utc_t& b) {
    return a.delta_t_ls == b.delta_t_ls && a.delta_t_lsf == b.delta_t_lsf && a.wn_lsf == b.wn_lsf &&
           a.dn == b.dn;
}
inline bool operator!=(const gps2utc_t& a, const gps2utc_t& b) {
    return !(a == b);
}

} // namespace tern
