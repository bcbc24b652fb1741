// Serial line settings of a port, their text forms and their settings keys.
#pragma once

#include <iosfwd>
#include <string>

class KeelConfig;

namespace tern {

// Character size. Text: 0 "7", 1 "8"; any text but "7" reads as 8 bits.
enum char_size_t : unsigned char {
    char_size_7 = 0,
    char_size_8 = 1,
};

// Parity. Text: "none", "odd", "even"; any other text reads as none.
enum parity_t : unsigned char {
    parity_none = 0,
    parity_odd = 1,
    parity_even = 2,
};

// Stop bits. Text: 0 "1", 1 "2"; any text but "2" reads as one stop bit.
enum stop_bits_t : unsigned char {
    stop_bits_1 = 0,
    stop_bits_2 = 1,
};

// Flow control. Text: "none", "tern"; any text but "tern" reads as none.
enum flow_t : unsigned char {
    flow_none = 0,
    flow_tern = 1,
};

// Whether a port's settings are locked against change. Prints as its number.
enum port_lock_t : unsigned char {
    port_unlocked = 0,
    port_locked = 1,
};

constexpr unsigned int default_baud = 115200;

std::ostream& operator<<(std::ostream& os, char_size_t v);
bool operator>>(const std::string& text, char_size_t& v);
std::ostream& operator<<(std::ostream& os, parity_t v);
bool operator>>(const std::string& text, parity_t& v);
std::ostream& operator<<(std::ostream& os, stop_bits_t v);
bool operator>>(const std::string& text, stop_bits_t& v);
std::ostream& operator<<(std::ostream& os, flow_t v);
bool operator>>(const std::string& text, flow_t& v);
std::ostream& operator<<(std::ostream& os, port_lock_t v);

// Settings of one serial line. Messages carry the fields one by one.
class port_cfg_t {
public:
    unsigned int baud = default_baud;
    char_size_t data_bits = char_size_8;
    parity_t parity = parity_none;
    stop_bits_t stop_bits = stop_bits_1;
    flow_t flow_control = flow_none;
    std::string serial_device;
    bool use_rts = false;

    // Line settings only: the serial device name takes no part.
    bool operator==(const port_cfg_t& o) const;
    bool operator!=(const port_cfg_t& o) const { return !(*this == o); }

    // Writes serial_device, device_type, baud, data_bits, parity, stop_bits, flow_control and
    // use_rts under `prefix`, in that order.
    void set_cfg(const std::string& device_type, const std::string& prefix, KeelConfig& cfg) const;
    // Reads the same keys in the same order. The first seven are required: false at the first
    // one missing (fields read before it keep their new values). use_rts is optional and
    // false when absent.
    bool load_cfg(KeelConfig& cfg, const std::string& prefix, std::string& device_type);
};

// Settings key prefixes: "port_N_", "dyn_port_N_", "device_N_", "dyn_device_N_".
std::string port_config_prefix(int n);
std::string dynamic_port_config_prefix(int n);
std::string device_config_prefix(int n);
std::string dynamic_device_config_prefix(int n);

} // namespace tern
