// tern-dump and tern-sim, run as programs.

// GCC 12 with the sanitizers reports <regex> internals as maybe uninitialized (a false
// positive inside the standard library).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "programs.h"
#include "support/hex.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"
#include "support/usock.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <unistd.h>

using tern_test::from_hex;
using tern_test::raw_connect;
using tern_test::run_program;
using tern_test::tool_path;
using tern_tools_test::background_t;
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

// The summary line on standard error: "tern-dump:PID: frames F, messages M[, bytes skipped S]".
std::string summary(const std::string& err) {
    std::smatch m;
    const std::regex re("tern-dump:[0-9]+: (frames [^\n]*)\n");
    return std::regex_search(err, m, re) ? m[1].str() : "no summary in: " + err;
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
    EXPECT_EQ(summary(r.err), "frames 114, messages 112, bytes skipped 806");
}

TEST(TernDump, ReadsAFile) {
    const tern_test::temp_dir_t tmp;
    const auto r = run_program({tool_path("tern-dump"), tmp.write("frames", bytes(pos_lat_only))});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, pos_text);
}

TEST(TernDump, CheckReportsFramesThatReencodeDifferently) {
    // The same position with one byte the class does not read.
    const std::string padded = "02 17 00 0A 00 02 03 00 00 00 40 FC 54 D9 41 00 01 00 00 00 00 "
                               "00 00 F0 3F 00 A0 8C 03";
    const auto r = run_program({tool_path("tern-dump"), "--check"}, bytes(padded + pos_lat_only));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, pos_text +
                         "reencoded frame differs: "
                         "0217000A00020300000040FC54D9410001000000000000F03F00A08C03 "
                         "0216000A00020300000040FC54D9410001000000000000F03F98AA03\n" +
                         pos_text);
}

TEST(TernDump, UsbdCatalogue) {
    const std::string dev = "02 2B 00 01 00 FF 02 09 2F 64 65 76 2F 73 64 61 31 0C 2F 6D 65 64 "
                            "69 61 2F 75 73 62 30 2F 04 4C 4F 47 53 09 31 32 33 34 2D 41 42 43 44 "
                            "01 8C 11 03";
    const std::string list = "02 04 00 00 00 FF 01 1E 97 03";
    auto r = run_program({tool_path("tern-dump"), "--usbd", "--check"}, bytes(list + dev));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "**** cat 1 type 0 port 255\n**** cat 2 type 1 port 255\n");
    // On the main connection the list command is unknown and type 1 is another class.
    r = run_program({tool_path("tern-dump")}, bytes(list));
    EXPECT_EQ(r.out, "unknown message: cat 1 type 0 port 255\n");
}

TEST(TernSim, StreamDecodesCleanlyAndIsDeterministic) {
    const std::string sim = sim_frames(3);
    EXPECT_EQ(sim, sim_frames(3));
    const auto dump = run_program({tool_path("tern-dump"), "--check"}, sim);
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(dump.out.find("differs"), std::string::npos);
    EXPECT_EQ(dump.out.find("message:"), std::string::npos);
    const std::string s = summary(dump.err);
    EXPECT_TRUE(std::regex_match(s, std::regex("frames ([0-9]+), messages \\1, bytes skipped 0")))
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

// A loopback TCP port that nobody listens on right now.
std::string free_port() {
    unsigned short port = 0;
    close(tern_tools_test::bind_loopback(SOCK_STREAM, port));
    return std::to_string(port);
}

} // namespace

