// Wind values derived from a wind sensor, each present only when announced by the mask.
#pragma once

namespace tern {

class msg_encoder_t;
class msg_decoder_t;

// Up to five wind values. Wire form: the mask byte, then each announced value as a double,
// bit 0 first. Decoding reads exactly the announced values; the others keep their contents.
class windStatus_t {
public:
    enum mask_bit_t : unsigned char {
        has_true_speed = 1u << 0,
        has_true_direction = 1u << 1,
        has_mean_speed = 1u << 2,
        has_gust_speed = 1u << 3,
        has_mean_direction = 1u << 4,
        all_values = 0x1F,
    };

    unsigned char mask = 0;
    double true_speed = 0.0;     // metres per second
    double true_direction = 0.0; // radians, direction the wind comes from
    double mean_speed = 0.0;     // metres per second, over the statistics period
    double gust_speed = 0.0;     // metres per second, highest over the period
    double mean_direction = 0.0; // radians, over the statistics period

    bool has(mask_bit_t bit) const { return (mask & bit) != 0; }

    // Equal masks and equal announced values; values not announced do not count.
    bool operator==(const windStatus_t& o) const;
    bool operator!=(const windStatus_t& o) const { return !(*this == o); }
};

msg_encoder_t& operator<<(msg_encoder_t& enc, const windStatus_t& ws);
msg_decoder_t& operator>>(msg_decoder_t& dec, windStatus_t& ws);

} // namespace tern
