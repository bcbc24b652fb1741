#include <tern/msg/cmd_msgs.h>

#include "msg/decode_helpers.h"
#include "support/codec.h"
#include "support/hex.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace tern;
using tern_test::decode_payload;
using tern_test::frame_of;
using tern_test::from_hex;
using tern_test::payload_hex;
using tern_test::payload_hex_of;
using tern_test::to_hex;

// Value 1 keeps its number on the wire; callers of its old name still build.
static_assert(cmd_settings_t::action_store_found == 1, "the wire value of a settings action");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
static_assert(cmd_settings_t::action_restore == cmd_settings_t::action_store_found, "old name");
#pragma GCC diagnostic pop

// With auto the frame carries only the flow control, and the receiver keeps its own line
// parameters. (Without auto: the class's golden frame.)
TEST(CmdMsgs, PortCfgFramesDependOnAuto) {
    cmd_port_cfg_t a;
    a.port = 3;
    a.auto_cfg = true;
    a.cfg.baud = 9600;
    a.cfg.flow_control = flow_tern;
    a.cfg.use_rts = true;
    EXPECT_EQ(to_hex(frame_of(a)), "02 07 00 03 00 03 01 01 01 01 0A A5 03");

    cmd_port_cfg_t into;
    into.cfg.baud = 4800;
    into.cfg.data_bits = char_size_7;
    into.cfg.parity = parity_even;
    into.cfg.stop_bits = stop_bits_2;
    port_cfg_t want = into.cfg;
    want.flow_control = flow_tern;
    want.use_rts = true;
    EXPECT_EQ(decode_payload("01 01 01", into), 0);
    EXPECT_TRUE(into.auto_cfg);
    EXPECT_EQ(into.cfg, want);
}

// Payloads of the choices the golden frames (one per class) do not show.
TEST(CmdMsgs, ConditionalPayloads) {
    const struct {
        const char* name;
        std::string got;
        const char* hex;
    } rows[] = {
        // clang-format off
        {"log query", payload_hex(cmd_log_cfg_t()), "00"},
        {"rot query", payload_hex_of<cmd_rot_sample_size_t>([](auto& m) { m.sample_size = 25; }), "00"},
        {"snapshot without network", payload_hex_of<cmd_snapshot_t>([](auto& m) {
             m.path = "a"; m.net_cfg.type = sysnet_cfg_dhcp; /* not sent without the flag */ }),
         "01 61 00 00 00"},
        {"net port text 3 cut", payload_hex_of<cmd_net_port_cfg_t>([](auto& m) { m.short_name = std::string(25, 'a'); }),
         "00 00 14 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 00 00 FF 00"},
        {"time sync", payload_hex(cmd_time_sync_t(msg_t::category_cmd, 90)), ""},
        // clang-format on
    };
    for (const auto& r : rows) EXPECT_EQ(r.got, to_hex(from_hex(r.hex))) << r.name;
}

TEST(CmdMsgs, AlmRequestListLimitsAndReplacement) {
    cmd_alm_request_t big;
    for (int i = 0; i < 300; ++i) big.sats.push_back(static_cast<unsigned char>(i));
    const auto f = frame_of(big);
    ASSERT_EQ(f.size(), 10u + 2 + 255);
    EXPECT_EQ(f[8], 0xFF);      // count
    EXPECT_EQ(f[9 + 254], 254); // last entry sent

    // Decoding into an object that already holds values appends the received ones.
    cmd_alm_request_t into;
    into.sats = {7, 8};
    EXPECT_EQ(decode_payload("04 02 21 22", into), 0);
    EXPECT_EQ(into.alm_type, cmd_alm_request_t::alm_beidou);
    EXPECT_EQ(into.sats, (std::vector<unsigned char>{7, 8, 0x21, 0x22}));

    // A count beyond the frame keeps the entries that are there.
    cmd_alm_request_t cut;
    EXPECT_EQ(decode_payload("00 05 01 02", cut), -1);
    EXPECT_EQ(cut.sats, (std::vector<unsigned char>{1, 2}));
}

