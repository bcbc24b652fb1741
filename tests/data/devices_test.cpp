// Devices, their descriptions and registry, port settings and port names.
#include <tern/data/allDeviceInfo.h>
#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>
#include <tern/data/port_cfg.h>
#include <tern/data/port_mgr.h>
#include <tern/msg/data_msgs.h>
#include <tern/util/time_util.h>

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include "support/cases.h"

#include <cstring>
#include <map>
#include <sstream>
#include <vector>

using namespace tern;
using tern_test::case_name;
using tern_test::case_t;
using tern_test::read_cases;

namespace {

// The names as stored in settings ("device_type"), "none" first, in a fixed order.
TEST(AllDeviceInfo, TypeNamesInTheirFixedOrder) {
    std::string names;
    for (const std::string& n : allDeviceInfo_t::instance().allTypes()) names += n + ' ';
    EXPECT_EQ(names, "none ddktessa ternrimba ternorsk ternquill skiff nmea gyro tss fanbeam wind "
                     "emAttitudeInput depth ais sim hemisphereEclipse hemisphereVector "
                     "hemisphereR623 hemisphereV500 blended native tracker webmon usbl lbl ");
    EXPECT_EQ(usbDriver, "USB");
}

// Null is never listed (lookups would read it), and a description registered twice goes
// entirely on removal (it may be destroyed next). Lookups find the first match.
TEST(AllDeviceInfo, RegistrationOrderLookupAndRemoval) {
    allDeviceInfo_t& reg = allDeviceInfo_t::instance();
    const std::vector<const deviceInfo_t*> before = reg.deviceInfo();
    deviceInfo_t gyro_a("gyro", "Bow gyro"), gyro_b("gyro", "Stern gyro");
    reg.addDeviceInfo(&gyro_a);
    reg.addDeviceInfo(nullptr);
    reg.addDeviceInfo(&gyro_b);
    reg.addDeviceInfo(&gyro_a);
    EXPECT_EQ(reg.findByType("gyro"), &gyro_a);
    EXPECT_EQ(reg.findByDesc("Stern gyro"), &gyro_b);
    EXPECT_EQ(reg.findByType("Bow gyro"), nullptr);
    reg.removeDeviceInfo(&gyro_a);
    EXPECT_EQ(reg.findByType("gyro"), &gyro_b);
    reg.removeDeviceInfo(&gyro_b);
    EXPECT_EQ(reg.deviceInfo(), before);
}

TEST(DeviceInfo, AlarmsKeepTheirBitOrderUpToThirtyTwo) {
    deviceInfo_t info("fanbeam", "Fanbeam");
    EXPECT_TRUE(info.addAlarm(true, "Target lost"));
    EXPECT_TRUE(info.addAlarm(false, nullptr));
    for (int i = 2; i < 32; ++i) EXPECT_TRUE(info.addAlarm(false, "spare"));
    EXPECT_FALSE(info.addAlarm(false, "bit 32"));
    ASSERT_EQ(info.alarms.size(), 32u);
    EXPECT_EQ(info.alarms[0], alarmInfo_t(true, "Target lost"));
    EXPECT_EQ(info.alarms[1], alarmInfo_t(false, ""));
    EXPECT_EQ(info.alarms[31].text, "spare");
}

class test_device_t : public device_t {
public:
    const deviceInfo_t* info;

    test_device_t(dev_controller_t* ctl, int port, const deviceInfo_t* i) : device_t(ctl), info(i) {
        port_id = port;
    }
    const deviceInfo_t* device_info() const override { return info; }
    void handle_port_data(const unsigned char*, std::size_t, std::list<msg_t*>&) override {}
    void poll(double, std::list<msg_t*>&) override {}

    void use_system_time(double offset) {
        use_sys_time = true;
        time_offset = offset;
    }
    bool reserved_untouched() const {
        static const unsigned char zero[sizeof reserved] = {};
        return std::memcmp(reserved, zero, sizeof reserved) == 0;
    }
};

// Keeps what it is sent; answers port settings for port 4 only.
class test_controller_t : public dev_controller_t {
public:
    std::map<int, device_t*> devices;
    std::vector<std::pair<int, std::vector<msg_t*>>> sent;

