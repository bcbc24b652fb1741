// Roll, pitch and heave samples collected over a window, reported as average or peak.
#pragma once

#include <tern/msg/data_msgs.h>

#include <deque>
#include <list>
#include <utility>

namespace tern {

// The samples of one quantity, oldest first.
class attitudeParamCache_t {
public:
    // (time stamp, value).
    using sample_t = std::pair<double, double>;
    using samples_t = std::deque<sample_t>;

    // Appends a sample. A sample with a NaN time stamp or value is dropped: it could never be
    // placed in a window (and would block trimming) nor take part in an average or a peak.
    void add(double tstamp, double value);
    void clear() { samples_.clear(); }
    bool empty() const { return samples_.empty(); }
    const samples_t& samples() const { return samples_; }

    // Drops samples from the front while they are older than `tstamp`, stopping at the first
    // one at or after it.
    void trim(double tstamp);
    // Mean of the values; 0.0 when empty.
    double average() const;
    // The first sample with the largest absolute value, or null when empty.
    const sample_t* peak() const;

private:
    samples_t samples_;
};

// Roll, pitch and heave samples from the motion sensor's data messages. Its owner trims it to
// the report window and asks for a report at the end of each window.
class attitudeCache_t {
public:
    // data_roll_t, data_pitch_t and data_heave_t go to their list as (utc_tstamp, value);
    // anything else is ignored.
    void add(const msg_t& msg);
    // Adds every non-null message of the list, in order.
    void add(const std::list<msg_t*>& msgs);
    void add(const data_roll_t& msg) { roll_.add(msg.utc_tstamp, msg.roll); }
    void add(const data_pitch_t& msg) { pitch_.add(msg.utc_tstamp, msg.pitch); }
    void add(const data_heave_t& msg) { heave_.add(msg.utc_tstamp, msg.heave); }

    void clear();
    // Trims all three lists (attitudeParamCache_t::trim).
    void trim(double tstamp);

    // Appends, for roll, pitch and heave in this order and only for a non-empty list, a new
    // data_roll_t, data_pitch_t or data_heave_t stamped `tstamp` with the list's average.
    // The caller owns the appended messages.
    void reportAverage(double tstamp, std::list<msg_t*>& out) const;
    // The same with the signed value of each list's peak sample.
    void reportPeak(double tstamp, std::list<msg_t*>& out) const;

    attitudeParamCache_t& roll() { return roll_; }
    attitudeParamCache_t& pitch() { return pitch_; }
    attitudeParamCache_t& heave() { return heave_; }
    const attitudeParamCache_t& roll() const { return roll_; }
    const attitudeParamCache_t& pitch() const { return pitch_; }
    const attitudeParamCache_t& heave() const { return heave_; }

private:
    attitudeParamCache_t roll_;
    attitudeParamCache_t pitch_;
    attitudeParamCache_t heave_;
};

} // namespace tern
