#include <tern/data/device.h>
#include <tern/data/deviceInfo.h>
#include <tern/data/port_cfg.h>
#include <tern/msg/data_msgs.h>
#include <tern/util/time_util.h>

#include <gtest/gtest.h>

#include <cstring>
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

TEST(Device, QuestionsAboutOtherPorts) {
    test_controller_t ctl;
    const deviceInfo_t gyro("gyro", "Gyro", 0x80000006u);
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
        {2, 0x80000006u, "Gyro", true, false},
        {2, 0x80000007u, "tss", false, false}, // every bit is needed
        {2, 0x1u, "", false, false},
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

} // namespace
