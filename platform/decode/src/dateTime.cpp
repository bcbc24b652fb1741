#include <tern/decode/dateTime.h>

#include <cmath>

namespace tern {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (month 1 to 12), by counting in
// 400-year eras that start on 1 March so the leap day falls at the end of each year.
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, std::int64_t& m, std::int64_t& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

// About a hundred million years: keeps every intermediate well inside 64 bits and the
// year inside 32 bits.
constexpr double MAX_ABS_TIMESTAMP = 3.0e15;

} // namespace

dateTime_t::dateTime_t(double t) {
    if (!std::isfinite(t) || std::fabs(t) > MAX_ABS_TIMESTAMP) return;
    double days = std::floor(t / 86400.0);
    double secs = t - days * 86400.0;
    // Rounding can land a tiny negative time exactly on the next midnight.
    if (secs >= 86400.0) {
        secs -= 86400.0;
        days += 1.0;
    } else if (secs < 0.0) {
        secs += 86400.0;
        days -= 1.0;
    }
    std::int64_t y = 0, m = 0, d = 0;
    civilFromDays(static_cast<std::int64_t>(days), y, m, d);
    year = static_cast<std::int32_t>(y);
    month = static_cast<std::int32_t>(m);
    day = static_cast<std::int32_t>(d);
    const auto whole = static_cast<std::int32_t>(std::floor(secs));
    hour = whole / 3600;
    minute = whole % 3600 / 60;
    seconds = secs - static_cast<double>(hour * 3600 + minute * 60);
}

double dateTime_t::toTimestamp() const {
    // Carry months outside 1 to 12 into the year so the day count stays right.
    const std::int64_t m0 = static_cast<std::int64_t>(month) - 1;
    const std::int64_t carry = m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
    const std::int64_t days =
        daysFromCivil(year + carry, m0 - carry * 12 + 1, 1) + (static_cast<std::int64_t>(day) - 1);
    const std::int64_t secs =
        static_cast<std::int64_t>(hour) * 3600 + static_cast<std::int64_t>(minute) * 60;
    return static_cast<double>(days) * 86400.0 + static_cast<double>(secs) + seconds;
}

} // namespace tern