// On a socket and a TCP port tern-sim connects to a listening tern-dump; on the pipe transport
// the frames go over the standard streams.
TEST(TernTransport, DumpListensAndSimConnects) {
    const std::string plain = sim_frames(3);
    const std::string expected = run_program({tool_path("tern-dump")}, plain).out;
    ASSERT_FALSE(expected.empty());

    for (const std::string& where : {"socket=" + sock_name("sim"), "port=" + free_port()}) {
        background_t dump({tool_path("tern-dump"), "--listen", where});
        // tern-sim retries once per second until the listener is up.
        const auto sim = run_program(
            {tool_path("tern-sim"), "--connect", where, "--epochs", "3", "--rate", "0"});
        EXPECT_EQ(sim.status, 0) << where << sim.err;
        auto& d = dump.wait();
        EXPECT_EQ(d.status, 0) << where << d.err;
        EXPECT_EQ(d.out, expected) << where;
        EXPECT_EQ(summary(d.err), "frames 96, messages 96") << where;
    }
    const auto sim =
        run_program({tool_path("tern-sim"), "--connect", "pipe", "--epochs", "3", "--rate", "0"});
    EXPECT_EQ(sim.status, 0) << sim.err;
    EXPECT_EQ(sim.out, plain);
    const auto dump = run_program({tool_path("tern-dump"), "--listen", "pipe"}, plain);
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out, expected);
    EXPECT_EQ(summary(dump.err), "frames 96, messages 96");
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
    EXPECT_EQ(summary(d.err), "frames 4, messages 2");
}

