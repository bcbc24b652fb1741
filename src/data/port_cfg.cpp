#include "tern/data/port_cfg.h"

#include <keelconfig/KeelConfig.h>

#include <ostream>

namespace tern {

std::ostream& operator<<(std::ostream& os, char_size_t v) {
    return os << (v == char_size_7 ? "7" : "8");
}

bool operator>>(const std::string& text, char_size_t& v) {
    v = text == "7" ? char_size_7 : char_size_8;
    return true;
}

std::ostream& operator<<(std::ostream& os, parity_t v) {
    switch (v) {
    case parity_odd:
        return os << "odd";
    case parity_even:
        return os << "even";
    default:
        return os << "none";
    }
}

bool operator>>(const std::string& text, parity_t& v) {
    if (text == "odd")
        v = parity_odd;
    else if (text == "even")
        v = parity_even;
    else
        v = parity_none;
    return true;
}

std::ostream& operator<<(std::ostream& os, stop_bits_t v) {
    return os << (v == stop_bits_2 ? "2" : "1");
}

bool operator>>(const std::string& text, stop_bits_t& v) {
    v = text == "2" ? stop_bits_2 : stop_bits_1;
    return true;
}

std::ostream& operator<<(std::ostream& os, flow_t v) {
    return os << (v == flow_tern ? "tern" : "none");
}

bool operator>>(const std::string& text, flow_t& v) {
    v = text == "tern" ? flow_tern : flow_none;
    return true;
}

std::ostream& operator<<(std::ostream& os, port_lock_t v) {
    return os << static_cast<unsigned int>(v);
}

bool port_cfg_t::operator==(const port_cfg_t& o) const {
    return baud == o.baud && data_bits == o.data_bits && parity == o.parity &&
           stop_bits == o.stop_bits && flow_control == o.flow_control && use_rts == o.use_rts;
}

void port_cfg_t::set_cfg(const std::string& device_type, const std::string& prefix,
                         KeelConfig& cfg) const {
    cfg.set(prefix + "serial_device", serial_device);
    cfg.set(prefix + "device_type", device_type);
    cfg.set(prefix + "baud", baud);
    cfg.set(prefix + "data_bits", data_bits);
    cfg.set(prefix + "parity", parity);
    cfg.set(prefix + "stop_bits", stop_bits);
    cfg.set(prefix + "flow_control", flow_control);
    cfg.set(prefix + "use_rts", use_rts);
}

bool port_cfg_t::load_cfg(KeelConfig& cfg, const std::string& prefix, std::string& device_type) {
    if (!cfg.get(prefix + "serial_device", serial_device)) return false;
    if (!cfg.get(prefix + "device_type", device_type)) return false;
    if (!cfg.get(prefix + "baud", baud)) return false;
    if (!cfg.get(prefix + "data_bits", data_bits)) return false;
    if (!cfg.get(prefix + "parity", parity)) return false;
    if (!cfg.get(prefix + "stop_bits", stop_bits)) return false;
    if (!cfg.get(prefix + "flow_control", flow_control)) return false;
    // Older settings files predate RTS control.
    use_rts = false;
    cfg.get(prefix + "use_rts", use_rts);
    return true;
}

namespace {

std::string numbered_prefix(const char* head, int n) {
    return head + std::to_string(n) + "_";
}

} // namespace

std::string port_config_prefix(int n) {
    return numbered_prefix("port_", n);
}
std::string dynamic_port_config_prefix(int n) {
    return numbered_prefix("dyn_port_", n);
}
std::string device_config_prefix(int n) {
    return numbered_prefix("device_", n);
}
std::string dynamic_device_config_prefix(int n) {
    return numbered_prefix("dyn_device_", n);
}

} // namespace tern
