#include "tern/alarms/windStatusConfig.h"

#include "tern/msg/msg.h"

#include <keelconfig/KeelConfig.h>

#include <ostream>

namespace tern {

std::string windStatusConfig_t::toString(location_t location) {
    switch (location) {
    case location_port:
        return "Port";
    case location_starboard:
        return "Starboard";
    case location_bow:
        return "Bow";
    case location_stern:
        return "Stern";
    }
    return "Unknown";
}

std::ostream& operator<<(std::ostream& os, windStatusConfig_t::location_t v) {
    return os << static_cast<unsigned int>(v);
}

void windStatusConfig_t::set_cfg(KeelConfig& cfg, const std::string& prefix) const {
    cfg.set(prefix + "heading_port_id", static_cast<unsigned int>(heading_port_id));
    cfg.set(prefix + "speed_port_id", static_cast<unsigned int>(speed_port_id));
    cfg.set(prefix + "stats_period", stats_period);
    cfg.set(prefix + "along_location", static_cast<unsigned int>(along_location));
    cfg.set(prefix + "across_location", static_cast<unsigned int>(across_location));
}

namespace {

// Reads a stored number and keeps its low 8 bits; the field is untouched when the key is
// missing or its text is not a number.
template <class T>
void load_byte(KeelConfig& cfg, const std::string& key, T& field) {
    unsigned int v = static_cast<unsigned int>(field);
    cfg.get(key, v);
    field = static_cast<T>(static_cast<unsigned char>(v));
}

} // namespace

void windStatusConfig_t::load_cfg(KeelConfig& cfg, const std::string& prefix) {
    reset();
    load_byte(cfg, prefix + "heading_port_id", heading_port_id);
    load_byte(cfg, prefix + "speed_port_id", speed_port_id);
    cfg.get(prefix + "stats_period", stats_period);
    load_byte(cfg, prefix + "along_location", along_location);
    load_byte(cfg, prefix + "across_location", across_location);
}

bool windStatusConfig_t::operator==(const windStatusConfig_t& o) const {
    return heading_port_id == o.heading_port_id && speed_port_id == o.speed_port_id &&
           stats_period == o.stats_period && along_location == o.along_location &&
           across_location == o.across_location;
}

msg_encoder_t& operator<<(msg_encoder_t& enc, const windStatusConfig_t& cfg) {
    enc << cfg.heading_port_id << cfg.speed_port_id << cfg.stats_period << cfg.along_location
        << cfg.across_location;
    return enc;
}

msg_decoder_t& operator>>(msg_decoder_t& dec, windStatusConfig_t& cfg) {
    dec >> cfg.heading_port_id >> cfg.speed_port_id >> cfg.stats_period >> cfg.along_location >>
        cfg.across_location;
    return dec;
}

} // namespace tern