// Bad usage exits 2 and failed work 1, with nothing on standard output and every line on
// standard error prefixed "program:pid: "; --help prints the usage on standard output. A text
// ending in a line end is the whole of standard error (or output), else its beginning. The
// failures found by the code the programs share (tools/common) are tried once in full, and
// once per program that it serves.
TEST(Programs, UsageAndFailuresReportedOnStandardError) {
    const tern_test::temp_dir_t tmp;
    const std::string partial = tmp.write("partial.cfg", "#KeelConfig 1\noutput_gga=1\n");
    const struct {
        std::string command;
        int status;
        std::string text;
    } rows[] = {
        {"tern-dump --help", 0, "Usage: tern-dump [OPTION]... [FILE]"},
        {"tern-dump --bogus", 2, "unknown option --bogus (see --help)\n"},
        {"tern-dump /no/such", 1,
         "cannot open /no/such: No such file or directory\n"
         "frames 0, messages 0, bytes skipped 0\n"},
        {"tern-dump --connect serial=1", 2,
         "unknown transport serial=1 (socket=NAME, port=N or pipe)\n"},
        {"tern-dump --listen", 2, "--listen needs a value (see --help)\n"},
        {"tern-dump --listen pipe --connect pipe", 2,
         "only one of --connect and --listen may be given\n"},
        {"tern-dump --listen socket=/nonexistent/dir/s", 1,
         "failed to bind socket: No such file or directory\nframes 0, messages 0\n"},
        {"tern-sim --help", 0, "Usage: tern-sim [OPTION]..."},
        {"tern-sim --epochs -1", 2, "invalid value for --epochs: -1\n"},
        {"tern-sim --epochs 12x", 2, "invalid value for --epochs: 12x\n"},
        {"tern-sim --rate fast", 2, "invalid value for --rate: fast\n"},
        {"tern-sim --start", 2, "--start needs a value (see --help)\n"},
        {"tern-sim extra", 2, "unknown option extra (see --help)\n"},
        {"tern-sim --connect port=0", 2, "invalid port in port=0 (1 to 65535)\n"},
        {"tern-sim --connect socket=", 2,
         "unknown transport socket= (socket=NAME, port=N or pipe)\n"},
        {"tern-log --help", 0, "Usage: tern-log [OPTION]... [INPUT]"},
        {"tern-log --bogus", 2, "unknown option --bogus (see --help)\n"},
        {"tern-log --usb-wait x", 2, "invalid value for --usb-wait: x\n"},
        {"tern-log --config /no/such", 1, "cannot open /no/such: No such file or directory\n"},
        {"tern-usbd-sim --help", 0, "Usage: tern-usbd-sim [OPTION]..."},
        {"tern-usbd-sim --volume", 2, "--volume needs a value (see --help)\n"},
        {"tern-fw --help", 0, "Usage: tern-fw check FILE...\n  or:  tern-fw list DIR"},
        {"tern-fw", 2, "no command given (see --help)\n"},
        {"tern-fw frobnicate", 2, "unknown command frobnicate (see --help)\n"},
        {"tern-fw check", 2, "check needs at least one FILE (see --help)\n"},
        {"tern-fw list", 2, "list needs one DIR (see --help)\n"},
        {"tern-fw check --bogus", 2, "unknown option --bogus (see --help)\n"},
        {"tern-fw blocks a b c", 2, "blocks needs FILE and at most one IMAGE (see --help)\n"},
        {"tern-snapshot --help", 0, "Usage: tern-snapshot [OPTION]... [INPUT]"},
        {"tern-snapshot --bogus", 2, "unknown option --bogus (see --help)\n"},
        {"tern-snapshot /no/such", 1, "cannot open /no/such: No such file or directory\n"},
        {"tern-snapshot --config /no/such.trs", 1,
         "cannot open /no/such.trs: No such file or directory\n"},
        {"tern-snapshot --out", 2, "--out needs a value (see --help)\n"},
        {"tern-snapshot --out /no/such/page.html", 1, "cannot write /no/such/page.html: "},
        {"tern-sensor --help", 0,
         "Usage: tern-sensor --format em|tss1|ats|fanbeam [OPTION]... [INPUT]"},
        {"tern-sensor", 2, "--format is required (see --help)\n"},
        {"tern-sensor --format", 2, "--format needs a value (see --help)\n"},
        {"tern-sensor --format nmea", 2, "unknown format nmea (see --help)\n"},
        {"tern-sensor --format em --port 256", 2, "bad port 256: a number from 0 to 255\n"},
        {"tern-sensor --format em --port -1", 2, "bad port -1: a number from 0 to 255\n"},
        {"tern-sensor --format em --bogus", 2, "unknown option --bogus (see --help)\n"},
        {"tern-sensor --format em /no/such", 1,
         "cannot open /no/such: No such file or directory\n"},
        // tern-nmea: bad usage and an unreadable configuration.
        {"tern-nmea --help", 0, "Usage: tern-nmea [OPTION]... [INPUT]"},
        {"tern-nmea --version", 0, "tern-nmea (tern) "},
        {"tern-nmea --bogus", 2, "unknown option --bogus (see --help)\n"},
        {"tern-nmea --udp", 2, "--udp needs a value (see --help)\n"},
        {"tern-nmea --udp localhost", 2, "--udp takes HOST:PORT, not localhost (see --help)\n"},
        {"tern-nmea --udp 127.0.0.1:0", 2, "invalid UDP port 0 (see --help)\n"},
        {"tern-nmea --udp 127.0.0.1:65536", 2, "invalid UDP port 65536 (see --help)\n"},
        {"tern-nmea --set novalue", 2, "--set takes KEY=VALUE, not novalue (see --help)\n"},
        {"tern-nmea a b", 2, "more than one input file given (see --help)\n"},
        {"tern-nmea --listen pipe a", 2,
         "an input file and a connection cannot both be given (see --help)\n"},
        {"tern-nmea --config /no/such.cfg", 1,
         "cannot open /no/such.cfg: No such file or directory\n"},
        {"tern-nmea --config " + partial, 1,
         partial + ": incomplete output configuration under prefix \"\" (the dpgga_cfg_ keys, "
                   "nmea_version and strict_nmea are required)\n"},
        {"tern-nmea /no/such.bin", 1, "cannot open /no/such.bin: No such file or directory\n"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> argv;
        std::istringstream words(row.command);
        for (std::string w; words >> w;) argv.push_back(argv.empty() ? tool_path(w) : w);
        const auto r = run_program(argv);
        const std::string& where = row.command;
        const std::string prog = row.command.substr(0, row.command.find(' '));
        EXPECT_EQ(r.status, row.status) << where;
        // Standard error without the "program:pid: " of each line.
        std::string err;
        const std::regex line("^" + prog + ":[0-9]+: (.*)$");
        std::smatch m;
        std::istringstream lines(r.err);
        for (std::string l; std::getline(lines, l);)
            err += (std::regex_match(l, m, line) ? m[1].str() : "UNPREFIXED " + l) + "\n";
        const std::string& got = row.status == 0 ? r.out : err;
        EXPECT_EQ(row.status == 0 ? r.err : r.out, "") << where;
        if (row.text.back() == '\n')
            EXPECT_EQ(got, row.text) << where;
        else
            EXPECT_EQ(got.substr(0, row.text.size()), row.text) << where;
    }
}
