#include <keelconfig/KeelConfig.h>

#include <gtest/gtest.h>

#include "support/scratch.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class KeelConfigTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return tmp.file(name); }
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
    ASSERT_TRUE(out.write(path("c.cfg"))) << out.error();
    KeelConfig in("", 2);
    ASSERT_TRUE(in.read(path("c.cfg"))) << in.error();
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
    ASSERT_TRUE(c.write(path("g.cfg"))) << c.error();
    EXPECT_EQ(tmp.read(path("g.cfg")), "#KeelConfig 1\na=2.5\nk\\=ey\\n=va=l\\\\ue\n\\x23c= "
                                       "x\\t\nbin=\\x00\\x7F\\xFF\xC3\xA9\ni=1234567\n");

    // Comments, blank lines, CR LF, a raw "=" in a value, and a duplicate key (last value
    // wins at the first place); a file without the format line reads too.
    tmp.write("r.cfg", "# hand written\n\na=1\r\nb=x=y\nc\\x3D\\t=\\r\\n\\\\\\=\na=2\n=\n");
    ASSERT_TRUE(c.read(path("r.cfg"))) << c.error();
    EXPECT_EQ(c.entries(),
              (KeelConfig::entries_t{{"a", "2"}, {"b", "x=y"}, {"c=\t", "\r\n\\="}, {"", ""}}));
}

TEST_F(KeelConfigTest, DamagedFilesFailAndLeaveContents) {
    const std::pair<const char*, const char*> rows[] = {
        {"a=1\nno equals sign\n", "d.cfg: line 2: no \"=\" after the key"},
        {"a=\\q\n", "d.cfg: line 1: unknown escape \"\\q\""},
        {"a=\\x4\n", "d.cfg: line 1: bad \\x escape"},
        {"a=\\xG0\n", "d.cfg: line 1: bad \\x escape"},
        {"a=1\\\n", "d.cfg: line 1: backslash at the end of the line"},
        {"#KeelConfig 1\na=1\nb=2", "d.cfg: the last line has no line end"},
        {"#KeelConfig 2\na=1\n", "d.cfg: line 1: unsupported format version \"2\""},
    };
    for (const auto& [text, error] : rows) {
        tmp.write("d.cfg", text);
        KeelConfig c;
        c.setValue("kept", "yes");
        EXPECT_FALSE(c.read(path("d.cfg"))) << text;
        EXPECT_NE(c.error().find(error), std::string::npos) << c.error();
        EXPECT_EQ(c.error().find('\n'), std::string::npos);
        EXPECT_EQ(c.entries(), (KeelConfig::entries_t{{"kept", "yes"}}));
    }
    KeelConfig c;
    EXPECT_FALSE(c.read(path("missing.cfg")));
    EXPECT_EQ(c.error(), "cannot open " + path("missing.cfg") + ": No such file or directory");
    EXPECT_FALSE(c.read(tmp.path()));
    EXPECT_NE(c.error().find("Is a directory"), std::string::npos) << c.error();
}

TEST(KeelConfigValues, FloatingValuesUseShortestExactText) {
    const tern_test::comma_locale_t comma; // never "0,1"
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> rows[] = {
        {0.1 + 0.2, "0.30000000000000004"},
        {-1.7976931348623157e308, "-1.7976931348623157e+308"},
        {4.9406564584124654e-324, "5e-324"},
        {100.0, "100"},
        {-0.0, "-0"},
        {inf, "inf"},
        {-inf, "-inf"},
        {std::nan(""), "nan"},
    };
    KeelConfig c;
    KeelConfig::const_iterator it;
    for (const auto& [value, text] : rows) {
        c.set("d", value);
        ASSERT_TRUE(c.find("d", it));
        EXPECT_EQ(it->value, text);
        double back = 7.0;
        ASSERT_TRUE(c.get("d", back));
        EXPECT_TRUE(std::isnan(value) ? std::isnan(back) : back == value) << text;
        EXPECT_EQ(std::signbit(back), std::signbit(value)) << text;
    }
    const float nine = std::nextafter(1.0f, 2.0f); // needs 9 significant digits
    c.set("f", nine);
    ASSERT_TRUE(c.find("f", it));
    EXPECT_EQ(it->value, "1.0000001");
    float f = 0;
    EXPECT_TRUE(c.get("f", f));
    EXPECT_EQ(f, nine);
}

// The conversion's result as text, or "-" when it refuses (and then the value must be intact).
template <class T>
std::string conv(const std::string& text) {
    T value = T(42);
    if (!(text >> value)) return value == T(42) ? "-" : "changed";
    std::ostringstream os;
    os << value;
    return os.str();
}

TEST(KeelConfigValues, ConversionsTakeWholeTextInRange) {
    struct row_t {
        const char *text, *asInt, *asUnsigned, *asDouble, *asBool;
    };
    const row_t rows[] = {
        {"1", "1", "1", "1", "1"},
        {"-2147483648", "-2147483648", "-", "-2.14748e+09", "-"},
        {"2147483648", "-", "2147483648", "2.14748e+09", "-"},
        {"4294967296", "-", "-", "4.29497e+09", "-"},
        {"-0", "0", "-", "-0", "-"},
        {"1e3", "-", "-", "1000", "-"},
        {"true", "-", "-", "-", "1"},
        {"false", "-", "-", "-", "0"},
    };
    for (const row_t& r : rows) {
        EXPECT_EQ(conv<int>(r.text), r.asInt) << r.text;
        EXPECT_EQ(conv<unsigned int>(r.text), r.asUnsigned) << r.text;
        EXPECT_EQ(conv<double>(r.text), r.asDouble) << r.text;
        EXPECT_EQ(conv<bool>(r.text), r.asBool) << r.text;
    }
    for (const char* bad : {"", " 5", "5 ", "+5", "0x10", "1,5", "1e999", "yes", "TRUE", "2x"}) {
        EXPECT_EQ(conv<int>(bad) + conv<unsigned>(bad) + conv<double>(bad) + conv<bool>(bad),
                  "----")
            << bad;
    }

    KeelConfig c;
    c.setValue("bad", "12abc");
    c.set("byte", static_cast<unsigned char>(7));
    int v = 5;
    // A present key counts as found even when its text does not convert.
    EXPECT_TRUE(c.get("bad", v));
    EXPECT_FALSE(c.get("absent", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(c.get("byte", v));
    EXPECT_EQ(v, 7);
}

TEST_F(KeelConfigTest, FailedWriteLeavesOldFile) {
    const std::string target = path("keep.cfg");
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
    EXPECT_FALSE(c.write(path("sub")));
    EXPECT_EQ(c.error().rfind("cannot replace " + path("sub") + ": ", 0), 0u) << c.error();
    EXPECT_TRUE(fs::is_directory(tmp.file("sub")));
    EXPECT_EQ(filesInDir(), 2u);

    EXPECT_FALSE(c.write(path("nodir/x.cfg")));
    EXPECT_NE(c.error().find(path("nodir/x.cfg") + ": No such file or directory"),
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
