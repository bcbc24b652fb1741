#include <tern/msg/fb_msgs.h>

#include "support/hex.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace tern;
using tern_test::from_hex;
using tern_test::to_hex;

namespace {

std::vector<unsigned char> frame_of(const msg_t& m) {
    msg_encoder_t enc;
    EXPECT_TRUE(enc.encodeMessage(m));
    return std::vector<unsigned char>(enc.data(), enc.data() + enc.size());
}

std::string payload_hex(const msg_t& m) {
    const auto f = frame_of(m);
    return f.size() >= 10 ? to_hex(f.data() + 7, f.size() - 10) : std::string("<no frame>");
}

// Carries bytes given by the test as its payload.
struct raw_msg_t : msg_t {
    std::vector<unsigned char> bytes;
    explicit raw_msg_t(unsigned int typ) : msg_t(category_fb, typ) {}
    void encodeContents(msg_encoder_t& e) const override {
        e.encodeBlob(bytes.data(), static_cast<unsigned int>(bytes.size()));
    }
};

// Decodes the payload bytes into `m`, which keeps what it held. `dec` is left after the read.
void decode_payload(const std::string& hex, msg_t& m, msg_decoder_t& dec,
                    std::vector<unsigned char>& frame) {
    raw_msg_t raw(m.type);
    raw.bytes = from_hex(hex);
    frame = frame_of(raw);
    ASSERT_EQ(dec.decode_init(frame.data(), static_cast<unsigned int>(frame.size())), frame.size());
    dec.decodeMessage(m);
}

// ---- round trip of every class
//
// Each class is first decoded from a payload of 0x01 bytes (every bool true, every number and
// enumeration non-zero, every string and list one entry long), so nothing is left at its
// default. Encoding it again must give back exactly the bytes it read.

struct rt_row_t {
    const char* name;
    unsigned int type;
    const char* pattern; // hex; nullptr: 0x01 bytes
    std::function<std::unique_ptr<msg_t>()> make;
    std::function<std::unique_ptr<msg_t>(msg_decoder_t&)> decode;
    std::function<std::unique_ptr<msg_t>(const msg_t&)> copy;
};

template <class M>
rt_row_t row(const char* name, const char* pattern = nullptr) {
    return {
        name,
        M::msg_type,
        pattern,
        [] { return std::unique_ptr<msg_t>(new M()); },
        [](msg_decoder_t& d) { return std::unique_ptr<msg_t>(new M(d)); },
        [](const msg_t& src) { return std::unique_ptr<msg_t>(new M(static_cast<const M&>(src))); }};
}

} // namespace

TEST(FbMsgs, EveryClassRoundTrips) {
    const std::vector<rt_row_t> rows = {
        row<fb_controller_cfg_t>("controller_cfg"),
        row<fb_port_t>("port"),
        row<fb_port_delete_t>("port_delete"),
        row<fb_time_device_t>("time_device"),
        row<fb_system_alarms_t>("system_alarms"),
        row<fb_message_t>("message"),
        row<fb_data_received_t>("data_received"),
        row<fb_port_cfg_t>("port_cfg"),
        row<fb_device_cfg_t>("device_cfg"),
        row<fb_device_name_t>("device_name"),
        row<fb_port_lock_t>("port_lock"),
        row<fb_upload_t>("upload"),
        row<fb_settings_t>("settings"),
        row<fb_brightness_t>("brightness"),
        row<fb_log_cfg_t>("log_cfg"),
        row<fb_csv_output_cfg_t>("csv_output_cfg"),
        row<fb_fwu_state_t>("fwu_state"),
        row<fb_fwu_percent_t>("fwu_percent"),
        row<fb_transient_msg_t>("transient_msg"),
        row<fb_elevation_mask_t>("elevation_mask"),
        row<fb_alm_beidou_t>("alm_beidou"),
        row<fb_alm_galileo_t>("alm_galileo"),
        row<fb_alm_gps_t>("alm_gps"),
        row<fb_alm_glonass_t>("alm_glonass"),
        row<fb_alm_sbas_t>("alm_sbas"),
        row<fb_acpi_t>("acpi"),
        row<fb_ack_t>("ack"),
        row<fb_time_diff_t>("time_diff"),
        row<fb_net_port_cfg_t>("net_port_cfg"),
        row<fb_net_port_status_t>("net_port_status"),
        row<fb_net_port_activity_t>("net_port_activity"),
        row<fb_dev_settings_t>("dev_settings"),
        row<fb_tks_ip_summary_t>("tks_ip_summary"),
        // A two-byte count of 0x0101 would not fit in a frame: two mount points instead.
        row<fb_tks_ip_server_t>("tks_ip_server", "0101 01 01 0101 01 01 0200 0101 0101 0101 0101"),
        row<fb_snapshot_t>("snapshot", "01 01 00 01 01"), // failure, with its reason
        row<fb_webmon_site_cfg_t>("webmon_site_cfg"),
        row<fb_webmon_server_cfg_t>("webmon_server_cfg"),
        row<fb_raw_ascii_t>("raw_ascii"),
        row<fb_raw_binary_t>("raw_binary"),
        row<fb_rot_sample_size_t>("rot_sample_size"),
    };
    for (unsigned int i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.type, i + 1); // the table follows the catalogue

        raw_msg_t raw(r.type);
        raw.port = 200;
        raw.bytes = r.pattern ? from_hex(r.pattern) : std::vector<unsigned char>(1000, 0x01);
        const auto in = frame_of(raw);
        msg_decoder_t dec;
        ASSERT_EQ(dec.decode_init(in.data(), static_cast<unsigned int>(in.size())), in.size());
        auto m = r.decode(dec);
        ASSERT_FALSE(dec.is_short());
        const unsigned int used = dec.pos() - 7;
        EXPECT_EQ(used == 0, r.type == fb_port_delete_t::msg_type);
        if (r.pattern) {
            EXPECT_EQ(used, raw.bytes.size());
        }

        const auto bytes = frame_of(*m);
        ASSERT_EQ(bytes.size(), used + 10);
        EXPECT_EQ(to_hex(bytes.data() + 7, used), to_hex(raw.bytes.data(), used));
        EXPECT_EQ(bytes[3] | (bytes[4] << 8), static_cast<int>(r.type));
        EXPECT_EQ(bytes[5], 200);
        EXPECT_EQ(bytes[6], 2);
        if (used > 0) {
            EXPECT_NE(frame_of(*r.make()), bytes);
        }

        ASSERT_EQ(dec.decode_init(bytes.data(), static_cast<unsigned int>(bytes.size())),
                  bytes.size());
        auto back = r.decode(dec);
        EXPECT_FALSE(dec.is_short());
        EXPECT_EQ(dec.remaining(), 0u);
        EXPECT_EQ(back->port, 200u);
        EXPECT_EQ(back->category, msg_t::category_fb);
        EXPECT_EQ(back->type, r.type);
        EXPECT_EQ(frame_of(*back), bytes);
        EXPECT_EQ(frame_of(*r.copy(*m)), bytes);
    }
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
