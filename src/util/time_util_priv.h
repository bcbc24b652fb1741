// Calendar arithmetic shared by the time and path modules: UTC breakdown of whole seconds
// without the C library, so neither the process's time zone nor the range of time_t matters.
#pragma once

#include <cstdint>
#include <iosfwd>

namespace tern {
namespace detail {

struct utc_fields_t {
    std::int64_t year = 1970;
    int mon = 1; // 1 to 12
    int day = 1; // 1 to 31
    int hour = 0;
    int min = 0;
    int sec = 0;
};

// Breaks whole seconds since 1970 down as UTC (proleptic Gregorian calendar).
utc_fields_t utc_breakdown(std::int64_t t);

// t + off, held at the int64 limits instead of overflowing.
std::int64_t add_clamped(std::int64_t t, std::int64_t off);

// Writes a zone offset as sign, hours and minutes: "+0000", "-0530".
void write_tzoff(std::ostream& os, std::int64_t off);

} // namespace detail
} // namespace tern
