#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>
#include <tern/data/port_cfg.h>
#include <tern/msg/data_msgs.h>
#include <tern/util/time_util.h>

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <vector>

using namespace tern;

namespace {

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

// Keeps its port settings in a settings store, as the device manager does.
class test_controller_t : public dev_controller_t {
public:
    std::map<int, device_t*> devices;
    KeelConfig store;
    std::string loaded_type = "old";
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
        return cfg.load_cfg(store, port_config_prefix(port), loaded_type);
    }
    bool set_port_cfg(int, const port_cfg_t&) override { return false; }
    bool set_device_type(int, const std::string&) override { return false; }
    port_mgr_t* port_manager() override { return nullptr; }
};

std::string text_of(const port_cfg_t& p, const std::string& type) {
    std::ostringstream os;
    os << p.serial_device << '|' << type << '|' << p.baud << '|' << p.data_bits << '|' << p.parity
       << '|' << p.stop_bits << '|' << p.flow_control << '|' << p.use_rts;
    return os.str();
}

// The values the controller relies on when a device does not say otherwise.
TEST(Device, DefaultBehaviour) {
    test_device_t dev(nullptr, 0, nullptr);
    KeelConfig cfg;
    std::list<msg_t*> out;
    EXPECT_TRUE(dev.want_open_port());
    EXPECT_EQ(dev.output_buffer_size(), 10240u);
    EXPECT_EQ(dev.output_timeout(), 1.0);
    EXPECT_FALSE(dev.require_save());
    EXPECT_FALSE(dev.settings_load(cfg, out));
    dev.query(out);
    EXPECT_TRUE(out.empty());
}

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

    // Without a controller they are freed (the leak checker would see them otherwise).
    test_device_t orphan(nullptr, 1, nullptr);
    out = {new data_cog_t};
    orphan.handle_dev_msgs(out);
    EXPECT_TRUE(out.empty());
    port_cfg_t cfg;
    EXPECT_FALSE(orphan.get_port_cfg(cfg));
    EXPECT_FALSE(orphan.deviceIsOfType(1, "gyro"));
}

TEST(Device, QuestionsAboutOtherPorts) {
    test_controller_t ctl;
    const deviceInfo_t gyro("gyro", "Gyro", 0x6u);
    test_device_t self(&ctl, 0, nullptr), on_2(&ctl, 2, &gyro), on_3(&ctl, 3, nullptr);
    ctl.devices = {{0, &self}, {2, &on_2}, {3, &on_3}};
    const struct {
        unsigned port;
        unsigned mask;
        const char* type;
        bool has;
        bool is;
    } rows[] = {
        {2, 0x4u, "gyro", true, true},
        {2, 0x6u, "Gyro", true, false},
        {2, 0x1u, "tss", false, false},
        {2, 0x0u, "", true, false},
        {1, 0x0u, "gyro", false, false}, // no device on the port
        {3, 0x0u, "gyro", false, false}, // a device without a description
        {0xFFFFFFFEu, 0x0u, "gyro", false, false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(self.deviceHasCapabilities(r.port, r.mask), r.has) << r.port << ' ' << r.mask;
        EXPECT_EQ(self.deviceIsOfType(r.port, r.type), r.is) << r.port << ' ' << r.type;
    }
}

TEST(Device, GeneralAlarmFlagsStayInRange) {
    test_device_t dev(nullptr, 0, nullptr);
    dev.general_alarm_flag(0, true);
    dev.general_alarm_flag(9, true);
    dev.general_alarm_flag(10, true);
    dev.general_alarm_flag(0xFFFFFFFFu, true);
    const bool want[11] = {true,  false, false, false, false, false,
                           false, false, false, true,  false};
    for (unsigned i = 0; i < 11; ++i) EXPECT_EQ(dev.general_alarm(i), want[i]) << i;
    EXPECT_TRUE(dev.reserved_untouched());
    dev.general_alarm_flag(9, false);
    EXPECT_FALSE(dev.general_alarm(9));
}

TEST(Device, DataTimestampFollowsTheChosenClock) {
    test_device_t dev(nullptr, 0, nullptr);
    const double diff = get_tstamp_data_diff();
    set_tstamp_data_diff(-3600.0);
    double lo = gettstamp_sys(), t = dev.dataTimestamp(), hi = gettstamp_sys();
    EXPECT_GE(t, lo - 3600.0);
    EXPECT_LE(t, hi - 3600.0);

    dev.use_system_time(2.5);
    lo = gettstamp_sys(), t = dev.dataTimestamp(), hi = gettstamp_sys();
    EXPECT_GE(t, lo + 2.5);
    EXPECT_LE(t, hi + 2.5);
    set_tstamp_data_diff(diff);
}

// A store missing one key of a port's settings: every key up to the missing one is read, the
// rest is untouched, and the load fails; only "use_rts" may be absent.
struct missing_key_row {
    const char* key;
    bool ok;
    const char* after; // serial|type|baud|data bits|parity|stop bits|flow|use_rts
};

class PortCfgMissingKey : public ::testing::TestWithParam<missing_key_row> {};

TEST_P(PortCfgMissingKey, LoadsUpToTheGap) {
    test_controller_t ctl;
    test_device_t dev(&ctl, 5, nullptr);
    port_cfg_t stored;
    stored.baud = 38400;
    stored.data_bits = char_size_7;
    stored.parity = parity_odd;
    stored.stop_bits = stop_bits_2;
    stored.flow_control = flow_tern;
    stored.serial_device = "/dev/ttyUSB1";
    stored.use_rts = true;
    KeelConfig full;
    stored.set_cfg("tss", "port_5_", full);
    for (const ConfigEntry& e : full.entries())
        if (e.key != std::string("port_5_") + GetParam().key) ctl.store.setValue(e.key, e.value);
    ASSERT_EQ(ctl.store.size(), 7u);

    port_cfg_t cfg;
    cfg.use_rts = true;
    EXPECT_EQ(dev.get_port_cfg(cfg), GetParam().ok);
    EXPECT_EQ(text_of(cfg, ctl.loaded_type), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PortCfgMissingKey,
    ::testing::Values(
        missing_key_row{"serial_device", false, "|old|115200|8|none|1|none|1"},
        missing_key_row{"device_type", false, "/dev/ttyUSB1|old|115200|8|none|1|none|1"},
        missing_key_row{"baud", false, "/dev/ttyUSB1|tss|115200|8|none|1|none|1"},
        missing_key_row{"data_bits", false, "/dev/ttyUSB1|tss|38400|8|none|1|none|1"},
        missing_key_row{"parity", false, "/dev/ttyUSB1|tss|38400|7|none|1|none|1"},
        missing_key_row{"stop_bits", false, "/dev/ttyUSB1|tss|38400|7|odd|1|none|1"},
        missing_key_row{"flow_control", false, "/dev/ttyUSB1|tss|38400|7|odd|2|none|1"},
        missing_key_row{"use_rts", true, "/dev/ttyUSB1|tss|38400|7|odd|2|tern|0"}));

} // namespace
