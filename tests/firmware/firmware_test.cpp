// Firmware files. S-record and Intel hex files and the digests: tables of damaged lines and
// files, and srec_cat, sha256sum and md5sum as oracles over generated images and data. SLB
// images and combined files, and the QVT packages built on them. Cobalt and Harbor component
// files, and the search for firmware files on USB volumes. The test files are built here,
// independently of the decoders under test.
#include "support/cases.h"
#include "support/fake_usbd.h"
#include "support/hex.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"

#include <tern/firmware/cobalt_fw_pkg.h>
#include <tern/firmware/file_scan.h>
#include <tern/firmware/harbor_fw_pkg.h>
#include <tern/firmware/ih_decode.h>
#include <tern/firmware/md5.h>
#include <tern/firmware/qvt_fw_pkg.h>
#include <tern/firmware/sha256sum.h>
#include <tern/firmware/slb_decode.h>
#include <tern/firmware/srec_decode.h>
#include <tern/thread/thread.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using tern_test::case_t;
using tern_test::run_until;
using tern_test::temp_dir_t;
using tern_test::unquote;
using bytes_t = std::vector<unsigned char>;
using mem_t = std::map<uint32_t, unsigned char>;

namespace {

bytes_t random_bytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    bytes_t v(n);
    for (auto& b : v) b = static_cast<unsigned char>(gen());
    return v;
}

std::string as_string(const bytes_t& v) {
    return std::string(v.begin(), v.end());
}

// One S-record line: type, address of `addr_len` bytes, data, checksum and "\n".
std::string srec_line(unsigned type, uint32_t addr, unsigned addr_len, const bytes_t& data) {
    bytes_t body;
    for (unsigned i = addr_len; i-- > 0;)
        body.push_back(static_cast<unsigned char>(addr >> (8 * i)));
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = static_cast<unsigned>(body.size() + 1);
    char buf[8];
    std::snprintf(buf, sizeof buf, "S%u%02X", type, static_cast<unsigned>(body.size() + 1));
    std::string line = buf;
    for (unsigned char b : body) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X\n", ~sum & 0xFF);
    return line + buf;
}

// The hex digests a checksum program (sha256sum, md5sum) prints for `paths`, in their order.
std::vector<std::string> digests_of(const std::string& program,
                                    const std::vector<std::string>& paths) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), paths.begin(), paths.end());
    std::istringstream out(tern_test::run_program(argv).out);
    std::vector<std::string> sums;
    for (std::string line; std::getline(out, line);) sums.push_back(line.substr(0, line.find(' ')));
    return sums;
}

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
TERN_CASES(Lines, SrecLine, "firmware/srec_lines.txt");

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
TERN_CASES(Files, IhFile, "firmware/ihex_files.txt");

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
    bytes_t v = tern_test::from_hex(hex);
    v.insert(v.begin(), body.begin(), body.end());
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

