#include <tern/decode/tss1Msg.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using tern::tss1Msg_t;
using tern::tss1MsgBuilder_t;

constexpr double DEG = 0.017453292519943295; // radians per degree
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

struct buildRow_t {
    double roll, pitch, heave, hacc, vacc;
    int status; // -1: not set
    const char* expected;
};

TEST(Tss1Builder, GoldenRecords) {
    const buildRow_t rows[] = {
        {10 * DEG, -5.25 * DEG, -0.12, 0.6128, -0.01, 3, ":10FFF0 -0012G 1000 -0525\r\n"},
        {0, 0, 0, 0, 0, 0, ":000000  0000u 0000  0000\r\n"},
        // Clamped to the field widths.
        {200 * DEG, -150 * DEG, 123.456, 100, 100, 7, ":FF7FFF  9999F 9999 -9999\r\n"},
        // Negative horizontal acceleration becomes 0; a negative value rounding to zero has no
        // minus sign; NaN and an unknown status leave their fields blank.
        {NaN, 0.004 * DEG, -0.004, -1, -100, 9, ":008000  0000        0000\r\n"},
        {0.5 * DEG, 1.2349 * DEG, 0.994, 0.0383 * 2.6, 0.000625 * 0x1234, 5,
         ":031234  0099H 0050  0123\r\n"},
    };
    for (const buildRow_t& r : rows) {
        tss1MsgBuilder_t b;
        b.setRoll(r.roll);
        b.setPitch(r.pitch);
        b.setHeave(r.heave);
        b.setHorizontalAcceleration(r.hacc);
        b.setVerticalAcceleration(r.vacc);
        b.setStatus(static_cast<tss1Msg_t::status_t>(r.status));
        EXPECT_EQ(b.build(), r.expected);
    }
}

TEST(Tss1Builder, AbsentFieldsAreBlankAndStatusLettersInOrder) {
    EXPECT_EQ(tss1MsgBuilder_t().build(), ":                        \r\n");
    const char letters[] = "uUgGhHfF";
    for (int s = 0; s < 8; ++s) {
        tss1MsgBuilder_t b;
        b.setStatus(static_cast<tss1Msg_t::status_t>(s));
        EXPECT_EQ(b.build(), std::string(":            ") + letters[s] + "           \r\n");
    }
    tss1MsgBuilder_t b;
    b.setPitch(-1 * DEG);
    EXPECT_EQ(b.build(), ":                   -0100\r\n");
}

// The six quantities of a parsed record (NaN where absent), status last.
std::vector<double> values(const std::string& text) {
    const tss1Msg_t m(text.data(), static_cast<unsigned int>(text.size()));
    std::vector<double> v(6, NaN);
    EXPECT_TRUE(m.isValid()) << text;
    m.getHorizontalAcceleration(v[0]);
    m.getVerticalAcceleration(v[1]);
    m.getHeave(v[2]);
    m.getRoll(v[3]);
    m.getPitch(v[4]);
    tss1Msg_t::status_t s = tss1Msg_t::status_unaided;
    if (m.getStatus(s)) v[5] = s;
    return v;
}

TEST(Tss1Parse, GoldenRecords) {
    const std::pair<std::string, std::vector<double>> rows[] = {
        {":10FFF0 -0012G 1000 -0525\r\n", {0.6128, -0.01, -0.12, 10 * DEG, -5.25 * DEG, 3}},
        {":0aFfF0 +0012u-1000 +0525", {0.383, -0.01, 0.12, -10 * DEG, 5.25 * DEG, 0}},
        {":FF8000  9999F 9999 -9999\n", {9.7665, -20.48, 99.99, 99.99 * DEG, -99.99 * DEG, 7}},
        {":007FFF  0000h 0000  0000\r", {0, 20.479375, 0, 0, 0, 4}},
        // Blank fields are absent.
        {":  FFF0      G 1000      \r\n", {NaN, -0.01, NaN, 10 * DEG, NaN, 3}},
    };
    for (const auto& [text, expected] : rows) {
        const std::vector<double> got = values(text);
        for (std::size_t i = 0; i < 6; ++i) {
            if (std::isnan(expected[i]))
                EXPECT_TRUE(std::isnan(got[i])) << text << " quantity " << i;
            else
                EXPECT_DOUBLE_EQ(got[i], expected[i]) << text << " quantity " << i;
        }
    }
}

TEST(Tss1Parse, MalformedRecordsAreInvalid) {
    const std::string bad[] = {
        "",
        ":10FFF0 -0012G 1000 -052", // 24 characters
        ":10FFF0 -0012G 1000 -0525\r\n\n",
        ":10FFF0 -0012G 1000 -0525\n\r",
        ":10FFF0 -0012G 1000 -0525x",
        ";10FFF0 -0012G 1000 -0525",
        ":10FFF0_-0012G 1000 -0525",
        ":10FFF0 -0012G 1000_-0525",
        ":1GFFF0 -0012G 1000 -0525", // not hexadecimal
        ":1 FFF0 -0012G 1000 -0525", // half blank
        ":10FFF0 -0012X 1000 -0525", // unknown status letter
        ":10FFF0 -00 2G 1000 -0525", // half blank
        ":10FFF0 *0012G 1000 -0525", // bad sign
        ":10FFF0 -001AG 1000 -0525", // not decimal
        std::string(":10FFF0 -0012G 1000 -05\0"
                    "5",
                    25),
    };
    for (const std::string& text : bad) {
        const tss1Msg_t m(text.data(), static_cast<unsigned int>(text.size()));
        EXPECT_FALSE(m.isValid()) << text;
        double v = 42;
        tss1Msg_t::status_t s = tss1Msg_t::status_unaided;
        EXPECT_FALSE(m.getRoll(v) || m.getPitch(v) || m.getHeave(v) ||
                     m.getHorizontalAcceleration(v) || m.getVerticalAcceleration(v) ||
                     m.getStatus(s))
            << text;
        EXPECT_EQ(v, 42);
        EXPECT_EQ(m.presenceMask(), 0);
    }
    EXPECT_FALSE(tss1Msg_t(nullptr, 27).isValid());
}

} // namespace
