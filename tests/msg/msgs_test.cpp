// Message classes beyond their golden frames (golden_test.cpp): creation by number, the
// payloads of choices the golden frames do not show, decoding into held messages, bounds.
#include <tern/msg/catalogue.h>
#include <tern/msg/cmd_msgs.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/usb/usbd_msg.h>

#include "../../src/util/sanitizer_priv.h"
#include "msg/decode_helpers.h"
#include "support/codec.h"
#include "support/hex.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace tern;
using tern_test::decode_frame;
using tern_test::decode_payload;
using tern_test::frame_of;
using tern_test::from_hex;
using tern_test::payload_hex;
using tern_test::payload_hex_of;
using tern_test::raw_frame;
using tern_test::to_hex;

// Creation by number: every class of the catalogues is pinned by its golden frame
// (golden_test.cpp); here every other pair is refused, and so is a decoder without a frame.
namespace {

using create_t = std::unique_ptr<msg_t> (*)(msg_decoder_t&);
using pairs_t = std::set<std::pair<unsigned, unsigned>>;

#define PAIR(cls) {cls().category, cls::msg_type},

// Every pair outside `known` is refused, and not as a short frame.
void expect_unknown_elsewhere(create_t how, const pairs_t& known) {
    for (unsigned cat = 0; cat < 6; ++cat)
        for (unsigned type = 0; type < 300; ++type) {
            if (known.count({cat, type})) continue;
            const auto f = tern_test::raw_frame(cat, type, 1, {});
            msg_decoder_t dec;
            ASSERT_EQ(dec.decode_init(f.data(), static_cast<unsigned>(f.size())), f.size());
            EXPECT_FALSE(how(dec)) << "cat " << cat << " type " << type;
            EXPECT_FALSE(dec.is_short());
        }
}

} // namespace

TEST(Catalogue, EachLinkKnowsOnlyItsOwnPairs) {
    const pairs_t main = {TERN_COMMAND_MSGS(PAIR) TERN_FEEDBACK_MSGS(PAIR) TERN_DATA_MSGS(PAIR)};
    const pairs_t usbd = {TERN_USBD_COMMAND_MSGS(PAIR) TERN_USBD_FEEDBACK_MSGS(PAIR)};
    EXPECT_EQ(main.size(), 24u + 40u + 48u); // no two classes share a pair
    EXPECT_EQ(usbd.size(), 3u);
    expect_unknown_elsewhere(create_msg, main);
    expect_unknown_elsewhere(create_usbd_msg, usbd);
}

