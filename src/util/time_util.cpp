#include "tern/util/time_util.h"

#include <glib.h>

#include <atomic>
#include <cmath>
#include <iomanip>
#include <limits>
#include <locale>
#include <mutex>
#include <ostream>
#include <sstream>

#include "tern/msg/data_msgs.h"
#include "util/fp_priv.h"
#include "util/time_util_priv.h"

namespace tern {

namespace detail {

namespace {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

} // namespace

utc_fields_t utc_breakdown(std::int64_t t) {
    utc_fields_t f;
    const std::int64_t days = floor_div(t, 86400);
    const std::int64_t secs = t - days * 86400;
    f.hour = static_cast<int>(secs / 3600);
    f.min = static_cast<int>(secs / 60 % 60);
    f.sec = static_cast<int>(secs % 60);

    // Days since 1970-01-01 to a civil date, counting in 400-year eras from 0000-03-01.
    const std::int64_t z = days + 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;                                      // [0, 146096]
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365; // [0, 399]
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);               // [0, 365]
    const std::int64_t mp = (5 * doy + 2) / 153;                                    // [0, 11]
    f.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    f.mon = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    f.year = yoe + era * 400 + (f.mon <= 2 ? 1 : 0);
    return f;
}

std::int64_t add_clamped(std::int64_t t, std::int64_t off) {
    std::int64_t r = 0;
    if (__builtin_add_overflow(t, off, &r))
        return off < 0 ? std::numeric_limits<std::int64_t>::min()
                       : std::numeric_limits<std::int64_t>::max();
    return r;
}

void write_tzoff(std::ostream& os, std::int64_t off) {
    // The magnitude of the most negative offset still fits: offsets are ints widened here.
    const std::int64_t a = off < 0 ? -off : off;
    os << (off < 0 ? '-' : '+') << std::setfill('0') << std::setw(2) << a / 3600 << std::setw(2)
       << a / 60 % 60;
}

} // namespace detail

namespace {

// Published GPS-UTC history: UTC instant of each step and GPS minus UTC from then on,
// newest first.
struct leap_step_t {
    std::int64_t utc;
    std::int32_t leap;
};
constexpr leap_step_t leap_table[] = {
    {1483228800, 18}, // 2017-01-01
    {1435708800, 17}, // 2015-07-01
    {1341100800, 16}, // 2012-07-01
    {1230768000, 15}, // 2009-01-01
    {1136073600, 14}, // 2006-01-01
    {915148800, 13},  // 1999-01-01
    {867715200, 12},  // 1997-07-01
    {820454400, 11},  // 1996-01-01
    {773020800, 10},  // 1994-07-01
    {741484800, 9},   // 1993-07-01
    {709948800, 8},   // 1992-07-01
    {662688000, 7},   // 1991-01-01
    {631152000, 6},   // 1990-01-01
    {567993600, 5},   // 1988-01-01
    {489024000, 4},   // 1985-07-01
    {425865600, 3},   // 1983-07-01
    {394329600, 2},   // 1982-07-01
    {362793600, 1},   // 1981-07-01
};

constexpr std::int64_t gps_epoch = 315964800;
constexpr std::int64_t week_secs = 604800;

std::atomic<double> data_diff{0.0};
std::mutex info_mutex;
tstamp_data_diff_info_t info_record;
std::atomic<bool> info_set{false};

// Start of the period of length `len` holding t; total for any double.
double period_start(double t, double len) {
    if (!std::isfinite(t)) return t;
    double r = std::fmod(t, len);
    if (r < 0) r += len;
    return t - r;
}

// Signed week distance to the change week: (wn_lsf - week) mod 256, read as -127 to 128.
std::int64_t weeks_to_change(std::int64_t week, std::int32_t wn_lsf) {
    const std::int64_t d = ((static_cast<std::int64_t>(wn_lsf) - week) % 256 + 256) % 256;
    return d >= 129 ? d - 256 : d;
}

// Seconds from the start of `week` to the UTC midnight that ends day `dn` of the change week,
// expressed on the GPS clock after the change: from there on delta_t_lsf holds.
std::int64_t change_offset(std::int64_t week, const gps2utc_t& utc) {
    return weeks_to_change(week, utc.wn_lsf) * week_secs +
           static_cast<std::int64_t>(utc.dn) * 86400;
}

} // namespace

double gettstamp_sys() {
    const gint64 us = g_get_real_time();
    // Rounded here, so every caller sees the same value for one microsecond and a later
    // reading is never below an earlier one, whatever precision the caller computes in.
    return detail::rounded(static_cast<double>(us / 1000000) +
                           static_cast<double>(us % 1000000) * 1e-6);
}

void set_tstamp_data_diff(double diff) {
    // A non-finite offset would make every data time NaN; keep the last good one.
    if (!std::isfinite(diff)) return;
    data_diff.store(diff);
    std::lock_guard<std::mutex> lock(info_mutex);
    info_record.set_tstamp_sys = gettstamp_sys();
    info_set.store(true);
}

