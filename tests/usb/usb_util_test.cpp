// USB-serial identification over a fake sysfs tree, receiver descriptions, and the walk.
#include <tern/usb/usb_util.h>

#include "support/scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>

using tern_test::temp_dir_t;

namespace {

// <tmp>/a/b/class/tty/ is the root: ttyACM0/device/../ is the tty's own directory and
// ttyUSB1/../../../../ is <tmp>/a/.
class UsbDevId : public ::testing::Test {
protected:
    void SetUp() override {
        saved = usb_sysfs_root();
        root = tmp.path() + "/a/b/class/tty";
        std::filesystem::create_directories(root + "/ttyACM0/device");
        std::filesystem::create_directories(root + "/ttyUSB1");
        usb_set_sysfs_root(root);
    }
    void TearDown() override { usb_set_sysfs_root(saved); }
    void attrs(const std::string& dir, const char* v, const char* p, const char* s) {
        if (v) tmp.write(dir + "/idVendor", v);
        if (p) tmp.write(dir + "/idProduct", p);
        if (s) tmp.write(dir + "/serial", s);
    }
    temp_dir_t tmp;
    std::string root, saved;
};

} // namespace

TEST_F(UsbDevId, ReadsTheAttributesBesideEachKindOfTty) {
    attrs("a/b/class/tty/ttyACM0", "2f1c\n", "0101\n", "000123 trailing\n");
    attrs("a", "0403", "6015", "AB9");
    usb_dev_id_t id;
    ASSERT_TRUE(usb_get_dev_id("/dev/ttyACM0", id));
    EXPECT_EQ(id.vendor, 0x2F1Cu);
    EXPECT_EQ(id.product, 0x0101u);
    EXPECT_EQ(id.serial, "000123");
    ASSERT_TRUE(usb_get_dev_id("/dev/ttyUSB1", id));
    EXPECT_EQ(id.vendor, 0x0403u);
    EXPECT_EQ(id.product, 0x6015u);
    EXPECT_EQ(id.serial, "AB9");
    EXPECT_FALSE(usb_get_dev_id("/dev/sda", id));
    EXPECT_FALSE(usb_get_dev_id("/dev/ttyUSB7", id)); // no such tty
}

TEST_F(UsbDevId, MissingOrGarbledAttributesFail) {
    const struct {
        const char *v, *p, *s;
    } rows[] = {
        {nullptr, "0101", "1"}, {"2f1c", nullptr, "1"},  {"2f1c", "0101", nullptr},
        {"", "0101", "1"},      {"2f1c", "01x1", "1"},   {"0x2f1c", "0101", "1"},
        {"-1", "0101", "1"},    {"2f1c", "0101", " \n"}, {"123456789", "0101", "1"},
    };
    const std::string dir = "a/b/class/tty/ttyACM0";
    for (const auto& r : rows) {
        for (const char* f : {"/idVendor", "/idProduct", "/serial"})
            std::filesystem::remove(tmp.file(dir + f));
        attrs(dir, r.v, r.p, r.s);
        usb_dev_id_t id;
        id.serial = "untouched";
        EXPECT_FALSE(usb_get_dev_id("/dev/ttyACM0", id))
            << (r.v ? r.v : "-") << " " << (r.p ? r.p : "-") << " " << (r.s ? r.s : "-");
        EXPECT_EQ(id.serial, "untouched");
    }
}

TEST(UsbDesc, KnownAdapters) {
    const struct {
        std::uint32_t v, p;
        const char* serial;
        const char *name, *label, *type;
    } rows[] = {
        {0x2F1C, 0x0101, "000123", "orsk:123", "TernOrsk USB (S/N 123)", "ternorsk"},
        {0x2F1C, 0x0102, "0000", "rimba:0000", "TernRimba USB (S/N 0000)", "ternrimba"},
        {0x2F1C, 0x0002, "9", "Hemisphere", "Hemisphere USB", "hemisphereEclipse"},
        {0x1735, 0x0002, "9", "Hemisphere", "Hemisphere USB", "hemisphereEclipse"},
        {0x0403, 0x6001, "0A1", "Tessa:A1", "TernTessa USB (S/N A1)", "ddktessa"},
        {0x1735, 0x6001, "7", "Tessa:7", "TernTessa USB (S/N 7)", "ddktessa"},
        {0x2F1C, 0x6015, "07", "Quill:7", "TernQuill USB (S/N 7)", "ternquill"},
        {0x0403, 0x6015, "", "Quill:", "TernQuill USB (S/N )", "ternquill"},
    };
    for (const auto& r : rows) {
        usb_dev_id_t id{r.v, r.p, r.serial};
        std::string n, l, t;
        ASSERT_TRUE(usb_get_desc(id, n, l, t)) << r.name;
        EXPECT_EQ(n, r.name);
        EXPECT_EQ(l, r.label);
        EXPECT_EQ(t, r.type);
    }
    const usb_dev_id_t unknown[] = {
        {0x0403, 0x0002, "1"}, {0x1735, 0x0101, "1"}, {0x1234, 0x6001, "1"}};
    for (const auto& id : unknown) {
        std::string n = "n", l = "l", t = "t";
        EXPECT_FALSE(usb_get_desc(id, n, l, t));
        EXPECT_EQ(n + l + t, "nlt");
    }
}

namespace {
class collect_t : public dir_scanner_t {
public:
    std::set<std::string> seen;
    std::string stop_in; // a directory whose listing stops at its first entry
protected:
    bool filter(const std::string& path) override {
        seen.insert(path);
        return stop_in.empty() || path.compare(0, stop_in.size() + 1, stop_in + "/") != 0;
    }
};
} // namespace

TEST(DirScanner, WalksDirectoriesButNeverSymbolicLinks) {
    temp_dir_t t;
    std::filesystem::create_directories(t.path() + "/a/b");
    t.write("a/b/f", "x");
    t.write("a/g", "x");
    ASSERT_EQ(::symlink(".", (t.path() + "/a/loop").c_str()), 0);
    ASSERT_EQ(::symlink("/", (t.path() + "/a/root").c_str()), 0);
    collect_t c;
    c.scan(t.path(), dir_scanner_t::scan_recursive);
    const std::string r = t.path();
    EXPECT_EQ(c.seen, (std::set<std::string>{r + "/a", r + "/a/b", r + "/a/b/f", r + "/a/g",
                                             r + "/a/loop", r + "/a/root"}));

    collect_t flat;
    flat.scan(t.path() + "/a", 0);
    EXPECT_EQ(flat.seen.size(), 4u);

    // Stopping the listing of a/ after one entry still walks what was stacked before.
    collect_t stop;
    stop.stop_in = r + "/a";
    std::filesystem::create_directories(r + "/c");
    t.write("c/h", "x");
    stop.scan(r, dir_scanner_t::scan_recursive);
    EXPECT_TRUE(stop.seen.count(r + "/c/h"));
    std::size_t in_a = 0;
    for (const auto& p : stop.seen) in_a += p.compare(0, r.size() + 3, r + "/a/") == 0;
    EXPECT_EQ(in_a, 1u);
}
