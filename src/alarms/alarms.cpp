#include "tern/alarms/alarms.h"

#include "tern/msg/fb_msgs.h"
#include "tern/util/time_util.h"

#include <cmath>

namespace tern {

const std::vector<alarmInfo_t>& systemAlarms() {
    static const std::vector<alarmInfo_t> table = {
        {true, "No ports detected!"},
        {false, "No time reference device selected"},
        {false, "Time reference device not syncing"},
    };
    return table;
}

const std::vector<alarmInfo_t>& generalAlarms() {
    static const std::vector<alarmInfo_t> table = {
        {false, "No communications"},
        {false, "Invalid Navigation"},
        {false, "Output error"},
        {false, "Output buffer overflow"},
        {false, "Output timeout"},
        {false, "Logging suspended: device not found"},
        {false, "Logging suspended: error logging data"},
        {false, "Error opening serial port"},
        {false, "Error configuring serial port"},
        {false, "Failed to assert flow control"},
    };
    return table;
}

std::string alarmText(const std::vector<alarmInfo_t>& table, unsigned int bit) {
    if (bit < table.size()) return table[bit].text;
    return "Unknown alarm " + std::to_string(bit);
}

std::vector<std::string> alarmTexts(const std::vector<alarmInfo_t>& table, std::uint32_t mask) {
    std::vector<std::string> texts;
    for (unsigned int bit = 0; bit < 32; ++bit) {
        if (mask & (std::uint32_t(1) << bit)) texts.push_back(alarmText(table, bit));
    }
    return texts;
}

// ---- activeAlarms_t

void activeAlarms_t::handle(const fb_system_alarms_t& msg) {
    update({msg.tstamp, alarm_port_system, msg.alarms, 0});
}

void activeAlarms_t::handle(const fb_message_t& msg) {
    update({msg.tstamp, msg.port, msg.code, msg.value});
}

void activeAlarms_t::update(entry_t e) {
    for (auto it = entries.begin(); it != entries.end();) {
        if (it->port != e.port) {
            ++it;
            continue;
        }
        it->alarms &= e.alarms;
        it->dev_alarms &= e.dev_alarms;
        if (it->empty()) {
            it = entries.erase(it);
            continue;
        }
        e.alarms &= ~it->alarms;
        e.dev_alarms &= ~it->dev_alarms;
        ++it;
    }
    if (!e.empty()) entries.push_back(e);
}

void activeAlarms_t::clearForPort(unsigned int port) {
    entries.remove_if([port](const entry_t& e) { return e.port == port; });
}

// ---- alarmHistory_t

alarmHistory_t::alarmHistory_t() : clock_(&gettstamp_data) {}

bool alarmHistory_t::record(double tstamp, unsigned int port, std::uint32_t old_general,
                            std::uint32_t new_general, std::uint32_t old_device,
                            std::uint32_t new_device) {
    // A stamp that is not a time would keep its entry for ever (no cut-off compares with it).
    if (!std::isfinite(tstamp)) tstamp = now();
    const std::uint32_t cleared = old_general & ~new_general;
    const std::uint32_t cleared_dev = old_device & ~new_device;
    const std::uint32_t raised = new_general & ~old_general;
    const std::uint32_t raised_dev = new_device & ~old_device;
    if (cleared || cleared_dev) entries.push_back({tstamp, port, cleared, cleared_dev, false});
    if (raised || raised_dev) entries.push_back({tstamp, port, raised, raised_dev, true});
    if (!(cleared || cleared_dev || raised || raised_dev)) return false;
    trimEntries();
    return true;
}

void alarmHistory_t::handle(const fb_system_alarms_t& msg) {
    if (record(msg.tstamp, alarm_port_system, system_alarms, msg.alarms, 0, 0))
        system_alarms = msg.alarms;
}

void alarmHistory_t::handle(const fb_message_t& msg) {
    deviceAlarms_t& words = ports[msg.port];
    if (record(msg.tstamp, msg.port, words.general, msg.code, words.device, msg.value)) {
        words.general = msg.code;
        words.device = msg.value;
    }
}

void alarmHistory_t::clearForPort(unsigned int port) {
    entries.remove_if([port](const entry_t& e) { return e.port == port; });
    ports.erase(port);
}

void alarmHistory_t::clear() {
    system_alarms = 0;
    ports.clear();
    entries.clear();
}

double alarmHistory_t::now() const {
    return clock_ ? clock_() : gettstamp_data();
}

void alarmHistory_t::trimEntries() {
    const double cutoff = now() - keep_seconds;
    // Every old entry goes, not only those at the front: one entry stamped in the future
    // must not keep the older ones behind it for ever.
    entries.remove_if([cutoff](const entry_t& e) { return e.tstamp < cutoff; });
}

} // namespace tern
