// The programs run as processes (tern-log and tern-usbd-sim have their own file): tern-dump and
// tern-sim, the usage and failure texts of every program, tern-fw over firmware files,
// tern-snapshot, tern-sensor and tern-nmea.
// GCC 12 with the sanitizers reports <regex> internals as maybe uninitialized (a false
// positive inside the standard library).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "programs.h"
#include "support/cases.h"
#include "support/codec.h"
#include "support/frames.h"
#include "support/hex.h"
#include "support/loopback.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"
#include "support/text.h"
#include "support/usock.h"

#include <tern/msg/catalogue.h>
#include <tern/msg/data_msgs.h>
#include <tern/msg/fb_msgs.h>
#include <tern/util/time_util.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using tern_test::from_hex;
using tern_test::raw_connect;
using tern_test::run_program;
using tern_test::temp_dir_t;
using tern_test::tool_path;
using tern_tools_test::background_t;
using tern_tools_test::child_t;
using tern_tools_test::has;
using tern_tools_test::sim_frames;

namespace {

std::string bytes(const std::string& hex) {
    const auto v = from_hex(hex);
    return std::string(v.begin(), v.end());
}

const std::string init_ui = "02 04 00 01 00 FF 01 AA E1 03";
const std::string unknown_data_49 = "02 04 00 31 00 02 03 9C 88 03";
const std::string short_pos = "02 07 00 0A 00 02 03 00 00 01 FE CD 03";
const std::string pos_lat_only = "02 16 00 0A 00 02 03 00 00 00 40 FC 54 D9 41 00 01 00 00 00 00 "
                                 "00 00 F0 3F 98 AA 03";
const std::string pos_text = "**** cat 3 type 10 port 2\n"
                             "utc_tstamp 1700000000.000000 gps_time_valid 0\n"
                             "latitude_valid 1 latitude 57.295780 longitude_valid 0\n";

// Standard error with the "program:pid: " before each line taken off; a line without it, and
// an end without a line end, are marked.
std::string without_prefix(const std::string& err, const std::string& program = "tern-nmea") {
    std::string out;
    const std::regex line("^" + program + ":[0-9]+: (.*)$");
    std::smatch m;
    std::istringstream lines(err);
    for (std::string l; std::getline(lines, l);)
        out += (std::regex_match(l, m, line) ? m[1].str() : "UNPREFIXED " + l) + "\n";
    return err.empty() || err.back() == '\n' ? out : out + "(no line end)";
}

} // namespace

// A recorded stream: text and stray start bytes, every class of the main catalogue with frames
// torn, cut short and with bad checksums or end bytes among them, random bytes, an unknown
// class, a payload too short for its class and a frame torn at the very end.
TEST(TernDump, RecordedStreamGivesItsExpectedText) {
    const std::string dir = std::string(TERN_TEST_DATA_DIR) + "/dump/";
    const auto input = from_hex(tern_test::temp_dir_t::read(dir + "recorded.hex"));
    const auto r =
        run_program({tool_path("tern-dump"), "--check"}, std::string(input.begin(), input.end()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, tern_test::temp_dir_t::read(dir + "recorded.txt"));
    EXPECT_EQ(without_prefix(r.err, "tern-dump"), "frames 114, messages 112, bytes skipped 806\n");
}

using TernDumpCase = testing::TestWithParam<tern_test::case_t>;

TEST_P(TernDumpCase, WritesItsText) {
    const auto& c = GetParam().cols; // arguments, frames, standard output
    ASSERT_EQ(c.size(), 3u);
    const tern_test::temp_dir_t tmp;
    std::vector<std::string> argv = {tool_path("tern-dump")};
    std::istringstream words(c[0] == "-" ? "" : c[0]);
    for (std::string w; words >> w;) argv.push_back(w == "{input}" ? tmp.file("frames") : w);
    tmp.write("frames", bytes(c[1]));
    const auto r = run_program(argv, argv.back() == tmp.file("frames") ? "" : bytes(c[1]));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, tern_test::unquote(c[2]));
}
TERN_CASES(File, TernDumpCase, "tools/dump.txt");

TEST(TernSim, StreamDecodesCleanlyAndIsDeterministic) {
    const std::string sim = sim_frames(3);
    EXPECT_EQ(sim, sim_frames(3));
    const auto dump = run_program({tool_path("tern-dump"), "--check"}, sim);
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(dump.out.find("differs"), std::string::npos);
    // An unknown or short frame would be a frame without its message.
    const std::string s = without_prefix(dump.err, "tern-dump");
    EXPECT_TRUE(std::regex_match(s, std::regex("frames ([0-9]+), messages \\1, bytes skipped 0\n")))
        << s;

    // Every epoch has one time stamp, valid GPS time, and these kinds of data.
    for (const char* type :
         {" type 10 ", " type 9 ",  " type 16 ", " type 1 ",  " type 8 ",  " type 12 ", " type 14 ",
          " type 15 ", " type 13 ", " type 4 ",  " type 5 ",  " type 2 ",  " type 3 ",  " type 35 ",
          " type 31 ", " type 32 ", " type 33 ", " type 34 ", " type 11 ", " type 17 ", " type 18 ",
          " type 25 ", " type 26 ", " type 30 ", " type 36 ", " type 41 "})
        EXPECT_NE(dump.out.find(std::string("**** cat 3") + type), std::string::npos) << type;
    for (const char* t : {"utc_tstamp 1700000000.000000 gps_time_valid 1 gps_week 2288",
                          "utc_tstamp 1700000002.000000 gps_time_valid 1"})
        EXPECT_NE(dump.out.find(t), std::string::npos) << t;
    EXPECT_EQ(dump.out.find("utc_tstamp 1700000003"), std::string::npos);
}

