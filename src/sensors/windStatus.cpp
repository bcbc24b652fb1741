#include "tern/sensors/windStatus.h"

#include "tern/msg/msg.h"

namespace tern {

namespace {

// The values in wire order, bit 0 first.
double windStatus_t::*const wind_values[] = {
    &windStatus_t::true_speed, &windStatus_t::true_direction, &windStatus_t::mean_speed,
    &windStatus_t::gust_speed, &windStatus_t::mean_direction,
};
constexpr unsigned int wind_value_count = sizeof(wind_values) / sizeof(wind_values[0]);

} // namespace

bool windStatus_t::operator==(const windStatus_t& o) const {
    if ((mask & all_values) != (o.mask & all_values)) return false;
    for (unsigned int i = 0; i < wind_value_count; ++i) {
        if ((mask & (1u << i)) != 0 && this->*wind_values[i] != o.*wind_values[i]) return false;
    }
    return true;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const windStatus_t& ws) {
    // The mask byte goes out as it is; bits above the five values announce nothing.
    enc << ws.mask;
    for (unsigned int i = 0; i < wind_value_count; ++i) {
        if ((ws.mask & (1u << i)) != 0) enc << ws.*wind_values[i];
    }
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, windStatus_t& ws) {
    unsigned char mask = ws.mask;
    dec >> mask;
    if (dec.is_short()) return dec;
    ws.mask = mask;
    for (unsigned int i = 0; i < wind_value_count && !dec.is_short(); ++i) {
        if ((ws.mask & (1u << i)) != 0) dec >> ws.*wind_values[i];
    }
    return dec;
}

} // namespace tern
