#include <tern/msg/data_msgs.h>

#include "msg/decode_helpers.h"
#include "support/codec.h"
#include "support/hex.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace tern;
using tern_test::decode_frame;
using tern_test::frame_of;
using tern_test::from_hex;
using tern_test::raw_frame;
using tern_test::to_hex;

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
