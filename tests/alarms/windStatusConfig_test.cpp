#include <tern/alarms/windStatusConfig.h>
#include <tern/msg/msg.h>

#include "support/codec.h"

#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

using namespace tern;
using wsc = windStatusConfig_t;

const windStatusConfig_t odd_cfg{3, 0, 70000, wsc::location_stern, wsc::location_starboard};

TEST(WindStatusConfig, Codec) {
    EXPECT_EQ(tern_test::payload_of(odd_cfg), "03 00 70 11 01 00 03 01");
    EXPECT_EQ(tern_test::payload_of(windStatusConfig_t()), "FF FF 58 02 00 00 02 00");
}

TEST(WindStatusConfig, StoreRoundTripAsNumbers) {
    KeelConfig store;
    odd_cfg.set_cfg(store, "w_");
    std::string text;
    for (const ConfigEntry& e : store.entries()) text += e.key + '=' + e.value + '\n';
    EXPECT_EQ(text, "w_heading_port_id=3\nw_speed_port_id=0\nw_stats_period=70000\n"
                    "w_along_location=3\nw_across_location=1\n");
    windStatusConfig_t back;
    back.load_cfg(store, "w_");
    EXPECT_EQ(back, odd_cfg);
}

// Keys that are absent give the defaults; port numbers keep their low byte; a location past
// the table reads "Unknown".
TEST(WindStatusConfig, LoadStartsFromDefaultsAndTruncatesPorts) {
    KeelConfig store;
    windStatusConfig_t c = odd_cfg;
    c.load_cfg(store, "");
    EXPECT_EQ(c, windStatusConfig_t());
    store.setValue("heading_port_id", "256");
    store.setValue("speed_port_id", "258");
    c.load_cfg(store, "");
    EXPECT_EQ(c.heading_port_id, 0);
    EXPECT_EQ(c.speed_port_id, 2);
    EXPECT_EQ(wsc::toString(static_cast<wsc::location_t>(4)), "Unknown");
}
