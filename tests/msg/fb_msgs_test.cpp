#include <tern/msg/fb_msgs.h>

#include "support/codec.h"
#include "support/hex.h"
#include "support/msg_classes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace tern;
using tern_test::from_hex;
using tern_test::payload_hex;
using tern_test::to_hex;

namespace {

// The payload of a default message of class M after `fill`.
template <class M>
std::string hex_of(const std::function<void(M&)>& fill) {
    M m;
    fill(m);
    return payload_hex(m);
}

// Decodes the payload bytes into `m`, which keeps what it held; `dec` is left after the read.
void decode_payload(const std::string& hex, msg_t& m, msg_decoder_t& dec) {
    static std::vector<unsigned char> frame; // outlives the call, for `dec`
    frame = tern_test::raw_frame(m.category, m.type, 255, from_hex(hex));
    ASSERT_EQ(dec.decode_init(frame.data(), static_cast<unsigned int>(frame.size())), frame.size());
    dec.decodeMessage(m);
}

} // namespace

TEST(FbMsgs, EveryClassRoundTrips) {
    tern_test::expect_round_trips(tern_test::feedback_classes(), {"port_delete"});
}

TEST(FbMsgs, GoldenPayloads) {
    const struct {
        const char* name;
        std::string got;
        const char* hex;
    } rows[] = {
        // clang-format off
        // 11 bytes plus the device path, whatever the auto flag.
        {"port cfg", hex_of<fb_port_cfg_t>([](auto& m) {
             m.auto_cfg = true; m.cfg.flow_control = flow_tern; m.cfg.serial_device = "/dev/ttyS0";
             m.cfg.use_rts = true; }),
         "01 00 C2 01 00 01 00 00 01 0A 2F 64 65 76 2F 74 74 79 53 30 01"},
        {"snapshot success", hex_of<fb_snapshot_t>([](auto& m) {
             m.path = "p"; m.success = true; m.reason = "stale"; /* not sent on success */ }),
         "01 70 01"},
        {"snapshot failure", hex_of<fb_snapshot_t>([](auto& m) { m.path = "p"; m.reason = "disk full"; }),
         "01 70 00 09 64 69 73 6B 20 66 75 6C 6C"},
        {"webmon server success", hex_of<fb_webmon_server_cfg_t>([](auto& m) {
             m.cfg.ip_addr = 0x7F000001; m.cfg.port = 8080; m.success = true; }),
         "01 00 00 7F 90 1F 01"},
        {"webmon server failure", hex_of<fb_webmon_server_cfg_t>([](auto& m) {
             m.cfg.ip_addr = 0x7F000001; m.cfg.port = 8080; m.reason = "x"; }),
         "01 00 00 7F 90 1F 00 01 78"},
        {"raw binary: count only", payload_hex(fb_raw_binary_t(raw_rtcm, 700)), "24 BC 02 00 00"},
        {"raw ascii", payload_hex(fb_raw_ascii_t(raw_gga, "$GPGGA,1", 6)), "01 06 24 47 50 47 47 41"},
        {"tks server", hex_of<fb_tks_ip_server_t>([](auto& m) {
             m.index = 2; m.server.host = "h"; m.server.port = 2101; m.server.name = "n"; }),
         "02 00 01 68 35 08 01 6E 00 00"},
        {"log cfg: channel and record", hex_of<fb_log_cfg_t>([](auto& m) { m.channel = log_channel_csv; }),
         "01 00 00 00 00 00 00 00 00"},
        {"data received", hex_of<fb_data_received_t>([](auto& m) { m.count = 0x0102030405060708ull; }),
         "08 07 06 05 04 03 02 01"},
        {"message", hex_of<fb_message_t>([](auto& m) { m.tstamp = 1.0; m.code = 2; m.value = 3; }),
         "00 00 00 00 00 00 F0 3F 02 00 00 00 03 00 00 00"},
        {"time device default", payload_hex(fb_time_device_t()), "FF"},
        {"net port activity rx", hex_of<fb_net_port_activity_t>([](auto& m) { m.rx = true; }), "01"},
        {"net port activity tx", hex_of<fb_net_port_activity_t>([](auto& m) { m.tx = true; }), "02"},
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
        msg_decoder_t dec;
        decode_payload(r.hex, m, dec);
        EXPECT_EQ(m.rx, r.rx) << r.hex;
        EXPECT_EQ(m.tx, r.tx) << r.hex;
    }
}

TEST(FbMsgs, ReasonIsReadOnlyAfterFailure) {
    // Success: the bytes after the flag are not a reason and stay unread.
    fb_snapshot_t ok;
    ok.reason = "old";
    msg_decoder_t dec;
    decode_payload("01 70 01 03 61 62 63", ok, dec);
    EXPECT_TRUE(ok.success);
    EXPECT_EQ(ok.path, "p");
    EXPECT_EQ(ok.reason, "");
    EXPECT_EQ(dec.remaining(), 4u);

    fb_webmon_server_cfg_t bad;
    bad.success = true;
    decode_payload("01 00 00 7F 90 1F 00 03 61 62 63", bad, dec);
    EXPECT_FALSE(bad.success);
    EXPECT_EQ(bad.reason, "abc");
    EXPECT_EQ(bad.cfg.port, 8080);
    EXPECT_FALSE(dec.is_short());
}
