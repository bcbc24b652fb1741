// Cobalt and Harbor component files, and the search for firmware files on USB volumes.
#include "fw_test_util.h"
#include "support/fake_usbd.h"
#include "support/mainloop.h"

#include <tern/firmware/cobalt_fw_pkg.h>
#include <tern/firmware/file_scan.h>
#include <tern/firmware/harbor_fw_pkg.h>
#include <tern/thread/thread.h>

#include <atomic>
#include <filesystem>
#include <thread>

using namespace fw_test;
using tern_test::run_until;

namespace {

const std::string marker_text("QVT SWINFO VER 001", 19); // with its zero byte

struct comp_t {
    unsigned type = 2;
    unsigned product = 2;
    unsigned spin = 0;
    std::vector<std::pair<uint32_t, bytes_t>> data = {{0x1000, bytes_t(20, 0x11)}};
    std::string marker = marker_text;
    bool end = true;
};

// Lines of one component: an empty S0, the marker, the block in two S0 records, data, S7.
std::string component(const comp_t& c) {
    bytes_t block(64, 0);
    block[4] = 1;
    block[5] = 2;
    block[6] = 3;
    block[7] = static_cast<unsigned char>(c.type);
    block[32] = static_cast<unsigned char>(c.product);
    block[33] = static_cast<unsigned char>(c.spin);
    std::string t = srec_line(0, 0, 2, {});
    t += srec_line(0, 0, 2, bytes_t(c.marker.begin(), c.marker.end()));
    t += srec_line(0, 0, 2, bytes_t(block.begin(), block.begin() + 24));
    t += srec_line(0, 0, 2, {});
    t += srec_line(0, 0, 2, bytes_t(block.begin() + 24, block.end()));
    for (const auto& d : c.data) t += srec_line(3, d.first, 4, d.second);
    if (c.end) t += srec_line(7, 0, 4, {});
    return t;
}

template <class Family>
long scan_all(const std::string& path, std::list<typename Family::info_t>& infos,
              std::string& err) {
    fw_scan_tmpl_t<Family> scan;
    long r = scan.open(path, infos) ? 1 : -1;
    while (r > 0) r = scan.scan_iter();
    err = scan.get_desc();
    return r;
}

// Kinds, products, versions, ranges and sizes of components are pinned by the golden files
// that tern-fw checks, and offsets and first lines by the component loader's test; here an
// empty data record that still widens the range, and codes without a name.
TEST(CobaltScan, AnEmptyDataRecordWidensTheRange) {
    tern_test::temp_dir_t dir;
    const std::string text = component(comp_t{2, 2, 4, {{0x08000000, {1}}, {0x08000100, {}}}});
    std::list<cobalt_fw_comp_info_t> infos;
    std::string err;
    ASSERT_EQ(scan_all<cobalt_fw_family_t>(dir.write("a.s19", text), infos, err), 0) << err;
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos.front().min_addr, 0x08000000u);
    EXPECT_EQ(infos.front().max_addr, 0x08000100u);
    std::ostringstream os;
    os << cobalt_fw_component_t(7) << ' ' << harbor_firmware_component_t(17);
    EXPECT_EQ(os.str(), "?? (7) ?? (17)");
}

struct bad_case_t {
    const char* name;
    std::string text;
    const char* cobalt_err;
    const char* harbor_err;
};

comp_t no_end() {
    comp_t c;
    c.end = false;
    return c;
}

std::string with_s1() {
    std::string text = component(comp_t());
    text.insert(text.rfind("S7"), srec_line(1, 0x10, 2, {1, 2}));
    return text;
}

class ScanErrors : public ::testing::TestWithParam<bad_case_t> {};

