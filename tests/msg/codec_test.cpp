#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/msg/msg.h>

#include "msg/decode_helpers.h"
#include "support/codec.h"
#include "support/hex.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

using tern::msg_decoder_t;
using tern::msg_encoder_t;
using tern::msg_t;
using tern_test::frame_of;
using tern_test::from_hex;
using tern_test::to_hex;

namespace {

// A message of every primitive field type, to pin the byte encodings.
struct prim_msg_t : msg_t {
    enum colour_t : unsigned char { red = 1, green = 200 };
    unsigned char u8 = 0;
    signed char i8 = 0;
    unsigned short u16 = 0;
    short i16 = 0;
    unsigned int u32 = 0;
    int i32 = 0;
    unsigned long long u64 = 0;
    float f = 0;
    double d = 0;
    bool b = false;
    colour_t colour = red;
    std::string s;

    prim_msg_t() : msg_t(category_cmd, 99) {}
    void encodeContents(msg_encoder_t& e) const override {
        e << u8 << i8 << u16 << i16 << u32 << i32 << u64 << f << d << b << colour << s;
    }
    void decodeContents(msg_decoder_t& d_) override {
        d_ >> u8 >> i8 >> u16 >> i16 >> u32 >> i32 >> u64 >> f >> d >> b >> colour >> s;
    }
};

// A payload of n bytes.
struct blob_msg_t : msg_t {
    std::vector<unsigned char> bytes;
    explicit blob_msg_t(std::size_t n) : msg_t(category_data, 7), bytes(n, 0xAB) {}
    void encodeContents(msg_encoder_t& e) const override {
        e.encodeBlob(bytes.data(), static_cast<unsigned>(bytes.size()));
    }
};

const std::string example = "02 04 00 01 00 FF 01 AA E1 03";

} // namespace

// (Every tail length of the table-driven fold is pinned by the CRCs of the golden frames.)
TEST(Crc, PublishedCheckValueAndEmptyInput) {
    const unsigned char digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(tern::calc_checksum(digits, 9), 0x29B1);
    EXPECT_EQ(tern::calc_checksum(digits, 0), 0xFFFF);
}

// The decoder is checked by re-encoding what it read: the encoder is pinned by the bytes.
TEST(Encoder, PrimitiveFieldsAreLittleEndianBackToBack) {
    prim_msg_t m;
    m.port = 3;
    m.u8 = 0x81;
    m.i8 = -2;
    m.u16 = 0x1234;
    m.i16 = -2;
    m.u32 = 0xDEADBEEF;
    m.i32 = -3;
    m.u64 = 0x0102030405060708ULL;
    m.f = 1.5f;
    m.d = -2.0;
    m.b = true;
    m.colour = prim_msg_t::green;
    m.s = "hi";
    const auto f = frame_of(m);
    EXPECT_EQ(to_hex(f),
              "02 2B 00 63 00 03 01 "                // header: type 99, port 3, category 1
              "81 FE 34 12 FE FF EF BE AD DE "       // u8 i8 u16 i16 u32
              "FD FF FF FF 08 07 06 05 04 03 02 01 " // i32 u64
              "00 00 C0 3F 00 00 00 00 00 00 00 C0 " // float 1.5, double -2
              "01 C8 02 68 69 "                      // bool, enum, string
              "4C 49 03");
    prim_msg_t back;
    EXPECT_EQ(tern_test::decode_frame(f, back), 0);
    EXPECT_EQ(to_hex(frame_of(back)), to_hex(f));
}

TEST(Encoder, OnlyLowBitsOfTypeAndPortTravel) {
    const auto f = frame_of(msg_t(msg_t::category_fb, 70000, 256));
    msg_decoder_t dec;
    tern_test::load(dec, f);
    EXPECT_EQ(dec.type(), 4464u);
    EXPECT_EQ(dec.port(), 0u);
    EXPECT_EQ(dec.category(), 2u);
}

TEST(Encoder, StringsAreCutTo255BytesAndToTheirLimit) {
    tern::fb_transient_msg_t m;
    m.text.assign(300, 'x');
    const auto f = frame_of(m);
    ASSERT_EQ(f.size(), 10u + 1 + 255);
    EXPECT_EQ(f[7], 255);
    msg_encoder_t enc;
    enc.encodeHeader(m);
    enc.encodeString("abcdefghij", 4);
    EXPECT_EQ(enc.pos(), 7u + 5);
}

TEST(Encoder, MessageThatDoesNotFitIsRefusedWhole) {
    msg_encoder_t enc;
    EXPECT_TRUE(enc.encodeMessage(blob_msg_t(1014)));
    EXPECT_EQ(enc.size(), 1024u);
    EXPECT_FALSE(enc.encodeMessage(blob_msg_t(1015)));
    EXPECT_EQ(enc.size(), 0u);
    EXPECT_TRUE(enc.overflowed());
    // The encoder is reusable after a refusal.
    EXPECT_TRUE(enc.encodeMessage(msg_t(msg_t::category_cmd, 1)));
    EXPECT_EQ(to_hex(enc.data(), enc.size()), example);
}

