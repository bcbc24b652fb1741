#include <tern/msg/fb_msgs.h>

#include "support/codec.h"
#include "support/hex.h"
#include "support/msg_classes.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace tern;
using tern_test::frame_of;
using tern_test::from_hex;
using tern_test::payload_hex;
using tern_test::to_hex;

namespace {

// Decodes the payload bytes into `m`, which keeps what it held. `dec` is left after the read.
void decode_payload(const std::string& hex, msg_t& m, msg_decoder_t& dec,
                    std::vector<unsigned char>& frame) {
    frame = tern_test::raw_frame(m.category, m.type, 255, from_hex(hex));
    ASSERT_EQ(dec.decode_init(frame.data(), static_cast<unsigned int>(frame.size())), frame.size());
    dec.decodeMessage(m);
}

} // namespace

TEST(FbMsgs, EveryClassRoundTrips) {
    tern_test::expect_round_trips(tern_test::feedback_classes(), {"port_delete"});
}

TEST(FbMsgs, GoldenPayloads) {
    fb_port_cfg_t pc;
    pc.auto_cfg = true;
    pc.cfg.flow_control = flow_tern;
    pc.cfg.serial_device = "/dev/ttyS0";
    pc.cfg.use_rts = true;

    fb_snapshot_t snap_ok;
    snap_ok.path = "p";
    snap_ok.success = true;
    snap_ok.reason = "stale"; // not sent on success
    fb_snapshot_t snap_bad;
    snap_bad.path = "p";
    snap_bad.reason = "disk full";

    fb_webmon_server_cfg_t srv_ok;
    srv_ok.cfg.ip_addr = 0x7F000001;
    srv_ok.cfg.port = 8080;
    srv_ok.success = true;
    fb_webmon_server_cfg_t srv_bad = srv_ok;
    srv_bad.success = false;
    srv_bad.reason = "x";

    const fb_raw_binary_t bin(raw_rtcm, 700);
    const fb_raw_ascii_t ascii(raw_gga, "$GPGGA,1", 6);

    fb_tks_ip_server_t tks;
    tks.index = 2;
    tks.server.host = "h";
    tks.server.port = 2101;
    tks.server.name = "n";

    fb_log_cfg_t log;
    log.channel = log_channel_csv;

    fb_data_received_t rx;
    rx.count = 0x0102030405060708ull;

    fb_message_t msg;
    msg.tstamp = 1.0;
    msg.code = 2;
    msg.value = 3;

    const fb_time_device_t td;

    struct row_t {
        const char* name;
        const msg_t& msg;
        const char* hex;
    };
    const std::vector<row_t> rows = {
        // 11 bytes plus the device path, whatever the auto flag.
        {"port cfg", pc, "01 00 C2 01 00 01 00 00 01 0A 2F 64 65 76 2F 74 74 79 53 30 01"},
        {"snapshot success", snap_ok, "01 70 01"},
        {"snapshot failure", snap_bad, "01 70 00 09 64 69 73 6B 20 66 75 6C 6C"},
        {"webmon server success", srv_ok, "01 00 00 7F 90 1F 01"},
        {"webmon server failure", srv_bad, "01 00 00 7F 90 1F 00 01 78"},
        {"raw binary: count only", bin, "24 BC 02 00 00"},
        {"raw ascii", ascii, "01 06 24 47 50 47 47 41"},
        {"tks server", tks, "02 00 01 68 35 08 01 6E 00 00"},
        {"log cfg: channel and record", log, "01 00 00 00 00 00 00 00 00"},
        {"data received", rx, "08 07 06 05 04 03 02 01"},
        {"message", msg, "00 00 00 00 00 00 F0 3F 02 00 00 00 03 00 00 00"},
        {"time device default", td, "FF"},
    };
    for (const auto& r : rows) EXPECT_EQ(payload_hex(r.msg), to_hex(from_hex(r.hex))) << r.name;
}

TEST(FbMsgs, NetPortActivityPacksTwoBits) {
    struct row_t {
        bool rx, tx;
        const char* hex;
    };
    for (const row_t& r : std::vector<row_t>{
             {true, true, "03"}, {true, false, "01"}, {false, true, "02"}, {false, false, "00"}}) {
        fb_net_port_activity_t m;
        m.rx = r.rx;
        m.tx = r.tx;
        EXPECT_EQ(payload_hex(m), r.hex);
    }
    struct in_row_t {
        const char* hex;
        bool rx, tx;
    };
    for (const in_row_t& r : std::vector<in_row_t>{
             {"FF", true, true}, {"FC", false, false}, {"02", false, true}, {"FD", true, false}}) {
        fb_net_port_activity_t m;
        m.rx = !r.rx;
        m.tx = !r.tx;
        msg_decoder_t dec;
        std::vector<unsigned char> frame;
        decode_payload(r.hex, m, dec, frame);
        EXPECT_EQ(m.rx, r.rx) << r.hex;
        EXPECT_EQ(m.tx, r.tx) << r.hex;
    }
}

TEST(FbMsgs, ReasonIsReadOnlyAfterFailure) {
    // Success: the bytes after the flag are not a reason and stay unread.
    fb_snapshot_t ok;
    ok.reason = "old";
    msg_decoder_t dec;
    std::vector<unsigned char> frame;
    decode_payload("01 70 01 03 61 62 63", ok, dec, frame);
    EXPECT_TRUE(ok.success);
    EXPECT_EQ(ok.path, "p");
    EXPECT_EQ(ok.reason, "");
    EXPECT_EQ(dec.remaining(), 4u);

    fb_webmon_server_cfg_t bad;
    bad.success = true;
    msg_decoder_t dec2;
    decode_payload("01 00 00 7F 90 1F 00 03 61 62 63", bad, dec2, frame);
    EXPECT_FALSE(bad.success);
    EXPECT_EQ(bad.reason, "abc");
    EXPECT_EQ(bad.cfg.port, 8080);
    EXPECT_FALSE(dec2.is_short());
}
