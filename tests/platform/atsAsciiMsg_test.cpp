#include <tern/decode/atsAsciiMsg.h>

#include <gtest/gtest.h>

#include <charconv>
#include <string>

namespace {

using tern::atsAsciiMsg_t;

std::string num(double v) {
    char b[32];
    return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
}

// Every field as its decoder gives it, "|" between them: "-" where the decoder refuses, and
// then its argument must be as it was ("changed" otherwise).
std::string fields(const atsAsciiMsg_t& m) {
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

TEST(AtsAscii, ChecksumAndFields) {
    const std::string all = "2023-11-14|22:13:20.25|B12|12.5|-3.75|101.2|0";
    const std::string none = "-|-|-|-|-|-|-";
    const struct {
        std::string text;
        bool checksumError;
        std::string fields;
    } rows[] = {
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*02\r\n", false, all},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*02", false, all},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*03\r\n", true, all},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*0G", true, all},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0*02x", true, all},
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0", true, all},
        {"$ATS,20231114,221320.250,B12*34", false, "2023-11-14|22:13:20.25|B12|-|-|-|-"},
        {"$ATS,20240229,000000,7,,,,*50\n", false, "2024-2-29|0:0:0|7|-|-|-|-"},
        {"$ATS*46", false, none},
        // Malformed fields: no leap day in 2023, hour 24, control byte, exponent, nan, ".5".
        {std::string("$ATS,20230229,246000,B\x01,1e3,nan,.5,*3E"), false, none},
        {"$ATS,2023111,2213,,x,,,*22", false, none},
        {"$ATS,20231114,221320.,B1,+1.5,-0,12.,X*58", false, "2023-11-14|-|B1|1.5|-0|-|X"},
        // More fields than the message has, another address: nothing at all.
        {"$ATS,20231114,221320.250,B12,12.5,-3.75,101.2,0,9*17", false, none},
        {"$GPATS,20231114*7B", false, none},
        {"$ATSX,20231114*34", false, none},
        {"ATS,20231114,221320.250,B12*34", true, none},
        {"", true, none},
    };
    for (const auto& r : rows) {
        const atsAsciiMsg_t m(r.text.data(), static_cast<unsigned int>(r.text.size()));
        EXPECT_EQ(m.checksumError(), r.checksumError) << r.text;
        EXPECT_EQ(fields(m), r.fields) << r.text;
    }
}

TEST(AtsAscii, LengthIsHonoured) {
    // Only the given bytes count: the checksum beyond the length is not seen.
    const char text[] = "$ATS,20231114,221320.250,B12*34";
    const atsAsciiMsg_t cut(text, 28);
    EXPECT_TRUE(cut.checksumError());
    EXPECT_EQ(fields(cut), "2023-11-14|22:13:20.25|B12|-|-|-|-");
    EXPECT_TRUE(atsAsciiMsg_t(nullptr, 10).checksumError());
}

} // namespace
