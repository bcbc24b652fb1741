// Alarm tables, active alarms, the 24-hour history, and the wind status settings.
#include <tern/alarms/alarms.h>
#include <tern/alarms/windStatusConfig.h>
#include <tern/msg/fb_msgs.h>
#include <tern/util/time_util.h>

#include "support/cases.h"
#include "support/codec.h"
#include "support/text.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

using namespace tern;
using tern_test::case_t;

namespace {

fb_system_alarms_t system_report(double t, unsigned int word) {
    fb_system_alarms_t m;
    m.tstamp = t;
    m.alarms = word;
    return m;
}

double fixed_now = 1000.0; // the clock that stamps the history's reports

// Entries as "TIME PORT ALARMS DEVICE[+-]", joined by ", ".
template <class E>
std::string show(const std::list<E>& entries) {
    std::ostringstream os;
    os << std::setprecision(12);
    for (const E& e : entries) {
        os << (&e == &entries.front() ? "" : ", ") << e.tstamp << ' ' << e.port << ' ' << e.alarms
           << ' ' << e.dev_alarms;
        if constexpr (std::is_same_v<E, alarmHistory_t::entry_t>) os << (e.raised ? " +" : " -");
    }
    return os.str();
}

} // namespace

// tests/cases/alarms/sequences.txt: reports in order and the entries they leave.
class AlarmSequence : public ::testing::TestWithParam<case_t> {};

TEST_P(AlarmSequence, EntriesLeft) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 3u);
    fixed_now = 1000.0;
    activeAlarms_t active;
    alarmHistory_t history;
    history.set_clock([] { return fixed_now; });
    std::istringstream steps(c[1]);
    for (std::string step; std::getline(steps, step, ',');) {
        std::istringstream in(step);
        std::vector<std::string> w{std::istream_iterator<std::string>(in), {}};
        ASSERT_FALSE(w.empty()) << step;
        const auto num = [&](size_t i) { return i < w.size() ? std::stod(w[i]) : 0.0; };
        const auto word = [&](size_t i) { return static_cast<unsigned>(num(i)); };
        if (w[0] == "now") {
            fixed_now = num(1);
        } else if (w[0] == "clear" && w.size() == 1) {
            history.clear();
        } else if (w[0] == "clear") {
            active.clearForPort(word(1));
            history.clearForPort(word(1));
        } else if (w[0] == "s") {
            active.handle(system_report(num(1), word(2)));
            history.handle(system_report(num(1), word(2)));
        } else {
            fb_message_t m;
            m.port = unsigned(std::stoul(w[0].substr(1)));
            m.tstamp = num(1);
            m.code = word(2);
            m.value = word(3);
            active.handle(m);
            history.handle(m);
        }
    }
    EXPECT_EQ(c[0] == "history" ? show(history.entries) : show(active.entries), c[2]);
}
TERN_CASES(Reports, AlarmSequence, "alarms/sequences.txt");

class AlarmRow : public ::testing::TestWithParam<case_t> {};

TEST_P(AlarmRow, SitsAtItsBitWithItsFlagAndText) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 4u);
    const std::vector<alarmInfo_t>& table = c[0] == "system" ? systemAlarms() : generalAlarms();
    const unsigned bit = unsigned(std::stoul(c[1]));
    EXPECT_EQ(alarmText(table, bit), c[3] == "none" ? "Unknown alarm " + c[1] : c[3]);
    if (c[2] == "none") {
        EXPECT_EQ(table.size(), bit);
        return;
    }
    ASSERT_LT(bit, table.size());
    EXPECT_EQ(table[bit].flag, c[2] == "true");
}
TERN_CASES(File, AlarmRow, "alarms/alarm_rows.txt");

TEST(AlarmTables, UnknownBitsAreNamedByNumberInBitOrder) {
    EXPECT_EQ(alarmTexts(systemAlarms(), 0x8000000Au),
              (std::vector<std::string>{"No time reference device selected", "Unknown alarm 3",
                                        "Unknown alarm 31"}));
}

TEST(AlarmHistoryDataClock, ReportsStampedADayBehindTheSystemClockAreKept) {
    // The reports carry data time; the system clock must not decide what is a day old.
    const double saved = get_tstamp_data_diff();
    set_tstamp_data_diff(-2 * 86400.0);
    alarmHistory_t h;
    h.handle(system_report(gettstamp_data() - 60, 1));
    h.handle(system_report(gettstamp_data(), 0));
    EXPECT_EQ(h.entries.size(), 2u);
    set_tstamp_data_diff(saved);
}

using wsc = windStatusConfig_t;

const windStatusConfig_t odd_cfg{3, 0, 70000, wsc::location_stern, wsc::location_starboard};

// Frames and settings carry the numbers; keys that are absent give the defaults; port
// numbers keep their low byte; a location past the table reads "Unknown".
TEST(WindStatusConfig, CodecAndStoreRoundTripAsNumbers) {
    EXPECT_EQ(tern_test::payload_of(odd_cfg), "03 00 70 11 01 00 03 01");
    EXPECT_EQ(tern_test::payload_of(windStatusConfig_t()), "FF FF 58 02 00 00 02 00");
    KeelConfig store;
    odd_cfg.set_cfg(store, "w_");
    EXPECT_EQ(tern_test::store_text(store),
              "w_heading_port_id=3\nw_speed_port_id=0\nw_stats_period=70000\n"
              "w_along_location=3\nw_across_location=1\n");
    windStatusConfig_t c;
    c.load_cfg(store, "w_");
    EXPECT_EQ(c, odd_cfg);
    c.load_cfg(store, "");
    EXPECT_EQ(c, windStatusConfig_t());
    store.setValue("heading_port_id", "256");
    store.setValue("speed_port_id", "258");
    c.load_cfg(store, "");
    EXPECT_EQ(c.heading_port_id, 0);
    EXPECT_EQ(c.speed_port_id, 2);
    EXPECT_EQ(wsc::toString(static_cast<wsc::location_t>(4)), "Unknown");
}
