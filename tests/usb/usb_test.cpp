// The USB daemon link and the volume manager against an in-process daemon on a real socket;
// volume paths, USB-serial identification over a fake sysfs tree, adapter descriptions and
// the directory walk.
#include <tern/usb/usb_dev.h>
#include <tern/usb/usb_mgr.h>
#include <tern/usb/usb_util.h>
#include <tern/usb/usbd_conn.h>
#include <tern/usb/usbd_msg.h>

#include "support/cases.h"
#include "support/fake_usbd.h"
#include "support/mainloop.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using tern_test::case_t;
using tern_test::fake_usbd_t;
using tern_test::run_until;
using tern_test::temp_dir_t;
using tern_test::unquote;
using tern_test::usb_volume;

namespace {

// Records the manager's notifications as text lines.
class recorder_t : public usb_mgr_client_t {
public:
    void usb_dev_added(const usb_dev_t& d) override { events.push_back("added " + text(d)); }
    void usb_dev_changed(const usb_dev_t& o, const usb_dev_t& n) override {
        events.push_back("changed " + text(o) + " -> " + text(n));
    }
    void usb_dev_removed(const usb_dev_t& d) override { events.push_back("removed " + text(d)); }

    static std::string text(const usb_dev_t& d) {
        return d.dev_path + "|" + d.mount_path + "|" + d.label + "|" + d.vol_id +
               (d.persistent ? "|p" : "");
    }
    std::vector<std::string> events;
};

class UsbMgr : public ::testing::Test {
protected:
    void SetUp() override { mgr.set_check_interval(50); }
    void start() {
        mgr.init(&rec);
        ASSERT_TRUE(run_until([&] { return daemon.list_requests() > 0 && mgr.connected(); }));
    }
    bool wait_events(std::size_t n) {
        return run_until([&] { return rec.events.size() >= n; });
    }

    fake_usbd_t daemon;
    recorder_t rec;
    usb_mgr_t mgr;
};

} // namespace

// The stand-in daemons of these tests are found through TERN_USBD_SOCKET; unset or empty, the
// daemon's own path.
TEST(UsbdSockname, DefaultAndEnvironment) {
    const std::string keep = tern::usbd_get_sockname();
    ::setenv("TERN_USBD_SOCKET", "", 1);
    EXPECT_EQ(tern::usbd_get_sockname(), "/tmp/tern_usbd_socket");
    ::setenv("TERN_USBD_SOCKET", keep.c_str(), 1);
}

TEST_F(UsbMgr, StoresNormalisedRecordsAndReportsChanges) {
    daemon.add(usb_volume("/dev/sda1", "/media/a", false, "", "A1"));
    start();
    ASSERT_TRUE(wait_events(1));
    daemon.add(usb_volume("/dev/sda1", "/media/b/", false, "B", "A1"));
    daemon.remove("/dev/sdz"); // unknown: ignored
    daemon.remove("/dev/sda1");
    ASSERT_TRUE(wait_events(3));
    EXPECT_EQ(rec.events,
              (std::vector<std::string>{
                  "added /dev/sda1|/media/a/|<no label>|A1",
                  "changed /dev/sda1|/media/a/|<no label>|A1 -> /dev/sda1|/media/b/|B|A1",
                  "removed /dev/sda1|/media/b/|B|A1"}));
    std::vector<usb_dev_t> devs;
    mgr.get_devs(devs);
    EXPECT_TRUE(devs.empty());
}

class UsbMgrLookup : public UsbMgr, public ::testing::WithParamInterface<case_t> {};

TEST_P(UsbMgrLookup, LookupsPickTheLongestMountAndNeverAnEmptyOne) {
    const std::vector<std::string>& c = GetParam().cols;
    ASSERT_EQ(c.size(), 3u);
    daemon.add(usb_volume("/dev/sdc", "", false, "none", "C"));
    daemon.add(usb_volume("/dev/sdb", "/media/a", false, "A", "VA"));
    daemon.add(usb_volume("/dev/sda", "/media", false, "M", "VM"));
    start();
    ASSERT_TRUE(wait_events(3));
    const std::string key = unquote(c[1]);
    usb_dev_t d = usb_volume("stale", "stale");
    unsigned long long total = 0, free = 0;
    std::vector<usb_dev_t> devs;
    std::string got = "none";
    if (c[0] == "list") {
        mgr.get_devs(devs);
        for (const usb_dev_t& v : devs) got = (got == "none" ? "" : got + " ") + v.dev_path;
    } else if (c[0] == "space") {
        if (mgr.get_space(usb_volume("/dev/x", key), total, free) && total > 0) got = "space";
    } else if (c[0] == "path"     ? mgr.get_by_path(key, d)
               : c[0] == "vol_id" ? mgr.get_by_vol_id(key, d)
                                  : mgr.get_by_dev_path(key, d)) {
        got = d.dev_path + ":" + d.mount_path;
    } else if (c[0] == "path") {
        EXPECT_EQ(d.mount_path, "");
    }
    EXPECT_EQ(got, c[2]);
}
TERN_CASES(Volumes, UsbMgrLookup, "usb/lookups.txt");

