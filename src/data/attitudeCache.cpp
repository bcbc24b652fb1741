#include <tern/data/attitudeCache.h>

#include <cmath>

namespace tern {

void attitudeParamCache_t::add(double tstamp, double value) {
    // A sample without a finite time would never be trimmed, and an infinite value would
    // swamp every average: neither is a measurement.
    if (!std::isfinite(tstamp) || !std::isfinite(value)) return;
    samples_.emplace_back(tstamp, value);
}

void attitudeParamCache_t::trim(double tstamp) {
    while (!samples_.empty() && samples_.front().first < tstamp) samples_.pop_front();
}

double attitudeParamCache_t::average() const {
    if (samples_.empty()) return 0.0;
    double sum = 0.0;
    for (const sample_t& s : samples_) sum += s.second;
    return sum / static_cast<double>(samples_.size());
}

const attitudeParamCache_t::sample_t* attitudeParamCache_t::peak() const {
    const sample_t* best = nullptr;
    for (const sample_t& s : samples_)
        if (!best || std::fabs(s.second) > std::fabs(best->second)) best = &s;
    return best;
}

void attitudeCache_t::add(const msg_t& msg) {
    if (msg.category != msg_t::category_data) return;
    // Only the class the type number names is read.
    switch (msg.type) {
    case data_type_roll:
        if (const auto* m = dynamic_cast<const data_roll_t*>(&msg)) add(*m);
        break;
    case data_type_pitch:
        if (const auto* m = dynamic_cast<const data_pitch_t*>(&msg)) add(*m);
        break;
    case data_type_heave:
        if (const auto* m = dynamic_cast<const data_heave_t*>(&msg)) add(*m);
        break;
    default:
        break;
    }
}

void attitudeCache_t::add(const std::list<msg_t*>& msgs) {
    for (const msg_t* m : msgs)
        if (m) add(*m);
}

void attitudeCache_t::clear() {
    roll_.clear();
    pitch_.clear();
    heave_.clear();
}

void attitudeCache_t::trim(double tstamp) {
    roll_.trim(tstamp);
    pitch_.trim(tstamp);
    heave_.trim(tstamp);
}

namespace {

template <class M>
void report(double tstamp, float value, float M::*field, std::list<msg_t*>& out) {
    M* msg = new M;
    msg->utc_tstamp = tstamp;
    msg->*field = value;
    out.push_back(msg);
}

} // namespace

void attitudeCache_t::reportAverage(double tstamp, std::list<msg_t*>& out) const {
    if (!roll_.empty())
        report(tstamp, static_cast<float>(roll_.average()), &data_roll_t::roll, out);
    if (!pitch_.empty())
        report(tstamp, static_cast<float>(pitch_.average()), &data_pitch_t::pitch, out);
    if (!heave_.empty())
        report(tstamp, static_cast<float>(heave_.average()), &data_heave_t::heave, out);
}

void attitudeCache_t::reportPeak(double tstamp, std::list<msg_t*>& out) const {
    if (const auto* p = roll_.peak())
        report(tstamp, static_cast<float>(p->second), &data_roll_t::roll, out);
    if (const auto* p = pitch_.peak())
        report(tstamp, static_cast<float>(p->second), &data_pitch_t::pitch, out);
    if (const auto* p = heave_.peak())
        report(tstamp, static_cast<float>(p->second), &data_heave_t::heave, out);
}

} // namespace tern