// Empty sections, first, between and last, send nothing.
TEST(SlbSend, BlocksOfTenThousandInChunksOfAThousand) {
    const auto secs = two_sections();
    scanned_t s;
    ASSERT_TRUE(s.scan(single_image(
        "QVTBRAV", "001002003", {{0x100, {}}, secs[0], {0x70000, {}}, secs[1], {0x90000, {}}})));
    std::unique_ptr<slb_fw_t> fw(s.slb.get_fw(0));
    ASSERT_TRUE(fw);
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

// Damaged images and combined files are golden files of tern-fw, which shows their reasons.
TEST(SlbCombined, DigestChecksAndImagesByEngine) {
    scanned_t s;
    slb_decode_t& slb = s.slb;
    const bytes_t alfa = single_image("Bin+Chk", "001002003", two_sections());
    const bytes_t brav = single_image("QVTBRAV", "004005006", {{0x10, random_bytes(100, 5)}});
    const bytes_t file = with_digest(s.dir, combined_body({{"QVTALFA", alfa}, {"QVTBRAV", brav}}));
    ASSERT_TRUE(s.scan(file)) << slb.get_err();
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
TERN_CASES(Files, QvtIni, "firmware/qvt_ini.txt");

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
TERN_CASES(Names, QvtVersion, "firmware/qvt_versions.txt");

const std::string marker_text("QVT SWINFO VER 001", 19); // with its zero byte

struct comp_t {
    unsigned type = 2;
    unsigned product = 2;
    unsigned spin = 0;
    std::vector<std::pair<uint32_t, bytes_t>> data = {{0x1000, bytes_t(20, 0x11)}};
    std::string marker = marker_text;
};

// The five header lines of a component: an empty S0, the marker, the block in two S0 records.
std::string header(const comp_t& c) {
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
    return t + srec_line(0, 0, 2, bytes_t(block.begin() + 24, block.end()));
}

// Lines of one component: its header, data, S7.
std::string component(const comp_t& c) {
    std::string t = header(c);
    for (const auto& d : c.data) t += srec_line(3, d.first, 4, d.second);
    return t + srec_line(7, 0, 4, {});
}

// A component file written as words: "hdr[:TYPE[:VER]]" the header of a component of that type
// (2 by default) under the marker of that version; "marker" the marker record alone; "S0:N" an
// S0 of N zero bytes; "S1:ADDR:N" and "S3:ADDR:N" N bytes at hex ADDR; "S7"; "raw:TEXT" a line.
std::string srec_file(const std::string& words) {
    std::istringstream in(words);
    std::string t;
    for (std::string w; in >> w;) {
        std::vector<std::string> f;
        std::istringstream parts(w);
        for (std::string p; std::getline(parts, p, ':');) f.push_back(p);
        const auto num = [&](size_t i, int base) { return std::stoul(f.at(i), nullptr, base); };
        if (f[0] == "hdr") {
            comp_t c;
            if (f.size() > 1) c.type = static_cast<unsigned>(num(1, 10));
            if (f.size() > 2) c.marker.replace(15, 3, f[2]);
            t += header(c);
        } else if (f[0] == "marker") {
            t += srec_line(0, 0, 2, bytes_t(marker_text.begin(), marker_text.end()));
        } else if (f[0] == "S0") {
            t += srec_line(0, 0, 2, bytes_t(num(1, 10), 0));
        } else if (f[0] == "S7") {
            t += srec_line(7, 0, 4, {});
        } else if (f[0] == "raw") {
            t += f.at(1) + "\n";
        } else {
            const bool s1 = f[0] == "S1";
            t += srec_line(s1 ? 1 : 3, static_cast<uint32_t>(num(1, 16)), s1 ? 2 : 4,
                           bytes_t(num(2, 10), 0x11));
        }
    }
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

// "ok N" for a scan that found N components, else its error text.
template <class Family>
std::string scan_result(const std::string& path) {
    std::list<typename Family::info_t> infos;
    std::string err;
    return scan_all<Family>(path, infos, err) < 0 ? err : "ok " + std::to_string(infos.size());
}

// The files of tests/cases/firmware/scan_errors.txt, scanned as each family.
class ScanErrors : public ::testing::TestWithParam<case_t> {};

TEST_P(ScanErrors, BothFamilies) {
    const std::vector<std::string>& f = GetParam().cols;
    ASSERT_EQ(f.size(), 3u);
    temp_dir_t dir;
    const std::string path = dir.write("a.s19", srec_file(f[0]));
    EXPECT_EQ(scan_result<cobalt_fw_family_t>(path), f[1]);
    EXPECT_EQ(scan_result<harbor_fw_family_t>(path), f[2]);
}
TERN_CASES(Files, ScanErrors, "firmware/scan_errors.txt");

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
    EXPECT_FALSE(cobalt_fw_scan_file(dir.write("b.s19", srec_file("hdr S3:1000:20")), recs, -1));
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
    dir.write("broken.s19", srec_file("hdr S3:1000:20"));
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
    ASSERT_TRUE(bad.open(dir.write("s1.s19", srec_file("hdr S3:1000:20 S1:10:2 S7")), 0, 1));
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