    void send_dev_msgs(int port, std::list<msg_t*>& msgs) override {
        sent.emplace_back(port, std::vector<msg_t*>(msgs.begin(), msgs.end()));
        for (msg_t* m : msgs) delete m;
        msgs.clear();
    }
    device_t* find_device(int port) override {
        auto it = devices.find(port);
        return it == devices.end() ? nullptr : it->second;
    }
    bool get_port_cfg(int port, port_cfg_t& cfg) override {
        cfg.baud = 9600;
        return port == 4;
    }
    bool set_port_cfg(int, const port_cfg_t&) override { return false; }
    bool set_device_type(int, const std::string&) override { return false; }
    port_mgr_t* port_manager() override { return nullptr; }
};

TEST(Device, MessagesGoToTheControllerWithTheOwnPort) {
    test_controller_t ctl;
    test_device_t dev(&ctl, 4, nullptr);
    msg_t* first = new data_cog_t;
    msg_t* second = new data_heading_t;
    std::list<msg_t*> out{first, second};
    dev.handle_dev_msgs(out);
    ASSERT_EQ(ctl.sent.size(), 1u);
    EXPECT_EQ(ctl.sent[0].first, 4);
    EXPECT_EQ(ctl.sent[0].second, (std::vector<msg_t*>{first, second}));
    port_cfg_t cfg;
    EXPECT_TRUE(dev.get_port_cfg(cfg)); // asks for its own port
    EXPECT_EQ(cfg.baud, 9600u);

    // Without a controller they are freed (the leak checker would see them otherwise).
    test_device_t orphan(nullptr, 1, nullptr);
    out = {new data_cog_t};
    orphan.handle_dev_msgs(out);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(orphan.get_port_cfg(cfg));
    EXPECT_FALSE(orphan.deviceIsOfType(1, "gyro"));
}

class DeviceQuestion : public testing::TestWithParam<case_t> {};
TEST_P(DeviceQuestion, AboutOtherPorts) {
    const auto& c = GetParam().cols;
    test_controller_t ctl;
    const deviceInfo_t gyro("gyro", "Gyro", 0x80000006u);
    test_device_t self(&ctl, 0, nullptr), on_2(&ctl, 2, &gyro), on_3(&ctl, 3, nullptr);
    ctl.devices = {{0, &self}, {2, &on_2}, {3, &on_3}};
    const auto port = static_cast<unsigned>(std::stoul(c.at(0), nullptr, 0));
    const auto mask = static_cast<unsigned>(std::stoul(c.at(1), nullptr, 0));
    EXPECT_EQ(self.deviceHasCapabilities(port, mask), c.at(3) == "yes");
    EXPECT_EQ(self.deviceIsOfType(port, c.at(2)), c.at(4) == "yes");
}
INSTANTIATE_TEST_SUITE_P(File, DeviceQuestion,
                         testing::ValuesIn(read_cases("data/device_questions.txt")), case_name);

TEST(Device, GeneralAlarmFlagsStayInRange) {
    test_device_t dev(nullptr, 0, nullptr);
    for (const unsigned i : {0u, 9u, 10u, 0xFFFFFFFFu}) dev.general_alarm_flag(i, true);
    std::string flags;
    for (unsigned i = 0; i < 11; ++i) flags += dev.general_alarm(i) ? '1' : '0';
    EXPECT_EQ(flags, "10000000010");
    EXPECT_TRUE(dev.reserved_untouched());
    dev.general_alarm_flag(9, false);
    EXPECT_FALSE(dev.general_alarm(9));
}

TEST(Device, DataTimestampFollowsTheChosenClock) {
    test_device_t dev(nullptr, 0, nullptr);
    const double diff = get_tstamp_data_diff();
    set_tstamp_data_diff(-3600.0);
    double lo = gettstamp_sys(), t = dev.dataTimestamp(), hi = gettstamp_sys();
    EXPECT_TRUE(t >= lo - 3600.0 && t <= hi - 3600.0) << t - lo;
    dev.use_system_time(2.5);
    lo = gettstamp_sys(), t = dev.dataTimestamp(), hi = gettstamp_sys();
    EXPECT_TRUE(t >= lo + 2.5 && t <= hi + 2.5) << t - lo;
    set_tstamp_data_diff(diff);
}

port_cfg_t odd_port() {
    port_cfg_t p;
    p.baud = 4800;
    p.data_bits = char_size_7;
    p.parity = parity_even;
    p.stop_bits = stop_bits_2;
    p.flow_control = flow_tern;
    p.serial_device = "/dev/ttyS3";
    p.use_rts = true;
    return p;
}

TEST(PortCfg, StoresEveryKeyAsTextInOrder) {
    KeelConfig store;
    odd_port().set_cfg("ternorsk", port_config_prefix(3), store);
    std::string text;
    for (const ConfigEntry& e : store.entries()) text += e.key + '=' + e.value + '\n';
    EXPECT_EQ(text,
              "port_3_serial_device=/dev/ttyS3\nport_3_device_type=ternorsk\nport_3_baud=4800\n"
              "port_3_data_bits=7\nport_3_parity=even\nport_3_stop_bits=2\n"
              "port_3_flow_control=tern\nport_3_use_rts=1\n");

    port_cfg_t back;
    std::string type;
    ASSERT_TRUE(back.load_cfg(store, "port_3_", type));
    EXPECT_EQ(type, "ternorsk");
    EXPECT_EQ(back, odd_port());
    back.serial_device = "/dev/ttyUSB0"; // equality ignores the device name
    EXPECT_EQ(back, odd_port());
    back.use_rts = false;
    EXPECT_NE(back, odd_port());
}

class PortCfgMissingKey : public testing::TestWithParam<case_t> {};
TEST_P(PortCfgMissingKey, LoadStopsThere) {
    const auto& c = GetParam().cols;
    KeelConfig full, store;
    odd_port().set_cfg("tss", "p_", full);
    for (const ConfigEntry& e : full.entries())
        if (e.key != "p_" + c.at(0)) store.setValue(e.key, e.value);
    ASSERT_EQ(store.size(), 7u);
    port_cfg_t p;
    p.use_rts = true;
    std::string type = "old";
    EXPECT_EQ(p.load_cfg(store, "p_", type), c.at(1) == "ok");
    std::ostringstream got, want;
    got << p.serial_device << '|' << type << '|' << p.baud << '|' << p.data_bits << '|' << p.parity
        << '|' << p.stop_bits << '|' << p.flow_control << '|' << p.use_rts;
    for (std::size_t i = 2; i < c.size(); ++i) want << (i > 2 ? "|" : "") << c[i];
    EXPECT_EQ(got.str(), want.str());
}
INSTANTIATE_TEST_SUITE_P(File, PortCfgMissingKey,
                         testing::ValuesIn(read_cases("data/port_cfg_missing_key.txt")), case_name);

template <class E>
unsigned parse(const std::string& text) {
    E v = static_cast<E>(77);
    text >> v;
    return static_cast<unsigned>(v);
}

TEST(PortCfg, UnknownTextsReadAsTheDefault) {
    EXPECT_EQ(parse<char_size_t>("5"), 1u);
    EXPECT_EQ(parse<parity_t>("mark") + parse<parity_t>("EVEN") + parse<stop_bits_t>("1.5") +
                  parse<flow_t>("rtscts"),
              0u);
    std::ostringstream os;
    os << static_cast<parity_t>(9) << ' ' << static_cast<char_size_t>(4) << ' ' << port_locked;
    EXPECT_EQ(os.str(), "none 8 1");
}

class PortName : public testing::TestWithParam<case_t> {};
TEST_P(PortName, Sanitized) {
    const auto& c = GetParam().cols;
    EXPECT_EQ(port_mgr_t::sanitize_port_name(tern_test::unquote(c.at(0))),
              tern_test::unquote(c.at(1)));
}
INSTANTIATE_TEST_SUITE_P(File, PortName, testing::ValuesIn(read_cases("data/port_names.txt")),
                         case_name);

// A port without a name, or no port at all, is "NONE", and stays so as a path.
TEST(PortMgr, NamesAndPaths) {
    struct names_t : port_mgr_t {
        std::map<int, std::string> names{{2, "Bow gyro"}};
        bool has_port(int id) const override { return names.count(id) != 0; }
        const std::string* find_port_name(int id) const override {
            auto it = names.find(id);
            return it == names.end() ? nullptr : &it->second;
        }
    } mgr;
    EXPECT_EQ(mgr.get_port_name(2), "Bow gyro");
    EXPECT_EQ(mgr.get_port_name_as_path(2), "Bow_gyro");
    EXPECT_EQ(mgr.get_port_name(1), "NONE");
    EXPECT_EQ(mgr.get_port_name_as_path(-1), "NONE");
}

} // namespace
