// S-record and Intel hex files, and the digests: tables of damaged lines and files, and
// srec_cat, sha256sum and md5sum as oracles over generated images and data.
#include "fw_test_util.h"
#include "support/cases.h"

#include <tern/firmware/ih_decode.h>
#include <tern/firmware/md5.h>
#include <tern/firmware/sha256sum.h>
#include <tern/firmware/srec_decode.h>

#include <map>
#include <memory>

using namespace fw_test;
using tern_test::case_t;
using tern_test::temp_dir_t;
using tern_test::unquote;
using mem_t = std::map<uint32_t, unsigned char>;

namespace {

// A decoder over `text` written to a fresh file, its lines numbered from `first_line`.
struct srec_in_t {
    temp_dir_t dir;
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
    const std::vector<std::string>& f = GetParam().cols;
    ASSERT_GE(f.size(), 2u);
    srec_in_t in(unquote(f[0]));
    srec_t rec;
    EXPECT_EQ(in.dec.get_rec(rec), std::stoi(f[1]));
    EXPECT_EQ(in.dec.get_desc(), f.size() > 2 ? f[2] : "");
}
INSTANTIATE_TEST_SUITE_P(Lines, SrecLine,
                         ::testing::ValuesIn(tern_test::read_cases("firmware/srec_lines.txt")),
                         tern_test::case_name);

// The files of tests/cases/firmware/ihex_files.txt: "ok", or the reason scan gives.
class IhFile : public ::testing::TestWithParam<case_t> {};

TEST_P(IhFile, ScanResult) {
    const std::vector<std::string>& f = GetParam().cols;
    ASSERT_EQ(f.size(), 2u);
    temp_dir_t dir;
    ih_decode_t ih;
    const bool ok = ih.scan(dir.write("f.hex", unquote(f[0])));
    EXPECT_EQ(ok ? "ok" : ih.get_err(), f[1]);
    EXPECT_EQ(ih.is_open(), ok);
}
INSTANTIATE_TEST_SUITE_P(Files, IhFile,
                         ::testing::ValuesIn(tern_test::read_cases("firmware/ihex_files.txt")),
                         tern_test::case_name);

// Random images of a fixed seed in an address space whose last address is `top`: by turns at
// address 0, ending on `top`, and anywhere; srec_cat writes each in `format` with a random
// number of data bytes per record (up to `block`) and LF or CR LF line ends.
struct image_t {
    uint32_t offset = 0;
    bytes_t data;
    std::string text; // as srec_cat wrote it
    mem_t mem() const {
        mem_t m;
        for (size_t i = 0; i < data.size(); ++i) m[uint32_t(offset + i)] = data[i];
        return m;
    }
};

image_t srec_cat_image(std::mt19937& gen, int n, uint64_t top, unsigned block,
                       const std::vector<std::string>& format) {
    temp_dir_t dir;
    image_t img;
    img.data = random_bytes(1 + gen() % 6000, static_cast<unsigned>(gen()));
    const uint64_t last = top + 1 - img.data.size();
    img.offset = uint32_t(n % 3 == 0 ? 0 : n % 3 == 1 ? last : gen() % last);
    const std::string bin = dir.write("img.bin", as_string(img.data));
    std::vector<std::string> argv = {"/usr/bin/srec_cat",        bin,  "-binary",      "-offset",
                                     std::to_string(img.offset), "-o", dir.file("out")};
    argv.insert(argv.end(), format.begin(), format.end());
    argv.push_back("-obs=" + std::to_string(1 + gen() % block));
    argv.push_back(gen() % 2 ? "-line-termination=crlf" : "-line-termination=nl");
    EXPECT_EQ(tern_test::run_program(argv).status, 0);
    img.text = temp_dir_t::read(dir.file("out"));
    return img;
}

// Every record comes back as srec_cat wrote it, every byte at its address; the loader hands
// an S3 image out whole, each frame where the last one ended, frames counted 1 to 255 and
// round again, never 0.
TEST(SrecCat, EveryRecordAndEveryByteComesBack) {
    std::mt19937 gen(22);
    for (int n = 0; n < 30; ++n) {
        const unsigned alen = 2 + unsigned(n / 3) % 3; // S1, S2, S3 by turns
        const image_t img =
            srec_cat_image(gen, n, (uint64_t(1) << 8 * alen) - 1, 253 - alen,
                           {"-motorola", "-address-length=" + std::to_string(alen)});
        SCOPED_TRACE("image " + std::to_string(n) + " at " + std::to_string(img.offset));
        srec_in_t in(img.text);
        std::istringstream lines(img.text);
        srec_t rec;
        mem_t mem;
        int r;
        for (std::string line; (r = in.dec.get_rec(rec)) > 0;) {
            std::getline(lines, line);
            std::ostringstream os;
            os << rec;
            ASSERT_EQ(os.str(), line.substr(0, line.find('\r')) + "\n");
            const unsigned t = rec.type();
            if (t < 1 || t > 3) continue;
            ASSERT_EQ(t, alen - 1);
            const uint32_t a = t == 1 ? rec.addr16() : t == 2 ? rec.addr24() : rec.addr32();
            for (unsigned i = 0; i < rec.data_len(); ++i) mem[a + i] = rec.data()[i];
        }
        ASSERT_EQ(r, 0) << in.dec.get_desc();
        EXPECT_EQ(in.dec.line_num(), unsigned(std::count(img.text.begin(), img.text.end(), '\n')));
        EXPECT_TRUE(mem == img.mem());
        if (alen != 4) continue;

        srec_in_t again(img.text);
        srec_loader_t loader;
        const unsigned max = 1 + static_cast<unsigned>(gen() % 64);
        std::vector<unsigned char> buf(max);
        bytes_t got;
        for (unsigned k = 0; loader.load(again.dec, buf.data(), max) > 0; ++k) {
            ASSERT_EQ(loader.addr(), img.offset + got.size());
            ASSERT_EQ(loader.frame(), k % 255 + 1);
            got.insert(got.end(), buf.begin(), buf.begin() + loader.size());
        }
        EXPECT_EQ(got, img.data);
    }
}

// Linear (type 4) and segment (type 2) addresses: every byte comes back at its address, and
// the range and count are those of the image.
TEST(IhSrecCat, EveryByteComesBackAtItsAddress) {
    std::mt19937 gen(23);
    for (int n = 0; n < 30; ++n) {
        const bool segment = n / 3 % 2;
        std::vector<std::string> format = {"-intel"};
        if (segment) format.push_back("-address-length=3");
        const image_t img = srec_cat_image(gen, n, segment ? 0xFFFFF : 0xFFFFFFFF, 255, format);
        SCOPED_TRACE("image " + std::to_string(n) + " at " + std::to_string(img.offset));
        ASSERT_EQ(img.text.find(segment ? ":02000004" : ":02000002"), std::string::npos);
        temp_dir_t dir;
        ih_decode_t ih;
        ASSERT_TRUE(ih.scan(dir.write("f.hex", img.text))) << ih.get_err();
        EXPECT_EQ(ih.get_min_addr(), img.offset);
        EXPECT_EQ(ih.get_max_addr(), img.offset + img.data.size() - 1);
        EXPECT_EQ(ih.get_total_len(), img.data.size());
        mem_t mem;
        uint32_t addr;
        unsigned len;
        unsigned char data[255];
        while (ih.get_data_rec(addr, len, data))
            for (unsigned i = 0; i < len; ++i) mem[addr + i] = data[i];
        ASSERT_TRUE(ih.is_eof()) << ih.get_err();
        EXPECT_TRUE(mem == img.mem());
    }
}

TEST(SrecDecode, LineNumbersStartWhereToldAndCountBadLines) {
    srec_t rec;
    srec_in_t in("S9030000FC\nS9030000FD\n", 41);
    EXPECT_EQ(in.dec.get_rec(rec), 1);
    EXPECT_EQ(in.dec.get_rec(rec), -1);
    EXPECT_EQ(in.dec.get_desc(), "line 42: checksum mismatch: expected 253; computed 252");
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

// Reading stops at the end record; rewind starts over, the linear base read afresh.
TEST(IhDecode, EndAndRewind) {
    temp_dir_t dir;
    ih_decode_t ih;
    ASSERT_TRUE(ih.scan(dir.write("f.hex", ":020000040800F2\n:0100100041AE\n:00000001FF\n")));
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
    temp_dir_t dir;
    ih_decode_t ih;
    // empty records at 0x0000 and 0xFFFF around three bytes at 0x0020
    ASSERT_TRUE(
        ih.scan(dir.write("f.hex", ":0000000000\n:03002000010203D7\n:00FFFF0002\n:00000001FF\n")))
        << ih.get_err();
    EXPECT_EQ(ih.get_min_addr(), 0x20u);
    EXPECT_EQ(ih.get_max_addr(), 0x22u);
    EXPECT_EQ(ih.get_total_len(), 3u);
    std::ostringstream os;
    ih.dump(os);
    EXPECT_EQ(os.str(), "Min addr: 32\nMax addr: 34\nTotal len: 3\n");
}

// Data of every length up to past two blocks, around the 55/56/64-byte padding boundaries
// and long, fed in uneven pieces, against sha256sum and md5sum; get_sum starts afresh, so
// a second digest is that of nothing (the first length).
TEST(Digest, MatchesTheSystemTools) {
    temp_dir_t dir;
    std::mt19937 gen(24);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 130; ++n) lengths.push_back(n);
    for (int i = 0; i < 20; ++i) lengths.push_back(131 + gen() % 200000);
    std::vector<std::string> paths, sha, md5;
    for (size_t len : lengths) {
        const bytes_t data = random_bytes(len, static_cast<unsigned>(gen()));
        paths.push_back(dir.write(std::to_string(paths.size()), as_string(data)));
        sha256sum_t s;
        md5_state_t m;
        md5_init(&m);
        size_t piece = 1;
        for (size_t at = 0; at < data.size(); at += piece, piece = piece * 3 % 97 + 1) {
            const size_t n = std::min(piece, data.size() - at);
            s.add_data(data.data() + at, n);
            md5_append(&m, data.data() + at, n);
        }
        unsigned char sum[32];
        s.get_sum(sum);
        sha.push_back(sha256sum_t::sum_string(sum));
        md5_finish(&m, sum);
        char hex[33];
        for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", sum[i]);
        md5.push_back(hex);
        s.get_sum(sum);
        ASSERT_EQ(sha256sum_t::sum_string(sum), sha.front());
    }
    EXPECT_EQ(sha, digests_of("/usr/bin/sha256sum", paths));
    EXPECT_EQ(md5, digests_of("/usr/bin/md5sum", paths));
    // The word form: the same digest in words of 8 digits.
    sha256sum_t s;
    unsigned char sum[32];
    s.get_sum(sum);
    std::string words = sha[0];
    for (size_t at = 56; at > 0; at -= 8) words.insert(at, " ");
    EXPECT_EQ(sha256sum_t::sum_string(sum, " "), words);
}

} // namespace
