#include <tern/msg/data_msgs.h>
#include <tern/msg/msg.h>

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

// A string limited to `limit` bytes followed by a number, to check that cutting never shifts
// the fields behind it.
struct cut_msg_t : msg_t {
    std::string s;
    unsigned short after = 0;
    unsigned int limit = 0;
    cut_msg_t() : msg_t(category_fb, 5) {}
    void encodeContents(msg_encoder_t& e) const override {
        e.encodeString(s, 0);
        e << after;
    }
    void decodeContents(msg_decoder_t& d) override {
        d.decodeString(s, limit);
        d >> after;
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

// Rewrites the checksum of a frame whose payload a test changed by hand.
void refix_crc(std::vector<unsigned char>& f) {
    const unsigned short crc =
        tern::calc_checksum(f.data() + 3, static_cast<unsigned>(f.size() - 6));
    f[f.size() - 3] = static_cast<unsigned char>(crc & 0xFF);
    f[f.size() - 2] = static_cast<unsigned char>(crc >> 8);
}

} // namespace

TEST(Crc, PublishedCheckValueAndEmptyInput) {
    const unsigned char digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(tern::calc_checksum(digits, 9), 0x29B1);
    EXPECT_EQ(tern::calc_checksum(digits, 0), 0xFFFF);
}

TEST(Crc, EveryLengthMatchesTheBitwiseDefinition) {
    // The table-driven CRC folds eight bytes at a time: check every tail length against the
    // plain bit-at-a-time definition.
    std::vector<unsigned char> data(70);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 37 + 11);
    for (unsigned len = 0; len <= data.size(); ++len) {
        unsigned crc = 0x1D0F;
        for (unsigned i = 0; i < len; ++i) {
            crc ^= static_cast<unsigned>(data[i]) << 8;
            for (int k = 0; k < 8; ++k) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
            crc &= 0xFFFF;
        }
        EXPECT_EQ(tern::crc_checksum(0x1D0F, data.data(), len), crc) << "length " << len;
    }
}

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
    msg_decoder_t dec;
    ASSERT_EQ(dec.decode_init(f.data(), static_cast<unsigned>(f.size())), f.size());
    prim_msg_t back;
    dec.decodeMessage(back);
    EXPECT_FALSE(dec.is_short());
    EXPECT_EQ(back.port, 3u);
    EXPECT_EQ(back.i8, -2);
    EXPECT_EQ(back.u64, 0x0102030405060708ULL);
    EXPECT_EQ(back.d, -2.0);
    EXPECT_EQ(back.colour, prim_msg_t::green);
    EXPECT_EQ(back.s, "hi");
}

TEST(Encoder, OnlyLowBitsOfTypeAndPortTravel) {
    msg_t m(msg_t::category_fb, 70000, 256);
    const auto f = frame_of(m);
    msg_decoder_t dec;
    ASSERT_EQ(dec.decode_init(f.data(), static_cast<unsigned>(f.size())), 10u);
    EXPECT_EQ(dec.type(), 4464u);
    EXPECT_EQ(dec.port(), 0u);
    EXPECT_EQ(dec.category(), 2u);
}

