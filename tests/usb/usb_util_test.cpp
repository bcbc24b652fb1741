// Volume paths, USB-serial identification over a fake sysfs tree, receiver descriptions, and
// the walk.
#include <tern/usb/usb_dev.h>
#include <tern/usb/usb_util.h>

#include "support/cases.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>

using tern_test::case_t;
using tern_test::temp_dir_t;
using tern_test::unquote;

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
    temp_dir_t tmp;
    std::string root, saved;
};

} // namespace

// The encoding is pinned by the USB daemon link's frames.
class UsbDev : public ::testing::TestWithParam<case_t> {};

TEST_P(UsbDev, HasPathComparesWholeComponents) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 3u);
    usb_dev_t d;
    d.mount_path = unquote(c[0]);
    EXPECT_EQ(d.has_path(unquote(c[1])), c[2] == "yes");
}
INSTANTIATE_TEST_SUITE_P(Paths, UsbDev,
                         ::testing::ValuesIn(tern_test::read_cases("usb/has_path.txt")),
                         tern_test::case_name);

class UsbDevIdFiles : public UsbDevId, public ::testing::WithParamInterface<case_t> {};

TEST_P(UsbDevIdFiles, FromSysfs) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 5u);
    const std::string dir = c[0] == "ttyUSB1" ? "a" : "a/b/class/tty/ttyACM0";
    const char* names[] = {"/idVendor", "/idProduct", "/serial"};
    for (int i = 0; i < 3; ++i)
        if (c[i + 1] != "-") tmp.write(dir + names[i], unquote(c[i + 1]));
    usb_dev_id_t id;
    id.serial = "untouched";
    char got[64] = "fails";
    if (usb_get_dev_id("/dev/" + c[0], id))
        std::snprintf(got, sizeof got, "%04X %04X %s", unsigned(id.vendor), unsigned(id.product),
                      id.serial.c_str());
    EXPECT_EQ(got, c[4]);
    EXPECT_EQ(id.serial, c[4] == "fails" ? "untouched" : id.serial);
}
INSTANTIATE_TEST_SUITE_P(Files, UsbDevIdFiles,
                         ::testing::ValuesIn(tern_test::read_cases("usb/sysfs_ids.txt")),
                         tern_test::case_name);

class UsbDesc : public ::testing::TestWithParam<case_t> {};

TEST_P(UsbDesc, KnownAdapters) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), c.size() > 3 && c[3] == "unknown" ? 4u : 6u);
    const usb_dev_id_t id{uint32_t(std::stoul(c[0], nullptr, 16)),
                          uint32_t(std::stoul(c[1], nullptr, 16)), unquote(c[2])};
    std::string n = "n", l = "l", t = "t";
    const bool known = usb_get_desc(id, n, l, t);
    EXPECT_EQ(known ? n + "|" + l + "|" + t : "unknown",
              known ? c[3] + "|" + c[4] + "|" + c[5] : c[3]);
    EXPECT_TRUE(known || n + l + t == "nlt");
}
INSTANTIATE_TEST_SUITE_P(Ids, UsbDesc,
                         ::testing::ValuesIn(tern_test::read_cases("usb/adapters.txt")),
                         tern_test::case_name);

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
