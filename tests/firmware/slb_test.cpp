// SLB images and combined files, and the QVT packages built on them.
#include "fw_test_util.h"
#include "support/cases.h"

#include <tern/firmware/ih_decode.h>
#include <tern/firmware/qvt_fw_pkg.h>
#include <tern/firmware/sha256sum.h>
#include <tern/firmware/slb_decode.h>
#include <tern/firmware/srec_decode.h>

#include <array>
#include <cstring>
#include <memory>

using namespace fw_test;

namespace {

// CRC-16, polynomial 0x1021, bit by bit.
unsigned short crc_ccitt(unsigned short crc, const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        crc = static_cast<unsigned short>(crc ^ (p[i] << 8));
        for (int k = 0; k < 8; ++k)
            crc = static_cast<unsigned short>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

void put_le(bytes_t& v, uint32_t x, unsigned n) {
    for (unsigned i = 0; i < n; ++i) v.push_back(static_cast<unsigned char>(x >> (8 * i)));
}

struct section_t {
    uint32_t addr;
    bytes_t data;
};

// A single image: magic, version text, ids, base, flags, section table and data.
bytes_t single_image(const char* magic, const char* version, const std::vector<section_t>& secs) {
    bytes_t v;
    for (int i = 0; i < 7; ++i) v.push_back(static_cast<unsigned char>(magic[i]));
    for (int i = 0; i < 9; ++i) v.push_back(static_cast<unsigned char>(version[i]));
    put_le(v, 0x1234, 2);
    put_le(v, 0x5678, 2);
    put_le(v, 0x00400000, 4);
    put_le(v, 0x0000000F, 4);
    put_le(v, 0, 2);
    put_le(v, static_cast<uint32_t>(secs.size()), 2);
    for (const section_t& s : secs) {
        put_le(v, s.addr, 4);
        put_le(v, static_cast<uint32_t>(s.data.size()), 4);
    }
    for (const section_t& s : secs) v.insert(v.end(), s.data.begin(), s.data.end());
    return v;
}

// A combined file of (family, image) blocks, without its digest.
bytes_t combined_body(const std::vector<std::pair<std::string, bytes_t>>& blocks) {
    const std::string magic("QVTCOMBINED\0\3", 13); // name, version 3
    bytes_t v(magic.begin(), magic.end());
    v.insert(v.end(), {static_cast<unsigned char>(blocks.size()), 0, 0});
    for (const auto& b : blocks) {
        put_le(v, static_cast<uint32_t>(b.second.size() + 48), 4);
        bytes_t name(12, 0);
        std::copy(b.first.begin(), b.first.end(), name.begin());
        v.insert(v.end(), name.begin(), name.end());
        v.insert(v.end(), {1, 2, 3});
        v.insert(v.end(), 29, 0);
        v.insert(v.end(), b.second.begin(), b.second.end());
    }
    return v;
}

// The body with its SHA-256 from the sha256sum program.
bytes_t with_digest(tern_test::temp_dir_t& dir, const bytes_t& body) {
    const std::string hex =
        digests_of("/usr/bin/sha256sum", {dir.write("body", as_string(body))}).at(0);
    bytes_t v = body;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        v.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return v;
}

// A decoder that scanned `file`, written to a fresh directory.
struct scanned_t {
    tern_test::temp_dir_t dir;
    slb_decode_t slb;
    bool scan(const bytes_t& file) { return slb.scan(dir.write("a.slb", as_string(file))); }
};

const std::vector<section_t> two_sections() {
    return {{0x1000, random_bytes(23000, 11)}, {0x80000, random_bytes(5, 12)}};
}

// What tern-fw shows of an image (kind, count, index and engine out of range) is pinned by its
// golden files and tests; here the rest of the header, and the digest a single image lacks.
TEST(SlbSingle, HeaderFieldsAndDump) {
    scanned_t s;
    ASSERT_TRUE(s.scan(single_image("Bin+Chk", "002010003", two_sections()))) << s.slb.get_err();
    EXPECT_EQ(s.slb.get_max_fw_size(), 32u + 16 + 23005);
    unsigned char sum[32];
    EXPECT_FALSE(s.slb.get_file_checksum(sum));
    EXPECT_EQ(s.slb.get_err(), "file is old single-format - no checksum");
    EXPECT_FALSE(s.slb.compute_file_checksum(sum));
    EXPECT_EQ(s.slb.get_err(), "file is old single-format - checksum is undefined");
    std::unique_ptr<slb_fw_t> fw(s.slb.get_fw(0));
    ASSERT_TRUE(fw);
    std::ostringstream os;
    fw->dump(os);
    EXPECT_EQ(os.str(), "Engine ID: QVTALFA\nVersion: 2.10.3\nMfg ID: 4660\nDevice ID: 22136\n"
                        "Base Addr: 4194304\nSector Flags: 15\nNumber of Sections: 2\n"
                        "Total Len: 23005\nSection - Address - Length: \n0 - 4096 - 23000\n"
                        "1 - 524288 - 5\n");
}

// kind, length, flash address and (for a block's end) its CRC, as get_data reports them.
using report_t = std::array<unsigned, 4>;

std::vector<report_t> send(slb_fw_t& fw, bytes_t* sent = nullptr) {
    std::vector<report_t> out;
    unsigned char buf[1000];
    slb_fw_t::data_control_t ctl;
    fw.start_flash(0, 0);
    while (fw.get_data(buf, ctl)) {
        out.push_back({ctl.kind, ctl.length, ctl.flash_addr, ctl.kind == 1 ? 0u : ctl.crc});
        if (ctl.kind == 1 && sent) sent->insert(sent->end(), buf, buf + ctl.length);
    }
    return out;
}

TEST(SlbSend, BlocksOfTenThousandInChunksOfAThousand) {
    const auto secs = two_sections();
    scanned_t s;
    ASSERT_TRUE(s.scan(single_image("QVTBRAV", "001002003", secs)));
    std::unique_ptr<slb_fw_t> fw(s.slb.get_fw(0));
    ASSERT_TRUE(fw);
    EXPECT_EQ(fw->get_engine_id(), "QVTBRAV");
    bytes_t sent;
    const auto reports = send(*fw, &sent);
    std::vector<report_t> expect;
    const unsigned lens[] = {10000, 10000, 3000};
    for (unsigned b = 0; b < 3; ++b) {
        const uint32_t at = 0x1000 + 10000 * b;
        expect.push_back({0, lens[b], at, 0});
        for (unsigned c = 0; c < lens[b]; c += 1000) expect.push_back({1, 1000, at + c, 0});
        expect.push_back({2, lens[b], at, crc_ccitt(0, secs[0].data.data() + 10000 * b, lens[b])});
    }
    expect.push_back({0, 5, 0x80000, 0});
    expect.push_back({1, 5, 0x80000, 0});
    expect.push_back({2, 5, 0x80000, crc_ccitt(0, secs[1].data.data(), 5)});
    EXPECT_EQ(reports, expect);
    bytes_t all = secs[0].data;
    all.insert(all.end(), secs[1].data.begin(), secs[1].data.end());
    EXPECT_EQ(sent, all);
    EXPECT_TRUE(fw->at_end());
}

TEST(SlbSend, EmptySectionsSendNothing) {
    const bytes_t a = random_bytes(7, 1);
    scanned_t s;
    ASSERT_TRUE(
        s.scan(single_image("Bin+Chk", "001002003", {{0x100, {}}, {0x200, a}, {0x300, {}}})));
    std::unique_ptr<slb_fw_t> fw(s.slb.get_fw(0));
    ASSERT_TRUE(fw);
    const std::vector<report_t> expect = {
        {0, 7, 0x200, 0}, {1, 7, 0x200, 0}, {2, 7, 0x200, crc_ccitt(0, a.data(), 7)}};
    EXPECT_EQ(send(*fw), expect);
}

// Damaged images and combined files are golden files of tern-fw, which shows their reasons.
TEST(SlbCombined, DigestChecksAndImagesByEngine) {
    scanned_t s;
    slb_decode_t& slb = s.slb;
    const bytes_t alfa = single_image("Bin+Chk", "001002003", two_sections());
    const bytes_t brav = single_image("QVTBRAV", "004005006", {{0x10, random_bytes(100, 5)}});
    const bytes_t file = with_digest(s.dir, combined_body({{"QVTALFA", alfa}, {"QVTBRAV", brav}}));
    ASSERT_TRUE(s.scan(file)) << slb.get_err();
    EXPECT_EQ(slb.get_file_version(), 3u);
    EXPECT_EQ(slb.get_num_firmwares(), 2u);
    EXPECT_EQ(slb.get_max_fw_size(), alfa.size());
    ASSERT_EQ(slb.headers().size(), 2u);
    EXPECT_EQ(slb.headers()[1].engine_id, "QVTBRAV");
    EXPECT_EQ(slb.headers()[1].offset, int64_t(16 + 48 + alfa.size() + 48));
    EXPECT_EQ(slb.headers()[1].length, brav.size());
    unsigned char stored[32], computed[32];
    ASSERT_TRUE(slb.get_file_checksum(stored));
    ASSERT_TRUE(slb.compute_file_checksum(computed));
    EXPECT_EQ(0, std::memcmp(stored, file.data() + file.size() - 32, 32));
    EXPECT_EQ(0, std::memcmp(stored, computed, 32));
    std::unique_ptr<slb_fw_t> fw(slb.get_fw_by_engine("QVTBRAV"));
    ASSERT_TRUE(fw) << slb.get_err();
    EXPECT_EQ(fw->get_version_str(), "4.5.6");
    EXPECT_EQ(fw->get_total_len(), 100u);
    // An image read directly from its header, or with none from the start of the file.
    FILE* f = fopen(s.dir.file("a.slb").c_str(), "rb");
    ASSERT_TRUE(f);
    slb_fw_t by_header(&slb.headers()[1]), whole(nullptr);
    EXPECT_TRUE(by_header.scan(f));
    EXPECT_EQ(by_header.get_version_str(), "4.5.6");
    EXPECT_FALSE(whole.scan(f));
    EXPECT_EQ(whole.get_err(), "unknown engine ID found");
    fclose(f);

    for (size_t at : {size_t(0x20), file.size() / 2, file.size() - 33}) {
        bytes_t bad = file;
        bad[at] ^= 0x01;
        ASSERT_FALSE(s.scan(bad));
        EXPECT_EQ(slb.get_err(), "computed checksum does not match one in file") << at;
    }
    EXPECT_FALSE(s.scan(bytes_t(file.begin(), file.end() - 1)));
    EXPECT_EQ(slb.get_err(), "computed checksum does not match one in file");
}

// Used before any file, or on a file that is not there.
TEST(FwDecoders, NotOpen) {
    slb_decode_t slb;
    ih_decode_t ih;
    srec_decode_t srec;
    unsigned char data[255];
    uint32_t addr;
    unsigned len;
    srec_t rec;
    EXPECT_FALSE(slb.get_file_checksum(data));
    EXPECT_FALSE(ih.get_data_rec(addr, len, data));
    EXPECT_EQ(srec.get_rec(rec), 0);
    EXPECT_EQ(slb.get_err() + ", " + ih.get_err() + ", " + srec.get_desc(),
              "not initialized, not initialized, not initialized");
    std::ostringstream os;
    slb.dump(os);
    EXPECT_EQ(os.str(), "Not initialized\n");
    EXPECT_FALSE(slb.scan("/nonexistent.slb") || ih.scan("/nonexistent/f.hex"));
    EXPECT_EQ(slb.get_err(), "failed to open file: No such file or directory");
    EXPECT_EQ(ih.get_err(), slb.get_err());
}

// The smallest sound files of each kind.
const std::string hex_ok = ":0100000041BE\n:00000001FF\n";
const std::string slb_ok = std::string("Bin+Chk001002003") + std::string(14, '\0') +
                           std::string("\x01\x00\x00\x10\x00\x00\x02\x00\x00\x00\xAB\xCD", 12);

class QvtPkg : public ::testing::Test {
protected:
    tern_test::temp_dir_t dir;

    void files() {
        dir.write("ENGINE.SLB", slb_ok);
        dir.write("LBMV2,07.hex", hex_ok);
        dir.write("iopv1.15.HEX", hex_ok);
    }
};

TEST_F(QvtPkg, DirectoryOrIndexFileAnyCase) {
    files();
    dir.write("Install.INI", "; comment\r\n"
                             "GPSSoftware = engine.slb\r\n"
                             "lbmsoftware=lbmv2,07.hex\r\n"
                             "IOPSOFTWARE  ==  IOPV1.15.hex\r\n"
                             "other = x\r\n");
    for (const std::string& p : {dir.path(), dir.path() + "//", dir.file("Install.INI")}) {
        qvt_fw_pkg_t pkg;
        ASSERT_TRUE(pkg.scan(p)) << p << ": " << pkg.get_err();
        EXPECT_TRUE(pkg.is_open());
        EXPECT_EQ(pkg.gps_path, dir.file("ENGINE.SLB"));
        EXPECT_EQ(pkg.lbm_path, dir.file("LBMV2,07.hex"));
        EXPECT_EQ(pkg.iop_path, dir.file("iopv1.15.HEX"));
        EXPECT_TRUE(pkg.gps_dec.is_open());
        pkg.close();
        EXPECT_FALSE(pkg.is_open());
        EXPECT_FALSE(pkg.lbm_dec.is_open());
    }
}

class QvtIni : public QvtPkg, public ::testing::WithParamInterface<tern_test::case_t> {};

TEST_P(QvtIni, Refused) {
    ASSERT_EQ(GetParam().cols.size(), 2u);
    files();
    dir.write("bad.hex", ":0100000041BF\n:00000001FF\n");
    dir.write("bad.slb", "Bin+Chk001");
    dir.write("bad_image.slb", tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) +
                                                           "/firmware/combined_wrong_magic.slb"));
    dir.write("install.ini", tern_test::unquote(GetParam().cols[0]));
    qvt_fw_pkg_t pkg;
    EXPECT_FALSE(pkg.scan(dir.path()));
    EXPECT_EQ(pkg.get_err(), GetParam().cols[1]);
    EXPECT_FALSE(pkg.is_open());
}
INSTANTIATE_TEST_SUITE_P(Files, QvtIni,
                         ::testing::ValuesIn(tern_test::read_cases("firmware/qvt_ini.txt")),
                         tern_test::case_name);

TEST_F(QvtPkg, NoIndex) {
    qvt_fw_pkg_t pkg;
    EXPECT_EQ(pkg.get_err(), "not initialized");
    EXPECT_FALSE(pkg.scan(dir.path()));
    EXPECT_EQ(pkg.get_err(), "failed to locate install.ini: failed to find install.ini in dir");
    EXPECT_FALSE(pkg.scan(dir.file("nothing")));
    EXPECT_EQ(pkg.get_err(),
              "failed to locate install.ini: " + dir.file("nothing") + "does not exist");
}

class QvtVersion : public ::testing::TestWithParam<tern_test::case_t> {};

TEST_P(QvtVersion, FromFileName) {
    ASSERT_EQ(GetParam().cols.size(), 2u);
    const std::string& want = GetParam().cols[1];
    std::string v = "unchanged";
    EXPECT_EQ(qvt_fw_version_str("lbmv", tern_test::unquote(GetParam().cols[0]), v), want != "-");
    EXPECT_EQ(v, want == "-" ? "unchanged" : want);
}
INSTANTIATE_TEST_SUITE_P(Names, QvtVersion,
                         ::testing::ValuesIn(tern_test::read_cases("firmware/qvt_versions.txt")),
                         tern_test::case_name);

} // namespace
