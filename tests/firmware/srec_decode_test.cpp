#include "fw_test_util.h"
#include "support/scratch.h"

#include <tern/firmware/srec_decode.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

using namespace fw_test;

namespace {

// A decoder over `text` written to a fresh file, its lines numbered from `first_line`.
struct srec_in_t {
    tern_test::temp_dir_t dir;
    std::unique_ptr<FILE, int (*)(FILE*)> f;
    srec_decode_t dec;
    explicit srec_in_t(const std::string& text, unsigned first_line = 1)
        : f(fopen(dir.write("f.s19", text).c_str(), "rb"), &fclose) {
        dec.init(f.get(), first_line);
    }
};

// A file of a line or two each (tests/cases/firmware/srec_lines.txt): the result of the first
// get_rec and the description it leaves.
class SrecLine : public ::testing::TestWithParam<case_t> {};

TEST_P(SrecLine, ResultAndText) {
    const std::vector<std::string>& f = GetParam().fields;
    ASSERT_GE(f.size(), 2u);
    srec_in_t in(f[0]);
    srec_t rec;
    EXPECT_EQ(in.dec.get_rec(rec), std::stoi(f[1]));
    EXPECT_EQ(in.dec.get_desc(), f.size() > 2 ? f[2] : "");
}

INSTANTIATE_TEST_SUITE_P(Lines, SrecLine, ::testing::ValuesIn(read_cases("srec_lines.txt")),
                         [](const auto& p) { return p.param.name; });

TEST(SrecRecord, TextFormAndCounts) {
    srec_in_t in("S107001001020304de\nS3090800001041424344D4\nS70508000010E2\n");
    srec_t rec;
    std::ostringstream os;
    for (int n = 1; n <= 3; ++n) {
        ASSERT_EQ(in.dec.get_rec(rec), n);
        os << rec;
    }
    EXPECT_EQ(os.str(), "S107001001020304DE\nS3090800001041424344D4\nS70508000010E2\n");
    EXPECT_EQ(rec.data_len(), 0u);
    EXPECT_EQ(rec.checksum(), 0xE2);
    EXPECT_EQ(in.dec.get_rec(rec), 0);
    EXPECT_EQ(in.dec.rec_num(), 3u);
    EXPECT_EQ(in.dec.line_num(), 3u);
}

TEST(SrecDecode, LineNumbersStartWhereToldAndCountBadLines) {
    srec_decode_t fresh;
    srec_t rec;
    EXPECT_EQ(fresh.get_rec(rec), 0);
    EXPECT_EQ(fresh.get_desc(), "not initialized");
    srec_in_t in("S9030000FC\nS9030000FD\n", 41);
    EXPECT_EQ(in.dec.get_rec(rec), 1);
    EXPECT_EQ(in.dec.get_rec(rec), -1);
    EXPECT_EQ(in.dec.get_desc(), "line 42: checksum mismatch: expected 253; computed 252");
}

TEST(SrecFilename, S19InAnyCase) {
    for (const char* name : {"a.s19", "NAV.S19", ".s19"}) EXPECT_TRUE(srec_filename_check(name));
    for (const char* name : {"s19", "a.s19.bak", "a.s28"}) EXPECT_FALSE(srec_filename_check(name));
}

TEST(SrecLoader, FrameCounterSkipsZero) {
    srec_in_t in("");
    srec_loader_t loader;
    unsigned char buf[4];
    for (unsigned i = 1; i <= 255; ++i) {
        loader.load(in.dec, buf, 4);
        ASSERT_EQ(loader.frame(), i);
    }
    loader.load(in.dec, buf, 4);
    EXPECT_EQ(loader.frame(), 1);
    loader.reset();
    loader.load(in.dec, buf, 4);
    EXPECT_EQ(loader.frame(), 1);
}

TEST(SrecLoader, GapStartsANewFrameAndLosesNothing) {
    const bytes_t a = random_bytes(10, 2), b = random_bytes(6, 3);
    srec_in_t in(srec_line(3, 0x2000, 4, a) + srec_line(3, 0x3000, 4, b) +
                 srec_line(3, 0x3006, 4, a));
    srec_loader_t loader;
    unsigned char buf[64];
    ASSERT_GT(loader.load(in.dec, buf, 64), 0);
    EXPECT_EQ(loader.addr(), 0x2000u);
    EXPECT_EQ(bytes_t(buf, buf + loader.size()), a);
    ASSERT_GT(loader.load(in.dec, buf, 64), 0);
    EXPECT_EQ(loader.addr(), 0x3000u);
    ASSERT_EQ(loader.size(), 16u);
    EXPECT_EQ(bytes_t(buf, buf + 6), b);
    EXPECT_EQ(bytes_t(buf + 6, buf + 16), a);
    EXPECT_EQ(loader.load(in.dec, buf, 64), 0);
}

// Without skipping, a record other than S3 fails the load, and every load after it. (Loading
// past a header until S7, and an S1 among the data, are the component loader's tests.)
TEST(SrecLoader, WithoutSkipOtherTypesFail) {
    srec_in_t in(srec_line(0, 0, 2, {'h', 'd', 'r'}) + srec_line(3, 0x1000, 4, {1, 2}));
    srec_loader_t loader;
    loader.skip(false);
    unsigned char buf[100];
    EXPECT_EQ(loader.load(in.dec, buf, 100), -1);
    EXPECT_EQ(in.dec.get_desc(), "line 1: unexpected record type S0");
    EXPECT_EQ(loader.load(in.dec, buf, 100), -1);
}

// srec_cat writes the image; every byte must come back at its address.
struct srec_cat_case_t {
    const char* name;
    uint32_t offset;
    size_t size;
    const char* address_length;
    char data_type; // record type srec_cat must have used
};

class SrecCat : public ::testing::TestWithParam<srec_cat_case_t> {};

TEST_P(SrecCat, DecoderReadsBackEveryByteAtItsAddress) {
    const srec_cat_case_t& c = GetParam();
    tern_test::temp_dir_t dir;
    const bytes_t image = random_bytes(c.size, static_cast<unsigned>(c.size));
    const std::string bin = dir.write("img.bin", as_string(image));
    const std::string out = dir.file("img.s19");
    ASSERT_TRUE(srec_cat(bin, c.offset, out, {"-motorola", c.address_length}));
    const std::string text = tern_test::temp_dir_t::read(out);
    ASSERT_NE(text.find(std::string("\nS") + c.data_type), std::string::npos);

    srec_in_t in(text);
    srec_t rec;
    std::map<uint32_t, unsigned char> mem;
    int r;
    while ((r = in.dec.get_rec(rec)) > 0) {
        const unsigned t = rec.type();
        if (t < 1 || t > 3) continue;
        const uint32_t a = t == 1 ? rec.addr16() : t == 2 ? rec.addr24() : rec.addr32();
        for (unsigned i = 0; i < rec.data_len(); ++i) mem[a + i] = rec.data()[i];
    }
    ASSERT_EQ(r, 0) << in.dec.get_desc();
    expect_image_at(mem, c.offset, image);
    if (c.data_type != '3') return;

    // The loader hands out an S3 image whole, each frame where the last one ended.
    srec_in_t again(text);
    srec_loader_t loader;
    std::vector<unsigned char> buf(1024);
    bytes_t got;
    uint32_t next = c.offset;
    while (loader.load(again.dec, buf.data(), 1024) > 0) {
        ASSERT_EQ(loader.addr(), next);
        got.insert(got.end(), buf.begin(), buf.begin() + loader.size());
        next += loader.size();
    }
    EXPECT_EQ(got, image);
}

INSTANTIATE_TEST_SUITE_P(
    Images, SrecCat,
    ::testing::Values(srec_cat_case_t{"s1", 0x0100, 3000, "-address-length=2", '1'},
                      srec_cat_case_t{"s2", 0x0FFF0, 70001, "-address-length=3", '2'},
                      srec_cat_case_t{"s3", 0x08010000, 50000, "-address-length=4", '3'}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