TEST_F(UsbMgr, LosingTheDaemonKeepsPersistentVolumesAndReconnects) {
    daemon.add(usb_volume("/dev/p", "/p", true));
    daemon.add(usb_volume("/dev/q", "/q", false));
    daemon.add(usb_volume("/dev/r", "/r", true));
    start();
    ASSERT_TRUE(wait_events(3));
    rec.events.clear();
    daemon.stop(); // killed
    ASSERT_TRUE(wait_events(1));
    EXPECT_EQ(rec.events, std::vector<std::string>{"removed /dev/q|/q/|L|V"});
    usb_dev_t d;
    EXPECT_TRUE(mgr.get_by_dev_path("/dev/p", d));

    // Restarted: the manager comes back by itself and learns the list again. The list comes in
    // order, so once r's change is in, p has been heard too: unchanged, it is no change.
    daemon.add(usb_volume("/dev/r", "/r2", true));
    daemon.start();
    ASSERT_TRUE(wait_events(3));
    EXPECT_EQ(rec.events,
              (std::vector<std::string>{"removed /dev/q|/q/|L|V", "added /dev/q|/q/|L|V",
                                        "changed /dev/r|/r/|L|V|p -> /dev/r|/r2/|L|V|p"}));

    rec.events.clear();
    mgr.shutdown(); // forgets persistent volumes too
    EXPECT_EQ(rec.events.size(), 3u);
    std::vector<usb_dev_t> devs;
    mgr.get_devs(devs);
    EXPECT_TRUE(devs.empty());
}

// A daemon that is down when the manager starts is tern-log's test (LogTools).

namespace {
struct link_client_t : tern::usbd_client_t {
    void usbd_client_connected() override { ++connected; }
    void usbd_client_err() override {
        errors.push_back(link->get_desc());
        if (delete_on_err) {
            delete link;
            link = nullptr;
        }
    }
    void usbd_client_dev(const tern::fb_usbd_dev_t&) override {}
    void usbd_client_dev_gone(const tern::fb_usbd_dev_gone_t&) override {}
    tern::usbd_conn_t* link = nullptr;
    int connected = 0;
    bool delete_on_err = false;
    std::vector<std::string> errors;
};
} // namespace

TEST(UsbdConn, ReasonsOfEachFailure) {
    fake_usbd_t daemon;
    link_client_t c;
    c.link = new tern::usbd_conn_t;
    c.link->connect(&c);
    ASSERT_TRUE(run_until([&] { return c.connected == 1 && daemon.clients() == 1; }));
    c.link->disconnect();
    EXPECT_FALSE(c.link->get_list());
    c.link->connect(&c);
    ASSERT_TRUE(run_until([&] { return c.connected == 2 && daemon.clients() == 1; }));
    daemon.hang_up_clients();
    ASSERT_TRUE(run_until([&] { return c.errors.size() == 2; }));
    c.delete_on_err = true; // deleting the link from inside its own notification is allowed
    c.link->connect(&c);
    ASSERT_TRUE(run_until([&] { return c.connected == 3 && daemon.clients() == 1; }));
    daemon.send(tern::fb_usbd_dev_gone_t("x")); // a known message: fine
    daemon.send(tern::msg_t(tern::msg_t::category_fb, 3));
    ASSERT_TRUE(run_until([&] { return c.errors.size() == 3; }));
    EXPECT_EQ(c.link, nullptr);
    EXPECT_EQ(c.errors, (std::vector<std::string>{"not connected", "lost connection with daemon",
                                                  "unknown message received"}));
}

// <tmp>/a/b/class/tty/ is the root: ttyACM0/device/../ is the tty's own directory and
// ttyUSB1/../../../../ is <tmp>/a/.
class UsbDevIdFiles : public ::testing::TestWithParam<case_t> {
protected:
    void SetUp() override {
        saved = usb_sysfs_root();
        std::filesystem::create_directories(tmp.file("a/b/class/tty/ttyACM0/device"));
        std::filesystem::create_directories(tmp.file("a/b/class/tty/ttyUSB1"));
        usb_set_sysfs_root(tmp.file("a/b/class/tty"));
    }
    void TearDown() override { usb_set_sysfs_root(saved); }
    temp_dir_t tmp;
    std::string saved;
};

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
TERN_CASES(Files, UsbDevIdFiles, "usb/sysfs_ids.txt");

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
TERN_CASES(Ids, UsbDesc, "usb/adapters.txt");

// A filter refusing an entry ends the listing of its directory only: what was stacked before
// is still walked. (Links, flags and volumes are the firmware file search's tests.)
TEST(DirScanner, ARefusedEntryEndsOnlyItsDirectory) {
    struct collect_t : dir_scanner_t {
        std::string root, stopped; // the first subdirectory listed stops at its first entry
        std::size_t seen = 0;
        bool filter(const std::string& path) override {
            ++seen;
            if (path.substr(0, path.rfind('/')) == root || !stopped.empty()) return true;
            stopped = path;
            return false;
        }
    } c;
    temp_dir_t t;
    for (const char* d : {"/a", "/c"}) std::filesystem::create_directories(t.path() + d);
    for (const char* f : {"a/1", "a/2", "c/1", "c/2"}) t.write(f, "x");
    c.root = t.path();
    c.scan(t.path(), dir_scanner_t::scan_recursive);
    EXPECT_EQ(c.seen, 5u) << c.stopped; // a and c, one entry of one, both of the other
}