TEST(Encoder, StringsAreCutTo255BytesAndToTheirLimit) {
    cut_msg_t m;
    m.s.assign(300, 'x');
    m.after = 0xBEEF;
    const auto f = frame_of(m);
    ASSERT_EQ(f.size(), 10u + 1 + 255 + 2);
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

TEST(Encoder, CountsNeverExceedWhatTheirWidthCarries) {
    msg_encoder_t enc;
    enc.encodeHeader(msg_t(msg_t::category_cmd, 1));
    EXPECT_EQ(enc.encodeCount8(3), 3u);
    EXPECT_EQ(enc.encodeCount8(300), 255u);
    EXPECT_EQ(enc.encodeCount16(70000), 65535u);
    enc.encodeFinish();
    EXPECT_EQ(to_hex(enc.data() + 7, 4), "03 FF FF FF");
}

TEST(Decoder, FindsFramesInAStream) {
    const auto frame = from_hex(example);
    msg_decoder_t dec;
    EXPECT_EQ(dec.decode_init(nullptr, 0), 0u);
    for (unsigned n = 1; n <= 5; ++n) EXPECT_EQ(dec.decode_init(frame.data(), n), 0u) << n;
    EXPECT_EQ(dec.decode_init(frame.data(), 9), 0u); // all but the end byte

    auto stream = from_hex("41 42");
    stream.insert(stream.end(), frame.begin(), frame.end());
    EXPECT_EQ(dec.decode_init(stream.data(), static_cast<unsigned>(stream.size())), 2u);
    EXPECT_FALSE(dec.is_valid());
    EXPECT_EQ(dec.decode_init(stream.data() + 2, static_cast<unsigned>(stream.size() - 2)), 10u);
    ASSERT_TRUE(dec.is_valid());
    EXPECT_EQ(dec.category(), 1u);
    EXPECT_EQ(dec.type(), 1u);
    EXPECT_EQ(dec.port(), 255u);
    EXPECT_EQ(dec.frame(), stream.data() + 2);

    const auto no_stx = from_hex("41 42 43 04 05");
    EXPECT_EQ(dec.decode_init(no_stx.data(), 5), 5u);
    EXPECT_FALSE(dec.is_valid());

    // Two frames in one range come one after the other.
    const auto two = from_hex(example + " " + example);
    ASSERT_EQ(dec.decode_init(two.data(), 20), 10u);
    ASSERT_EQ(dec.decode_init(two.data() + 10, 10), 10u);
    EXPECT_TRUE(dec.is_valid());
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
    // A prim_msg_t whose bool byte holds 7.
    prim_msg_t m;
    auto f = frame_of(m);
    const std::size_t bool_at = 7 + 1 + 1 + 2 + 2 + 4 + 4 + 8 + 4 + 8;
    f[bool_at] = 7;
    refix_crc(f);
    msg_decoder_t dec;
    ASSERT_EQ(dec.decode_init(f.data(), static_cast<unsigned>(f.size())), f.size());
    prim_msg_t back;
    dec.decodeMessage(back);
    EXPECT_TRUE(back.b);
}

TEST(Decoder, CutStringKeepsLaterFieldsInPlace) {
    cut_msg_t m;
    m.s = "0123456789";
    m.after = 0x1234;
    const auto f = frame_of(m);
    msg_decoder_t dec;
    dec.decode_init(f.data(), static_cast<unsigned>(f.size()));
    cut_msg_t back;
    back.limit = 4;
    dec.decodeMessage(back);
    EXPECT_EQ(back.s, "0123");
    EXPECT_EQ(back.after, 0x1234);
    EXPECT_FALSE(dec.is_short());
}

TEST(Decoder, ShortPayloadNeverReadsPastTheFrame) {
    // An empty frame decoded as a class that expects a full payload: every field keeps its
    // value and the decoder is marked short.
    const auto f = from_hex(example);
    msg_decoder_t dec;
    dec.decode_init(f.data(), 10);
    prim_msg_t back;
    back.u32 = 42;
    back.s = "keep";
    dec.decodeMessage(back);
    EXPECT_TRUE(dec.is_short());
    EXPECT_EQ(back.u32, 42u);
    EXPECT_EQ(back.s, "keep");

    // A string whose count runs past the end.
    cut_msg_t m;
    m.s = "abc";
    auto g = frame_of(m);
    g[7] = 200;
    refix_crc(g);
    ASSERT_EQ(dec.decode_init(g.data(), static_cast<unsigned>(g.size())), g.size());
    cut_msg_t back2;
    dec.decodeMessage(back2);
    EXPECT_TRUE(dec.is_short());
    EXPECT_TRUE(back2.s.empty());
}

TEST(Dump, BaseLineAndListOrder) {
    msg_t a(msg_t::category_cmd, 1), b(msg_t::category_data, 10, 4);
    std::ostringstream os;
    tern::dump(std::list<msg_t*>{&a, &b}, os);
    EXPECT_EQ(os.str(), "**** cat 1 type 1 port 255\n**** cat 3 type 10 port 4\n");
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