TEST_P(ScanErrors, BothFamilies) {
    tern_test::temp_dir_t dir;
    const std::string path = dir.write("a.s19", GetParam().text);
    std::string err;
    std::list<cobalt_fw_comp_info_t> c;
    std::list<harbor_fw_comp_info_t> h;
    EXPECT_EQ(scan_all<cobalt_fw_family_t>(path, c, err) < 0, GetParam().cobalt_err != nullptr)
        << err;
    if (GetParam().cobalt_err) {
        EXPECT_EQ(err, GetParam().cobalt_err);
    }
    EXPECT_EQ(scan_all<harbor_fw_family_t>(path, h, err) < 0, GetParam().harbor_err != nullptr)
        << err;
    if (GetParam().harbor_err) {
        EXPECT_EQ(err, GetParam().harbor_err);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ScanErrors,
    ::testing::Values(
        bad_case_t{"Type3", component(comp_t{3}), "unknown component code: 3", nullptr},
        bad_case_t{"Type17", component(comp_t{17}), "unknown component code: 17",
                   "Unknown component code: 17"},
        bad_case_t{"Overlap",
                   component(comp_t{2, 2, 0, {{0x100, bytes_t(4, 0)}, {0x90, bytes_t(4, 0)}}}),
                   "line 7: address overlap", "Line 7: Address overlap"},
        bad_case_t{"NoData", component(comp_t{2, 2, 0, {}}), "line 6: no data records",
                   "Line 6: No data records"},
        bad_case_t{"NoEnd", component(no_end()), "no end record", "No end record"},
        bad_case_t{"S1InData", with_s1(), "line 7: unknown record type",
                   "Line 7: Unknown record type"},
        bad_case_t{"DataBeforeHeader", srec_line(3, 0, 4, {1}) + component(comp_t()),
                   "read non-header record", "Read non-header record"},
        bad_case_t{"HeaderTooLong",
                   srec_line(0, 0, 2, bytes_t(marker_text.begin(), marker_text.end())) +
                       srec_line(0, 0, 2, bytes_t(60, 0)) + srec_line(0, 0, 2, bytes_t(5, 0)),
                   "record too long", "Record too long"},
        bad_case_t{"HeaderCut", srec_line(0, 0, 2, bytes_t(marker_text.begin(), marker_text.end())),
                   "end of file while reading", "End of file while reading"},
        bad_case_t{"BadLine", component(comp_t()) + "S1FF\n",
                   "error reading record: line 8: failed to get 255 bytes; got 0",
                   "Error reading record: line 8: failed to get 255 bytes; got 0"},
        // The last byte there is may be used; one past it is a golden file of tern-fw.
        bad_case_t{"EndsAtTheTop", component(comp_t{2, 2, 0, {{0xFFFFFFFC, bytes_t(4, 0)}}}),
                   nullptr, nullptr}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(HarborScan, MarkerComparedOnlyToItsFifteenthCharacter) {
    tern_test::temp_dir_t dir;
    comp_t c;
    c.marker = std::string("QVT SWINFO VER 002", 19);
    const std::string path = dir.write("a.s19", component(c));
    std::string err;
    std::list<harbor_fw_comp_info_t> h;
    EXPECT_EQ(scan_all<harbor_fw_family_t>(path, h, err), 0) << err;
    EXPECT_EQ(h.size(), 1u);
    // Cobalt passes over the record, so the block records are read as more unmarked S0s and
    // the data record ends the header.
    std::list<cobalt_fw_comp_info_t> k;
    EXPECT_EQ(scan_all<cobalt_fw_family_t>(path, k, err), -1);
    EXPECT_EQ(err, "read non-header record");
}

TEST(CobaltScanFile, PreferredProductFilter) {
    tern_test::temp_dir_t dir;
    const comp_t nav2{2, 2, 9}, nav5{2, 5}, boot5{0, 5};
    const std::string path =
        dir.write("a.s19", component(nav2) + component(nav5) + component(boot5));
    std::vector<cobalt_fw_scan_rec_t> recs;
    ASSERT_TRUE(cobalt_fw_scan_file(path, recs, -1));
    ASSERT_EQ(recs.size(), 3u);
    ASSERT_TRUE(cobalt_fw_scan_file(path, recs, 2));
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].index, 0u);
    EXPECT_EQ(recs[0].component, cobalt_fw_nav);
    EXPECT_EQ(recs[0].product_type, 2u);
    EXPECT_EQ(recs[0].version, "1.2.3.9");
    EXPECT_EQ(recs[1].index, 2u);
    EXPECT_EQ(recs[1].component, cobalt_fw_boot1);
    EXPECT_EQ(recs[1].product_type, 5u);
    EXPECT_FALSE(cobalt_fw_scan_file(dir.write("b.s19", component(no_end())), recs, -1));
    EXPECT_TRUE(recs.empty());
}

TEST(ScanDir, KeepsFilesWithOneComponentOfTheProduct) {
    tern_test::temp_dir_t dir;
    const comp_t nav2, nav5{2, 5}, nav7{2, 7};
    // The extension in any case, and a name that is nothing else; "s19" is no such name.
    dir.write("ONE.S19", component(nav2));
    dir.write("TWO.S19", component(nav2) + component(comp_t{0}));
    dir.write(".s19", component(nav2) + component(nav5));
    dir.write("s19", component(nav2));
    dir.write("harbor.s19", component(nav7) + component(nav5));
    dir.write("other.txt", component(nav2));
    dir.write("broken.s19", component(no_end()));
    std::vector<std::string> names;
    std::vector<cobalt_fw_scan_rec_t> recs;
    cobalt_fw_scan_dir(dir.path(), names, recs, -1);
    ASSERT_EQ(names, (std::vector<std::string>{dir.file(".s19"), dir.file("ONE.S19")}));
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].index, 0u);
    std::vector<harbor_fw_scan_rec_t> hrecs;
    harbor_fw_scan_dir(dir.path(), names, hrecs, 7);
    EXPECT_EQ(names, (std::vector<std::string>{dir.file("harbor.s19")}));
    cobalt_fw_scan_dir(dir.file("missing"), names, recs, -1);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(recs.empty());
}

