#include <tern/msg/msg.h>
#include <tern/sensors/windStatus.h>

#include "support/codec.h"

#include <gtest/gtest.h>

using tern::windStatus_t;

TEST(WindStatus, OnlyAnnouncedValuesTravel) {
    windStatus_t ws{windStatus_t::has_true_speed | windStatus_t::has_gust_speed, 1, 2, 3, 4, 5};
    EXPECT_EQ(tern_test::payload_of(ws), "09 00 00 00 00 00 00 F0 3F 00 00 00 00 00 00 10 40");
    ws.mask = 0;
    EXPECT_EQ(tern_test::payload_of(ws), "00");
    ws.mask = 0xE0 | windStatus_t::has_mean_direction; // the byte as it is; no value for bits 5-7
    EXPECT_EQ(tern_test::payload_of(ws), "F0 00 00 00 00 00 00 14 40");
}

// Only the announced values are read; the others keep what they held, even when the read fails.
TEST(WindStatus, DecodingReadsOnlyAnnouncedValues) {
    windStatus_t got{0, 1, 2, 3, 4, 5};
    EXPECT_TRUE(tern_test::decode_into("E6 00 00 00 00 00 00 24 C0 00 00 00 00 00 00 00 00", got));
    EXPECT_EQ(got.mask, 0xE6);
    EXPECT_EQ(got.true_speed, 1.0);
    EXPECT_EQ(got.true_direction, -10.0);
    EXPECT_EQ(got.mean_speed, 0.0);
    EXPECT_EQ(got.gust_speed, 4.0);
    EXPECT_EQ(got.mean_direction, 5.0);
    got = windStatus_t{0, 1, 2, 3, 4, 5};
    EXPECT_FALSE(tern_test::decode_into("03 00 00 00 00 00 00 F0 BF 00 00", got));
    EXPECT_EQ(got.true_speed, -1.0);
    EXPECT_EQ(got.true_direction, 2.0);
}
