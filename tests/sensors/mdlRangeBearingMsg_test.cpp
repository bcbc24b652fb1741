#include <tern/sensors/mdlRangeBearingMsg.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

using tern::mdlRangeBearingMsg_t;

namespace {

constexpr double deg = 3.14159265358979323846 / 180.0;

// "flags target range bearing" with "-" for an absent field.
std::string show(const mdlRangeBearingMsg_t& m) {
    unsigned t = 0;
    double r = 0.0;
    double b = 0.0;
    char s[96];
    std::snprintf(s, sizeof s, "%c %s %s %s", m.isFormatValid() ? 'V' : '-',
                  m.targetNumber(t) ? std::to_string(t).c_str() : "-",
                  m.range(r) ? std::to_string(r).c_str() : "-",
                  m.bearing(b) ? std::to_string(b / deg).c_str() : "-");
    return s;
}

// The first `len` characters of `text` (all of it by default), parsed and shown.
std::string parse(const std::string& text, std::size_t len = std::string::npos) {
    return show(
        mdlRangeBearingMsg_t(text.data(), static_cast<unsigned>(std::min(len, text.size()))));
}

} // namespace

TEST(Fanbeam, FieldsComeFromTheirColumnsOnly) {
    struct row_t {
        std::string text;
        const char* want;
    };
    const row_t rows[] = {
        {"01 0123.45 045.50", "V 1 123.450000 45.500000"},
        {"01 0123.45 045.5", "- - - -"},                          // 16 characters
        {"01 0123.45 045.50*1E", "V 1 123.450000 45.500000"},     // checksum matches
        {"01 0123.45 045.50*1e", "V 1 123.450000 45.500000"},     // in either case
        {"01 0123.45 045.50 00", "- - - -"},                      // does not match
        {"01 0123.45 045.50 1E", "- - - -"},                      // column 17 counts too
        {"01 0123.45 045.50 14\r\n", "V 1 123.450000 45.500000"}, // matches; more after it
        {"01 0123.45 045.50 G4", "V 1 123.450000 45.500000"},     // no hex: no checksum test
        {"01 0123.45 045.50 2", "V 1 123.450000 45.500000"},      // 19: no checksum
        {"01 12     045.50", "- - - -"},                          // 16 again
        {"01 12     045.500", "V 1 - 45.500000"},                 // blanks after the digits
        {" 7     9.5 359.99", "V 7 9.500000 359.990000"},         // leading blanks are fine
        {" 7     9.5 359.999", "V 7 9.500000 359.990000"},        // column 17 is not read
        {"xx -0001.5 -10.25", "V - -1.500000 -10.250000"},
        {"-1 1.5e+01 1e2   ", "V - 15.000000 -"},          // bearing with blanks after
        {"01     inf 045.50", "V 1 - 45.500000"},          // not a finite range
        {"01 0123.45,045.50", "V 1 123.450000 45.500000"}, // separators not examined
    };
    for (const auto& r : rows) EXPECT_EQ(parse(r.text), r.want) << '"' << r.text << '"';
}

// The fields are taken from the given length, never read on past it.
TEST(Fanbeam, ConversionStopsAtTheGivenLength) {
    EXPECT_EQ(parse("01 0123.45 045.5077", 17), "V 1 123.450000 45.500000");
    // No terminating zero for a reader to lean on, and gone before the fields are read.
    auto exact = std::make_unique<char[]>(17);
    std::memcpy(exact.get(), "01 0123.45 045.50", 17);
    const mdlRangeBearingMsg_t m(exact.get(), 17);
    exact.reset();
    EXPECT_EQ(show(m), "V 1 123.450000 45.500000");
    EXPECT_FALSE(mdlRangeBearingMsg_t(nullptr, 20).isFormatValid());
}

TEST(Fanbeam, CopiesOwnTheirRecord) {
    mdlRangeBearingMsg_t a("01 0123.45 045.50", 17);
    mdlRangeBearingMsg_t b(a);
    mdlRangeBearingMsg_t c;
    c = a;
    a.init("short", 5);
    EXPECT_EQ(show(a), "- - - -");
    EXPECT_EQ(show(b), "V 1 123.450000 45.500000");
    EXPECT_EQ(show(c), "V 1 123.450000 45.500000");
    unsigned t = 99;
    EXPECT_FALSE(a.targetNumber(t));
    EXPECT_EQ(t, 99u); // untouched when absent
}
