#include <tern/sensors/emAttitudeInputMsg.h>

#include <tern/msg/data_msgs.h>

#include <cstring>

#include "sensors/sensor_msgs_priv.h"

namespace {

constexpr double pi = 3.14159265358979323846;
// Hundredths of a degree in radians, held in single precision as the sensor's scale.
const float angle_scale = static_cast<float>(0.01 * pi / 180.0);
const float heave_scale = -0.01f;

bool valid_status_byte(unsigned char b) {
    return b == 0x00 || (b >= 0x90 && b <= 0xAF);
}

int status_of(unsigned char b) {
    if (b >= 0xA0) return 1;
    if (b >= 0x9A) return 2;
    return 3;
}

std::int16_t signed_word(const unsigned char* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

std::uint16_t unsigned_word(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

unsigned int emAttitudeInputMsg_t::decode(const void* data, unsigned int len) {
    status_ = 0;
    if (data == nullptr || len < 2) return 0;
    const auto* p = static_cast<const unsigned char*>(data);
    const void* found = std::memchr(p + 1, header_byte, len - 1);
    // No header yet: the last byte may be the status byte of a frame whose header is still
    // on its way, so it stays; everything before it cannot start a frame.
    if (found == nullptr) return len - 1;
    const auto s = static_cast<unsigned int>(static_cast<const unsigned char*>(found) - p) - 1;
    if (s > 0) return s;
    if (!valid_status_byte(p[0])) return 1;
    if (len < frame_size) return 0;
    std::memcpy(raw_, p, frame_size);
    status_ = status_of(p[0]);
    return frame_size;
}

unsigned char emAttitudeInputMsg_t::accuracy() const {
    if (raw_[0] == 0x00) return 10;
    return static_cast<unsigned char>(0x9A - raw_[0]);
}

double emAttitudeInputMsg_t::roll() const {
    return signed_word(raw_ + 2) * angle_scale;
}

double emAttitudeInputMsg_t::pitch() const {
    return signed_word(raw_ + 4) * angle_scale;
}

double emAttitudeInputMsg_t::heave() const {
    return signed_word(raw_ + 6) * heave_scale;
}

double emAttitudeInputMsg_t::heading() const {
    return unsigned_word(raw_ + 8) * angle_scale;
}

namespace tern {

bool emAttitudeDataMsgs(const emAttitudeInputMsg_t& msg, double time, std::list<msg_t*>& out) {
    if (msg.status() == 0) return false;
    push_value(out, time, &data_roll_t::roll, msg.roll());
    push_value(out, time, &data_pitch_t::pitch, msg.pitch());
    push_value(out, time, &data_heave_t::heave, msg.heave()); // positive down
    push_value(out, time, &data_heading_t::heading, msg.heading());
    return true;
}

} // namespace tern