double get_tstamp_data_diff() {
    return data_diff.load();
}

const tstamp_data_diff_info_t* tstamp_data_diff_info() {
    return info_set.load() ? &info_record : nullptr;
}

double gettstamp_data() {
    return detail::rounded(gettstamp_sys() + data_diff.load());
}

double midnight_today(double t) {
    return period_start(t, 86400.0);
}

double top_of_the_hour(double t) {
    return period_start(t, 3600.0);
}

double gpsTimeToUnix(unsigned int week, unsigned int seconds) {
    const std::int64_t t = static_cast<std::int64_t>(week) * week_secs + seconds + gps_epoch;
    for (const leap_step_t& step : leap_table) {
        if (step.utc <= t - step.leap) return static_cast<double>(t - step.leap);
    }
    return static_cast<double>(t);
}

double gpsTimeToUnix(unsigned int week, double seconds, const gps2utc_t& utc) {
    if (!std::isfinite(seconds)) return std::numeric_limits<double>::quiet_NaN();
    const double start = static_cast<double>(week) * 604800.0 + GPS_EPOCH_UNIX;
    double leap = utc.delta_t_ls;
    if (utc.delta_t_lsf != utc.delta_t_ls) {
        // The step happens when UTC reaches the end of day dn; on the GPS clock that is
        // delta_t_lsf seconds after the day boundary (the inserted second still counts as
        // before the change).
        const double threshold =
            static_cast<double>(change_offset(week, utc)) + static_cast<double>(utc.delta_t_lsf);
        if (seconds >= threshold) leap = utc.delta_t_lsf;
    }
    return start + seconds - leap;
}

bool unixToGpsTime(double t, const gps2utc_t& utc, unsigned int& week, double& seconds) {
    week = 0;
    seconds = 0.0;
    // Beyond this every week number overflows; checked before any conversion to integers.
    constexpr double limit = 4294967296.0 * 604800.0 + 315964800.0;
    if (!std::isfinite(t) || t < GPS_EPOCH_UNIX - 1e6 || t > limit) return false;
    const double whole = std::floor(t);
    const std::int64_t s = static_cast<std::int64_t>(whole) - gps_epoch;
    std::int64_t leap = utc.delta_t_ls;
    if (utc.delta_t_lsf != utc.delta_t_ls) {
        const std::int64_t w = s >= 0 ? s / week_secs : 0;
        if (s >= w * week_secs + change_offset(w, utc)) leap = utc.delta_t_lsf;
    }
    const std::int64_t total = s + leap;
    if (total < 0 || total / week_secs > 0xFFFFFFFFLL) return false;
    week = static_cast<unsigned int>(total / week_secs);
    seconds = static_cast<double>(total % week_secs) + (t - whole);
    return true;
}

bool gpsTimeValidator_t::checkMessage(const data_msg_t& msg) {
    if (!msg.gps_time_valid) return true;
    const std::int32_t week = static_cast<std::int32_t>(msg.gps_week);
    if (!valid_) {
        week_ = week;
        seconds_ = msg.gps_week_sec;
        valid_ = true;
        return true;
    }
    // Messages of one epoch carry bit-identical times; two NaN seconds count as the same.
    const bool same_sec =
        seconds_ == msg.gps_week_sec || (std::isnan(seconds_) && std::isnan(msg.gps_week_sec));
    if (week == week_ && same_sec) return true;
    valid_ = false;
    return false;
}

namespace {

void write_date(std::ostream& os, const detail::utc_fields_t& f) {
    os << f.year << '-' << std::setfill('0') << std::setw(2) << f.mon << '-' << std::setw(2)
       << f.day;
}

// Formats into a private classic-locale stream and hands the result over as one string, so
// the caller's stream state and locale play no part.
template <class Fn>
std::ostream& write_text(std::ostream& os, Fn fn) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    fn(s);
    return os << s.str();
}

} // namespace

std::ostream& operator<<(std::ostream& os, const tzoff_str_t& v) {
    return write_text(os, [&](std::ostream& s) { detail::write_tzoff(s, v.tzoff); });
}

std::ostream& operator<<(std::ostream& os, const date_str_t& v) {
    return write_text(os, [&](std::ostream& s) {
        write_date(s, detail::utc_breakdown(detail::add_clamped(v.t, v.tzoff)));
    });
}

std::ostream& operator<<(std::ostream& os, const time_str_t& v) {
    return write_text(os, [&](std::ostream& s) {
        const detail::utc_fields_t f = detail::utc_breakdown(detail::add_clamped(v.t, v.tzoff));
        write_date(s, f);
        if (v.flags & time_str_t::newline) s << '\n';
        s << ' ' << std::setw(2) << f.hour << ':' << std::setw(2) << f.min;
        if (!(v.flags & time_str_t::no_seconds)) s << ':' << std::setw(2) << f.sec;
        if (v.flags & time_str_t::show_tzoff) {
            s << ' ';
            detail::write_tzoff(s, v.tzoff);
        }
    });
}

} // namespace tern
