#include "fw_test_util.h"
#include "support/scratch.h"

#include <tern/firmware/ih_decode.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace fw_test;

namespace {

const std::string eof_lf = ":00000001FF\n";

// The files of tests/cases/firmware/ihex_files.txt: "ok", or the reason scan gives.
class IhFile : public ::testing::TestWithParam<case_t> {};

TEST_P(IhFile, ScanResult) {
    const std::vector<std::string>& f = GetParam().fields;
    ASSERT_EQ(f.size(), 2u);
    tern_test::temp_dir_t dir;
    ih_decode_t ih;
    const bool ok = ih.scan(dir.write("f.hex", f[0]));
    EXPECT_EQ(ok ? "ok" : ih.get_err(), f[1]);
    EXPECT_EQ(ih.is_open(), ok);
}

INSTANTIATE_TEST_SUITE_P(Files, IhFile, ::testing::ValuesIn(read_cases("ihex_files.txt")),
                         [](const auto& p) { return p.param.name; });

// Reading stops at the end record; rewind starts over, the linear base read afresh.
TEST(IhDecode, EndAndRewind) {
    tern_test::temp_dir_t dir;
    ih_decode_t ih;
    ASSERT_TRUE(ih.scan(dir.write("f.hex", ":020000040800F2\n:0100100041AE\n" + eof_lf)));
    uint32_t addr = 0;
    unsigned len = 0;
    unsigned char data[255];
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(ih.get_data_rec(addr, len, data));
        EXPECT_EQ(addr, 0x08000010u);
        EXPECT_EQ(len, 1u);
        EXPECT_FALSE(ih.get_data_rec(addr, len, data));
        EXPECT_TRUE(ih.is_eof());
        EXPECT_FALSE(ih.get_data_rec(addr, len, data));
        ASSERT_TRUE(ih.rewind());
    }
}

TEST(IhDecode, EmptyDataRecordLeavesTheRangeAlone) {
    tern_test::temp_dir_t dir;
    ih_decode_t ih;
    // empty records at 0x0000 and 0xFFFF around three bytes at 0x0020
    ASSERT_TRUE(
        ih.scan(dir.write("f.hex", ":0000000000\n:03002000010203D7\n:00FFFF0002\n" + eof_lf)))
        << ih.get_err();
    EXPECT_EQ(ih.get_min_addr(), 0x20u);
    EXPECT_EQ(ih.get_max_addr(), 0x22u);
    EXPECT_EQ(ih.get_total_len(), 3u);
    std::ostringstream os;
    ih.dump(os);
    EXPECT_EQ(os.str(), "Min addr: 32\nMax addr: 34\nTotal len: 3\n");
}

TEST(IhDecode, NotOpen) {
    ih_decode_t ih;
    EXPECT_EQ(ih.get_err(), "not initialized");
    uint32_t addr;
    unsigned len;
    unsigned char data[255];
    EXPECT_FALSE(ih.get_data_rec(addr, len, data));
    EXPECT_EQ(ih.get_err(), "not initialized");
    EXPECT_FALSE(ih.scan("/nonexistent/f.hex"));
    EXPECT_EQ(ih.get_err(), "failed to open file: No such file or directory");
}

struct ih_cat_case_t {
    const char* name;
    uint32_t offset;
    size_t size;
    std::vector<std::string> options;
    const char* address_record; // the kind of address record srec_cat must have written
};

class IhSrecCat : public ::testing::TestWithParam<ih_cat_case_t> {};

TEST_P(IhSrecCat, DecoderReadsBackEveryByteAtItsAddress) {
    const ih_cat_case_t& c = GetParam();
    tern_test::temp_dir_t dir;
    const bytes_t image = random_bytes(c.size, static_cast<unsigned>(c.size) + 7);
    const std::string bin = dir.write("img.bin", as_string(image));
    const std::string out = dir.file("img.hex");
    ASSERT_TRUE(srec_cat(bin, c.offset, out, c.options));
    ASSERT_NE(tern_test::temp_dir_t::read(out).find(c.address_record), std::string::npos);

    ih_decode_t ih;
    ASSERT_TRUE(ih.scan(out)) << ih.get_err();
    EXPECT_EQ(ih.get_min_addr(), c.offset);
    EXPECT_EQ(ih.get_max_addr(), c.offset + c.size - 1);
    EXPECT_EQ(ih.get_total_len(), c.size);
    std::map<uint32_t, unsigned char> mem;
    uint32_t addr;
    unsigned len;
    unsigned char data[255];
    while (ih.get_data_rec(addr, len, data))
        for (unsigned i = 0; i < len; ++i) mem[addr + i] = data[i];
    ASSERT_TRUE(ih.is_eof()) << ih.get_err();
    expect_image_at(mem, c.offset, image);
}

INSTANTIATE_TEST_SUITE_P(
    Images, IhSrecCat,
    ::testing::Values(
        ih_cat_case_t{"Linear", 0x0800FF00, 90000, {"-intel"}, "\n:02000004"},
        ih_cat_case_t{"Segment", 0x1F000, 80000, {"-intel", "-address-length=3"}, "\n:02000002"},
        ih_cat_case_t{"CrLf", 0x100, 5000, {"-intel", "-line-termination=crlf"}, "\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
