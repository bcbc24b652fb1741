// The alarm tables, the list of active alarms and the 24-hour alarm history.
//
// Alarms are bits of 32-bit words. System alarms concern the whole controller; general alarms
// every device can have (one word per port); device alarms are specific to a device type (one
// word per port, described by the type's deviceInfo_t::alarms). The bit number of an alarm is
// its row in its table. Port number 255 stands for the system.
#pragma once

#include <tern/alarms/alarmInfo.h>

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

namespace tern {

class fb_system_alarms_t;
class fb_message_t;

// Port number of the system in the alarm lists.
constexpr unsigned int alarm_port_system = 255;

// System alarms: 0 "No ports detected!" (flag set), 1 "No time reference device selected",
// 2 "Time reference device not syncing". Built on first use, kept for the process's life.
const std::vector<alarmInfo_t>& systemAlarms();
// General alarms, bit = index of device_t::general_alarm_flag: 0 "No communications",
// 1 "Invalid Navigation", 2 "Output error", 3 "Output buffer overflow", 4 "Output timeout",
// 5 "Logging suspended: device not found", 6 "Logging suspended: error logging data",
// 7 "Error opening serial port", 8 "Error configuring serial port",
// 9 "Failed to assert flow control".
const std::vector<alarmInfo_t>& generalAlarms();

// The text of alarm `bit` of a table; a bit the table does not describe (a newer peer, a
// device type not registered here) is "Unknown alarm N".
std::string alarmText(const std::vector<alarmInfo_t>& table, unsigned int bit);
// The texts of every set bit of `mask`, lowest bit first.
std::vector<std::string> alarmTexts(const std::vector<alarmInfo_t>& table, std::uint32_t mask);

// Which alarms are on, per port, and since when: an entry per report that first showed some
// alarms still on. Each alarm appears once per port; entries stay in order of raising and
// an entry whose alarms all went off is removed.
class activeAlarms_t {
public:
    struct entry_t {
        double tstamp = 0.0;          // the time of the report that raised them
        unsigned int port = 0;        // 255: the system
        std::uint32_t alarms = 0;     // general (or system) alarms
        std::uint32_t dev_alarms = 0; // device alarms
        bool empty() const { return alarms == 0 && dev_alarms == 0; }
    };

    std::list<entry_t> entries;

    // The system's word: an entry (report time, 255, word, 0).
    void handle(const fb_system_alarms_t& msg);
    // A port's words: (report time, the message's port, code as general, value as device).
    void handle(const fb_message_t& msg);
    // Alarms of the port no longer in `e` leave its entries (an emptied entry goes); what is
    // left of `e` after the alarms already listed is appended when not empty.
    void update(entry_t e);
    void clearForPort(unsigned int port);
};

// The last reported alarm words of one port.
struct deviceAlarms_t {
    std::uint32_t general = 0;
    std::uint32_t device = 0;
};

// Every raising and clearing of alarms of the last 24 hours, in report order.
//
// Entries older than the cut-off (the data clock, which stamps the reports, minus 86400 s)
// are removed whenever a change is recorded, wherever they are in the list.
class alarmHistory_t {
public:
    static constexpr double keep_seconds = 86400.0;

    using deviceAlarms_t = tern::deviceAlarms_t;
    struct entry_t {
        double tstamp = 0.0;
        unsigned int port = 0;
        std::uint32_t alarms = 0;     // general (or system) alarms
        std::uint32_t dev_alarms = 0; // device alarms
        bool raised = false;          // true: these came on; false: they went off
    };

    std::uint32_t system_alarms = 0;              // last reported system word
    std::map<unsigned int, deviceAlarms_t> ports; // last reported words per port
    std::list<entry_t> entries;

    alarmHistory_t();

    // Records the bits that went off (one entry), then those that came on (another), then
    // trims and keeps the word. An unchanged word records and trims nothing. A report stamped
    // with no time (NaN, infinite) is recorded at the clock's time.
    void handle(const fb_system_alarms_t& msg);
    void handle(const fb_message_t& msg);
    // Forgets the port's entries and words.
    void clearForPort(unsigned int port);
    void clear();
    // Removes every entry older than the clock's time minus 24 hours.
    void trimEntries();

    // The clock of the cut-off; gettstamp_data by default.
    using clock_t = double (*)();
    void set_clock(clock_t clock) { clock_ = clock; }

private:
    double now() const;
    bool record(double tstamp, unsigned int port, std::uint32_t old_general,
                std::uint32_t new_general, std::uint32_t old_device, std::uint32_t new_device);

    clock_t clock_ = nullptr;
};

} // namespace tern