TEST(TernSim, StartAndRate) {
    const auto sim = run_program(
        {tool_path("tern-sim"), "--epochs", "2", "--rate", "50", "--start", "1000000000.5"});
    ASSERT_EQ(sim.status, 0);
    const auto dump = run_program({tool_path("tern-dump")}, sim.out);
    EXPECT_NE(dump.out.find("utc_tstamp 1000000000.500000"), std::string::npos);
    EXPECT_NE(dump.out.find("utc_tstamp 1000000000.520000"), std::string::npos);
}

namespace {

std::string sock_name(const char* tag) {
    return "@tern-tools-" + std::to_string(getpid()) + "-" + tag;
}

} // namespace

// On a socket and a TCP port tern-sim connects to a listening tern-dump; on the pipe transport
// the frames go over the standard streams.
TEST(TernTransport, DumpListensAndSimConnects) {
    const std::string plain = sim_frames(3);
    const std::string expected = run_program({tool_path("tern-dump")}, plain).out;
    ASSERT_FALSE(expected.empty());

    for (const std::string& where :
         {"socket=" + sock_name("sim"), "port=" + std::to_string(tern_test::free_port())}) {
        background_t dump({tool_path("tern-dump"), "--listen", where});
        // tern-sim retries once per second until the listener is up.
        const auto sim = run_program(
            {tool_path("tern-sim"), "--connect", where, "--epochs", "3", "--rate", "0"});
        EXPECT_EQ(sim.status, 0) << where << sim.err;
        auto& d = dump.wait();
        EXPECT_EQ(d.status, 0) << where << d.err;
        EXPECT_EQ(d.out, expected) << where;
        // The TCP listener also says where it listens and whom it accepted.
        EXPECT_TRUE(has(without_prefix(d.err, "tern-dump"), "frames 96, messages 96\n")) << d.err;
    }
    const auto sim =
        run_program({tool_path("tern-sim"), "--connect", "pipe", "--epochs", "3", "--rate", "0"});
    EXPECT_EQ(sim.status, 0) << sim.err;
    EXPECT_EQ(sim.out, plain);
    const auto dump = run_program({tool_path("tern-dump"), "--listen", "pipe"}, plain);
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out, expected);
    EXPECT_EQ(without_prefix(dump.err, "tern-dump"), "frames 96, messages 96\n");
}

TEST(TernTransport, DumpOnASocketSkipsGarbageAndTornFramesSentByteByByte) {
    const std::string name = sock_name("bytes");
    background_t dump({tool_path("tern-dump"), "--listen", "socket=" + name});
    int fd = -1;
    ASSERT_TRUE(tern_test::run_until([&] { return (fd = raw_connect(name)) >= 0; }, 5));
    const std::string input = bytes("41 42 " + init_ui + " " + unknown_data_49 + " 00 " +
                                    short_pos + " " + pos_lat_only + " 02 FF");
    for (char c : input) ASSERT_EQ(write(fd, &c, 1), 1);
    close(fd); // hang up
    auto& d = dump.wait();
    EXPECT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(d.out, "**** cat 1 type 1 port 255\n"
                     "unknown message: cat 3 type 49 port 2\n"
                     "short message: cat 3 type 10 port 2\n" +
                         pos_text);
    EXPECT_EQ(without_prefix(d.err, "tern-dump"), "frames 4, messages 2\n");
}

using Programs = testing::TestWithParam<tern_test::case_t>;

// Bad usage exits 2 and failed work 1, with nothing on standard output and every line on
// standard error prefixed "program:pid: "; --help prints the usage on standard output.
TEST_P(Programs, UsageAndFailuresReportedOnStandardError) {
    const auto& c = GetParam().cols; // arguments, exit status, text
    ASSERT_EQ(c.size(), 3u);
    const std::string partial = TERN_TEST_DATA_DIR "/../cases/tools/partial.cfg";
    const auto with_partial = [&](std::string s) {
        return std::regex_replace(s, std::regex("\\{partial\\}"), partial);
    };
    std::vector<std::string> argv;
    std::istringstream words(with_partial(c[0]));
    for (std::string w; words >> w;) argv.push_back(argv.empty() ? tool_path(w) : w);
    const auto r = run_program(argv);
    const int status = std::stoi(c[1]);
    EXPECT_EQ(r.status, status);
    const std::string err = without_prefix(r.err, c[0].substr(0, c[0].find(' ')));
    const std::string& got = status == 0 ? r.out : err;
    EXPECT_EQ(status == 0 ? r.err : r.out, "");
    const std::string text = with_partial(tern_test::unquote(c[2]));
    if (text.back() == '\n')
        EXPECT_EQ(got, text);
    else
        EXPECT_EQ(got.substr(0, text.size()), text);
}
TERN_CASES(File, Programs, "tools/usage.txt");

