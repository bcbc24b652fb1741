#include <tern/decode/atsAsciiMsg.h>
#include <tern/decode/bufferStream.h>
#include <tern/decode/dateTime.h>
#include <tern/decode/decode.h>
#include <tern/decode/tss1Msg.h>

#include <gtest/gtest.h>

#include "support/cases.h"
#include "support/scratch.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tern::tss1Msg_t;
using tern::tss1MsgBuilder_t;
using tern_test::case_t;
using tern_test::unquote;

constexpr double DEG = 0.017453292519943295; // radians per degree

std::string num(double v) {
    char b[32];
    return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
}

// Every field of an acoustic tracking record as its decoder gives it, "|" between them: "-"
// where the decoder refuses, and then its argument must be as it was ("changed" otherwise).
std::string ats_fields(const tern::atsAsciiMsg_t& m) {
    tern::dateTime_t d(1.5), t(1.5);
    std::string id = "?", code = "?";
    double xyz[3] = {7, 7, 7};
    const bool ok[] = {m.decodeDate(d),         m.decodeTimeOfDay(t),
                       m.decodeBeaconId(id),    m.decodeBeaconX(xyz[0]),
                       m.decodeBeaconY(xyz[1]), m.decodeBeaconDepth(xyz[2]),
                       m.decodeErrorCode(code)};
    const std::string text[] = {
        std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day),
        std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" + num(t.seconds),
        id,
        num(xyz[0]),
        num(xyz[1]),
        num(xyz[2]),
        code};
    const bool kept[] = {d.toTimestamp() == 1.5,
                         t.toTimestamp() == 1.5,
                         id == "?",
                         xyz[0] == 7,
                         xyz[1] == 7,
                         xyz[2] == 7,
                         code == "?"};
    std::string out;
    for (int i = 0; i < 7; ++i)
        out += std::string(i ? "|" : "") + (ok[i] ? text[i] : kept[i] ? "-" : "changed");
    return out;
}

class AtsRecord : public testing::TestWithParam<case_t> {};

TEST_P(AtsRecord, ChecksumAndFields) {
    const auto& c = GetParam().cols;
    const std::string text = unquote(c.at(0));
    const tern::atsAsciiMsg_t m(text.data(), static_cast<unsigned int>(text.size()));
    EXPECT_EQ(m.checksumError(), c.at(1) == "bad");
    std::string fields; // the expected fields are the remaining columns
    for (std::size_t i = 2; i < c.size(); ++i) fields += (i > 2 ? "|" : "") + c[i];
    EXPECT_EQ(ats_fields(m), fields);
}
TERN_CASES(File, AtsRecord, "platform/ats_records.txt");

TEST(AtsAscii, LengthIsHonoured) {
    // Only the given bytes count: the checksum beyond the length is not seen.
    const char text[] = "$ATS,20231114,221320.250,B12*34";
    const tern::atsAsciiMsg_t cut(text, 28);
    EXPECT_TRUE(cut.checksumError());
    EXPECT_EQ(ats_fields(cut), "2023-11-14|22:13:20.25|B12|-|-|-|-");
    EXPECT_TRUE(tern::atsAsciiMsg_t(nullptr, 10).checksumError());
}

class Tss1Built : public testing::TestWithParam<case_t> {};

TEST_P(Tss1Built, Record) {
    const auto& c = GetParam().cols;
    tss1MsgBuilder_t b;
    b.setRoll(std::stod(c.at(0)) * DEG);
    b.setPitch(std::stod(c.at(1)) * DEG);
    b.setHeave(std::stod(c.at(2)));
    b.setHorizontalAcceleration(std::stod(c.at(3)));
    b.setVerticalAcceleration(std::stod(c.at(4)));
    b.setStatus(static_cast<tss1Msg_t::status_t>(std::stoi(c.at(5))));
    EXPECT_EQ(b.build(), unquote(c.at(6)));
}
TERN_CASES(File, Tss1Built, "platform/tss1_built.txt");

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

class Tss1Parsed : public testing::TestWithParam<case_t> {};

TEST_P(Tss1Parsed, Quantities) {
    const auto& c = GetParam().cols;
    const std::string text = unquote(c.at(0));
    const tss1Msg_t m(text.data(), static_cast<unsigned int>(text.size()));
    const bool valid = c.at(1) != "invalid";
    EXPECT_EQ(m.isValid(), valid);
    double v[5];
    const bool got[] = {m.getHorizontalAcceleration(v[0]), m.getVerticalAcceleration(v[1]),
                        m.getHeave(v[2]), m.getRoll(v[3]), m.getPitch(v[4])};
    for (std::size_t i = 0; i < 5; ++i) {
        const std::string want = valid ? c.at(i + 1) : "-";
        EXPECT_EQ(got[i], want != "-") << "quantity " << i;
        if (got[i] && want != "-") {
            EXPECT_DOUBLE_EQ(v[i], std::stod(want) * (i >= 3 ? DEG : 1.0)) << "quantity " << i;
        }
    }
    tss1Msg_t::status_t s = tss1Msg_t::status_unaided;
    EXPECT_EQ(m.getStatus(s), valid);
    EXPECT_EQ(valid ? int(s) : int(m.presenceMask()), valid ? std::stoi(c.at(6)) : 0);
}
TERN_CASES(File, Tss1Parsed, "platform/tss1_parsed.txt");

