#include <tern/data/port_mgr.h>

#include <gtest/gtest.h>

#include <map>

using tern::port_mgr_t;

namespace {

class names_t : public port_mgr_t {
public:
    std::map<int, std::string> names;

    bool has_port(int id) const override { return names.count(id) != 0; }
    const std::string* find_port_name(int id) const override {
        auto it = names.find(id);
        return it == names.end() ? nullptr : &it->second;
    }
};

struct sanitize_row {
    std::string in;
    std::string out;
};

class SanitizePortName : public ::testing::TestWithParam<sanitize_row> {};

TEST_P(SanitizePortName, GivesOneSafeComponent) {
    EXPECT_EQ(port_mgr_t::sanitize_port_name(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SanitizePortName,
    ::testing::Values(sanitize_row{"COM1", "_COM1"}, sanitize_row{"COM", "_COM"},
                      sanitize_row{"COM12", "_COM12"}, sanitize_row{"COMX", "COMX"},
                      sanitize_row{"COM1X", "COM1X"}, sanitize_row{"com1", "com1"},
                      // replaced characters do not count as digits
                      sanitize_row{"COM:1", "COM_1"}, sanitize_row{"COM1 ", "COM1_"},
                      sanitize_row{"a/b c", "a_b_c"}, sanitize_row{"\\/:*?\"<>| x", "__________x"},
                      sanitize_row{"/dev/ttyUSB0", "_dev_ttyUSB0"},
                      sanitize_row{"a\tb\x7f", "a_b_"}, sanitize_row{std::string("a\0b", 3), "a_b"},
                      // bytes of UTF-8 text are not control bytes
                      sanitize_row{"B\u00e4ck-1.2", "B\u00e4ck-1.2"}, sanitize_row{"..", "__"},
                      sanitize_row{".", "_"}, sanitize_row{"", "_"}, sanitize_row{"...", "..."},
                      sanitize_row{"../x", ".._x"}));

TEST(PortMgr, NamesAndPaths) {
    names_t mgr;
    mgr.names[0] = "COM3";
    mgr.names[2] = "Bow gyro";
    EXPECT_EQ(mgr.get_port_name(0), "COM3");
    EXPECT_EQ(mgr.get_port_name_as_path(0), "_COM3");
    EXPECT_EQ(mgr.get_port_name(2), "Bow gyro");
    EXPECT_EQ(mgr.get_port_name_as_path(2), "Bow_gyro");
    EXPECT_EQ(mgr.get_port_name(1), "NONE");
    EXPECT_EQ(mgr.get_port_name_as_path(1), "NONE");
    EXPECT_EQ(mgr.get_port_name(-1), "NONE");
}

} // namespace
