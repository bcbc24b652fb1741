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

TEST(PortMgr, SanitizeGivesOneSafeComponent) {
    const std::pair<std::string, const char*> rows[] = {
        // clang-format off
        {"COM1", "_COM1"}, {"COM", "_COM"}, {"COM12", "_COM12"}, {"COMX", "COMX"},
        {"COM1X", "COM1X"}, {"com1", "com1"},
        // replaced characters do not count as digits
        {"COM:1", "COM_1"}, {"COM1 ", "COM1_"}, {"a/b c", "a_b_c"},
        {"\\/:*?\"<>| x", "__________x"}, {"/dev/ttyUSB0", "_dev_ttyUSB0"},
        {"a\tb\x7f", "a_b_"}, {std::string("a\0b", 3), "a_b"},
        // bytes of UTF-8 text are not control bytes
        {"B\u00e4ck-1.2", "B\u00e4ck-1.2"}, {"..", "__"}, {".", "_"}, {"", "_"},
        {"...", "..."}, {"../x", ".._x"},
        // clang-format on
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(port_mgr_t::sanitize_port_name(in), out) << in;
}

// A port without a name, or no port at all, is "NONE", and stays so as a path.
TEST(PortMgr, NamesAndPaths) {
    names_t mgr;
    mgr.names[2] = "Bow gyro";
    EXPECT_EQ(mgr.get_port_name(2), "Bow gyro");
    EXPECT_EQ(mgr.get_port_name_as_path(2), "Bow_gyro");
    EXPECT_EQ(mgr.get_port_name(1), "NONE");
    EXPECT_EQ(mgr.get_port_name_as_path(-1), "NONE");
}

} // namespace
