#include <tern/msg/msg.h>
#include <tern/usb/usb_dev.h>

#include "support/hex.h"

#include <gtest/gtest.h>

using tern::msg_decoder_t;
using tern::msg_encoder_t;
using tern::msg_t;
using tern_test::to_hex;

namespace {

struct dev_msg_t : msg_t {
    usb_dev_t dev;
    dev_msg_t() : msg_t(category_fb, 1) {}
    void encodeContents(msg_encoder_t& e) const override { e << dev; }
    void decodeContents(msg_decoder_t& d) override { d >> dev; }
};

usb_dev_t sample() {
    usb_dev_t d;
    d.dev_path = "/dev/sdb1";
    d.mount_path = "/m/";
    d.label = "";
    d.vol_id = "AB-1";
    d.persistent = true;
    return d;
}

} // namespace

TEST(UsbDev, CodecIsFourStringsThenTheFlag) {
    dev_msg_t m;
    m.dev = sample();
    msg_encoder_t enc;
    ASSERT_TRUE(enc.encodeMessage(m));
    EXPECT_EQ(to_hex(enc.data() + 7, enc.size() - 10),
              "09 2F 64 65 76 2F 73 64 62 31 03 2F 6D 2F 00 04 41 42 2D 31 01");
    msg_decoder_t dec;
    dec.decode_init(enc.data(), enc.size());
    dev_msg_t back;
    back.dev.label = "stale";
    dec.decodeMessage(back);
    EXPECT_FALSE(dec.is_short());
    EXPECT_EQ(back.dev, sample());
}

TEST(UsbDev, HasPathIsAPrefixTest) {
    usb_dev_t d = sample();
    EXPECT_TRUE(d.has_path("/m/"));
    EXPECT_TRUE(d.has_path("/m/log/x.csv"));
    EXPECT_FALSE(d.has_path("/m"));
    EXPECT_FALSE(d.has_path("/media/x"));
    EXPECT_FALSE(d.has_path(""));
}
