// Cobalt and Harbor component files.
#include "fw_test_util.h"
#include "support/scratch.h"

#include <tern/firmware/cobalt_fw_pkg.h>
#include <tern/firmware/harbor_fw_pkg.h>

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

using namespace fw_test;

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
    dir.write("one.s19", component(nav2));
    dir.write("TWO.S19", component(nav2) + component(comp_t{0}));
    dir.write("variants.s19", component(nav2) + component(nav5));
    dir.write("harbor.s19", component(nav7) + component(nav5));
    dir.write("other.txt", component(nav2));
    dir.write("broken.s19", component(no_end()));
    std::vector<std::string> names;
    std::vector<cobalt_fw_scan_rec_t> recs;
    cobalt_fw_scan_dir(dir.path(), names, recs, -1);
    ASSERT_EQ(names, (std::vector<std::string>{dir.file("one.s19"), dir.file("variants.s19")}));
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[1].index, 0u);
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

} // namespace
