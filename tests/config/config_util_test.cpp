#include <tern/config/config_util.h>

#include <gtest/gtest.h>

using namespace tern;

// Values past either end of each table read "Unknown".
TEST(ConfigUtil, ValuesOutsideTheirTablesAreUnknown) {
    const std::pair<const char* (*)(int), int> tables[] = {
        {data_bits_string, 2},         {parity_string, 3},
        {stop_bits_string, 2},         {flow_control_string, 2},
        {net_port_protocol_string, 3}, {sysnet_cfg_type_string, 3},
    };
    for (const auto& [text, size] : tables) {
        EXPECT_STRNE(text(size - 1), "Unknown") << text(0);
        EXPECT_STREQ(text(size), "Unknown") << text(0);
        EXPECT_STREQ(text(-1), "Unknown") << text(0);
    }
}

TEST(ConfigUtil, PortKeysAreThePrefixAndTheKeyText) {
    EXPECT_EQ(port_config_prefix(3) + KEY_PORT_BAUD, "port_3_baud");
    EXPECT_EQ(dynamic_port_config_prefix(12) + KEY_USB_SERIAL, "dyn_port_12_usb_serial");
    EXPECT_EQ(device_config_prefix(0) + KEY_PORT_NET_CFG_PREFIX, "device_0_net_cfg_");
    EXPECT_EQ(dynamic_device_config_prefix(7) + KEY_PORT_DEVICE_NAME, "dyn_device_7_device_name");
}