// ---- tern-fw over firmware files written by the test.
namespace {

const std::string fw = tool_path("tern-fw");

const std::string fw_golden = std::string(TERN_TEST_DATA_DIR) + "/firmware/";

// Each file is reported in the order given, and a bad one among good ones fails the run.
TEST(TernFw, CheckReportsEachFileAndFailsOnAnyBadOne) {
    const std::string bad = fw_golden + "no_end.hex", good = fw_golden + "unix_lines.hex";
    const auto r = run_program({fw, "check", bad, good});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, bad + ": missing end-of-file record\n" + good +
                         ": ok\n  Intel hex: 32 data bytes at 0x0800fff0-0x0801000f\n");
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(TernFw, BlocksOfAnSlbImage) {
    tern_test::temp_dir_t dir;
    // one section of 3 bytes "123" at 0x2000
    std::string img = std::string("QVTBRAV001002003") + std::string(14, '\0') +
                      std::string("\x01\x00\x00\x20\x00\x00\x03\x00\x00\x00", 10) + "123";
    const std::string path = dir.write("e.slb", img);
    auto r = run_program({fw, "blocks", path});
    EXPECT_EQ(r.status, 0) << r.err;
    // CRC-16/CCITT from 0 of "123" is 0x9752
    EXPECT_EQ(r.out, "start 0x00002000 3 0x0000\ndata 0x00002000 3 0x9752\n"
                     "end 0x00002000 3 0x9752\n");
    r = run_program({fw, "blocks", path, "QVTALFA"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, path + ": no firmware matches engine\n");
    // A number is an index, however large.
    for (const char* index : {"1", "999", "99999999999999999999"}) {
        r = run_program({fw, "blocks", path, index});
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
    auto r = run_program({fw, "check", dir.path(), dir.file("fifo")}, "", 10);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              dir.path() + ": is a directory\n" + dir.file("fifo") + ": not a regular file\n");
    r = run_program({fw, "blocks", dir.path()});
    EXPECT_EQ(r.out, dir.path() + ": is a directory\n");
    r = run_program({"/usr/bin/env", "-C", dir.path(), fw, "check", "--", "-x.hex"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "-x.hex: ok\n  Intel hex: 0 data bytes\n");
    r = run_program({fw, "check", "-x.hex"});
    EXPECT_EQ(r.status, 2);
}

// A digest libcrypto cannot compute (here: no provider offers SHA-256) fails the check; it is
// never taken as 32 zero bytes, which a file ending in them would match.
TEST(TernFw, DigestThatCannotBeComputedFails) {
    tern_test::temp_dir_t dir;
    std::string file = tern_test::temp_dir_t::read(fw_golden + "combined.slb");
    file.replace(file.size() - 32, 32, std::string(32, '\0'));
    const std::string path = dir.write("zero.slb", file);
    const std::string conf = dir.write("openssl.cnf", "openssl_conf = init\n[init]\n"
                                                      "providers = providers\n[providers]\n"
                                                      "null = null\n[null]\nactivate = 1\n");
    const auto r = run_program({"/usr/bin/env", "OPENSSL_CONF=" + conf, fw, "check", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, path + ": failed to compute checksum\n");
}

TEST(TernFw, ListFindsFilesInTheTree) {
    tern_test::temp_dir_t dir;
    ASSERT_EQ(::mkdir(dir.file("a").c_str(), 0777), 0);
    const std::string path =
        dir.write("a/nav.s19", tern_test::temp_dir_t::read(fw_golden + "two_components.s19"));
    dir.write("ENGINE.SLB", tern_test::temp_dir_t::read(fw_golden + "single.slb"));
    dir.write("lbmv2,07.hex", tern_test::temp_dir_t::read(fw_golden + "unix_lines.hex"));
    dir.write("IOPV1.5.hex", tern_test::temp_dir_t::read(fw_golden + "segment_crlf.hex"));
    const std::string ini =
        dir.write("install.ini",
                  "gpssoftware=engine.slb\nlbmsoftware=LBMV2,07.HEX\niopsoftware=iopv1.5.hex\n");
    const auto r = run_program({fw, "list", dir.path()});
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
// Named in ctest by the file name with "_" for each other character.
std::vector<tern_test::case_t> golden_files() {
    std::vector<tern_test::case_t> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(fw_golden, ec)) {
        if (e.path().extension() != ".expected") continue;
        files.push_back({e.path().stem().string(), {e.path().stem().string()}});
        for (char& c : files.back().name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    std::sort(files.begin(), files.end(), [](auto& a, auto& b) { return a.name < b.name; });
    return files;
}

using TernFwGolden = testing::TestWithParam<tern_test::case_t>;

TEST_P(TernFwGolden, CheckOutput) {
    const std::string input = fw_golden + GetParam().cols[0];
    std::string want = tern_test::temp_dir_t::read(input + ".expected");
    for (size_t at; (at = want.find("FILE")) != std::string::npos;) want.replace(at, 4, input);
    const auto r = run_program({fw, "check", input});
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(r.status, want.find(": ok\n") != std::string::npos ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Files, TernFwGolden, ::testing::ValuesIn(golden_files()),
                         tern_test::case_name);

} // namespace

// ---- tern-snapshot (the page's own pieces are pinned by the library's golden page).
TEST(TernSnapshot, WritesACompletePageAtTheEndOfItsInput) {
    const auto r = run_program({tool_path("tern-snapshot"), "--title", "Deck & bridge", "--set",
                                "port_1_name=COM1", "--set", "port_1_device_type=ternrimba",
                                "--set", "port_1_device_name=<i>Mast</i>"},
                               "garbage" + sim_frames(2));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string head =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Deck &amp; bridge</title>\n";
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    EXPECT_TRUE(has(r.out,
                    "<table class=\"deviceTable\"><tr><th>ternrimba on COM1 "
                    "(&lt;i&gt;Mast&lt;/i&gt;)</th></tr></table>\n<table class=\"twoColumn\">"));
    EXPECT_TRUE(has(r.out, "<tr><td class=\"definition\">Corrections Mode</td>\n"
                           "<td class=\"value\">SIMREF</td></tr>\n"));
    EXPECT_EQ(r.out.substr(r.out.size() - 25), "</table>\n</body>\n</html>\n");
}

TEST(TernSnapshot, EmptyInputShowsNoDeviceInTheOutFileAndNothingOnStandardOutput) {
    tern_test::temp_dir_t dir;
    const auto r = run_program({tool_path("tern-snapshot"), "--out", dir.file("page.html")}, "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(has(tern_test::temp_dir_t::read(dir.file("page.html")),
                    "<table class=\"deviceTable\"><tr><th>None</th></tr></table>\n</body>"));
}

TEST(TernSnapshot, SignalWritesAPageWhileConnected) {
    tern_test::temp_dir_t dir;
    const std::string page = dir.file("page.html");
    const std::string name = "@tern-snapshot-test-" + std::to_string(getpid());
    child_t snap({tool_path("tern-snapshot"), "--listen", "socket=" + name, "--out", page},
                 dir.file("err"));
    // It listens only once its signal handler is in place.
    int fd = -1;
    ASSERT_TRUE(tern_test::run_until([&] { return (fd = tern_test::raw_connect(name)) >= 0; }, 10));
    const std::string& frames = sim_frames(2);
    ASSERT_EQ(write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    // Signal until a page shows the device (the frames may still be on their way).
    EXPECT_TRUE(tern_test::run_until(
        [&] {
            snap.kill(SIGUSR1);
            return has(tern_test::temp_dir_t::read(page), "sim on Port 1");
        },
        10));
    EXPECT_TRUE(snap.running()) << "still connected";
    close(fd);
    EXPECT_EQ(snap.wait(), 0);
    EXPECT_TRUE(has(tern_test::temp_dir_t::read(page), "</html>\n"));
}

// A page request before the handler is in place (the settings still being read) or after it
// is gone (the last page being written) is ignored, never the end of the program.
TEST(TernSnapshot, SignalsOutsideTheHandlersTimeAreIgnored) {
    tern_test::temp_dir_t dir;
    const std::string fifo = dir.file("settings.trs");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    child_t early({tool_path("tern-snapshot"), "--config", fifo}, dir.file("err"),
                  dir.file("early.html"));
    early.close_input();
    int cfg = -1; // opens once the program reads its settings
    ASSERT_TRUE(tern_test::run_until(
        [&] { return (cfg = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }, 10));
    early.kill(SIGUSR1);
    close(cfg);
    EXPECT_EQ(early.wait(), 0) << tern_test::temp_dir_t::read(dir.file("err"));
    EXPECT_TRUE(has(tern_test::temp_dir_t::read(dir.file("early.html")), "</html>\n"));

    // The last page (made long by its title) waits on a full pipe: the signal comes while it
    // is written.
    const std::string out = dir.file("out");
    ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
    child_t late({tool_path("tern-snapshot"), "--title", std::string(8192, 'x')}, dir.file("err"),
                 out);
    const int page_fd = open(out.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(page_fd, 0);
    ASSERT_EQ(fcntl(page_fd, F_SETPIPE_SZ, 4096), 4096);
    late.close_input(); // the end of its input: the page follows
    int queued = 0;
    ASSERT_TRUE(tern_test::run_until(
        [&] { return ioctl(page_fd, FIONREAD, &queued) == 0 && queued == 4096; }, 10));
    late.kill(SIGUSR1);
    fcntl(page_fd, F_SETFL, 0); // the writer is there: read on to its end
    std::string page;
    char buf[4096];
    for (ssize_t n; (n = read(page_fd, buf, sizeof buf)) > 0;) page.append(buf, std::size_t(n));
    close(page_fd);
    EXPECT_EQ(late.wait(), 0);
    EXPECT_GT(page.size(), 8192u);
    EXPECT_TRUE(has(page, "</html>\n"));
}

TEST(TernSnapshot, HelpNamesThePrefixAndWhatSignalsDoWithoutOut) {
    const auto r = run_program({tool_path("tern-snapshot"), "--help"});
    EXPECT_TRUE(has(r.out, "--prefix P")) << r.out;
    EXPECT_TRUE(has(r.out, "without --out every signal appends a\nwhole page to standard output"))
        << r.out;
}

// ---- tern-sensor on captured-style streams (the decoded values are pinned by the golden streams
// of the sensor decoders).
namespace {

std::string sensor_file(const std::string& name) {
    return tern_test::temp_dir_t::read(std::string(TERN_TEST_DATA_DIR) + "/sensors/" + name);
}

// A stream of data frames, every byte in a valid frame: "type@group " per message, where the
// messages of one record (one time stamp) share a group number; and the messages.
struct decoded_t {
    std::vector<std::unique_ptr<tern::msg_t>> msgs;
    std::string shape;
    std::set<unsigned> ports;
    double first = -1, last = -1;
};

decoded_t decode(const std::string& out) {
    decoded_t d;
    d.msgs = tern_test::decode_frames(out);
    std::size_t framed = 0;
    int group = 0;
    for (const auto& m : d.msgs) {
        framed += tern_test::frame_of(*m).size();
        const auto* data = dynamic_cast<const tern::data_msg_t*>(m.get());
        if (!data) ADD_FAILURE() << "not a data frame: " << tern_test::dump_of(*m);
        if (!data) continue;
        if (data->utc_tstamp != d.last) ++group;
        if (d.first < 0) d.first = data->utc_tstamp;
        d.last = data->utc_tstamp;
        d.shape += std::to_string(m->type) + "@" + std::to_string(group) + " ";
        d.ports.insert(m->port);
    }
    EXPECT_EQ(framed, out.size()) << "bytes outside the frames";
    return d;
}

constexpr double pi = 3.14159265358979323846;

std::string raw_frame(const std::string& text, unsigned port) {
    tern::fb_raw_ascii_t raw(tern::raw_dtm, text.data(), static_cast<unsigned>(text.size()));
    raw.port = port;
    tern::msg_encoder_t enc;
    EXPECT_TRUE(enc.encodeMessage(raw));
    return std::string(reinterpret_cast<const char*>(enc.data()), enc.size());
}

} // namespace

TEST(TernSensor, Tss1StreamBecomesDataFramesStampedWithTheDataClock) {
    const double before = tern::gettstamp_data();
    const auto r = run_program({tool_path("tern-sensor"), "--format", "tss1", "--port", "7",
                                std::string(TERN_TEST_DATA_DIR) + "/sensors/tss1.txt"});
    const double after = tern::gettstamp_data();
    EXPECT_EQ(r.status, 0) << r.err;
    const decoded_t d = decode(r.out);
    EXPECT_EQ(d.shape, "31@1 32@1 33@1 36@1 31@2 32@2 31@3 32@3 33@3 36@3 31@4 32@4 33@4 "
                       "31@5 32@5 33@5 36@5 ");
    EXPECT_EQ(d.ports, std::set<unsigned>{7});
    EXPECT_GE(d.first, before - 1.0);
    EXPECT_LE(d.last, after + 1.0);
    EXPECT_TRUE(std::regex_search(
        r.err, std::regex("^tern-sensor:[0-9]+: tss1 records 5, rejected 2, messages 17\n$")))
        << r.err;
}

TEST(TernSensor, EmAndAtsFromStandardInput) {
    const auto em =
        run_program({tool_path("tern-sensor"), "--format", "em"}, sensor_file("em_attitude.bin"));
    EXPECT_EQ(em.status, 0) << em.err;
    const decoded_t e = decode(em.out);
    EXPECT_EQ(std::count(e.shape.begin(), e.shape.end(), '@'), 32);
    EXPECT_EQ(e.shape.substr(0, 25), "31@1 32@1 33@1 35@1 31@2 ");
    EXPECT_EQ(e.ports, std::set<unsigned>{255});

    const auto ats =
        run_program({tool_path("tern-sensor"), "--format", "ats"}, sensor_file("ats.txt"));
    EXPECT_EQ(ats.status, 0) << ats.err;
    const decoded_t a = decode(ats.out);
    EXPECT_EQ(a.shape, "46@1 42@1 45@1 46@2 45@3 46@4 45@4 ");
    EXPECT_EQ(a.first, 1706702400.5);
}

// Each reading is a data frame at full precision; standard error holds only the summary.
TEST(TernSensor, RangeBearingReadingsAreDataFramesAtFullPrecision) {
    const auto r = run_program({tool_path("tern-sensor"), "--format", "fanbeam", "--port", "4"},
                               "01 0.00012 045.50\r\nbad\r\n01 0123.45 045.50 00\r\n"
                               " 2  12     359.99\r\nxx 1234567 -10.25");
    EXPECT_EQ(r.status, 0) << r.err;
    const decoded_t d = decode(r.out);
    EXPECT_EQ(d.shape, "37@1 37@2 ");
    ASSERT_EQ(d.msgs.size(), 2u);
    const auto* a = dynamic_cast<const tern::data_range_bearing_t*>(d.msgs[0].get());
    const auto* b = dynamic_cast<const tern::data_range_bearing_t*>(d.msgs[1].get());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->target_id, "1");
    EXPECT_EQ(a->range, 0.00012);
    EXPECT_EQ(a->bearing, 45.5 * pi / 180.0);
    EXPECT_EQ(b->target_id, "");
    EXPECT_EQ(b->range, 1234567.0);
    EXPECT_EQ(b->bearing, -10.25 * pi / 180.0);
    EXPECT_TRUE(std::regex_match(
        r.err, std::regex("tern-sensor:[0-9]+: fanbeam records 2, rejected 3, messages 2\n")))
        << r.err;
}

// On a connection the bytes come as raw data frames; a record may be split between frames, and an
// empty raw data frame carries nothing: a record or a binary frame split around it stays whole.
TEST(TernSensor, ReadsRawDataFramesOnAConnection) {
    const std::string rec = ":0AFF38  0012F-0150  0200\r\n";
    const std::string in = raw_frame(rec.substr(0, 10), 3) + raw_frame("", 3) +
                           raw_frame("garbage\r\n", 4) + "\x41\x42" + raw_frame(rec.substr(10), 3) +
                           raw_frame("", 3) + raw_frame(":000000  0000U 0000  0000", 3);
    auto r = run_program(
        {tool_path("tern-sensor"), "--format", "tss1", "--port", "3", "--listen", "pipe"}, in);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(decode(r.out).shape, "31@1 32@1 33@1 36@1 31@2 32@2 33@2 36@2 ");
    EXPECT_NE(r.err.find("records 2, rejected 0,"), std::string::npos) << r.err;
    // Without --port every port's raw data counts: the garbage line is rejected in between.
    r = run_program({tool_path("tern-sensor"), "--format", "tss1", "--listen", "pipe"}, in);
    EXPECT_NE(r.err.find("records 1, rejected 2,"), std::string::npos) << r.err;

    const std::string frame = sensor_file("em_attitude.bin").substr(2, 10);
    const std::string em =
        raw_frame(frame.substr(0, 4), 3) + raw_frame("", 3) + raw_frame(frame.substr(4), 3);
    r = run_program({tool_path("tern-sensor"), "--format", "em", "--listen", "pipe"}, em);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(decode(r.out).shape, "31@1 32@1 33@1 35@1 ");
}

// Standard output whose reader is gone (a FIFO whose only reader closed once the program's end
// was open): a write error and exit 1, not death by SIGPIPE, which env gives back its default
// action whatever the test runner ignores.
TEST(TernSensor, AClosedStandardOutputIsAWriteError) {
    const temp_dir_t dir;
    ASSERT_EQ(::mkfifo(dir.file("out").c_str(), 0600), 0);
    const auto r = run_program(
        {"/bin/sh", "-c",
         "exec 3<>\"$2\" >\"$2\" 3<&-; "
         "exec /usr/bin/env --default-signal=PIPE \"$0\" --format tss1 \"$1\"",
         tool_path("tern-sensor"), TERN_TEST_DATA_DIR "/sensors/tss1.txt", dir.file("out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::regex_search(
        r.err, std::regex("^tern-sensor:[0-9]+: write error on standard output\n")))
        << r.err;
}

// ---- tern-nmea as a process: a file, standard input, a Unix-socket peer, UDP receivers, TCP
// clients on loopback and a pseudo-terminal as its serial port (settings it refuses in
// tests/cases/tools/nmea_settings.txt).
namespace {

const std::string nmea_dir = TERN_TEST_DATA_DIR "/output/";
const std::string nmea = tool_path("tern-nmea");

bool starts_with(const std::string& s, const std::string& p) {
    return s.compare(0, p.size(), p) == 0;
}

} // namespace

// (The same frames on standard input give the same stream in the serial port's test.)
TEST(TernNmea, FileGivesTheGoldenStream) {
    const std::string expected = temp_dir_t::read(nmea_dir + "every.nmea");
    auto r = run_program({nmea, "--config", nmea_dir + "every.cfg", nmea_dir + "epochs.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    // The stream holds garbage and a torn frame: said in tern-dump's words.
    EXPECT_EQ(without_prefix(r.err), "frames 224, messages 224, bytes skipped 40\n");
    // Without a file: the defaults, single keys changed by --set.
    r = run_program({nmea, "--set", "output_vtg=0", nmea_dir + "epochs.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), 7u * 85u) << r.out; // seven GGA and nothing else
    r = run_program({nmea, "--config", nmea_dir + "prefixed.cfg", "--prefix", "port_3_", "--set",
                     "port_3_output_gga=0", nmea_dir + "epochs.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("$GNGGA"), std::string::npos);
    EXPECT_NE(r.out.find("$INHDT"), std::string::npos);
}

namespace {

// Every sentence of every.cfg as one UDP datagram to HOST, received on a socket bound to
// `bind`.
void sentences_by_udp(const std::string& host, in_addr_t bind) {
    unsigned short port = 0;
    const int fd = tern_tools_test::bind_loopback(SOCK_DGRAM, port, bind);
    int size = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const std::string expected = temp_dir_t::read(nmea_dir + "every.nmea");
    // Read while the program writes: the socket's buffer need not hold the whole stream.
    std::vector<std::string> got;
    std::size_t bytes = 0;
    std::thread reader([&] {
        char buf[2048];
        while (bytes < expected.size()) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) break; // only a failing run waits this long
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.emplace_back(buf, static_cast<std::size_t>(n));
            bytes += static_cast<std::size_t>(n);
        }
    });
    const auto r = run_program({nmea, "--config", nmea_dir + "every.cfg", "--udp",
                                host + ":" + std::to_string(port), nmea_dir + "epochs.bin"});
    reader.join();
    close(fd);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    std::string joined;
    for (const auto& g : got) {
        EXPECT_TRUE(starts_with(g, "$") || starts_with(g, ":")) << g;
        EXPECT_EQ(g.find('\n'), g.size() - 1) << "one sentence per datagram: " << g;
        joined += g;
    }
    EXPECT_EQ(joined, expected);
}

} // namespace

// Plotters listen for broadcast NMEA: the loopback range's broadcast address is refused like
// any other without SO_BROADCAST, and with it reaches a receiver bound to every address.
TEST(TernNmea, EverySentenceIsOneUdpDatagramToAHostOrByBroadcast) {
    sentences_by_udp("127.0.0.1", INADDR_LOOPBACK);
    sentences_by_udp("127.255.255.255", INADDR_ANY);
}

// Without a network (a namespace of its own, where even loopback is down) every datagram
// fails: counted, said once at the end, and the run fails.
TEST(TernNmea, FailedDatagramsAreCountedAndFailTheRun) {
    if (run_program({"/usr/bin/unshare", "-rn", "/bin/true"}).status != 0)
        GTEST_SKIP() << "no network namespace for an unprivileged user here";
    const auto r = run_program({"/usr/bin/unshare", "-rn", nmea, "--config", nmea_dir + "every.cfg",
                                "--udp", "127.0.0.1:10110", nmea_dir + "epochs.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, temp_dir_t::read(nmea_dir + "every.nmea"));
    EXPECT_EQ(without_prefix(r.err), "UDP: 224 of 224 datagrams to 127.0.0.1:10110 not sent "
                                     "(Network is unreachable)\n"
                                     "frames 224, messages 224, bytes skipped 40\n");
}

TEST(TernNmea, AWriteErrorOnStandardOutputIsSaidOnceAndEndsTheRun) {
    const auto r = run_program(
        {"/bin/sh", "-c", "exec \"$0\" --config \"$1\" >/dev/full", nmea, nmea_dir + "every.cfg"},
        tern_tools_test::sim_frames(50));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(without_prefix(r.err), "write error on standard output: No space left on device\n");
}

TEST(TernNmea, InputWithoutAFrameFails) {
    std::mt19937 random(18);
    std::string noise(100000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    auto r = run_program({nmea}, noise);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(without_prefix(r.err), "frames 0, messages 0, bytes skipped 100000\n");
    r = run_program({nmea, nmea_dir + "every.nmea"}); // sentences where frames belong
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(without_prefix(r.err), "frames 0, messages 0, bytes skipped 11872\n");
    r = run_program({nmea}, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

// tern-sim connects to a listening tern-nmea (retrying once per second until the listener is
// up) and hangs up at the end: the sentences are those of the same frames on standard input.
TEST(TernNmea, ListensOnATcpPortAndSaysSoInOneLine) {
    const std::string port = std::to_string(tern_test::free_port());
    const std::string cfg = TERN_TEST_DATA_DIR "/../../examples/nmea.cfg";
    const std::string expected = run_program({nmea, "--config", cfg}, sim_frames(3)).out;
    ASSERT_NE(expected.find("$GNRMC"), std::string::npos);
    background_t out({nmea, "--config", cfg, "--listen", "port=" + port});
    const auto sim = run_program(
        {tool_path("tern-sim"), "--connect", "port=" + port, "--epochs", "3", "--rate", "0"});
    EXPECT_EQ(sim.status, 0) << sim.err;
    auto& r = out.wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    const std::string err = without_prefix(r.err);
    EXPECT_TRUE(starts_with(err, "listening on port " + port + "\n")) << err;
    EXPECT_FALSE(has(err, "UNPREFIXED")) << "no blank line: " << err;
}

using NmeaSettings = testing::TestWithParam<tern_test::case_t>;

TEST_P(NmeaSettings, RefusedWithOneLineEach) {
    const auto& c = GetParam().cols; // arguments, exit status, standard error
    ASSERT_EQ(c.size(), 3u);
    const temp_dir_t tmp;
    std::vector<std::string> argv = {nmea};
    std::istringstream words(c[0]);
    for (std::string w; words >> w;) {
        if (w.compare(0, 5, "file:") == 0) {
            const std::string text = temp_dir_t::read(nmea_dir + "every.cfg") + w.substr(5) + "\n";
            argv.insert(argv.end(), {"--config", tmp.write("nmea.cfg", text)});
        } else {
            argv.push_back(w);
        }
    }
    argv.push_back("/dev/null");
    const auto r = run_program(argv);
    EXPECT_EQ(r.status, std::stoi(c[1])) << r.err;
    const std::string err =
        std::regex_replace(std::regex_replace(c[2], std::regex("\\{cfg\\}"), tmp.file("nmea.cfg")),
                           std::regex(" // "), "\n");
    EXPECT_EQ(without_prefix(r.err), err.empty() ? "" : err + "\n");
}

TERN_CASES(TernNmea, NmeaSettings, "tools/nmea_settings.txt");

namespace {

// A TCP client on loopback with a receive buffer of `rcvbuf` bytes.
int tcp_client(unsigned short port, int rcvbuf) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

// Reads a socket or terminal until it has `size` bytes, its end or 10 s of silence (which
// only a failing run sees).
std::string read_up_to(int fd, std::size_t size = std::string::npos) {
    std::string got;
    char buf[4096];
    for (pollfd p{fd, POLLIN, 0}; got.size() < size && poll(&p, 1, 10000) > 0;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

} // namespace

// Three clients: one reads everything, one never reads, one leaves halfway. The reader gets
// standard output's bytes, the stalled one is dropped with one line, the run ends cleanly.
TEST(TernNmea, ServesTheSentencesToTcpClients) {
    const temp_dir_t tmp;
    const std::string frames = tern_tools_test::sim_frames(150);
    tern_tools_test::child_t prog(
        {nmea, "--config", nmea_dir + "every.cfg", "--serve", "127.0.0.1:0"}, tmp.file("err"),
        tmp.file("out"));
    std::smatch m;
    std::string err;
    const auto said = [&](const std::string& re) {
        return tern_test::run_until([&] {
            err = temp_dir_t::read(tmp.file("err"));
            return std::regex_search(err, m, std::regex(re));
        });
    };
    ASSERT_TRUE(said("serving the sentences on 127\\.0\\.0\\.1:([0-9]+)\n")) << err;
    const auto port = static_cast<unsigned short>(std::stoi(m[1].str()));
    const int reader = tcp_client(port, 1 << 20); // room for the whole stream, however late
    const int stalled = tcp_client(port, 4096);
    const int leaver = tcp_client(port, 4096);
    ASSERT_EQ(::write(reader, "hello\r\n", 7), 7) << "a client's bytes are read and ignored";
    ASSERT_TRUE(said("( connected\n[^\n]*){3}")) << err;
    std::string got;
    std::thread reading([&] { got = read_up_to(reader); });
    prog.send(frames.substr(0, frames.size() / 2));
    EXPECT_GT(read_up_to(leaver, 1000).size(), 999u);
    ::close(leaver);
    prog.send(frames.substr(frames.size() / 2));
    prog.close_input();
    EXPECT_EQ(prog.wait(), 0);
    reading.join();
    const std::string out = temp_dir_t::read(tmp.file("out"));
    EXPECT_GT(out.size(), 200000u);
    EXPECT_TRUE(got == out) << "the reader has standard output's bytes";
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(stalled, reinterpret_cast<sockaddr*>(&a), &len);
    err = temp_dir_t::read(tmp.file("err"));
    EXPECT_TRUE(
        std::regex_search(err, std::regex("client 127.0.0.1:" + std::to_string(ntohs(a.sin_port)) +
                                          " stopped reading: dropped with [0-9]+ bytes")))
        << err;
    EXPECT_EQ(err.find("stopped reading"), err.rfind("stopped reading")) << "one line";
    ::close(reader);
    ::close(stalled);
}

// A pseudo-terminal as port 2's serial device: the other side reads exactly standard output's
// bytes, tcgetattr reads back the settings, and its hang-up (a USB-serial adapter pulled) ends
// the run at once with exit status 1, though the input is still open and quiet.
TEST(TernNmea, SerialPortGetsStandardOutputsBytesWithItsLineSettings) {
    const temp_dir_t tmp;
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const std::string pts = ::ptsname(master);
    const int slave = ::open(pts.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); // keeps its settings
    const std::vector<std::string> port = {nmea, "--serial", "2", "--set",
                                           "port_2_serial_device=" + pts};
    std::vector<std::string> argv = port;
    argv.insert(argv.end(), {"--config", nmea_dir + "every.cfg", "--set", "port_2_baud=4800",
                             "--set", "port_2_stop_bits=2", "--set", "port_2_flow_control=tern"});
    tern_tools_test::child_t prog(argv, tmp.file("err"), tmp.file("out"));
    prog.send(temp_dir_t::read(nmea_dir + "epochs.bin"));
    const std::string expected = temp_dir_t::read(nmea_dir + "every.nmea");
    EXPECT_TRUE(read_up_to(master, expected.size()) == expected);
    termios t{};
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B4800));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL),
              tcflag_t(CS8 | CSTOPB | CRTSCTS | CLOCAL));
    EXPECT_EQ(t.c_oflag & OPOST, 0u) << "raw: line ends go out as they are";
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    // A pseudo-terminal is always 8 bits without parity and has no modem lines.
    for (const char* set : {"port_2_data_bits=7", "port_2_parity=even", "port_2_use_rts=1"}) {
        argv = port;
        argv.insert(argv.end(), {"--set", set, "/dev/null"});
        const auto r = run_program(argv);
        EXPECT_EQ(r.status, 1) << set;
        EXPECT_TRUE(std::regex_match(
            without_prefix(r.err),
            std::regex(pts + " refuses (the data bits|the parity|its line settings: .*|RTS "
                             "control: .*)\n")))
            << r.err;
    }
    ::close(slave);
    ::close(master);
    EXPECT_EQ(prog.wait(), 1);
    EXPECT_EQ(temp_dir_t::read(tmp.file("out")), expected);
    const std::string err = without_prefix(temp_dir_t::read(tmp.file("err")));
    EXPECT_EQ(err.substr(0, err.find('\n') + 1), pts + " went away (hang-up)\n");
}
