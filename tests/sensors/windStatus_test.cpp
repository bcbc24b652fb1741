#include <tern/msg/msg.h>
#include <tern/sensors/windStatus.h>

#include "support/codec.h"

#include <gtest/gtest.h>

using namespace tern;
using tern_test::decode_into;
using tern_test::payload_of;

namespace {

windStatus_t filled() {
    windStatus_t ws;
    ws.true_speed = 1.0;
    ws.true_direction = 2.0;
    ws.mean_speed = 3.0;
    ws.gust_speed = 4.0;
    ws.mean_direction = 5.0;
    return ws;
}

} // namespace

TEST(WindStatus, OnlyAnnouncedValuesTravel) {
    windStatus_t ws = filled();
    ws.mask = windStatus_t::has_true_speed | windStatus_t::has_gust_speed;
    EXPECT_EQ(payload_of(ws), "09 00 00 00 00 00 00 F0 3F 00 00 00 00 00 00 10 40");
    ws.mask = 0;
    EXPECT_EQ(payload_of(ws), "00");
    ws.mask = 0xE0 | windStatus_t::has_mean_direction; // the byte as it is; no value for bits 5-7
    EXPECT_EQ(payload_of(ws), "F0 00 00 00 00 00 00 14 40");
}

TEST(WindStatus, DecodingReadsOnlyAnnouncedValues) {
    windStatus_t got = filled();
    EXPECT_TRUE(decode_into("E6 00 00 00 00 00 00 24 C0 00 00 00 00 00 00 00 00", got));
    EXPECT_EQ(got.mask, 0xE6); // the mask as read; bits 5-7 carry no value
    EXPECT_EQ(got.true_speed, 1.0);
    EXPECT_EQ(got.true_direction, -10.0);
    EXPECT_EQ(got.mean_speed, 0.0);
    EXPECT_EQ(got.gust_speed, 4.0);
    EXPECT_EQ(got.mean_direction, 5.0);

    got = filled();
    EXPECT_FALSE(decode_into("03 00 00 00 00 00 00 F0 BF 00 00", got));
    EXPECT_EQ(got.true_speed, -1.0);
    EXPECT_EQ(got.true_direction, 2.0);
}
