#include <tern/sensors/decodeAtsAscii.h>

#include <tern/decode/atsAsciiMsg.h>
#include <tern/decode/dateTime.h>
#include <tern/decode/decode.h>
#include <tern/msg/data_msgs.h>

#include "sensors/sensor_msgs_priv.h"

namespace tern {

bool decodeAtsAscii(const atsAsciiMsg_t& msg, std::list<msg_t*>& out) {
    if (msg.checksumError()) return false;
    dateTime_t when;
    if (!msg.decodeDate(when.date()) || !msg.decodeTimeOfDay(when.timeOfDay())) return false;
    const double time = when.toTimestamp();
    std::string id;
    if (!msg.decodeBeaconId(id)) return false;

    bool appended = false;
    std::string code;
    if (msg.decodeErrorCode(code)) {
        unsigned int value = 0;
        if (!decode(code, value, 10)) return false;
        auto* m = new_target_msg<data_pos_target_status_t>(time, id);
        m->status.error_code = code;
        out.push_back(m);
        appended = true;
        if (value != 0) return true;
    }
    double x = 0.0;
    double y = 0.0;
    if (msg.decodeBeaconX(x) && msg.decodeBeaconY(y)) {
        auto* m = new_target_msg<data_pos_offset_vessel_t>(time, id);
        m->x = x;
        m->y = y;
        out.push_back(m);
        appended = true;
    }
    double depth = 0.0;
    if (msg.decodeBeaconDepth(depth)) {
        auto* m = new_target_msg<data_pos_target_depth_t>(time, id);
        m->depth = depth;
        out.push_back(m);
        appended = true;
    }
    return appended;
}

} // namespace tern
