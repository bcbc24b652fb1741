#include <tern/config/config_util.h>

#include <gtest/gtest.h>

using namespace tern;

TEST(ConfigUtil, ValueTextsAndUnknowns) {
    struct {
        const char* (*fn)(int);
        std::vector<const char*> texts;
    } const cases[] = {
        {data_bits_string, {"7", "8"}},
        {parity_string, {"None", "Odd", "Even"}},
        {stop_bits_string, {"1", "2"}},
        {flow_control_string, {"None", "Tern"}},
        {net_port_protocol_string, {"UDP", "TCP Listen", "TCP Connect"}},
        {sysnet_cfg_type_string, {"Disabled", "DHCP", "Static"}},
    };
    for (const auto& c : cases) {
        for (std::size_t v = 0; v < c.texts.size(); ++v)
            EXPECT_STREQ(c.fn(static_cast<int>(v)), c.texts[v]) << c.texts[0] << " " << v;
        EXPECT_STREQ(c.fn(static_cast<int>(c.texts.size())), "Unknown") << c.texts[0];
        EXPECT_STREQ(c.fn(-1), "Unknown") << c.texts[0];
    }
}

TEST(ConfigUtil, PortKeysAreThePrefixAndTheKeyText) {
    EXPECT_EQ(port_config_prefix(3) + KEY_PORT_BAUD, "port_3_baud");
    EXPECT_EQ(dynamic_port_config_prefix(12) + KEY_USB_SERIAL, "dyn_port_12_usb_serial");
    EXPECT_EQ(device_config_prefix(0) + KEY_PORT_NET_CFG_PREFIX, "device_0_net_cfg_");
    EXPECT_EQ(dynamic_device_config_prefix(7) + KEY_PORT_DEVICE_NAME, "dyn_device_7_device_name");
}
