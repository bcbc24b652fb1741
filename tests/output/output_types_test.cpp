#include <tern/msg/msg.h>
#include <tern/output/output_types.h>

#include "support/codec.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tern;
using tern_test::decode_into;
using tern_test::payload_of;

namespace {

rawMsgSet_t set_of(std::initializer_list<unsigned> types) {
    rawMsgSet_t s;
    for (unsigned t : types) s.insert(static_cast<rawMsgType_t>(t));
    return s;
}

template <class E>
std::string text_of(E v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

template <class E>
unsigned parse(const std::string& text) {
    E v = static_cast<E>(99);
    text >> v;
    return static_cast<unsigned>(v);
}

} // namespace

TEST(RawMsgSet, Codec) {
    EXPECT_EQ(payload_of(rawMsgSet_t()), "00 00 00");
    EXPECT_EQ(payload_of(set_of({37, 0, 36, 35})), "00 04 00 00 23 24 25");
    EXPECT_EQ(payload_of(rawMsgSet_t(true)), "01");

    rawMsgSet_t s = set_of({1, 6});
    EXPECT_TRUE(decode_into("00 04 00 29 2A FF 05", s)); // 42 and 255 are dropped
    EXPECT_EQ(s, set_of({41, 5}));
    EXPECT_TRUE(decode_into("01", s));
    EXPECT_TRUE(s.containsAll());
    EXPECT_FALSE(decode_into("00 05 00 01 02", s)); // short: keeps what arrived
    EXPECT_EQ(s, set_of({1, 2}));
}

TEST(RawMsgSet, MembershipStopsAt42) {
    rawMsgSet_t s(true);
    s.insert(static_cast<rawMsgType_t>(42));
    EXPECT_EQ(s.bits(), 0x3FFFFFFFFFFull);
    s.remove(static_cast<rawMsgType_t>(41));
    EXPECT_FALSE(s.containsAll());
    EXPECT_EQ(s.count(), 41u);
}

// Settings texts outside the plain table: exact case, no padding, and the fallback for
// anything else.
TEST(OutputTypes, SettingsTextsAndTheirFallbacks) {
    const struct {
        unsigned (*parse)(const std::string&);
        const char* text;
        unsigned value;
    } rows[] = {
        {parse<nmeaVersion_t>, "2.1", 0},     {parse<nmeaVersion_t>, "2.10", 1},
        {parse<force_talker_t>, "IN", 6},     {parse<force_talker_t>, "GA", 0},
        {parse<force_talker_t>, "gp", 0},     {parse<dataReportMode_t>, "peak", 2},
        {parse<dataReportMode_t>, "Peak", 0}, {parse<gga_ref_type_t>, "qvt", 0},
        {parse<gga_ref_type_t>, "QVT", 1},    {parse<ggaQuality_t>, "5", 2},
        {parse<ggaQuality_t>, "05", 1},       {parse<ggaQuality_t>, "", 1},
    };
    for (const auto& r : rows) EXPECT_EQ(r.parse(r.text), r.value) << r.text;
    EXPECT_EQ(text_of(static_cast<nmeaVersion_t>(7)), "3.01");
    EXPECT_EQ(text_of(force_talker_ga), "none"); // GA has no settings text
    EXPECT_EQ(text_of(data_report_average), "average");
    EXPECT_EQ(text_of(gga_quality_as_reported), "2");
    EXPECT_EQ(text_of(raw_tss1), "37"); // a number, never the raw byte
    EXPECT_EQ(toString(static_cast<dataReportMode_t>(3)), "Unknown");
}

TEST(OutputTypes, DatumCodes) {
    const char* const codes[] = {"W84", "W72", "S85", "P90", "999"};
    for (unsigned i = 0; i < 5; ++i) {
        EXPECT_EQ(datumTypeToNmeaCode(static_cast<datumType_t>(i)), codes[i]);
        EXPECT_EQ(datumTypeFromNmeaCode(codes[i]), i);
    }
    EXPECT_EQ(datumTypeToNmeaCode(datum_unknown), "");
    EXPECT_EQ(datumTypeFromNmeaCode("w84"), datum_unknown);
    EXPECT_EQ(datumTypeFromNmeaCode("W84 "), datum_unknown);
}
