// What a device type is: its name, its display text, its alarms, its capabilities and the
// serial settings it can work with.
#pragma once

#include <tern/alarms/alarmInfo.h>
#include <tern/data/port_cfg.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tern {

// Description of one device type. Each concrete device type owns one (usually a static object)
// and registers it with allDeviceInfo_t; devices hand it out through device_t::device_info().
class deviceInfo_t {
public:
    // Alarm words are 32 bits wide, so a type can describe at most this many device alarms.
    static constexpr unsigned int max_alarms = 32;

    std::string type_name;           // one of the deviceName... values
    std::string description;         // for display
    std::vector<alarmInfo_t> alarms; // device alarms; the position is the alarm's bit
    std::uint32_t capabilities = 0;  // capability bits, defined by the device types
    // Serial settings the type supports. The order is the order in which they are tried when
    // the line settings of a silent device are searched.
    std::vector<unsigned int> baud_rates;
    std::vector<char_size_t> data_bits;
    std::vector<parity_t> parities;
    std::vector<stop_bits_t> stop_bits;

    deviceInfo_t() = default;
    deviceInfo_t(std::string type, std::string desc, std::uint32_t caps = 0);

    // Appends the description of the next device alarm bit. A null text is taken as empty.
    // Returns false, and adds nothing, once max_alarms are described: a further bit could
    // never be reported.
    bool addAlarm(bool flag, const char* text);

    // True when every bit of `mask` is set in the capability mask (so an empty mask is true).
    bool hasCapabilities(unsigned int mask) const { return (capabilities & mask) == mask; }
};

} // namespace tern
