#include "support/fake_usbd.h"
#include "support/mainloop.h"
#include "support/scratch.h"

#include <tern/firmware/file_scan.h>
#include <tern/thread/thread.h>

#include <gtest/gtest.h>

#include <glib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

using tern_test::run_until;

namespace {

class path_file_t : public file_scan_t::file_t {
public:
    explicit path_file_t(std::string p) : path(std::move(p)) {}
    std::string path;
};

// Finds files ending in ".s19" and names them "label:path". The filter waits while `hold` is
// set; every found and done call must come on the thread that made the client.
class client_t : public file_scan_t::client_t {
public:
    struct filter_t : file_scan_t::filter_t {
        client_t& c;
        explicit filter_t(client_t& owner) : c(owner) {}
        ~filter_t() override { c.filter_gone = true; }
        bool filter(const std::string& path, const usb_dev_t& dev,
                    std::list<file_scan_t::file_t*>& files) override {
            ++c.entries;
            while (c.hold) std::this_thread::yield();
            if (g_str_has_suffix(path.c_str(), ".s19"))
                files.push_back(new path_file_t(dev.label + ":" + path));
            return true;
        }
    };

    std::vector<usb_dev_t> volumes;
    std::vector<std::string> found;
    int done = 0;
    std::atomic<bool> hold{false};
    std::atomic<int> entries{0};
    std::atomic<bool> filter_gone{false};
    std::atomic<bool> on_main{true};
    bool refuse = false; // no filter: no search
    GThread* main = g_thread_self();

    void file_scan_found(file_scan_t::file_t* f) override {
        std::unique_ptr<file_scan_t::file_t> own(f);
        if (g_thread_self() != main) on_main = false;
        found.push_back(static_cast<path_file_t*>(f)->path);
    }
    void file_scan_done() override {
        if (g_thread_self() != main) on_main = false;
        ++done;
    }
    void file_scan_volumes(std::vector<usb_dev_t>& v) override { v = volumes; }
    file_scan_t::filter_t* file_scan_filter() override {
        return refuse ? nullptr : new filter_t(*this);
    }
};

usb_dev_t volume(const std::string& mount, const std::string& label) {
    usb_dev_t d;
    d.mount_path = mount;
    d.label = label;
    return d;
}

class FileScan : public ::testing::Test {
protected:
    tern_test::temp_dir_t a, b;
    client_t client;

    void SetUp() override {
        tern::thread_init();
        std::filesystem::create_directories(a.file("tern/updates/sub/deeper"));
        a.write("tern/updates/top.s19", "");
        a.write("tern/updates/notes.txt", "");
        a.write("tern/updates/sub/one.s19", "");
        a.write("tern/updates/sub/deeper/two.s19", "");
        a.write("elsewhere.s19", "");
        std::filesystem::create_directories(b.file("tern/updates"));
        b.write("tern/updates/b.s19", "");
        client.volumes = {volume(a.path() + "/", "A"), volume(b.path(), "B")};
    }
};

// Every file below the directory on every volume, with a link back up the tree that must not
// trap the search; found and done come on the main loop.
TEST_F(FileScan, FindsFilesOnEveryVolumeOnTheMainLoopAndALinkLoopEnds) {
    std::filesystem::create_directory_symlink(a.file("tern"), a.file("tern/updates/loop"));
    file_scan_t scan(&client);
    scan.add_dir("tern", file_scan_t::scan_subdirs);
    ASSERT_TRUE(scan.start());
    EXPECT_TRUE(scan.is_running());
    EXPECT_FALSE(scan.start());
    ASSERT_TRUE(run_until([&] { return client.done == 1; }));
    EXPECT_FALSE(scan.is_running());
    std::set<std::string> got(client.found.begin(), client.found.end());
    const std::set<std::string> want = {
        "A:" + a.file("tern/updates/top.s19"), "A:" + a.file("tern/updates/sub/one.s19"),
        "A:" + a.file("tern/updates/sub/deeper/two.s19"), "B:" + b.file("tern/updates/b.s19")};
    EXPECT_EQ(got, want);
    EXPECT_EQ(client.found.size(), want.size());
    EXPECT_TRUE(client.filter_gone);
    EXPECT_TRUE(client.on_main);

    // Without the subdirectory flag only the directory itself; and a new search can start.
    client.found.clear();
    scan.clear_dirs();
    scan.add_dir("tern/updates", 0);
    ASSERT_TRUE(scan.start());
    ASSERT_TRUE(run_until([&] { return client.done == 2; }));
    got = std::set<std::string>(client.found.begin(), client.found.end());
    EXPECT_EQ(got, (std::set<std::string>{"A:" + a.file("tern/updates/top.s19"),
                                          "B:" + b.file("tern/updates/b.s19")}));
}

TEST_F(FileScan, CancelledSearchNeverCallsTheClientAgain) {
    client.hold = true;
    {
        file_scan_t scan(&client);
        scan.add_dir("tern/updates", file_scan_t::scan_subdirs);
        ASSERT_TRUE(scan.start());
        // The worker is inside the filter with the first entry; the loop stays free.
        ASSERT_TRUE(run_until([&] { return client.entries == 1; }));
        scan.cancel();
        EXPECT_FALSE(scan.is_running());
        client.hold = false;
        ASSERT_TRUE(run_until([&] { return client.filter_gone.load(); }));
        tern_test::run_until([] { return false; }, 0.1);
    }
    EXPECT_TRUE(client.found.empty());
    EXPECT_EQ(client.done, 0);
    // It stopped at its next check: one entry at most after the held one.
    EXPECT_LE(client.entries, 2);
}

TEST_F(FileScan, NoFilterNoSearch) {
    client.refuse = true;
    file_scan_t scan(&client);
    EXPECT_FALSE(scan.start());
    EXPECT_FALSE(scan.is_running());
}

} // namespace

// A client that names no volumes of its own searches those of the USB manager, here as a
// stand-in daemon reports them; a volume reported without a mount path is never searched.
TEST_F(FileScan, SearchesTheVolumesOfTheUsbManager) {
    struct usb_client_t : client_t {
        usb_mgr_t* mgr = nullptr;
        usb_mgr_t* file_scan_usb_mgr() override { return mgr; }
        void file_scan_volumes(std::vector<usb_dev_t>& v) override {
            file_scan_t::client_t::file_scan_volumes(v);
        }
    } c;
    tern_test::fake_usbd_t daemon;
    daemon.add(tern_test::usb_volume("/dev/sda1", b.path(), false, "B"));
    daemon.add(tern_test::usb_volume("/dev/sdb1", "", false, "E"));
    usb_mgr_t mgr;
    mgr.init(nullptr);
    ASSERT_TRUE(run_until([&] {
        std::vector<usb_dev_t> v;
        mgr.get_devs(v);
        return v.size() == 2;
    }));
    c.mgr = &mgr;
    file_scan_t scan(&c);
    scan.add_dir("tern/updates", file_scan_t::scan_subdirs);
    ASSERT_TRUE(scan.start());
    ASSERT_TRUE(run_until([&] { return c.done == 1; }));
    EXPECT_EQ(c.found, (std::vector<std::string>{"B:" + b.file("tern/updates/b.s19")}));
}
