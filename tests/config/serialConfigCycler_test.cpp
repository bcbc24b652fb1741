#include <tern/config/serialConfigCycler.h>

#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/util/time_util.h>

#include "device_rig.h"
#include "support/mainloop.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <cmath>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace tern;

namespace {

// The port: it applies every port configuration command it is sent and notes each command as
// text ("cfg 19200 8 none 1" or "settings 1"), with the port it was addressed to.
class port_t : public config_test::controller_t {
public:
    port_cfg_t cfg;
    std::vector<std::string> sent;
    std::function<void()> after_send;

    void send_dev_msgs(int, std::list<msg_t*>& msgs) override {
        for (msg_t* m : msgs) {
            std::ostringstream s;
            s << "p" << m->port << " ";
            if (auto* pc = dynamic_cast<cmd_port_cfg_t*>(m)) {
                cfg = pc->cfg;
                s << "cfg " << pc->cfg.baud << " " << pc->cfg.data_bits << " " << pc->cfg.parity
                  << " " << pc->cfg.stop_bits;
            } else if (auto* st = dynamic_cast<cmd_settings_t*>(m)) {
                s << "settings " << static_cast<int>(st->action);
            }
            sent.push_back(s.str());
            delete m;
        }
        msgs.clear();
        if (after_send) after_send();
    }
    bool get_port_cfg(int, port_cfg_t& c) override {
        c = cfg;
        return true;
    }
    bool set_port_cfg(int, const port_cfg_t& c) override {
        cfg = c;
        return true;
    }
};

port_cfg_t line(unsigned baud, char_size_t bits, parity_t parity, stop_bits_t stop) {
    port_cfg_t c;
    c.baud = baud;
    c.data_bits = bits;
    c.parity = parity;
    c.stop_bits = stop;
    return c;
}

struct rig_t {
    port_t port;
    deviceInfo_t info;
    config_test::device_t device{&port, &info, 6};
    serialConfigCycler_t cycler{&device};
    double now = 1000.0;

    rig_t() {
        cycler.setClock([this] { return now; });
    }

    // A device type with these bauds on a port at `at`, and the search switched on.
    void start(std::vector<unsigned int> bauds, const port_cfg_t& at) {
        info.baud_rates = std::move(bauds);
        port.cfg = at;
        cycler.setEnabled(true);
    }

    // Calls trySettings as the device program would, stepping the clock by `step` before
    // each call; returns the commands as text.
    std::vector<std::string> tries(unsigned calls, double step) {
        std::vector<std::string> got;
        for (unsigned i = 0; i < calls; ++i) {
            now += step;
            std::list<msg_t*> out;
            cycler.trySettings(out);
            port.sent.clear();
            if (!out.empty()) device.handle_dev_msgs(out);
            got.insert(got.end(), port.sent.begin(), port.sent.end());
        }
        return got;
    }
};

} // namespace

// An odometer from 9600/8/odd/2: the baud turns fastest, and a wheel back at its starting
// value turns the next one; after all 36 combinations, the start again.
TEST(SerialConfigCycler, TurnsTheBaudFastestAndVisitsEveryCombinationOnce) {
    rig_t r;
    r.info.data_bits = {char_size_7, char_size_8};
    r.info.parities = {parity_none, parity_odd, parity_even};
    r.info.stop_bits = {stop_bits_1, stop_bits_2};
    r.start({4800, 9600, 19200}, line(9600, char_size_8, parity_odd, stop_bits_2));
    EXPECT_TRUE(r.tries(1, 0.0).empty()); // already supported: nothing to send yet
    EXPECT_TRUE(r.tries(1, 1.999).empty());
    r.now -= 1.999;
    const auto got = r.tries(36, 2.0);
    ASSERT_EQ(got.size(), 36u);
    const std::vector<std::string> first = {"p6 cfg 19200 8 odd 2", "p6 cfg 4800 8 odd 2",
                                            "p6 cfg 9600 8 odd 1"};
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 3), first);
    EXPECT_EQ(got[5], "p6 cfg 9600 8 even 2");  // parity turns when the stop bits are back
    EXPECT_EQ(got[11], "p6 cfg 9600 8 none 2"); // and wraps
    EXPECT_EQ(got[17], "p6 cfg 9600 7 odd 2");  // data bits turn when parity is back
    EXPECT_EQ(got[35], "p6 cfg 9600 8 odd 2");  // the whole cycle ends at the start
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()).size(), 36u);
}

TEST(SerialConfigCycler, TheStartIsCorrectedToSupportedValuesAndSentAtOnce) {
    rig_t r;
    r.info.data_bits = {char_size_8};
    r.info.parities = {parity_none, parity_even};
    r.info.stop_bits = {stop_bits_1};
    r.start({4800, 9600, 19200, 38400}, line(57600, char_size_7, parity_even, stop_bits_2));
    r.port.cfg.serial_device = "/dev/ttyS5";
    EXPECT_EQ(r.tries(1, 0.0), std::vector<std::string>{"p6 cfg 4800 8 even 1"});
    EXPECT_EQ(r.cycler.startConfig().serial_device, "/dev/ttyS5");
    EXPECT_EQ(r.tries(1, 2.0), std::vector<std::string>{"p6 cfg 9600 8 even 1"});
}

