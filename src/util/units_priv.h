// The units module's texts appended to a string, for writers that build a whole text in one
// buffer without a stream.
#pragma once

#include "tern/util/units.h"

#include <string>

namespace tern {
namespace detail {

// The texts of dist_fmt_t, speed_fmt_t and latlon_fmt_t, appended to `out` (nothing for a
// value that is not finite).
void append_dist(std::string& out, double v, dist_unit_t unit, unsigned int precision);
void append_speed(std::string& out, double v, speed_unit_t unit, unsigned int precision);
void append_latlon(std::string& out, const latlon_fmt_t& f);

} // namespace detail
} // namespace tern
