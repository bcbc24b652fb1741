#include "fw_test_util.h"
#include "support/scratch.h"

#include <tern/firmware/sha256sum.h>
#include <tern/firmware/slb_decode.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <sstream>

using namespace fw_test;

namespace {

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

struct block_t {
    std::string family;
    bytes_t image;
    int64_t length_delta = 0; // added to the true block length
    bool unterminated = false;
};

// A combined file without its digest.
bytes_t combined_body(const std::vector<block_t>& blocks, unsigned count_field = 0) {
    const std::string magic("QVTCOMBINED\0\3", 13); // name, version 3
    bytes_t v(magic.begin(), magic.end());
    v.insert(v.end(),
             {static_cast<unsigned char>(count_field ? count_field : blocks.size()), 0, 0});
    for (const block_t& b : blocks) {
        put_le(v, static_cast<uint32_t>(int64_t(b.image.size()) + 48 + b.length_delta), 4);
        bytes_t name(12, 0);
        for (size_t i = 0; i < b.family.size() && i < 12; ++i) name[i] = b.family[i];
        if (b.unterminated) std::memset(name.data(), 'X', 12);
        v.insert(v.end(), name.begin(), name.end());
        v.insert(v.end(), {1, 2, 3});
        v.insert(v.end(), 29, 0);
        v.insert(v.end(), b.image.begin(), b.image.end());
    }
    return v;
}

// The body with its SHA-256 from the sha256sum program.
bytes_t with_digest(tern_test::temp_dir_t& dir, const bytes_t& body) {
    const std::string hex = digest_of("/usr/bin/sha256sum", dir.write("body", as_string(body)));
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

TEST(SlbSingle, HeaderFieldsAndDump) {
    scanned_t s;
    ASSERT_TRUE(s.scan(single_image("Bin+Chk", "002010003", two_sections()))) << s.slb.get_err();
    EXPECT_EQ(s.slb.get_file_version(), 0u);
    EXPECT_EQ(s.slb.get_num_firmwares(), 1u);
    EXPECT_EQ(s.slb.get_max_fw_size(), 32u + 16 + 23005);
    unsigned char sum[32];
    EXPECT_FALSE(s.slb.get_file_checksum(sum));
    EXPECT_EQ(s.slb.get_err(), "file is old single-format - no checksum");
    EXPECT_FALSE(s.slb.compute_file_checksum(sum));
    EXPECT_EQ(s.slb.get_err(), "file is old single-format - checksum is undefined");
    std::unique_ptr<slb_fw_t> fw(s.slb.get_fw(0));
    ASSERT_TRUE(fw);
    EXPECT_EQ(fw->get_err(), "<no error>");
    std::ostringstream os;
    fw->dump(os);
    EXPECT_EQ(os.str(), "Engine ID: QVTALFA\nVersion: 2.10.3\nMfg ID: 4660\nDevice ID: 22136\n"
                        "Base Addr: 4194304\nSector Flags: 15\nNumber of Sections: 2\n"
                        "Total Len: 23005\nSection - Address - Length: \n0 - 4096 - 23000\n"
                        "1 - 524288 - 5\n");
    EXPECT_EQ(s.slb.get_fw(1), nullptr);
    EXPECT_EQ(s.slb.get_err(), "firmware index out of range");
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

struct bad_slb_t {
    const char* name;
    bytes_t file;
    const char* err;
};

bytes_t cut(bytes_t v, size_t n) {
    v.resize(v.size() - n);
    return v;
}

class SlbBadSingle : public ::testing::TestWithParam<bad_slb_t> {};

TEST_P(SlbBadSingle, Refused) {
    scanned_t s;
    EXPECT_FALSE(s.scan(GetParam().file));
    EXPECT_EQ(s.slb.get_err(), GetParam().err);
    EXPECT_FALSE(s.slb.is_open());
}

// A file that starts with an image's magic is refused with the image's own reason; a cut
// image, a bad version and a section of 0xffffffff bytes are golden files of tern-fw.
INSTANTIATE_TEST_SUITE_P(
    Files, SlbBadSingle,
    ::testing::Values(
        bad_slb_t{"TableCut", cut(single_image("Bin+Chk", "001002003", two_sections()), 23010),
                  "firmware truncated: section table needs 48 bytes; 43 there"},
        bad_slb_t{"HeaderCut", bytes_t{'B', 'i', 'n', '+', 'C', 'h', 'k', '0'},
                  "failed to read firmware header: unexpected end of file"},
        bad_slb_t{"NoSections", single_image("QVTBRAV", "001002003", {}),
                  "firmware has no sections"},
        bad_slb_t{"WrongMagic", single_image("Bin-Chk", "001002003", two_sections()),
                  "failed to locate magic string at start of header"},
        bad_slb_t{"Empty", bytes_t{}, "failed to read combined header: unexpected end of file"}),
    [](const auto& p) { return std::string(p.param.name); });

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
    EXPECT_EQ(slb.get_fw_by_engine("QVTNONE"), nullptr);
    EXPECT_EQ(slb.get_err(), "no firmware matches engine");

    for (size_t at : {size_t(0x20), file.size() / 2, file.size() - 33}) {
        bytes_t bad = file;
        bad[at] ^= 0x01;
        ASSERT_FALSE(s.scan(bad));
        EXPECT_EQ(slb.get_err(), "computed checksum does not match one in file") << at;
    }
    EXPECT_FALSE(s.scan(cut(file, 1)));
    EXPECT_EQ(slb.get_err(), "computed checksum does not match one in file");
}

class SlbBadCombined : public ::testing::TestWithParam<bad_slb_t> {};

TEST_P(SlbBadCombined, RefusedWithReason) {
    scanned_t s;
    EXPECT_FALSE(s.scan(with_digest(s.dir, GetParam().file)));
    EXPECT_EQ(s.slb.get_err(), GetParam().err);
}

const bytes_t small_image = single_image("Bin+Chk", "001002003", {{0x10, bytes_t(64, 0xAA)}});

// Every image is checked at scan, not only when it is sent.
INSTANTIATE_TEST_SUITE_P(
    Files, SlbBadCombined,
    ::testing::Values(
        bad_slb_t{"BlockBelow48", combined_body({{"QVTALFA", small_image, -110}}),
                  "invalid block length of firmware 0: 42 is below 48"},
        bad_slb_t{"BlockPastDigest", combined_body({{"QVTALFA", small_image, 1}}),
                  "invalid block length of firmware 0: 153 runs past the checksum"},
        bad_slb_t{"MoreImagesThanBlocks", combined_body({{"QVTALFA", small_image}}, 2),
                  "failed to read block header for firmware: runs into the checksum"},
        bad_slb_t{"NameUnterminated", combined_body({{"QVTALFA", small_image, 0, true}}),
                  "engine family name of firmware 0 is not terminated"},
        bad_slb_t{"ImageLargerThanItsBlock", combined_body({{"QVTALFA", cut(small_image, 40)}}),
                  "failed to initialize firmware 0 from header: firmware "
                  "truncated: sections need 104 bytes; 64 there"},
        bad_slb_t{"EmptyImageBlock", combined_body({{"QVTALFA", small_image}, {"QVTBRAV", {}}}),
                  "failed to initialize firmware 1 from header: failed to read "
                  "firmware header: unexpected end of file"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(SlbDecode, NotOpen) {
    slb_decode_t slb;
    EXPECT_EQ(slb.get_err(), "not initialized");
    unsigned char sum[32];
    EXPECT_FALSE(slb.get_file_checksum(sum));
    EXPECT_EQ(slb.get_err(), "not initialized");
    std::ostringstream os;
    slb.dump(os);
    EXPECT_EQ(os.str(), "Not initialized\n");
    EXPECT_FALSE(slb.scan("/nonexistent.slb"));
    EXPECT_EQ(slb.get_err(), "failed to open file: No such file or directory");
}

} // namespace