// A type that names bauds but no data bits (or nothing at all) keeps the port's own values.
TEST(SerialConfigCycler, EmptyListsKeepThePortsValue) {
    rig_t r;
    r.start({4800, 9600}, line(9600, char_size_7, parity_odd, stop_bits_2));
    EXPECT_TRUE(r.tries(1, 0.0).empty());
    EXPECT_EQ(r.tries(3, 2.0),
              (std::vector<std::string>{"p6 cfg 4800 7 odd 2", "p6 cfg 9600 7 odd 2",
                                        "p6 cfg 4800 7 odd 2"}));
    rig_t one;
    one.start({115200}, line(115200, char_size_8, parity_none, stop_bits_1));
    EXPECT_EQ(one.tries(3, 2.0),
              (std::vector<std::string>{"p6 cfg 115200 8 none 1", "p6 cfg 115200 8 none 1"}));
}

TEST(SerialConfigCycler, DwellTimeAndClockSteps) {
    rig_t r;
    r.start({4800, 9600}, line(4800, char_size_8, parity_none, stop_bits_1));
    r.tries(1, 0.0);
    EXPECT_TRUE(r.tries(19, 0.1).empty()); // 1.9 s
    EXPECT_EQ(r.tries(1, 0.1).size(), 1u); // 2.0 s: not strictly less than the dwell
    r.now -= 3600.0;                       // the clock goes back an hour
    EXPECT_TRUE(r.tries(1, 0.0).empty());
    EXPECT_TRUE(r.tries(1, 1.5).empty());
    EXPECT_EQ(r.tries(1, 0.5).size(), 1u); // one dwell later, not an hour
    r.cycler.setTimeout(0.5);
    EXPECT_EQ(r.tries(1, 0.5).size(), 1u);
}

TEST(SerialConfigCycler, SuccessSendsSettingsToThePortAndSwitchesOff) {
    rig_t r;
    r.info.baud_rates = {4800, 9600};
    r.port.cfg = line(4800, char_size_8, parity_none, stop_bits_1);
    std::list<msg_t*> out;
    r.cycler.succeed(out);
    EXPECT_TRUE(out.empty()); // disabled: nothing
    r.cycler.setEnabled(true);
    r.tries(1, 0.0);
    r.cycler.succeed(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out.front()->port, 6u);
    ASSERT_NE(dynamic_cast<cmd_settings_t*>(out.front()), nullptr);
    EXPECT_EQ(static_cast<cmd_settings_t*>(out.front())->action,
              cmd_settings_t::action_store_found);
    r.port.sent.clear();
    r.device.handle_dev_msgs(out);
    EXPECT_EQ(r.port.sent, std::vector<std::string>{"p6 settings 1"});
    EXPECT_FALSE(r.cycler.isEnabled());
    EXPECT_TRUE(r.tries(3, 2.0).empty());
    // Enabled again, it captures the port afresh.
    r.port.cfg.baud = 9600;
    r.cycler.setEnabled(true);
    EXPECT_TRUE(r.tries(1, 0.0).empty());
    EXPECT_EQ(r.tries(1, 2.0), std::vector<std::string>{"p6 cfg 4800 8 none 1"});
}

// By default the dwell time is measured on the monotonic clock, not on the settable one.
TEST(SerialConfigCycler, DefaultClockIsMonotonic) {
    port_t port;
    deviceInfo_t info;
    info.baud_rates = {4800};
    config_test::device_t device(&port, &info, 2);
    serialConfigCycler_t cycler(&device);
    EXPECT_EQ(cycler.timeout(), 2.0);
    cycler.setEnabled(true);
    std::list<msg_t*> out;
    cycler.trySettings(out);
    EXPECT_EQ(out.size(), 1u); // 115200 corrected to 4800
    device.handle_dev_msgs(out);
    EXPECT_TRUE(cycler.isStarted());
    const double mono = static_cast<double>(g_get_monotonic_time()) / 1e6;
    EXPECT_NEAR(cycler.lastChange(), mono, 1.0);
    EXPECT_GT(std::abs(cycler.lastChange() - gettstamp_sys()), 1000.0);
}

// On a real main loop: the cycler polls itself and the port receives each combination.
TEST(SerialConfigCycler, PollsOnTheMainLoopUntilSuccess) {
    auto r = std::make_unique<rig_t>();
    r->info.baud_rates = {4800, 9600, 19200};
    r->port.cfg = line(9600, char_size_8, parity_none, stop_bits_1);
    r->cycler.setClock([&r] { return r->now += 0.5; }); // every poll half a second later
    r->cycler.setEnabled(true);
    r->cycler.startPolling(1);
    ASSERT_TRUE(tern_test::run_until([&] { return r->port.sent.size() >= 3; }));
    EXPECT_EQ(r->port.sent[0], "p6 cfg 19200 8 none 1");
    EXPECT_EQ(r->port.sent[1], "p6 cfg 4800 8 none 1");
    EXPECT_EQ(r->port.sent[2], "p6 cfg 9600 8 none 1");
    EXPECT_EQ(r->port.cfg.baud, 9600u);
    // The device finds its feet and deletes the cycler from inside the send.
    std::unique_ptr<serialConfigCycler_t> own(new serialConfigCycler_t(&r->device));
    own->setClock([] { return 0.0; });
    own->setTimeout(0.0);
    own->setEnabled(true);
    r->cycler.stopPolling();
    r->port.after_send = [&] { own.reset(); };
    r->port.cfg.baud = 1234; // unsupported: the first poll corrects it
    own->startPolling(1);
    ASSERT_TRUE(tern_test::run_until([&] { return !own; }));
    tern_test::run_until([] { return false; }, 0.02); // nothing left that fires
    EXPECT_EQ(r->port.sent.back(), "p6 cfg 4800 8 none 1");
}
