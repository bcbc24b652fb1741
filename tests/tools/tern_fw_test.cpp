// tern-fw, run as a program over firmware files written by the test.
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sys/stat.h>

using tern_test::run_program;
using tern_test::tool_path;

namespace {

std::string fw() {
    return tool_path("tern-fw");
}

const std::string golden = std::string(TERN_TEST_DATA_DIR) + "/firmware/";

TEST(TernFw, CheckReportsEachFileAndFailsOnAnyBadOne) {
    tern_test::temp_dir_t dir;
    const std::string good = dir.write("p.hex", ":020000040800F2\n:0100100041AE\n:00000001FF\n");
    const std::string bad = dir.write("q.hex", ":0100000041BF\n:00000001FF\n");
    auto r = run_program({fw(), "check", good});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, good + ": ok\n  Intel hex: 1 data bytes at 0x08000010-0x08000010\n");
    r = run_program({fw(), "check", bad, good});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), bad + ": line 1: checksum did not match\n");
    EXPECT_NE(r.out.find(good + ": ok\n"), std::string::npos);
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(TernFw, BlocksOfAnSlbImage) {
    tern_test::temp_dir_t dir;
    // one section of 3 bytes "123" at 0x2000
    std::string img = std::string("QVTBRAV001002003") + std::string(14, '\0') +
                      std::string("\x01\x00\x00\x20\x00\x00\x03\x00\x00\x00", 10) + "123";
    const std::string path = dir.write("e.slb", img);
    auto r = run_program({fw(), "blocks", path});
    EXPECT_EQ(r.status, 0) << r.err;
    // CRC-16/CCITT from 0 of "123" is 0x9752
    EXPECT_EQ(r.out, "start 0x00002000 3 0x0000\ndata 0x00002000 3 0x9752\n"
                     "end 0x00002000 3 0x9752\n");
    r = run_program({fw(), "blocks", path, "QVTALFA"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, path + ": no firmware matches engine\n");
    // A number is an index, however large.
    for (const char* index : {"1", "999", "99999999999999999999"}) {
        r = run_program({fw(), "blocks", path, index});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, path + ": firmware index out of range\n") << index;
    }
}

// A directory or a FIFO is named as what it is (a FIFO must not block the check), and after
// "--" a word starting with "-" is a file.
TEST(TernFw, ArgumentsThatAreNoFirmwareFile) {
    tern_test::temp_dir_t dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    dir.write("-x.hex", ":00000001FF\n");
    auto r = run_program({fw(), "check", dir.path(), dir.file("fifo")}, "", 10);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              dir.path() + ": is a directory\n" + dir.file("fifo") + ": not a regular file\n");
    r = run_program({fw(), "blocks", dir.path()});
    EXPECT_EQ(r.out, dir.path() + ": is a directory\n");
    r = run_program({"/usr/bin/env", "-C", dir.path(), fw(), "check", "--", "-x.hex"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "-x.hex: ok\n  Intel hex: 0 data bytes\n");
    r = run_program({fw(), "check", "-x.hex"});
    EXPECT_EQ(r.status, 2);
}

// A digest libcrypto cannot compute (here: no provider offers SHA-256) fails the check; it is
// never taken as 32 zero bytes, which a file ending in them would match.
TEST(TernFw, DigestThatCannotBeComputedFails) {
    tern_test::temp_dir_t dir;
    std::string file = tern_test::temp_dir_t::read(golden + "combined.slb");
    file.replace(file.size() - 32, 32, std::string(32, '\0'));
    const std::string path = dir.write("zero.slb", file);
    const std::string conf = dir.write("openssl.cnf", "openssl_conf = init\n[init]\n"
                                                      "providers = providers\n[providers]\n"
                                                      "null = null\n[null]\nactivate = 1\n");
    const auto r = run_program({"/usr/bin/env", "OPENSSL_CONF=" + conf, fw(), "check", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, path + ": failed to compute checksum\n");
}

TEST(TernFw, ListFindsFilesInTheTree) {
    tern_test::temp_dir_t dir;
    ASSERT_EQ(::mkdir(dir.file("a").c_str(), 0777), 0);
    const std::string path =
        dir.write("a/nav.s19", tern_test::temp_dir_t::read(golden + "two_components.s19"));
    dir.write("ENGINE.SLB", tern_test::temp_dir_t::read(golden + "single.slb"));
    dir.write("lbmv2,07.hex", tern_test::temp_dir_t::read(golden + "unix_lines.hex"));
    dir.write("IOPV1.5.hex", tern_test::temp_dir_t::read(golden + "segment_crlf.hex"));
    const std::string ini =
        dir.write("install.ini",
                  "gpssoftware=engine.slb\nlbmsoftware=LBMV2,07.HEX\niopsoftware=iopv1.5.hex\n");
    const auto r = run_program({fw(), "list", dir.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, path +
                         ": component 0: cobalt PIOBOOT product 2 version 1.2.3 addresses "
                         "0x00002000-0x00002013 lines 1 size 284\n" +
                         path +
                         ": component 1: cobalt NAV product 2 version 1.2.3.4 addresses "
                         "0x08000000-0x08000007 lines 7 size 245\n" +
                         ini + ": QVT package: GPS " + dir.file("ENGINE.SLB") + "\n" + ini +
                         ": QVT package: LBM " + dir.file("lbmv2,07.hex") + " version 2.7\n" + ini +
                         ": QVT package: IOP " + dir.file("IOPV1.5.hex") + " version 1.5\n");
}

// Each file of tests/golden/firmware beside its NAME.expected output of "tern-fw check NAME",
// where FILE stands for the path; the README there says what each file holds.
std::vector<std::string> golden_files() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(golden, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() > 9 && name.compare(name.size() - 9, 9, ".expected") == 0)
            names.push_back(name.substr(0, name.size() - 9));
    }
    std::sort(names.begin(), names.end());
    return names;
}

class TernFwGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(TernFwGolden, CheckOutput) {
    const std::string input = golden + GetParam();
    std::string want = tern_test::temp_dir_t::read(input + ".expected");
    for (size_t at; (at = want.find("FILE")) != std::string::npos;) want.replace(at, 4, input);
    const auto r = run_program({fw(), "check", input});
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(r.status, want.find(": ok\n") != std::string::npos ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Files, TernFwGolden, ::testing::ValuesIn(golden_files()),
                         [](const auto& p) {
                             std::string name = p.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

} // namespace
