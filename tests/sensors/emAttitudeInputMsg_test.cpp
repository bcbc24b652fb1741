#include <tern/sensors/emAttitudeInputMsg.h>

#include <tern/msg/data_msgs.h>

#include "support/hex.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using tern_test::from_hex;

namespace {

constexpr double deg = 3.14159265358979323846 / 180.0;

std::string golden(const std::string& name) {
    return tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/sensors/" + name);
}

// "+ 0.0" keeps a negative zero from printing as "-0.00".
std::string frame_line(const emAttitudeInputMsg_t& m) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "status %d code %02X accuracy %u roll %.2f pitch %.2f heave %.2f heading %.2f\n",
                  m.status(), m.statusCode(), m.accuracy(), m.roll() / deg + 0.0,
                  m.pitch() / deg + 0.0, m.heave() + 0.0, m.heading() / deg + 0.0);
    return line;
}

// Feeds the stream in the given reads as a port reader would: bytes are appended to what is
// pending, and decode() is asked until it wants more.
std::string decode_in_reads(const std::string& stream, const std::vector<std::size_t>& cuts) {
    emAttitudeInputMsg_t m;
    std::string pending;
    std::string out;
    std::size_t from = 0;
    std::vector<std::size_t> ends = cuts;
    ends.push_back(stream.size());
    for (std::size_t to : ends) {
        pending.append(stream, from, to - from);
        from = to;
        while (unsigned n = m.decode(pending.data(), static_cast<unsigned>(pending.size()))) {
            EXPECT_LE(n, pending.size());
            if (m.status() != 0) out += frame_line(m);
            pending.erase(0, n);
        }
    }
    return out;
}

} // namespace

// The captured stream decodes to the golden frames, whole and however it is cut: a status
// byte that ends a read while its header byte is still on its way must survive.
TEST(EmAttitude, EveryCutOfTheStreamGivesTheSameFrames) {
    const std::string stream = golden("em_attitude.bin");
    const std::string expected = golden("em_attitude.expected");
    ASSERT_EQ(stream.size(), 98u);
    EXPECT_EQ(decode_in_reads(stream, {}), expected);
    for (std::size_t k = 1; k < stream.size(); ++k)
        ASSERT_EQ(decode_in_reads(stream, {k}), expected) << "cut at " << k;
    std::vector<std::size_t> every_byte;
    for (std::size_t k = 1; k < stream.size(); ++k) every_byte.push_back(k);
    EXPECT_EQ(decode_in_reads(stream, every_byte), expected);
    for (std::size_t k = 1; k + 3 < stream.size(); ++k)
        ASSERT_EQ(decode_in_reads(stream, {k, k + 3}), expected) << "cuts at " << k;
}

// Status bytes at the edges of their ranges, with the accuracy each one means.
TEST(EmAttitude, DecodeStepsReturnWhatToDrop) {
    const std::string frame = "00 90 64 00 9C FF 64 00 9F 8C";
    const std::string zeros = " 90 00 00 00 00 00 00 00 00";
    struct row_t {
        std::string bytes;
        unsigned drop;
        int status;
        int accuracy; // -1: no frame
    };
    const row_t rows[] = {
        {"", 0, 0, -1},
        {"00", 0, 0, -1},
        {"41 42 " + frame, 2, 0, -1},
        {frame, 10, 3, 10},
        {frame + " 00 90", 10, 3, 10},
        {"55 90", 1, 0, -1},
        {"00 90 64 00 9C FF 64 00 9F", 0, 0, -1}, // 9 bytes: wait
        {"41 42 43", 2, 0, -1},                   // no header: the last byte stays
        {"41 00", 1, 0, -1},
        {"90 90 00 80 FF 7F 00 80 00 00", 10, 3, 10}, // header-like status byte
        {"99" + zeros, 10, 3, 1},
        {"9C" + zeros, 10, 2, 254},
        {"9A" + zeros, 10, 2, 0},
        {"9F" + zeros, 10, 2, 251},
        {"A0" + zeros, 10, 1, 250},
        {"AF" + zeros, 10, 1, 235},
        {"B0" + zeros, 1, 0, -1}, // 0xB0 is no status byte
        {"8F" + zeros, 1, 0, -1},
        {"01" + zeros, 1, 0, -1},
        {"FF" + zeros, 1, 0, -1},
    };
    for (const auto& r : rows) {
        emAttitudeInputMsg_t m;
        const auto b = from_hex(r.bytes);
        EXPECT_EQ(m.decode(b.data(), static_cast<unsigned>(b.size())), r.drop) << r.bytes;
        EXPECT_EQ(m.status(), r.status) << r.bytes;
        if (r.accuracy >= 0) {
            EXPECT_EQ(m.statusCode(), b[0]) << r.bytes;
            EXPECT_EQ(int(m.accuracy()), r.accuracy) << r.bytes;
        }
    }
    emAttitudeInputMsg_t m;
    EXPECT_EQ(m.decode(nullptr, 10), 0u);
}

// Values at their limits (the golden stream shows them rounded): the scale is held in single
// precision and the frame is kept as it came; nothing is made before a frame decodes.
TEST(EmAttitude, ScaleInSinglePrecisionAndTheRawFrame) {
    const auto f = from_hex("9C 90 00 80 FF 7F 64 00 9F 8C");
    emAttitudeInputMsg_t m;
    std::list<tern::msg_t*> out;
    EXPECT_FALSE(tern::emAttitudeDataMsgs(m, 5.0, out));
    ASSERT_EQ(m.decode(f.data(), 10), 10u);
    EXPECT_EQ(m.roll(), static_cast<double>(-32768 * static_cast<float>(0.01 * deg)));
    EXPECT_EQ(std::memcmp(m.raw(), f.data(), 10), 0);
}
