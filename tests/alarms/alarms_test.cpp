#include <tern/alarms/alarms.h>

#include <tern/msg/fb_msgs.h>
#include <tern/util/time_util.h>

#include "support/cases.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <type_traits>

using namespace tern;

namespace {

fb_message_t port_report(unsigned int port, double t, unsigned int general, unsigned int device) {
    fb_message_t m;
    m.port = port;
    m.tstamp = t;
    m.code = general;
    m.value = device;
    return m;
}

fb_system_alarms_t system_report(double t, unsigned int word) {
    fb_system_alarms_t m;
    m.tstamp = t;
    m.alarms = word;
    return m;
}

using hist_t = alarmHistory_t::entry_t;

// Entries as text, so that a mismatch shows both lists ("+" raised, "-" cleared).
template <class E>
std::string show(const std::list<E>& entries) {
    std::string s;
    for (const E& e : entries) {
        s += "(" + std::to_string(e.tstamp) + ", " + std::to_string(e.port) + ", " +
             std::to_string(e.alarms) + ", " + std::to_string(e.dev_alarms) + ")";
        if constexpr (std::is_same_v<E, hist_t>) s += e.raised ? "+" : "-";
    }
    return s;
}
#define EXPECT_ENTRIES(got, ...) EXPECT_EQ(show(got), show(decltype(got)(__VA_ARGS__)))

double fixed_now = 1000.0;
double fixed_clock() {
    return fixed_now;
}

} // namespace

namespace {

const std::vector<tern_test::case_t> alarm_rows = tern_test::read_cases("alarms/alarm_rows.txt");

const std::vector<alarmInfo_t>& table_named(const std::string& name) {
    return name == "system" ? systemAlarms() : generalAlarms();
}

} // namespace

class AlarmRow : public ::testing::TestWithParam<tern_test::case_t> {};

TEST_P(AlarmRow, SitsAtItsBitWithItsFlagAndText) {
    const tern_test::case_t& c = GetParam();
    ASSERT_EQ(c.cols.size(), 4u) << c;
    const std::vector<alarmInfo_t>& table = table_named(c.cols[0]);
    const unsigned long bit = std::stoul(c.cols[1]);
    ASSERT_LT(bit, table.size()) << c;
    EXPECT_EQ(table[bit].flag, c.cols[2] == "true") << c;
    EXPECT_EQ(table[bit].text, c.cols[3]) << c;
}
INSTANTIATE_TEST_SUITE_P(File, AlarmRow, ::testing::ValuesIn(alarm_rows), tern_test::case_name);

// No row beyond those of the file: a new alarm is added there too.
TEST(AlarmTables, HoldTheRowsOfTheFileAndNoMore) {
    std::size_t system = 0, general = 0;
    for (const auto& c : alarm_rows)
        ++(!c.cols.empty() && c.cols[0] == "system" ? system : general);
    EXPECT_EQ(systemAlarms().size(), system);
    EXPECT_EQ(generalAlarms().size(), general);
}

TEST(AlarmTables, UnknownBitsAreNamedByNumberInBitOrder) {
    EXPECT_EQ(alarmText(generalAlarms(), 9), "Failed to assert flow control");
    EXPECT_EQ(alarmText(generalAlarms(), 10), "Unknown alarm 10");
    const std::vector<std::string> want = {"No time reference device selected", "Unknown alarm 3",
                                           "Unknown alarm 31"};
    EXPECT_EQ(alarmTexts(systemAlarms(), 0x8000000Au), want);
}

// Each alarm once, from the report that raised it; the general and device words are apart.
TEST(ActiveAlarms, EachAlarmOnceFromTheReportThatRaisedIt) {
    activeAlarms_t a;
    a.handle(port_report(3, 10, 0b011, 0));
    a.handle(port_report(5, 11, 0, 0b1));
    a.handle(port_report(3, 12, 0b111, 0));
    EXPECT_ENTRIES(a.entries, {{10, 3, 0b011, 0}, {11, 5, 0, 1}, {12, 3, 0b100, 0}});
    a.handle(port_report(3, 13, 0b100, 0));
    EXPECT_ENTRIES(a.entries, {{11, 5, 0, 1}, {12, 3, 0b100, 0}});
    a.handle(system_report(14, 0b1));
    a.handle(port_report(3, 15, 0, 0));
    a.handle(port_report(5, 16, 0b1, 0b11));
    a.handle(port_report(5, 17, 0, 0b11));
    EXPECT_ENTRIES(a.entries, {{11, 5, 0, 1}, {14, 255, 1, 0}, {16, 5, 0, 0b10}});
    a.clearForPort(5);
    EXPECT_ENTRIES(a.entries, {{14, 255, 1, 0}});
}

