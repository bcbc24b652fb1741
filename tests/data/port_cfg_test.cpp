#include <tern/data/port_cfg.h>

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace tern;

namespace {

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

KeelConfig without(const KeelConfig& from, const std::string& key) {
    KeelConfig out;
    for (const ConfigEntry& e : from.entries())
        if (e.key != key) out.setValue(e.key, e.value);
    return out;
}

template <class E>
unsigned parse(const std::string& text) {
    E v = static_cast<E>(77);
    text >> v;
    return static_cast<unsigned>(v);
}

} // namespace

TEST(PortCfg, StoresEveryKeyAsTextInOrder) {
    KeelConfig store;
    odd_port().set_cfg("ternorsk", port_config_prefix(3), store);
    const char* const expected[][2] = {
        {"port_3_serial_device", "/dev/ttyS3"},
        {"port_3_device_type", "ternorsk"},
        {"port_3_baud", "4800"},
        {"port_3_data_bits", "7"},
        {"port_3_parity", "even"},
        {"port_3_stop_bits", "2"},
        {"port_3_flow_control", "tern"},
        {"port_3_use_rts", "1"},
    };
    ASSERT_EQ(store.size(), 8u);
    for (unsigned i = 0; i < 8; ++i) {
        EXPECT_EQ(store.entries()[i].key, expected[i][0]);
        EXPECT_EQ(store.entries()[i].value, expected[i][1]);
    }

    port_cfg_t back;
    std::string type;
    ASSERT_TRUE(back.load_cfg(store, "port_3_", type));
    EXPECT_EQ(type, "ternorsk");
    EXPECT_EQ(back, odd_port());
    EXPECT_EQ(back.serial_device, "/dev/ttyS3");
}

TEST(PortCfg, RequiredAndOptionalKeys) {
    KeelConfig store;
    odd_port().set_cfg("gyro", "p_", store);
    port_cfg_t p = odd_port();
    std::string type;
    KeelConfig no_rts = without(store, "p_use_rts");
    ASSERT_TRUE(p.load_cfg(no_rts, "p_", type));
    EXPECT_FALSE(p.use_rts);

    p = port_cfg_t();
    p.use_rts = true;
    KeelConfig no_parity = without(store, "p_parity");
    EXPECT_FALSE(p.load_cfg(no_parity, "p_", type));
    EXPECT_EQ(p.serial_device, "/dev/ttyS3");
    EXPECT_EQ(type, "gyro");
    EXPECT_EQ(p.baud, 4800u);
    EXPECT_EQ(p.data_bits, char_size_7);
    EXPECT_EQ(p.parity, parity_none);    // missing
    EXPECT_EQ(p.stop_bits, stop_bits_1); // not reached
    EXPECT_TRUE(p.use_rts);              // not reached
}

TEST(PortCfg, EqualityIgnoresTheDeviceName) {
    port_cfg_t a = odd_port(), b = odd_port();
    b.serial_device = "/dev/ttyUSB0";
    EXPECT_EQ(a, b);
    b.use_rts = false;
    EXPECT_NE(a, b);
    b = a;
    b.baud = 9600;
    EXPECT_NE(a, b);
}

TEST(PortCfg, UnknownTextsReadAsTheDefault) {
    EXPECT_EQ(parse<char_size_t>("5"), 1u);
    EXPECT_EQ(parse<parity_t>("mark"), 0u);
    EXPECT_EQ(parse<parity_t>("EVEN"), 0u);
    EXPECT_EQ(parse<stop_bits_t>("1.5"), 0u);
    EXPECT_EQ(parse<flow_t>("rtscts"), 0u);
    std::ostringstream os;
    os << static_cast<parity_t>(9) << ' ' << static_cast<char_size_t>(4) << ' ' << port_locked;
    EXPECT_EQ(os.str(), "none 8 1");
}

TEST(PortCfg, KeyPrefixes) {
    EXPECT_EQ(port_config_prefix(3), "port_3_");
    EXPECT_EQ(dynamic_port_config_prefix(12), "dyn_port_12_");
    EXPECT_EQ(device_config_prefix(0), "device_0_");
    EXPECT_EQ(dynamic_device_config_prefix(255), "dyn_device_255_");
}
