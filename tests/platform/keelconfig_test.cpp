#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include "support/cases.h"
#include "support/scratch.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class KeelConfigTest : public ::testing::Test {
protected:
    std::size_t filesInDir() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(tmp.path()), {}));
    }

    tern_test::temp_dir_t tmp;
};

TEST_F(KeelConfigTest, HostileKeysAndValuesRoundTrip) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
    const KeelConfig::entries_t hostile = {
        {"every byte", everyByte},
        {"k=e\ny\r", "v=a\nl"},
        {"  lead and trail  ", "  blanks  "},
        {"", ""},
        {"#not a comment", "#"},
        {"back\\slash\\", "\\x41\\n"},
        {"utf8 \xC3\xA9\xE2\x82\xAC\xF0\x9F\x9A\xA2",
         "bad \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82"},
        {std::string("nul\0key", 7), "ends with CR\r"},
    };
    KeelConfig out;
    for (const auto& e : hostile) out.setValue(e.key, e.value);
    ASSERT_TRUE(out.write(tmp.file("c.cfg"))) << out.error();
    KeelConfig in("", 2);
    ASSERT_TRUE(in.read(tmp.file("c.cfg"))) << in.error();
    EXPECT_EQ(in.entries(), hostile);
}

// Under a comma-decimal process locale, as a host program may set.
TEST_F(KeelConfigTest, GoldenFileTexts) {
    const tern_test::comma_locale_t comma;
    KeelConfig c;
    c.setValue("a", "1");
    c.setValue("k=ey\n", "va=l\\ue");
    c.setValue("#c", " x\t");
    c.setValue("bin", std::string("\0\x7F\xFF\xC3\xA9", 5));
    c.set("a", 2.5); // replaced in place: stays first
    c.set("i", 1234567);
    ASSERT_TRUE(c.write(tmp.file("g.cfg"))) << c.error();
    EXPECT_EQ(tmp.read(tmp.file("g.cfg")), "#KeelConfig 1\na=2.5\nk\\=ey\\n=va=l\\\\ue\n\\x23c= "
                                           "x\\t\nbin=\\x00\\x7F\\xFF\xC3\xA9\ni=1234567\n");

    // Comments, blank lines, CR LF, a raw "=" in a value, and a duplicate key (last value
    // wins at the first place); a file without the format line reads too.
    tmp.write("r.cfg", "# hand written\n\na=1\r\nb=x=y\nc\\x3D\\t=\\r\\n\\\\\\=\na=2\n=\n");
    ASSERT_TRUE(c.read(tmp.file("r.cfg"))) << c.error();
    EXPECT_EQ(c.entries(),
              (KeelConfig::entries_t{{"a", "2"}, {"b", "x=y"}, {"c=\t", "\r\n\\="}, {"", ""}}));
}

class KeelConfigDamaged : public testing::TestWithParam<tern_test::case_t> {};

TEST_P(KeelConfigDamaged, FailsAndLeavesTheStore) {
    tern_test::temp_dir_t tmp;
    KeelConfig c;
    c.setValue("kept", "yes");
    EXPECT_FALSE(c.read(tmp.write("d.cfg", tern_test::unquote(GetParam().cols.at(0)))));
    EXPECT_EQ(c.error(), tmp.file("d.cfg") + ": " + GetParam().cols.at(1));
    EXPECT_EQ(c.entries(), (KeelConfig::entries_t{{"kept", "yes"}}));
}
TERN_CASES(File, KeelConfigDamaged, "platform/keelconfig_damaged.txt");

TEST_F(KeelConfigTest, MissingFileOrDirectoryFails) {
    KeelConfig c;
    EXPECT_FALSE(c.read(tmp.file("missing.cfg")));
    EXPECT_EQ(c.error(), "cannot open " + tmp.file("missing.cfg") + ": No such file or directory");
    EXPECT_FALSE(c.read(tmp.path()));
    EXPECT_NE(c.error().find("Is a directory"), std::string::npos) << c.error();
}

// The C library's reading of a number's text.
template <class T>
T c_read(const std::string& text, char** end) {
    if constexpr (sizeof(T) == sizeof(float))
        return std::strtof(text.c_str(), end);
    else
        return std::strtod(text.c_str(), end);
}

// printf's shortest text (%.*g with the fewest digits) that strtod reads back exactly.
template <class T>
std::string shortest_g(T v) {
    char b[64];
    for (int p = 1;; ++p) {
        std::snprintf(b, sizeof b, "%.*g", p, static_cast<double>(v));
        if (c_read<T>(b, nullptr) == v || p == 17) return b;
    }
}

