#include <tern/decode/atsAsciiMsg.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using tern::atsAsciiMsg_t;

atsAsciiMsg_t parse(const std::string& text) {
    return atsAsciiMsg_t(text.data(), static_cast<unsigned int>(text.size()));
}

// Which decoders succeed, as a string of 7 flags: date time id x y depth code.
std::string present(const atsAsciiMsg_t& m) {
    tern::date_t d;
    tern::timeOfDay_t t;
    std::string s;
    double v = 0;
    std::string out;
    out += m.decodeDate(d) ? 'D' : '-';
    out += m.decodeTimeOfDay(t) ? 'T' : '-';
    out += m.decodeBeaconId(s) ? 'I' : '-';
    out += m.decodeBeaconX(v) ? 'X' : '-';
    out += m.decodeBeaconY(v) ? 'Y' : '-';
    out += m.decodeBeaconDepth(v) ? 'Z' : '-';
    out += m.decodeErrorCode(s) ? 'E' : '-';
    return out;
}

// Which fields decode is the first row of the table below; this pins their values.
TEST(AtsAscii, GoldenMessageFields) {
    const atsAsciiMsg_t m = parse("$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*02\r\n");
    tern::dateTime_t dt;
    std::string id, code;
    double x = 0, y = 0, depth = 0;
    ASSERT_TRUE(m.decodeDate(dt) && m.decodeTimeOfDay(dt) && m.decodeBeaconId(id) &&
                m.decodeErrorCode(code) && m.decodeBeaconX(x) && m.decodeBeaconY(y) &&
                m.decodeBeaconDepth(depth));
    EXPECT_EQ(dt.toTimestamp(), 1700000000.25);
    EXPECT_EQ(id, "B12");
    EXPECT_EQ(code, "0");
    EXPECT_EQ(x, 12.5);
    EXPECT_EQ(y, -3.75);
    EXPECT_EQ(depth, 101.2);
}

TEST(AtsAscii, ChecksumAndFieldPresence) {
    struct row_t {
        std::string text;
        bool checksumError;
        const char* present;
    };
    const row_t rows[] = {
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*02\r\n", false, "DTIXYZE"},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*02", false, "DTIXYZE"},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*03\r\n", true, "DTIXYZE"},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*0G", true, "DTIXYZE"},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*02x", true, "DTIXYZE"},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0", true, "DTIXYZE"},
        {"$ATS,20231114,221320.250,B12*34", false, "DTI----"},
        {"$ATS,20240229,000000,7,,,,*50\n", false, "DTI----"},
        {"$ATS*46", false, "-------"},
        // Malformed fields: no leap day in 2023, hour 24, control byte, exponent, nan, ".5".
        {std::string("$ATS,20230229,246000,B\x01,1e3,nan,.5,*3E"), false, "-------"},
        {"$ATS,20231114,221320.,B1,+1.5,-0,12.,X*58", false, "D-IXY-E"},
        // More fields than the message has, another address: nothing at all.
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0,9*17", false, "-------"},
        {"$GPATS,20231114*7B", false, "-------"},
        {"$ATSX,20231114*34", false, "-------"},
        {"ATS,20231114,221320.250,B12*34", true, "-------"},
        {"", true, "-------"},
    };
    for (const row_t& r : rows) {
        const atsAsciiMsg_t m = parse(r.text);
        EXPECT_EQ(m.checksumError(), r.checksumError) << r.text;
        EXPECT_EQ(present(m), r.present) << r.text;
    }
}

TEST(AtsAscii, FailedDecodeLeavesOutputAndLengthIsHonoured) {
    tern::dateTime_t dt(1.5);
    std::string id = "keep";
    double x = 1.5;
    const atsAsciiMsg_t m = parse("$ATS,2023111,2213,,x,,,*00");
    EXPECT_FALSE(m.decodeDate(dt) || m.decodeTimeOfDay(dt) || m.decodeBeaconId(id) ||
                 m.decodeBeaconX(x));
    EXPECT_EQ(dt.toTimestamp(), 1.5);
    EXPECT_EQ(id, "keep");
    EXPECT_EQ(x, 1.5);

    // Only the given bytes count: the checksum beyond the length is not seen.
    const char text[] = "$ATS,20231114,221320.250,B12*34";
    const atsAsciiMsg_t cut(text, 28);
    EXPECT_TRUE(cut.checksumError());
    EXPECT_TRUE(cut.decodeBeaconId(id));
    EXPECT_EQ(id, "B12");
    EXPECT_TRUE(atsAsciiMsg_t(nullptr, 10).checksumError());
}

} // namespace