TEST(Catalogue, RefusesADecoderWithoutAFrame) {
    msg_decoder_t dec;
    EXPECT_FALSE(create_msg(dec));
    const unsigned char garbage[] = {0x41, 0x02, 0x04};
    EXPECT_EQ(dec.decode_init(garbage, 3), 1u);
    EXPECT_FALSE(create_msg(dec));
    EXPECT_FALSE(create_usbd_msg(dec));
}

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
TEST(Msgs, ConditionalPayloads) {
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
#if TERN_ASAN
TEST(CmdMsgsDeathTest, DeviceWriteUseAfterDeleteIsStillReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            cmd_device_write_t* volatile c = new cmd_device_write_t;
            delete c;
            auto* volatile seen = new cmd_device_write_t; // would reuse c's memory if recycled
            // A plain byte read: a member access would meet UBSan's check of the object first.
            std::printf("%d\n", reinterpret_cast<volatile unsigned char*>(c)[0]);
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

namespace {

// The header's time stamp 1700000000.5 without GPS time.
#define TS "00 00 20 40 FC 54 D9 41 "

// Decoding into a message that already holds values.
TEST(DataDecode, IntoAHeldMessage) {
    data_pos_t lat_only;
    lat_only.latitude_valid = true;
    lat_only.latitude = 0.5;
    data_pos_t pos;
    pos.longitude_valid = true;
    pos.longitude = 2.0;
    EXPECT_EQ(decode_frame(frame_of(lat_only), pos), 0);
    EXPECT_TRUE(pos.latitude_valid && !pos.longitude_valid);
    EXPECT_EQ(pos.latitude, 0.5);
    EXPECT_EQ(pos.longitude, 2.0); // the value behind the cleared flag is left alone

    data_sat_use_t sent; // a list is replaced, not appended to; beyond 255 the first 255 go
    for (unsigned i = 0; i < 300; ++i) sent.sats.push_back(static_cast<unsigned char>(i));
    const auto f = frame_of(sent);
    ASSERT_EQ(f.size(), 10u + 9u + 2u + 1u + 255u);
    EXPECT_EQ(f[7 + 9 + 2], 0xFF); // the count, after header, combined and constellation
    data_sat_use_t held;
    held.sats = {1, 2, 3, 4, 5};
    EXPECT_EQ(decode_frame(f, held), 0);
    sent.sats.resize(255);
    EXPECT_EQ(held.sats, sent.sats);
}

// A count that promises more entries than the frame holds: reading stops at the end of the
// frame and a torn entry is not kept; the raw measurements' count is what was kept.
TEST(DataDecode, ShortListStopsAtTheEndOfTheFrame) {
    // Three satellites announced; the second is cut after its azimuth. The first one's track
    // bytes are FE and 03: only bit 0 is the flag.
    data_sat_track_t got;
    EXPECT_EQ(decode_frame(raw_frame(3, 13, 1,
                                     from_hex(TS "00 01 03  05 00 00 00 3F 00 00 80 3E"
                                                 " FE 00 00 20 42 03 00 00 20 42  06 00 00 00 3F")),
                           got),
              -1);
    ASSERT_EQ(got.sats.size(), 1u);
    EXPECT_EQ(got.sats[0].id, 5);
    EXPECT_EQ(got.sats[0].freq[0].track, 0);
    EXPECT_EQ(got.sats[0].freq[1].track, 1);
    EXPECT_EQ(got.sats[0].freq[1].snr, 40.0f);

    data_raw_meas_t raw;
    EXPECT_EQ(decode_frame(raw_frame(3, 19, 1,
                                     from_hex(TS "00 C8 01 00 00 00 00 00 00 F0 3F 00 00 00 00 00"
                                                 " 00 00 40 00 00 00 00 00 00 08 40 02")),
                           raw),
              -1);
    EXPECT_EQ(raw.count, 1);
    ASSERT_EQ(raw.meas.size(), 1u);
    EXPECT_EQ(raw.meas[0].value[2], 3.0);
}

// Each flag of a presence mask or packed byte alone: it sets its own bit and no other, and
// the decoder gives it back to the same flag.
template <class T>
void check_bits(unsigned int mask_at, std::vector<std::function<void(T&)>> set_bit) {
    for (unsigned int i = 0; i < set_bit.size(); ++i) {
        T m;
        set_bit[i](m);
        const auto f = frame_of(m);
        ASSERT_GT(f.size(), 7u + 9u + mask_at);
        EXPECT_EQ(f[7 + 9 + mask_at], 1u << i) << "bit " << i;
        T copy;
        EXPECT_EQ(decode_frame(f, copy), 0);
        EXPECT_EQ(tern_test::dump_of(copy), tern_test::dump_of(m)) << "bit " << i;
        EXPECT_EQ(to_hex(frame_of(copy)), to_hex(f)) << "bit " << i;
    }
}

// (The position's two bits are pinned by its golden frames.)
TEST(DataDecode, EachMaskBitBelongsToItsOwnValue) {
    check_bits<data_height_t>(
        0, {[](auto& m) { m.geoidal_height_valid = true, m.geoidal_height = 1; },
            [](auto& m) { m.ellipsoidal_height_valid = true, m.ellipsoidal_height = 2; }});
    check_bits<data_pv_dop_t>(0, {[](auto& m) { m.pdop_valid = true, m.pdop = 1; },
                                  [](auto& m) { m.vdop_valid = true, m.vdop = 2; }});
    check_bits<data_fix_type_t>(0, {[](auto& m) { m.fix_valid = true; },
                                    [](auto& m) { m.fix_3d = true; },
                                    [](auto& m) { m.fix_auto = true; }});
    check_bits<data_pr_stats_t>(
        2, {[](auto& m) { m.range_stddev_rms_valid = true, m.range_stddev_rms = 1; },
            [](auto& m) { m.semi_major_stddev_valid = true, m.semi_major_stddev = 2; },
            [](auto& m) { m.semi_minor_stddev_valid = true, m.semi_minor_stddev = 3; },
            [](auto& m) { m.orientation_valid = true, m.orientation = 4; },
            [](auto& m) { m.lat_stddev_valid = true, m.lat_stddev = 5; },
            [](auto& m) { m.lon_stddev_valid = true, m.lon_stddev = 6; },
            [](auto& m) { m.altitude_stddev_valid = true, m.altitude_stddev = 7; }});
    check_bits<data_datum_t>(0, {[](auto& m) { m.mask = 0x01, m.localDatum = datum_s85; },
                                 [](auto& m) { m.mask = 0x02, m.localDatumSubdivision = "X"; },
                                 [](auto& m) { m.mask = 0x04, m.latitudeOffset = 1; },
                                 [](auto& m) { m.mask = 0x08, m.longitudeOffset = 2; },
                                 [](auto& m) { m.mask = 0x10, m.altitudeOffset = 3; },
                                 [](auto& m) { m.mask = 0x20, m.referenceDatum = datum_w72; }});
}

// Mask bits that announce no value are ignored: nothing more is read for them.
TEST(DataDecode, UnknownMaskBitsAreIgnored) {
    data_datum_t got;
    EXPECT_EQ(decode_frame(from_hex("02 0F 00 29 00 03 03 " TS "00 C1 03 0E 58 03"), got), 0);
    EXPECT_EQ(got.mask, 0x01);
    EXPECT_EQ(got.localDatum, datum_p90);
}

// ---- raw device bytes: shared in-process, only the header crosses a connection ----

TEST(DataDeviceRaw, CopiesShareTheBufferAndHoldTheirOwnReference) {
    const data_device_raw_t none;
    EXPECT_EQ(data_device_raw_t(none).buf(), nullptr); // copying no buffer

    data_device_raw_t a(raw_gga, "abc", 3);
    refd_buf_t* ab = a.buf();
    {
        const data_device_raw_t copy(a);
        EXPECT_EQ(copy.buf(), ab);
        EXPECT_EQ(copy.rawType(), raw_gga);
        EXPECT_EQ(ab->ref_cnt(), 2);
    }
    EXPECT_EQ(ab->ref_cnt(), 1);

    data_device_raw_t b(raw_rtcm, "xy", 2);
    refd_buf_t* bb = b.buf();
    bb->ref(); // watch the old buffer of b
    b = a;     // b drops its old buffer and shares a's
    EXPECT_EQ(bb->ref_cnt(), 1);
    refd_buf_t::release(bb);
    const data_device_raw_t& same = b;
    b = same; // self-assignment keeps the buffer alive
    a = b;    // assigning the buffer already held
    EXPECT_EQ(b.buf(), ab);
    EXPECT_EQ(ab->ref_cnt(), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ab->data()), ab->len()), "abc");
}

TEST(DataDeviceRaw, OnlyTheHeaderCrossesAConnection) {
    data_device_raw_t sent(raw_gga, "$GPGGA,1", 8);
    sent.utc_tstamp = 1700000000.5;
    const auto f = frame_of(sent);
    EXPECT_EQ(to_hex(f), "02 0D 00 18 00 FF 03 " TS "00 8F F7 03");
    data_device_raw_t got;
    EXPECT_EQ(decode_frame(f, got), 0);
    EXPECT_EQ(got.buf(), nullptr);
}

} // namespace
