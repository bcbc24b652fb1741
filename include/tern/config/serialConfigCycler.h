// Searching a silent serial device's line settings.
#pragma once

#include <tern/data/port_cfg.h>

#include <functional>
#include <list>
#include <memory>

namespace tern {

class device_t;
class msg_t;

// Steps a device's port through every combination of the serial settings its device type
// supports (deviceInfo_t's lists, in their order), one combination per dwell time, until the
// device reports success. It starts from the port's settings, first corrected to supported
// values, and turns the wheels like an odometer: baud rate fastest, then stop bits, parity
// and data bits, each wheel turning the next when it comes back to its starting value. A type
// that lists no value for a wheel keeps the port's value there.
//
// Each new combination becomes a cmd_port_cfg_t, success a cmd_settings_t (action_store_found);
// both are addressed to the device's port. The dwell time is measured on a monotonic clock, so
// setting the system clock neither stalls nor hurries the search.
class serialConfigCycler_t {
public:
    static constexpr double defaultTimeout = 2.0;

    // `device` (not owned) must outlive the cycler.
    explicit serialConfigCycler_t(device_t* device);
    ~serialConfigCycler_t();
    serialConfigCycler_t(const serialConfigCycler_t&) = delete;
    serialConfigCycler_t& operator=(const serialConfigCycler_t&) = delete;

    // Turns cycling on or off; either way the next start captures the port settings afresh.
    void setEnabled(bool enabled);
    bool isEnabled() const;

    // When enabled and the settings change (updateConfig), appends a cmd_port_cfg_t with the
    // combination to try. The caller sends and frees it.
    void trySettings(std::list<msg_t*>& out);
    // When enabled, appends a cmd_settings_t with action_store_found (store the settings just
    // found) and switches cycling off.
    void succeed(std::list<msg_t*>& out);

    // First call after enabling: captures and corrects the port settings, and reports whether
    // the correction changed them. Later calls: after the dwell time, moves to the next
    // combination and returns true; before it, false.
    bool updateConfig();
    // The combination after `cfg` in odometer order (see above).
    void nextConfig(port_cfg_t& cfg);
    // Replaces each unsupported value of `cfg` by the first supported one; true when that
    // changed anything (the serial device name takes no part).
    bool validateConfig(port_cfg_t& cfg);

    // Dwell time per combination, in seconds (defaultTimeout).
    void setTimeout(double seconds);
    double timeout() const;
    // The clock the dwell time is measured on, in seconds; null restores the default
    // monotonic clock. A clock that goes back restarts the dwell time.
    void setClock(std::function<double()> clock);

    // Drives the search from the main loop: every `interval_ms` calls trySettings and hands
    // the commands to the device (device_t::handle_dev_msgs). The device may delete the
    // cycler from inside that call.
    void startPolling(unsigned interval_ms = 250);
    void stopPolling();
    bool isPolling() const;

    bool isStarted() const;
    // The captured (corrected) settings and the combination being tried.
    const port_cfg_t& startConfig() const;
    const port_cfg_t& currentConfig() const;
    // Clock reading of the last change (0.0 before the first).
    double lastChange() const;

private:
    struct priv_t;
    std::unique_ptr<priv_t> priv_;
};

} // namespace tern