TEST(Decoder, FindsFramesInAStream) {
    const auto frame = from_hex(example);
    msg_decoder_t dec;
    EXPECT_EQ(dec.decode_init(nullptr, 0), 0u);
    for (unsigned n = 1; n <= 9; ++n) EXPECT_EQ(dec.decode_init(frame.data(), n), 0u) << n;

    const auto stream = from_hex("41 42 " + example + " " + example);
    EXPECT_EQ(dec.decode_init(stream.data(), 22), 2u);
    EXPECT_FALSE(dec.is_valid());
    EXPECT_EQ(dec.decode_init(stream.data() + 2, 20), 10u);
    ASSERT_TRUE(dec.is_valid());
    EXPECT_EQ(dec.category(), 1u);
    EXPECT_EQ(dec.type(), 1u);
    EXPECT_EQ(dec.port(), 255u);
    EXPECT_EQ(dec.frame(), stream.data() + 2);
    EXPECT_EQ(dec.decode_init(stream.data() + 12, 10), 10u);
    EXPECT_TRUE(dec.is_valid());

    const auto no_stx = from_hex("41 42 43 04 05");
    EXPECT_EQ(dec.decode_init(no_stx.data(), 5), 5u);
    EXPECT_FALSE(dec.is_valid());
}

TEST(Decoder, RejectsDamagedFramesAndResynchronises) {
    struct row {
        const char* what;
        std::string bytes;
        unsigned consumed; // by the first decode_init; the valid frame follows
    };
    const row rows[] = {
        {"payload bit flipped", "02 05 00 01 00 FF 01 11 00 00 03", 11},
        {"bad end byte", "02 04 00 01 00 FF 01 AA E1 04", 10},
        {"length below 4", "02 03 00 01 00 FF 01 AA E1 03", 10},
        {"STX inside the bad frame", "02 05 00 01 00 FF 01 02 00 00 03", 7},
    };
    for (const auto& r : rows) {
        auto bytes = from_hex(r.bytes + " " + example);
        msg_decoder_t dec;
        unsigned off = 0;
        unsigned n = dec.decode_init(bytes.data(), static_cast<unsigned>(bytes.size()));
        EXPECT_EQ(n, r.consumed) << r.what;
        EXPECT_FALSE(dec.is_valid()) << r.what;
        // Whatever was dropped, the next good frame is found.
        while (n && !dec.is_valid()) {
            off += n;
            n = dec.decode_init(bytes.data() + off, static_cast<unsigned>(bytes.size() - off));
        }
        EXPECT_TRUE(dec.is_valid()) << r.what;
        EXPECT_EQ(off + n, bytes.size()) << r.what;
    }
}

TEST(Decoder, BoolIsAnyNonZeroByte) {
    auto payload = from_hex(tern_test::payload_hex(prim_msg_t()));
    payload[1 + 1 + 2 + 2 + 4 + 4 + 8 + 4 + 8] = 7;
    prim_msg_t back;
    EXPECT_EQ(tern_test::decode_frame(tern_test::raw_frame(1, 99, 0, payload), back), 0);
    EXPECT_TRUE(back.b);
}

// A peer's name longer than the class keeps: cut to 8, the type behind it still in place.
TEST(Decoder, CutStringKeepsLaterFieldsInPlace) {
    tern::data_diff_detail_t back;
    const auto payload = from_hex("00 00 20 40 FC 54 D9 41 00 09 00 "
                                  "0A 30 31 32 33 34 35 36 37 38 39 02");
    EXPECT_EQ(tern_test::decode_frame(tern_test::raw_frame(3, 3, 0, payload), back), 0);
    EXPECT_EQ(back.name, "01234567");
    EXPECT_EQ(back.corr_type, tern::data_diff_detail_t::corr_type_precise);
}

// An empty frame decoded as a class that expects a full payload: every field keeps its value.
TEST(Decoder, ShortPayloadLeavesTheFieldsAlone) {
    prim_msg_t back;
    back.u32 = 42;
    back.s = "keep";
    EXPECT_EQ(tern_test::decode_frame(from_hex(example), back), -1);
    EXPECT_EQ(back.u32, 42u);
    EXPECT_EQ(back.s, "keep");
}

TEST(Dump, BaseLineAndListOrder) {
    msg_t a(msg_t::category_cmd, 1), b(msg_t::category_data, 10, 4);
    std::ostringstream list;
    tern::dump(std::list<msg_t*>{&a, &b}, list);
    EXPECT_EQ(list.str(), "**** cat 1 type 1 port 255\n**** cat 3 type 10 port 4\n");
}

TEST(Dump, LeavesTheCallersStreamAsItFoundIt) {
    tern::data_cog_t cog;
    cog.cog_valid = true;
    cog.cog = 0.5f;
    const tern_test::comma_locale_t comma;
    std::ostringstream os;
    os.imbue(std::locale(""));
    os.setf(std::ios::scientific | std::ios::hex | std::ios::showpos);
    os.precision(2);
    const std::ios::fmtflags flags = os.flags();
    const std::locale loc = os.getloc();
    cog.dump(os);
    EXPECT_EQ(os.str(), "**** cat 3 type 1 port 255\n"
                        "utc_tstamp 0.000000 gps_time_valid 0\ncog_valid 1 cog 28.647890\n");
    EXPECT_EQ(os.flags(), flags);
    EXPECT_EQ(os.precision(), 2);
    EXPECT_TRUE(os.getloc() == loc);
}
