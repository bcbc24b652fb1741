// tern-fw, run as a program over firmware files written by the test.
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>

using tern_test::run_program;
using tern_test::tool_path;

namespace {

std::string fw() {
    return tool_path("tern-fw");
}

// S-record line with its checksum.
std::string s_line(unsigned type, const std::string& body_hex) {
    unsigned sum = static_cast<unsigned>(body_hex.size() / 2 + 1);
    for (size_t i = 0; i < body_hex.size(); i += 2)
        sum += static_cast<unsigned>(std::stoul(body_hex.substr(i, 2), nullptr, 16));
    char head[24], tail[4];
    std::snprintf(head, sizeof head, "S%u%02X", type, unsigned(body_hex.size() / 2 + 1));
    std::snprintf(tail, sizeof tail, "%02X", ~sum & 0xFF);
    return head + body_hex + tail + "\n";
}

// One NAV component of product 2, version 1.2.3, with 4 bytes at 0x1000.
std::string nav_component() {
    std::string block(128, '0');
    block.replace(8, 8, "01020302"); // major, minor, build, type 2 (NAV)
    block.replace(64, 2, "02");      // product 2
    return s_line(0, "0000" + std::string("515654205357494E464F205645522030303100")) +
           s_line(0, "0000" + block) + s_line(3, "0000100011223344") + s_line(7, "00000000");
}

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

TEST(TernFw, CheckListsComponentsOfAnS19File) {
    tern_test::temp_dir_t dir;
    const std::string text = nav_component();
    const std::string path = dir.write("nav.s19", text);
    const auto r = run_program({fw(), "check", path});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, path +
                         ": ok\n  S-record: 4 records, 4 data bytes at 0x00001000-0x00001003\n"
                         "  component 0: cobalt NAV product 2 version 1.2.3 addresses "
                         "0x00001000-0x00001003 lines 1 size " +
                         std::to_string(text.size()) + "\n");
    const std::string torn = dir.write("torn.s19", text + text.substr(0, text.find('\n') + 1));
    const auto t = run_program({fw(), "check", torn});
    EXPECT_EQ(t.status, 1);
    EXPECT_EQ(t.out, torn + ": end of file while reading\n");
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
    r = run_program({fw(), "check", dir.write("cut.slb", img.substr(0, img.size() - 1))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, dir.file("cut.slb") + ": failed to locate magic string at start of header\n");
}

TEST(TernFw, ListFindsFilesInTheTree) {
    tern_test::temp_dir_t dir;
    const std::string sub = dir.path() + "/a/b";
    ASSERT_EQ(system(("mkdir -p " + sub).c_str()), 0);
    const std::string path = dir.write("a/b/nav.s19", nav_component());
    const std::string golden = std::string(TERN_TEST_DATA_DIR) + "/firmware/";
    dir.write("ENGINE.SLB", tern_test::temp_dir_t::read(golden + "single.slb"));
    dir.write("lbmv2,07.hex", tern_test::temp_dir_t::read(golden + "unix_lines.hex"));
    dir.write("IOPV1.5.hex", tern_test::temp_dir_t::read(golden + "segment_crlf.hex"));
    const std::string ini =
        dir.write("install.ini",
                  "gpssoftware=engine.slb\nlbmsoftware=LBMV2,07.HEX\niopsoftware=iopv1.5.hex\n");
    const auto r = run_program({fw(), "list", dir.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, path +
                         ": component 0: cobalt NAV product 2 version 1.2.3 addresses "
                         "0x00001000-0x00001003 lines 1 size " +
                         std::to_string(nav_component().size()) + "\n" + ini +
                         ": QVT package: GPS " + dir.file("ENGINE.SLB") + "\n" + ini +
                         ": QVT package: LBM " + dir.file("lbmv2,07.hex") + " version 2.7\n" + ini +
                         ": QVT package: IOP " + dir.file("IOPV1.5.hex") + " version 1.5\n");
}

TEST(TernFw, Usage) {
    const std::regex diag("tern-fw:[0-9]+: .*\\(see --help\\)\n");
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"frobnicate"},
                                                 {"check"},
                                                 {"list"},
                                                 {"check", "--bogus"},
                                                 {"blocks", "a", "b", "c"}}) {
        std::vector<std::string> argv{fw()};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = run_program(argv);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(std::regex_match(r.err, diag)) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    const auto h = run_program({fw(), "--help"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out.rfind("usage: tern-fw check FILE...", 0), 0u);
}

} // namespace

namespace {

// Each file of tests/golden/firmware beside its NAME.expected output of "tern-fw check NAME",
// where FILE stands for the path.
TEST(TernFw, GoldenFiles) {
    const std::string dir = std::string(TERN_TEST_DATA_DIR) + "/firmware";
    int checked = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string path = e.path().string();
        if (path.size() < 9 || path.compare(path.size() - 9, 9, ".expected") != 0) continue;
        const std::string input = path.substr(0, path.size() - 9);
        std::string want = tern_test::temp_dir_t::read(path);
        for (size_t at; (at = want.find("FILE")) != std::string::npos;) want.replace(at, 4, input);
        const auto r = run_program({fw(), "check", input});
        EXPECT_EQ(r.out, want) << input;
        EXPECT_EQ(r.status, want.find(": ok\n") != std::string::npos ? 0 : 1) << input;
        ++checked;
    }
    EXPECT_GE(checked, 14);
}

} // namespace