class AlarmHistory : public ::testing::Test {
protected:
    AlarmHistory() {
        fixed_now = 1000.0; // small report times below are recent
        h.set_clock(&fixed_clock);
    }
    alarmHistory_t h;
};

TEST_F(AlarmHistory, ClearedBeforeRaisedAndUnchangedReportsLeaveNoEntry) {
    h.handle(port_report(4, 100, 0, 0b1));
    h.handle(port_report(4, 200, 0b100, 0));
    h.handle(system_report(210, 0b11));
    h.handle(system_report(220, 0b11));
    h.handle(system_report(230, 0b10));
    EXPECT_ENTRIES(h.entries, {{100, 4, 0, 1, true},
                               {200, 4, 0, 1, false},
                               {200, 4, 4, 0, true},
                               {210, 255, 3, 0, true},
                               {230, 255, 1, 0, false}});
    EXPECT_EQ(h.ports[4].general, 0b100u);
    EXPECT_EQ(h.ports[4].device, 0u);
    EXPECT_EQ(h.system_alarms, 0b10u);
}

TEST_F(AlarmHistory, TrimsAtExactlyTwentyFourHoursOnTheReportClock) {
    const double cut = fixed_now - 86400.0;
    h.handle(port_report(1, cut - 0.001, 1, 0));
    h.handle(port_report(2, cut, 1, 0));
    h.handle(port_report(3, fixed_now, 1, 0));
    EXPECT_ENTRIES(h.entries, {{cut, 2, 1, 0, true}, {fixed_now, 3, 1, 0, true}});
    // An unchanged report does not trim, even a day later.
    fixed_now += 1.0;
    h.handle(port_report(3, fixed_now, 1, 0));
    EXPECT_EQ(h.entries.size(), 2u);
    h.handle(system_report(fixed_now, 1));
    EXPECT_ENTRIES(h.entries, {{fixed_now - 1.0, 3, 1, 0, true}, {fixed_now, 255, 1, 0, true}});
}

TEST_F(AlarmHistory, AnEntryFromTheFutureDoesNotShieldOlderOnes) {
    h.handle(port_report(1, fixed_now + 3600, 1, 0));
    h.handle(port_report(2, fixed_now - 1000, 1, 0));
    fixed_now += 86400.0;
    h.handle(port_report(3, fixed_now, 1, 0));
    EXPECT_ENTRIES(h.entries,
                   {{fixed_now - 86400 + 3600, 1, 1, 0, true}, {fixed_now, 3, 1, 0, true}});
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

// A stamp that is not a time would never be trimmed: the report clock stamps it instead.
TEST_F(AlarmHistory, AReportStampedWithNoTimeTakesTheClocksTime) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < 100; ++i) h.handle(port_report(1, nan, (i + 1) % 2, 0));
    h.handle(system_report(HUGE_VAL, 1));
    ASSERT_EQ(h.entries.size(), 101u);
    EXPECT_EQ(h.entries.front().tstamp, fixed_now);
    EXPECT_EQ(h.entries.back().tstamp, fixed_now);
    fixed_now += 86400.5;
    h.handle(port_report(2, fixed_now, 1, 0));
    EXPECT_ENTRIES(h.entries, {{fixed_now, 2, 1, 0, true}});
}

TEST_F(AlarmHistory, ClearForPortForgetsItsWords) {
    h.handle(port_report(1, 10, 1, 0));
    h.handle(port_report(2, 11, 1, 0));
    h.clearForPort(1);
    EXPECT_ENTRIES(h.entries, {{11, 2, 1, 0, true}});
    h.handle(port_report(1, 12, 1, 0)); // raised again from a forgotten 0
    EXPECT_EQ(h.entries.size(), 2u);
    h.handle(system_report(13, 4));
    h.clear();
    EXPECT_TRUE(h.entries.empty());
    EXPECT_TRUE(h.ports.empty());
    EXPECT_EQ(h.system_alarms, 0u);
}
