#include <tern/msg/msg.h>

#include <gtest/gtest.h>

TEST(Crc, CheckValue) {
    const unsigned char digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(tern::calc_checksum(digits, 9), 0x29B1);
}
