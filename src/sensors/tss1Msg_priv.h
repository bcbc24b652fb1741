// The navigation data of a parsed TSS1 record: shared by decodeTss and sensorInput_t, which
// parses whole records where they lie in a read. Inline, so that sensorInput_t's per-record
// path makes its messages without a further call.
#pragma once

#include <tern/decode/tss1Msg.h>
#include <tern/msg/data_msgs.h>

#include "sensors/sensor_msgs_priv.h"

#include <list>

#pragma GCC visibility push(hidden)

namespace tern {

// What decodeTss appends for `msg`, and whether it appended anything.
inline bool tss1DataMsgs(const tss1Msg_t& msg, double time, std::list<msg_t*>& out) {
    const std::size_t before = out.size();
    double v = 0.0;
    if (msg.getRoll(v)) push_value(out, time, &data_roll_t::roll, v);
    if (msg.getPitch(v)) push_value(out, time, &data_pitch_t::pitch, v);
    if (msg.getHeave(v)) push_value(out, time, &data_heave_t::heave, v); // positive up
    tss1Msg_t::status_t status{};
    double horizontal = 0.0;
    double vertical = 0.0;
    if (msg.getStatus(status) && msg.getHorizontalAcceleration(horizontal) &&
        msg.getVerticalAcceleration(vertical)) {
        auto* m = new_stamped<data_motion_t>(time);
        m->status = status;
        m->horizontal_acceleration = static_cast<float>(horizontal);
        m->vertical_acceleration = static_cast<float>(vertical);
        out.push_back(m);
    }
    return out.size() != before;
}

} // namespace tern

#pragma GCC visibility pop
