// Calendar date and time of day in UTC, and their conversion to and from time stamps
// (seconds since 1970-01-01 00:00:00 UTC). No time zone is ever involved.
#pragma once

#include <cstdint>

namespace tern {

// A calendar date: year, month 1 to 12, day of month 1 to 31.
struct date_t {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
};

// A time of day: hour, minute and seconds with their fraction.
struct timeOfDay_t {
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    double seconds = 0.0;
};

// A date followed by a time of day, in UTC. Being both a date_t and a timeOfDay_t, it can be
// filled by anything that fills either.
class dateTime_t : public date_t, public timeOfDay_t {
public:
    // All fields zero.
    dateTime_t() = default;
    dateTime_t(const date_t& d, const timeOfDay_t& t) : date_t(d), timeOfDay_t(t) {}
    // Breaks a UTC time stamp into fields (proleptic Gregorian calendar, fraction of the
    // second kept). Times before 1970 work; NaN, infinities and stamps beyond a hundred
    // million years give all fields zero.
    dateTime_t(double t);

    date_t& date() { return *this; }
    const date_t& date() const { return *this; }
    timeOfDay_t& timeOfDay() { return *this; }
    const timeOfDay_t& timeOfDay() const { return *this; }

    // The inverse of dateTime_t(double). Fields out of their range carry over (month 13 is
    // January of the next year, second 60 the next minute).
    double toTimestamp() const;
};

} // namespace tern
