#include <tern/config/serialConfigCycler.h>

#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/thread/glibTimer.h>

#include <glib.h>

#include <algorithm>
#include <vector>

namespace tern {

namespace {

double monotonic_seconds() {
    return static_cast<double>(g_get_monotonic_time()) / 1e6;
}

// The value when supported, else the first supported one; an empty list supports anything.
template <class T>
T validate(T value, const std::vector<T>& list) {
    if (list.empty() || std::find(list.begin(), list.end(), value) != list.end()) return value;
    return list.front();
}

// The supported value after `value`, wrapping from the last to the first; the first when
// `value` is not supported; `value` itself when nothing is listed.
template <class T>
T nextValid(T value, const std::vector<T>& list) {
    if (list.empty()) return value;
    auto it = std::find(list.begin(), list.end(), value);
    if (it == list.end()) return list.front();
    ++it;
    return it == list.end() ? list.front() : *it;
}

} // namespace

struct serialConfigCycler_t::priv_t {
    serialConfigCycler_t* owner = nullptr;
    device_t* device = nullptr;
    bool enabled = false;
    double timeout = defaultTimeout;
    bool started = false;
    port_cfg_t start_cfg;
    port_cfg_t current_cfg;
    double last_change = 0.0;
    std::function<double()> clock;
    glibTimer_t poll_timer;

    const deviceInfo_t* info() const { return device ? device->device_info() : nullptr; }

    double now() const { return clock ? clock() : monotonic_seconds(); }

    // Messages to the device's own port; a device not yet on a port leaves the default.
    void address(msg_t& m) const {
        if (device && device->get_port_id() >= 0)
            m.port = static_cast<unsigned int>(device->get_port_id());
    }

    void poll() {
        std::list<msg_t*> msgs;
        owner->trySettings(msgs);
        if (!msgs.empty()) device->handle_dev_msgs(msgs); // may delete the cycler
    }
};

serialConfigCycler_t::serialConfigCycler_t(device_t* device) : priv_(new priv_t) {
    priv_->owner = this;
    priv_->device = device;
    priv_->poll_timer.timeout.connect(sigc::mem_fun(*priv_, &priv_t::poll));
}

serialConfigCycler_t::~serialConfigCycler_t() = default;

void serialConfigCycler_t::setEnabled(bool enabled) {
    priv_->enabled = enabled;
    priv_->started = false;
    priv_->last_change = 0.0;
}

bool serialConfigCycler_t::isEnabled() const {
    return priv_->enabled;
}

void serialConfigCycler_t::trySettings(std::list<msg_t*>& out) {
    if (!priv_->enabled || !updateConfig()) return;
    auto* cmd = new cmd_port_cfg_t;
    cmd->cfg = priv_->current_cfg;
    priv_->address(*cmd);
    out.push_back(cmd);
}

void serialConfigCycler_t::succeed(std::list<msg_t*>& out) {
    if (!priv_->enabled) return;
    auto* cmd = new cmd_settings_t;
    cmd->action = cmd_settings_t::action_store_found;
    priv_->address(*cmd);
    out.push_back(cmd);
    setEnabled(false);
}

bool serialConfigCycler_t::updateConfig() {
    priv_t& p = *priv_;
    if (!p.started) {
        if (!p.device || !p.device->get_port_cfg(p.start_cfg)) return false;
        p.started = true;
        const bool changed = validateConfig(p.start_cfg);
        p.current_cfg = p.start_cfg;
        p.last_change = p.now();
        return changed;
    }
    const double now = p.now();
    if (now < p.last_change) p.last_change = now; // a clock set back waits one dwell, not more
    if (p.timeout > now - p.last_change) return false;
    nextConfig(p.current_cfg);
    p.last_change = now;
    return true;
}

void serialConfigCycler_t::nextConfig(port_cfg_t& cfg) {
    const deviceInfo_t* info = priv_->info();
    if (!info) return;
    const port_cfg_t& start = priv_->start_cfg;
    cfg.baud = nextValid(cfg.baud, info->baud_rates);
    if (cfg.baud != start.baud) return;
    cfg.stop_bits = nextValid(cfg.stop_bits, info->stop_bits);
    if (cfg.stop_bits != start.stop_bits) return;
    cfg.parity = nextValid(cfg.parity, info->parities);
    if (cfg.parity != start.parity) return;
    cfg.data_bits = nextValid(cfg.data_bits, info->data_bits);
}

bool serialConfigCycler_t::validateConfig(port_cfg_t& cfg) {
    const deviceInfo_t* info = priv_->info();
    if (!info) return false;
    port_cfg_t v = cfg;
    v.baud = validate(v.baud, info->baud_rates);
    v.data_bits = validate(v.data_bits, info->data_bits);
    v.parity = validate(v.parity, info->parities);
    v.stop_bits = validate(v.stop_bits, info->stop_bits);
    if (v == cfg) return false;
    cfg = v;
    return true;
}

void serialConfigCycler_t::setTimeout(double seconds) {
    priv_->timeout = seconds;
}

double serialConfigCycler_t::timeout() const {
    return priv_->timeout;
}

void serialConfigCycler_t::setClock(std::function<double()> clock) {
    priv_->clock = std::move(clock);
}

void serialConfigCycler_t::startPolling(unsigned interval_ms) {
    priv_->poll_timer.start(interval_ms);
}

void serialConfigCycler_t::stopPolling() {
    priv_->poll_timer.stop();
}

bool serialConfigCycler_t::isPolling() const {
    return priv_->poll_timer.isActive();
}

bool serialConfigCycler_t::isStarted() const {
    return priv_->started;
}

const port_cfg_t& serialConfigCycler_t::startConfig() const {
    return priv_->start_cfg;
}

const port_cfg_t& serialConfigCycler_t::currentConfig() const {
    return priv_->current_cfg;
}

double serialConfigCycler_t::lastChange() const {
    return priv_->last_change;
}

} // namespace tern
