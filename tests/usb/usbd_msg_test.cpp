#include <tern/usb/usbd_msg.h>

#include "support/codec.h"
#include "support/hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tern;
using tern_test::frame_of;
using tern_test::from_hex;
using tern_test::to_hex;

namespace {

usb_dev_t stick() {
    usb_dev_t d;
    d.dev_path = "/dev/sda1";
    d.mount_path = "/m/a";
    d.label = "";
    d.vol_id = "12-AB";
    d.persistent = true;
    return d;
}

} // namespace

TEST(UsbdMsg, Frames) {
    EXPECT_EQ(to_hex(frame_of(cmd_usbd_list_t())), "02 04 00 00 00 FF 01 1E 97 03");

    // Category 2 type 1 (the number a main connection gives another class), port 255, then the
    // four strings in field order and the flag.
    EXPECT_EQ(to_hex(frame_of(fb_usbd_dev_t(stick()))),
              to_hex(from_hex("02 1B 00 01 00 FF 02"
                              "  09 2F 64 65 76 2F 73 64 61 31  04 2F 6D 2F 61  00"
                              "  05 31 32 2D 41 42  01  93 A6 03")));

    const auto gone = frame_of(fb_usbd_dev_gone_t("/dev/sda1"));
    EXPECT_EQ(to_hex(gone.data(), 7), "02 0E 00 02 00 FF 02");
    EXPECT_EQ(to_hex(gone.data() + 7, gone.size() - 10), "09 2F 64 65 76 2F 73 64 61 31");
}

TEST(UsbdMsg, DecodesWhatWasSent) {
    fb_usbd_dev_t m(stick());
    m.port = 4;
    const auto f = frame_of(m);
    msg_decoder_t dec;
    ASSERT_EQ(dec.decode_init(f.data(), static_cast<unsigned int>(f.size())), f.size());
    fb_usbd_dev_t back;
    back.dev.label = "stale"; // replaced by the empty label sent
    dec.decodeMessage(back);
    EXPECT_FALSE(dec.is_short());
    EXPECT_EQ(back.dev, stick());
    EXPECT_EQ(back.port, 4u);

    const auto g = frame_of(fb_usbd_dev_gone_t("/dev/sdb"));
    dec.decode_init(g.data(), static_cast<unsigned int>(g.size()));
    EXPECT_EQ(fb_usbd_dev_gone_t(dec).dev_path, "/dev/sdb");
}