TEST(CmdMsgs, UploadCountNeverOverrunsItsBuffer) {
    // The count claims more than the frame holds: short, and the message is untouched.
    cmd_upload_t m;
    m.set_data("\x09\x09", 2);
    EXPECT_EQ(decode_payload("D0 07 01 02 03", m), -1);
    EXPECT_EQ(m.count, 2);
    EXPECT_EQ(m.data[0], 9);

    // A peer's frame longer than any encoder makes: the first 1012 bytes are kept.
    std::vector<unsigned char> payload = {0x4C, 0x04}; // 1100
    for (int i = 0; i < 1100; ++i) payload.push_back(static_cast<unsigned char>(i % 251));
    cmd_upload_t big;
    EXPECT_GE(
        tern_test::decode_frame(tern_test::raw_frame(1, cmd_upload_t::msg_type, 2, payload), big),
        0);
    EXPECT_EQ(big.count, 1012);
    EXPECT_EQ(big.data[1011], 1011 % 251);

    // A count set beyond the buffer sends the buffer with a matching count; the frame is full.
    big.count = 2000;
    const auto out = frame_of(big);
    ASSERT_EQ(out.size(), 1024u);
    EXPECT_EQ(out[7], 0xF4);
    EXPECT_EQ(out[8], 0x03);
}

// Every copy holds its own reference; setting the buffer the message already holds as its only
// reference must not free it first (the sanitizer build reports that).
TEST(CmdMsgs, DeviceWriteBufferReferences) {
    cmd_device_write_t own;
    own.set_external(new refd_buf_t("abc", 3), false);
    own.set_external(own.ext_buf(), true);
    EXPECT_EQ(own.ext_buf()->ref_cnt(), 1);
    ASSERT_EQ(own.write_len(), 3u);
    EXPECT_EQ(own.write_data()[2], 'c');

    auto* buf = new refd_buf_t("abc", 3);
    {
        cmd_device_write_t m;
        m.set_external(buf, true);
        cmd_device_write_t copy(m);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.write_data()), copy.write_len()),
                  "abc");
        cmd_device_write_t other;
        other = m;
        const cmd_device_write_t& same = other;
        other = same;
        EXPECT_EQ(buf->ref_cnt(), 4);
        other = cmd_device_write_t(); // the old buffer is released, none is held
        EXPECT_EQ(other.ext_buf(), nullptr);
        copy.clear_ext_buf();
        EXPECT_EQ(buf->ref_cnt(), 2);
        EXPECT_EQ(copy.write_len(), 0u);
    }
    EXPECT_EQ(buf->ref_cnt(), 1);
    refd_buf_t::release(buf);
}

TEST(CmdMsgs, DeviceWriteInlineLengthIsBounded) {
    cmd_device_write_t m;
    std::vector<unsigned char> big(1500, 'x');
    m.set_data(big.data(), static_cast<unsigned int>(big.size()));
    EXPECT_EQ(m.len, 1024);
    m.len = 5000; // set directly past the area
    EXPECT_EQ(m.write_len(), 1024u);
    cmd_device_write_t copy(m);
    EXPECT_EQ(copy.len, 1024);
    EXPECT_EQ(copy.write_data(), copy.data);
}

// Commands are recycled through a small store per thread, except under AddressSanitizer,
// where each goes back to the heap so that a use after delete is still reported.
#if defined(__SANITIZE_ADDRESS__)
#define CMD_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CMD_TEST_ASAN 1
#endif
#endif

#ifdef CMD_TEST_ASAN
TEST(CmdMsgsDeathTest, DeviceWriteUseAfterDeleteIsStillReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            cmd_device_write_t* volatile c = new cmd_device_write_t;
            delete c;
            auto* volatile seen = new cmd_device_write_t; // would reuse c's memory if recycled
            std::printf("%d\n", c->len);
            delete seen;
        },
        "heap-use-after-free");
}
#endif

// Commands made on one thread and deleted on another, more than a store keeps, and threads
// that end with commands in their store: every block must go back exactly once.
TEST(CmdMsgs, DeviceWriteCommandsCrossThreads) {
    std::vector<cmd_device_write_t*> made(300);
    std::thread maker([&] {
        for (auto*& c : made) c = new cmd_device_write_t;
    });
    maker.join();
    std::thread dropper([&] {
        for (auto* c : made) delete c;
        for (auto*& c : made) c = new cmd_device_write_t; // from the dropped ones' memory
    });
    dropper.join();
    for (auto* c : made) {
        c->set_data("x", 1);
        delete c;
    }
}

TEST(CmdMsgs, TimeSyncPrintsItsStamp) {
    cmd_time_sync_t t(msg_t::category_cmd, 90);
    t.utc_tstamp = 12.5;
    EXPECT_EQ(tern_test::dump_of(t), "**** cat 1 type 90 port 255\nutc_tstamp 12.500000\n");
}
