// The library's time base: system time, receiver ("data") time, day and hour boundaries, GPS
// week/second conversions with leap seconds, a per-epoch GPS time check, and the text forms of
// dates and times used in logs and snapshots.
//
// Times are doubles of seconds since 1970-01-01 00:00:00 UTC unless stated. Every function is
// total: NaN, infinite or far-out inputs give a defined result, never undefined behaviour.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "tern/util/gps2utc.h"

namespace tern {

class data_msg_t;

// Seconds between 1970-01-01 and the GPS epoch 1980-01-06, both UTC.
constexpr double GPS_EPOCH_UNIX = 315964800.0;
// Seconds in one GPS week.
constexpr double GPS_WEEK_SECONDS = 604800.0;

// Current system (wall-clock) time, microsecond resolution.
double gettstamp_sys();

// Sets the process-wide offset of receiver time from system time and records when it was set.
void set_tstamp_data_diff(double diff);
// The offset set last, 0 until the first set.
double get_tstamp_data_diff();

// When the data-time offset was last set.
struct tstamp_data_diff_info_t {
    double set_tstamp_sys = 0.0; // system time of the last set_tstamp_data_diff
};
// The record of the last set, or null before the first set. The pointer stays valid for the
// life of the process; its contents change with each set.
const tstamp_data_diff_info_t* tstamp_data_diff_info();

// Data time: gettstamp_sys() plus the offset. Freshness tests, log naming and deletion use it.
double gettstamp_data();

// Start of the UTC day holding t (independent of the process's time zone). A non-finite t is
// returned unchanged.
double midnight_today(double t);
// Start of the UTC hour holding t. A non-finite t is returned unchanged.
double top_of_the_hour(double t);

// GPS week and whole seconds to UTC seconds since 1970, taking off the leap seconds in force
// at that instant (from the built-in table of published GPS-UTC steps).
double gpsTimeToUnix(unsigned int week, unsigned int seconds);
// GPS week and seconds of week to UTC seconds since 1970 with the broadcast leap-second
// parameters; a scheduled change takes effect at the start of day `dn` of week `wn_lsf`.
// Non-finite seconds give NaN.
double gpsTimeToUnix(unsigned int week, double seconds, const gps2utc_t& utc);
// UTC seconds since 1970 to GPS week and seconds of week with the broadcast leap-second
// parameters. Returns false (week 0, seconds 0) when t is not finite, lies before the GPS
// epoch or beyond week 4294967295.
bool unixToGpsTime(double t, const gps2utc_t& utc, unsigned int& week, double& seconds);

// Checks that the navigation data messages of one epoch agree on the GPS time: the first
// message with a valid GPS time sets the epoch, later ones must match it exactly.
class gpsTimeValidator_t {
public:
    // True when the message has no valid GPS time or its GPS time matches the held one (or
    // none is held yet, in which case it becomes the held one). A mismatch clears the held
    // time and fails, so the next message starts a new epoch.
    bool checkMessage(const data_msg_t& msg);
    void invalidate() { valid_ = false; }
    bool hasValidTime() const { return valid_; }
    std::int32_t gpsWeek() const { return week_; }
    double gpsWeekSeconds() const { return seconds_; }

private:
    bool valid_ = false;
    std::int32_t week_ = 0;
    double seconds_ = 0.0;
};

// A time zone offset written as sign, hours and minutes: "+0000", "-0530".
struct tzoff_str_t {
    int tzoff = 0; // seconds east of UTC

    explicit tzoff_str_t(int off = 0) : tzoff(off) {}
};
std::ostream& operator<<(std::ostream& os, const tzoff_str_t& v);

// A date written as year-mm-dd ("2024-01-31") of the instant plus the zone offset.
struct date_str_t {
    std::int64_t t = 0; // seconds since 1970
    int tzoff = 0;      // seconds east of UTC

    explicit date_str_t(std::int64_t secs = 0, int off = 0) : t(secs), tzoff(off) {}
};
std::ostream& operator<<(std::ostream& os, const date_str_t& v);

// A date and time: "2024-01-31 13:05:09", shaped by the flags below, e.g. with all three set
// "2024-01-31\n 13:05 +0100".
struct time_str_t {
    static constexpr unsigned int show_tzoff = 1; // append a space and the zone offset
    static constexpr unsigned int newline = 2;    // a line break between date and time
    static constexpr unsigned int no_seconds = 4; // hours and minutes only

    // 64 bits: a 32-bit count of seconds ends on 2038-01-19.
    std::int64_t t = 0; // seconds since 1970
    int tzoff = 0;      // seconds east of UTC
    unsigned int flags = 0;

    explicit time_str_t(std::int64_t secs = 0, int off = 0, unsigned int f = 0)
        : t(secs), tzoff(off), flags(f) {}
};
std::ostream& operator<<(std::ostream& os, const time_str_t& v);

} // namespace tern
