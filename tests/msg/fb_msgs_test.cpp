#include <tern/msg/fb_msgs.h>

#include "msg/decode_helpers.h"
#include "support/codec.h"
#include "support/hex.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <string>

using namespace tern;
using tern_test::decode_payload;
using tern_test::from_hex;
using tern_test::payload_hex;
using tern_test::payload_hex_of;
using tern_test::to_hex;

// Payloads of the choices the golden frames (one per class) do not show.
TEST(FbMsgs, ConditionalPayloads) {
    const struct {
        const char* name;
        std::string got;
        const char* hex;
    } rows[] = {
        // clang-format off
        {"snapshot success", payload_hex_of<fb_snapshot_t>([](auto& m) {
             m.path = "p"; m.success = true; m.reason = "stale"; /* not sent on success */ }),
         "01 70 01"},
        {"webmon server success", payload_hex_of<fb_webmon_server_cfg_t>([](auto& m) {
             m.cfg.ip_addr = 0x7F000001; m.cfg.port = 8080; m.success = true; }),
         "01 00 00 7F 90 1F 01"},
        {"raw ascii", payload_hex(fb_raw_ascii_t(raw_gga, "$GPGGA,1", 6)), "01 06 24 47 50 47 47 41"},
        {"net port activity rx", payload_hex_of<fb_net_port_activity_t>([](auto& m) { m.rx = true; }), "01"},
        // clang-format on
    };
    for (const auto& r : rows) EXPECT_EQ(r.got, to_hex(from_hex(r.hex))) << r.name;
}

TEST(FbMsgs, NetPortActivityReadsTwoBits) {
    const struct {
        const char* hex;
        bool rx, tx;
    } rows[] = {{"FF", true, true}, {"FC", false, false}, {"02", false, true}, {"FD", true, false}};
    for (const auto& r : rows) {
        fb_net_port_activity_t m;
        m.rx = !r.rx;
        m.tx = !r.tx;
        EXPECT_EQ(decode_payload(r.hex, m), 0);
        EXPECT_EQ(m.rx, r.rx) << r.hex;
        EXPECT_EQ(m.tx, r.tx) << r.hex;
    }
}

TEST(FbMsgs, ReasonIsReadOnlyAfterFailure) {
    // Success: the bytes after the flag are not a reason and stay unread.
    fb_snapshot_t ok;
    ok.reason = "old";
    EXPECT_EQ(decode_payload("01 70 01 03 61 62 63", ok), 4);
    EXPECT_TRUE(ok.success);
    EXPECT_EQ(ok.path, "p");
    EXPECT_EQ(ok.reason, "");

    fb_webmon_server_cfg_t bad;
    bad.success = true;
    EXPECT_EQ(decode_payload("01 00 00 7F 90 1F 00 03 61 62 63", bad), 0);
    EXPECT_FALSE(bad.success);
    EXPECT_EQ(bad.reason, "abc");
    EXPECT_EQ(bad.cfg.port, 8080);
}