// Written under a comma-decimal locale (never "0,1"), every value reads back exactly with
// strtod, sign of zero included, and is no longer than printf's shortest exact text: values
// from every bit pattern, the edges and specials among them.
template <class T, class Bits>
void expect_shortest_exact_texts(std::vector<T> values) {
    std::mt19937_64 rng(22);
    while (values.size() < 20000) {
        const Bits bits = static_cast<Bits>(rng());
        T v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isnan(v)) values.push_back(v); // a NaN's sign and payload are not kept
    }
    std::vector<std::string> texts;
    std::vector<T> got(values.size(), T(7));
    {
        const tern_test::comma_locale_t comma;
        KeelConfig c;
        KeelConfig::const_iterator it;
        for (std::size_t i = 0; i < values.size(); ++i) {
            c.set("v", values[i]);
            texts.push_back(c.find("v", it) ? it->value : "<none>");
            c.get("v", got[i]);
        }
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const T v = values[i];
        const std::string& text = texts[i];
        if (std::isnan(v)) {
            ASSERT_EQ(text, "nan");
            ASSERT_TRUE(std::isnan(got[i]));
            continue;
        }
        char* end = nullptr;
        const T back = c_read<T>(text, &end);
        ASSERT_EQ(*end, '\0') << text;
        ASSERT_TRUE(back == v && std::signbit(back) == std::signbit(v)) << text;
        if (std::isfinite(v)) {
            ASSERT_LE(text.size(), shortest_g(v).size()) << text;
        }
        ASSERT_TRUE(got[i] == v && std::signbit(got[i]) == std::signbit(v)) << text;
    }
}

TEST(KeelConfigValues, FloatingValuesUseShortestExactText) {
    const double inf = std::numeric_limits<double>::infinity();
    expect_shortest_exact_texts<double, std::uint64_t>(
        {0.1 + 0.2, -1.7976931348623157e308, 4.9406564584124654e-324, 100.0, -0.0, 0.0, inf, -inf,
         std::nan(""), 1e22, 123456789012345680.0});
    expect_shortest_exact_texts<float, std::uint32_t>(
        {std::nextafter(1.0f, 2.0f), 3.4028235e38f, 1.4e-45f, 0.1f, -0.0f});
}

class KeelConfigText : public testing::TestWithParam<tern_test::case_t> {};

// The conversion's result as text, or "-" when it refuses (and then the value must be intact).
template <class T>
std::string conv(const std::string& text) {
    T value = T(42);
    if (!(text >> value)) return value == T(42) ? "-" : "changed";
    std::ostringstream os;
    os << value;
    return os.str();
}

TEST_P(KeelConfigText, Conversions) {
    const auto& c = GetParam().cols;
    const std::string text = tern_test::unquote(c.at(0));
    EXPECT_EQ(conv<int>(text), c.at(1));
    EXPECT_EQ(conv<unsigned int>(text), c.at(2));
    EXPECT_EQ(conv<double>(text), c.at(3));
    EXPECT_EQ(conv<bool>(text), c.at(4));
}
TERN_CASES(File, KeelConfigText, "platform/keelconfig_conversions.txt");

TEST(KeelConfigValues, APresentKeyIsFoundEvenWhenItsTextDoesNotConvert) {
    KeelConfig c;
    c.setValue("bad", "12abc");
    c.set("byte", static_cast<unsigned char>(7));
    int v = 5;
    EXPECT_TRUE(c.get("bad", v));
    EXPECT_FALSE(c.get("absent", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(c.get("byte", v));
    EXPECT_EQ(v, 7);
}

TEST_F(KeelConfigTest, FailedWriteLeavesOldFile) {
    const std::string target = tmp.file("keep.cfg");
    tmp.write("keep.cfg", "#KeelConfig 1\nold=1\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    KeelConfig c;
    c.setValue("new", "2");
    ASSERT_TRUE(c.write(target)) << c.error();
    EXPECT_EQ(tmp.read(target), "#KeelConfig 1\nnew=2\n");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(filesInDir(), 1u); // no temporary left behind

    // The rename fails over a directory: the temporary must go, the directory stays.
    fs::create_directory(tmp.file("sub"));
    EXPECT_FALSE(c.write(tmp.file("sub")));
    EXPECT_EQ(c.error().rfind("cannot replace " + tmp.file("sub") + ": ", 0), 0u) << c.error();
    EXPECT_TRUE(fs::is_directory(tmp.file("sub")));
    EXPECT_EQ(filesInDir(), 2u);

    EXPECT_FALSE(c.write(tmp.file("nodir/x.cfg")));
    EXPECT_NE(c.error().find(tmp.file("nodir/x.cfg") + ": No such file or directory"),
              std::string::npos)
        << c.error();
    if (geteuid() != 0) { // root writes anyway
        ASSERT_EQ(chmod(tmp.path().c_str(), 0555), 0);
        EXPECT_FALSE(c.write(target));
        EXPECT_NE(c.error().find("Permission denied"), std::string::npos) << c.error();
        chmod(tmp.path().c_str(), 0755);
    }
    EXPECT_EQ(tmp.read(target), "#KeelConfig 1\nnew=2\n");
}

} // namespace
