// A serial port as an output: the device of port N opened and set up as its port settings
// describe it (tern-nmea --serial N; NMEA 0183 is a serial protocol, 4800 or 38400 baud on
// most vessels).
#pragma once

#include <tern/data/port_cfg.h>
#include <tern/output/output_cfg.h>
#include <tern/thread/glibTimer.h>

#include <keelconfig/KeelConfig.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tern_tool {

// The settings keys of a serial port after its "port_N_" prefix.
extern const char* const serial_keys[7];

// Port `port`'s serial settings from `store` (the "port_N_" keys as port_cfg_t reads them;
// absent keys take port_cfg_t's defaults). Values that do not convert to their key's type are
// added to `faults` (and false is returned); false with `why` set when no device is named.
bool serial_settings(const KeelConfig& store, int port, tern::port_cfg_t& cfg,
                     std::vector<tern::cfg_fault_t>& faults, std::string& why);

class serial_out_t {
public:
    serial_out_t();
    ~serial_out_t();
    serial_out_t(const serial_out_t&) = delete;
    serial_out_t& operator=(const serial_out_t&) = delete;

    // Called (once) on the main loop when the device goes away, e.g. a USB-serial adapter
    // pulled while nothing is being written.
    std::function<void(const std::string& why)> on_gone;

    // Opens cfg.serial_device without making it the controlling terminal, in raw mode with
    // the configured line settings. False with a one-line reason when it cannot be opened, is
    // not a serial device or refuses a setting (read back after setting).
    bool open(const tern::port_cfg_t& cfg, std::string& why);
    bool is_open() const { return fd_ >= 0; }
    // Writes all bytes (waiting while the line takes them). False with a one-line reason
    // when the device failed or went away, or took no byte at all for 10 s.
    bool write(const unsigned char* data, std::size_t len, std::string& why);

private:
    void hung_up();

    int fd_ = -1;
    std::string device_;
    gio_t<serial_out_t> watch_;
};

} // namespace tern_tool