TEST(Tss1Parse, NullRecordIsInvalid) {
    EXPECT_FALSE(tss1Msg_t(nullptr, 27).isValid());
}

class DecodeUnsigned : public testing::TestWithParam<case_t> {};

TEST_P(DecodeUnsigned, Text) {
    const auto& c = GetParam().cols;
    unsigned int v = 12345;
    EXPECT_EQ(tern::decode(unquote(c.at(0)), v, std::stoi(c.at(1))), c.at(2) != "-");
    EXPECT_EQ(v, c.at(2) == "-" ? 12345u : std::stoul(c.at(2)));
}
TERN_CASES(File, DecodeUnsigned, "platform/unsigned_texts.txt");

// A far time zone: any use of local time would shift the fields by 14 hours.
class DateTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "<+14>-14", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

// The fields as "Y-M-D h:m:s", the seconds exact.
std::string fields(const tern::dateTime_t& dt) {
    std::ostringstream os;
    os.precision(17);
    os << dt.year << '-' << dt.month << '-' << dt.day << ' ' << dt.hour << ':' << dt.minute << ':'
       << dt.seconds;
    return os.str();
}

// The C library's UTC calendar (gmtime_r, 64-bit time_t) is the reference: instants from 1600
// to 9999 in quarter seconds, the edges of eras, centuries and leap days among them.
TEST_F(DateTimeTest, FieldsAndBackAgreeWithTheCLibrary) {
    std::vector<double> times = {0.0,
                                 -0.5,
                                 -1.0,
                                 951782400.0,
                                 951868799.75,
                                 4107542400.0,
                                 4107455999.0,
                                 253402300799.0,
                                 -2208988800.0,
                                 -11670866985.,
                                 2208988800.0 - 0.25};
    std::mt19937_64 rng(22);
    std::uniform_int_distribution<std::int64_t> secs(-11670000000LL, 253402300799LL);
    while (times.size() < 20000)
        times.push_back(static_cast<double>(secs(rng)) + 0.25 * double(rng() % 4));
    for (const double t : times) {
        const std::time_t whole = static_cast<std::time_t>(std::floor(t));
        std::tm tm{};
        ASSERT_NE(gmtime_r(&whole, &tm), nullptr);
        std::ostringstream want;
        want.precision(17);
        want << tm.tm_year + 1900 << '-' << tm.tm_mon + 1 << '-' << tm.tm_mday << ' ' << tm.tm_hour
             << ':' << tm.tm_min << ':' << tm.tm_sec + (t - std::floor(t));
        const tern::dateTime_t dt(t);
        ASSERT_EQ(fields(dt), want.str()) << std::fixed << t;
        ASSERT_EQ(dt.toTimestamp(), t) << want.str();
    }
}

TEST_F(DateTimeTest, NonFiniteGivesZeroAndFieldsCarry) {
    for (double t : {std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), -1e300})
        EXPECT_EQ(fields(tern::dateTime_t(t)), "0-0-0 0:0:0") << t;
    tern::dateTime_t dt;
    dt.year = 2023;
    dt.month = 13; // January 2024
    dt.day = 1;
    EXPECT_EQ(dt.toTimestamp(), 1704067200.0);
    dt.month = 0; // December 2022
    dt.day = 31;
    dt.seconds = 60.5; // into the next minute
    EXPECT_EQ(dt.toTimestamp(), 1672444860.5);
}

TEST(BufferStream, DropsAndCountsWhatDoesNotFitAndStaysGood) {
    const tern_test::comma_locale_t comma;
    char buf[12] = "XXXXXXXXXXX";
    {
        tern::bufferStream_t os(buf, 10);
        os << 1234.5 << ' ' << 12345;
        EXPECT_EQ(os.validLength(), 10u);
        EXPECT_EQ(std::string(buf, 10), "1234.5 123");
        EXPECT_EQ(os.bufferStreambuf()->overflowCount(), 2u);
        os.put('a').put('b'); // one character at a time takes the overflow() path
        os << "cde";
        EXPECT_TRUE(os.good());
        EXPECT_EQ(os.bufferStreambuf()->overflowCount(), 7u);
        EXPECT_EQ(os.tellp(), std::streampos(10));
    }
    EXPECT_EQ(buf[10], 'X'); // never beyond the capacity

    tern::bufferStream_t empty(nullptr, 100);
    empty << "abc";
    EXPECT_TRUE(empty.good());
    EXPECT_EQ(empty.validLength(), 0u);
    EXPECT_EQ(empty.bufferStreambuf()->overflowCount(), 3u);

    // Pointed at another buffer, the stream starts over: nothing stored, nothing dropped.
    char other[4] = "ZZZ";
    empty.reset(other, 2);
    empty << "xyz";
    EXPECT_EQ(empty.validLength(), 2u);
    EXPECT_EQ(std::string(other, 3), "xyZ");
    EXPECT_EQ(empty.bufferStreambuf()->overflowCount(), 1u);
}

} // namespace
