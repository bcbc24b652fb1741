// Where the wind status takes its heading and speed from, its statistics period and where
// the wind sensor sits on the vessel.
#pragma once

#include <iosfwd>
#include <string>

class KeelConfig;

namespace tern {

class msg_encoder_t;
class msg_decoder_t;

class windStatusConfig_t {
public:
    // Position of the sensor along or across the hull. Stored as its number.
    enum location_t : unsigned char {
        location_port = 0,      // "Port"
        location_starboard = 1, // "Starboard"
        location_bow = 2,       // "Bow"
        location_stern = 3,     // "Stern"
    };

    unsigned char heading_port_id = 255; // 255: no port
    unsigned char speed_port_id = 255;   // 255: no port
    unsigned int stats_period = 600;
    location_t along_location = location_bow;
    location_t across_location = location_port;

    // "Port", "Starboard", "Bow", "Stern", else "Unknown".
    static std::string toString(location_t location);

    void reset() { *this = windStatusConfig_t(); }

    // Keys heading_port_id, speed_port_id, stats_period, along_location, across_location, as
    // decimal numbers.
    void set_cfg(KeelConfig& cfg, const std::string& prefix) const;
    // Defaults first, then every key present; port ids and locations keep their low 8 bits.
    void load_cfg(KeelConfig& cfg, const std::string& prefix);

    bool operator==(const windStatusConfig_t& o) const;
    bool operator!=(const windStatusConfig_t& o) const { return !(*this == o); }
};

// Prints the number.
std::ostream& operator<<(std::ostream& os, windStatusConfig_t::location_t v);

// Heading port (byte), speed port (byte), period (u32), along and across location (a byte each).
msg_encoder_t& operator<<(msg_encoder_t& enc, const windStatusConfig_t& cfg);
msg_decoder_t& operator>>(msg_decoder_t& dec, windStatusConfig_t& cfg);

} // namespace tern
