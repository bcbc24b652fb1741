#include <tern/decode/bufferStream.h>
#include <tern/decode/dateTime.h>
#include <tern/decode/decode.h>

#include <gtest/gtest.h>

#include "support/scratch.h"

#include <cstdlib>
#include <ctime>
#include <limits>
#include <sstream>
#include <string>

namespace {

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

TEST_F(DateTimeTest, KnownInstantsRoundTrip) {
    const std::pair<double, const char*> rows[] = {
        {0.0, "1970-1-1 0:0:0"},
        {1700000000.25, "2023-11-14 22:13:20.25"},
        {951782400.0, "2000-2-29 0:0:0"},
        {4107542400.0, "2100-3-1 0:0:0"},
        {253402300799.0, "9999-12-31 23:59:59"},
        {-1.0, "1969-12-31 23:59:59"},
        {-0.5, "1969-12-31 23:59:59.5"},
        {-2208988800.0, "1900-1-1 0:0:0"},
        {-11670866985.0, "1600-3-1 12:30:15"},
    };
    for (const auto& [t, text] : rows) {
        const tern::dateTime_t dt(t);
        EXPECT_EQ(fields(dt), text) << t;
        EXPECT_EQ(dt.toTimestamp(), t) << text;
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

TEST(Decode, UnsignedTextInBase) {
    struct row_t {
        const char* text;
        int base;
        bool ok;
        unsigned int value;
    };
    const row_t rows[] = {
        {"0", 10, true, 0},     {"4294967295", 10, true, 4294967295u},
        {"007", 10, true, 7},   {"ff", 16, true, 255},
        {"FF", 16, true, 255},  {"4294967296", 10, false, 0},
        {"", 10, false, 0},     {"12a", 10, false, 0},
        {"-1", 10, false, 0},   {"+1", 10, false, 0},
        {" 1", 10, false, 0},   {"1 ", 10, false, 0},
        {"0x1f", 16, false, 0}, {"12", 1, false, 0},
        {"12", 37, false, 0},   {"19", 8, false, 0},
    };
    for (const row_t& r : rows) {
        unsigned int v = 12345;
        EXPECT_EQ(tern::decode(r.text, v, r.base), r.ok) << r.text << " base " << r.base;
        EXPECT_EQ(v, r.ok ? r.value : 12345u) << r.text;
    }
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