TEST(CompLoader, HandsOutTheSecondComponentAlone) {
    tern_test::temp_dir_t dir;
    const bytes_t a = random_bytes(40, 1), b = random_bytes(50, 2);
    const comp_t first{2, 2, 0, {{0x100, a}}};
    const comp_t second{2,
                        2,
                        0,
                        {{0x08000000, bytes_t(b.begin(), b.begin() + 30)},
                         {0x0800001E, bytes_t(b.begin() + 30, b.end())},
                         {0x08001000, a}}};
    const std::string text = component(first) + component(second) + component(first);
    const std::string path = dir.write("a.s19", text);
    std::list<harbor_fw_comp_info_t> infos;
    std::string err;
    ASSERT_EQ(scan_all<harbor_fw_family_t>(path, infos, err), 0) << err;
    ASSERT_EQ(infos.size(), 3u);
    const harbor_fw_comp_info_t& c = *std::next(infos.begin());

    harbor_fw_comp_loader_t loader;
    ASSERT_TRUE(loader.open(path, c.offset, c.first_line)) << loader.get_desc();
    unsigned char buf[32];
    bytes_t got;
    std::vector<std::pair<uint32_t, unsigned>> frames;
    int r, last = 0;
    while ((r = loader.load(buf, 32)) > 0) {
        frames.push_back({loader.addr(), loader.size()});
        got.insert(got.end(), buf, buf + loader.size());
        last = r;
    }
    ASSERT_EQ(r, 0) << loader.get_desc();
    EXPECT_EQ(last, int(c.size));
    const std::vector<std::pair<uint32_t, unsigned>> expect = {
        {0x08000000, 32}, {0x08000020, 18}, {0x08001000, 32}, {0x08001020, 8}};
    EXPECT_EQ(frames, expect);
    bytes_t want = b;
    want.insert(want.end(), a.begin(), a.end());
    EXPECT_EQ(got, want);
    // Opened again, it numbers its frames from 1 again.
    ASSERT_TRUE(loader.open(path, c.offset, c.first_line));
    ASSERT_GT(loader.load(buf, 32), 0);
    EXPECT_EQ(loader.frame(), 1);

    cobalt_fw_comp_loader_t bad;
    EXPECT_FALSE(bad.open(path, c.offset + 1, c.first_line));
    EXPECT_EQ(bad.get_desc(), "failed to read header");
    EXPECT_FALSE(bad.open(dir.file("none.s19"), 0, 1));
    EXPECT_EQ(bad.get_desc(), "failed to open");
    // A record other than S3 among the data.
    ASSERT_TRUE(bad.open(dir.write("s1.s19", with_s1()), 0, 1));
    EXPECT_EQ(bad.load(buf, 32), -1);
    EXPECT_EQ(bad.get_desc(), "line 7: unexpected record type S1");
}

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
        client.volumes = {tern_test::usb_volume("/dev/a", a.path() + "/", false, "A"),
                          tern_test::usb_volume("/dev/b", b.path(), false, "B")};
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
