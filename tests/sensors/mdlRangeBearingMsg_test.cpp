#include <tern/sensors/mdlRangeBearingMsg.h>

#include "support/cases.h"

#include <glib.h>
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

// The message column is quoted with C escapes, so its blanks and line ends show.
std::string unquoted(const std::string& col) {
    if (col.size() < 2 || col.front() != '"' || col.back() != '"') return col;
    gchar* text = g_strcompress(col.substr(1, col.size() - 2).c_str());
    const std::string s = text;
    g_free(text);
    return s;
}

class FanbeamCase : public ::testing::TestWithParam<tern_test::case_t> {};

// Each field comes from its own columns only.
TEST_P(FanbeamCase, ParsesItsFields) {
    const tern_test::case_t& c = GetParam();
    ASSERT_EQ(c.cols.size(), 2u) << c;
    EXPECT_EQ(parse(unquoted(c.cols[0])), c.cols[1]) << c << ": " << c.cols[0];
}
INSTANTIATE_TEST_SUITE_P(File, FanbeamCase,
                         ::testing::ValuesIn(tern_test::read_cases("sensors/fanbeam.txt")),
                         tern_test::case_name);

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
