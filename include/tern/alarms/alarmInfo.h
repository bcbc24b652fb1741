// Description of one alarm bit: its display text and a flag the user interface interprets.
#pragma once

#include <string>
#include <utility>

namespace tern {

// One row of an alarm table; the bit number of the alarm is the row's position in its table.
class alarmInfo_t {
public:
    bool flag = false; // meaning decided by the display (set only for a few system alarms)
    std::string text;  // the alarm's text, shown as is

    alarmInfo_t() = default;
    alarmInfo_t(bool f, std::string t) : flag(f), text(std::move(t)) {}

    bool operator==(const alarmInfo_t& o) const { return flag == o.flag && text == o.text; }
    bool operator!=(const alarmInfo_t& o) const { return !(*this == o); }
};

} // namespace tern
