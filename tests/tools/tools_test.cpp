// tern-dump and tern-sim, run as programs.

// GCC 12 with the sanitizers reports <regex> internals as maybe uninitialized (a false
// positive inside the standard library).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "support/hex.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"
#include "support/usock.h"

#include <tern/conn/conn_usock_stream.h>
#include <tern/msg/catalogue.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using tern_test::from_hex;
using tern_test::raw_connect;
using tern_test::run_program;
using tern_test::tool_path;

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

// The summary line on standard error: "tern-dump:PID: frames F, messages M, bytes skipped S".
std::string summary(const std::string& err) {
    std::smatch m;
    const std::regex re(
        "tern-dump:[0-9]+: (frames [0-9]+, messages [0-9]+, bytes skipped [0-9]+)\n");
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

TEST(TernDump, ReadsAFileAndComplainsAboutAMissingOne) {
    const tern_test::temp_dir_t tmp;
    const std::string path = tmp.write("frames", bytes(pos_lat_only));
    auto r = run_program({tool_path("tern-dump"), path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, pos_text);
    std::remove(path.c_str());

    r = run_program({tool_path("tern-dump"), path});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find(std::string("cannot open ") + path), std::string::npos) << r.err;
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

TEST(TernDump, BadUsage) {
    auto r = run_program({tool_path("tern-dump"), "--bogus"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::regex_search(r.err, std::regex("^tern-dump:[0-9]+: unknown option --bogus")));
    r = run_program({tool_path("tern-dump"), "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: tern-dump"), std::string::npos);
}

TEST(TernSim, StreamDecodesCleanlyAndIsDeterministic) {
    const auto sim = run_program({tool_path("tern-sim"), "--epochs", "3", "--rate", "0"});
    ASSERT_EQ(sim.status, 0) << sim.err;
    EXPECT_EQ(sim.out, run_program({tool_path("tern-sim"), "--epochs", "3", "--rate", "0"}).out);

    const auto dump = run_program({tool_path("tern-dump"), "--check"}, sim.out);
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

TEST(TernSim, StartRateAndBadArguments) {
    const auto sim = run_program(
        {tool_path("tern-sim"), "--epochs", "2", "--rate", "50", "--start", "1000000000.5"});
    ASSERT_EQ(sim.status, 0);
    const auto dump = run_program({tool_path("tern-dump")}, sim.out);
    EXPECT_NE(dump.out.find("utc_tstamp 1000000000.500000"), std::string::npos);
    EXPECT_NE(dump.out.find("utc_tstamp 1000000000.520000"), std::string::npos);

    for (std::vector<std::string> args : {std::vector<std::string>{"--epochs", "-1"},
                                          {"--epochs", "12x"},
                                          {"--rate", "fast"},
                                          {"--start"},
                                          {"extra"}}) {
        args.insert(args.begin(), tool_path("tern-sim"));
        const auto r = run_program(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_TRUE(r.out.empty());
        EXPECT_TRUE(std::regex_search(r.err, std::regex("^tern-sim:[0-9]+: "))) << r.err;
    }
}

namespace {

std::string sock_name(const char* tag) {
    return "@tern-tools-" + std::to_string(getpid()) + "-" + tag;
}

// A loopback TCP port that nobody listens on right now.
std::string free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return std::to_string(ntohs(a.sin_port));
}

// Runs a program in the background while the test goes on.
struct background_t {
    tern_test::run_result_t result;
    std::thread thread;
    explicit background_t(std::vector<std::string> argv, double timeout_s = 20) {
        thread =
            std::thread([this, argv, timeout_s] { result = run_program(argv, "", timeout_s); });
    }
    tern_test::run_result_t& wait() {
        if (thread.joinable()) thread.join();
        return result;
    }
    ~background_t() { wait(); }
};

// "frames F, messages M" of tern-dump on a connection.
std::string link_summary(const std::string& err) {
    std::smatch m;
    const std::regex re("tern-dump:[0-9]+: (frames [0-9]+, messages [0-9]+)\n");
    return std::regex_search(err, m, re) ? m[1].str() : "no summary in: " + err;
}

} // namespace

TEST(TernTransport, DumpListensAndSimConnects) {
    const std::string plain =
        run_program({tool_path("tern-sim"), "--epochs", "3", "--rate", "0"}).out;
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
        EXPECT_EQ(link_summary(d.err), "frames 96, messages 96") << where;
    }
}

TEST(TernTransport, PipeTransportSpeaksFramesOnTheStandardStreams) {
    const std::string plain =
        run_program({tool_path("tern-sim"), "--epochs", "2", "--rate", "0"}).out;
    const auto sim =
        run_program({tool_path("tern-sim"), "--connect", "pipe", "--epochs", "2", "--rate", "0"});
    EXPECT_EQ(sim.status, 0) << sim.err;
    EXPECT_EQ(sim.out, plain); // the same bytes

    const auto dump = run_program({tool_path("tern-dump"), "--listen", "pipe"}, plain);
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out, run_program({tool_path("tern-dump")}, plain).out);
    EXPECT_EQ(link_summary(dump.err), "frames 64, messages 64");
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
    EXPECT_EQ(link_summary(d.err), "frames 4, messages 2");
}

TEST(TernTransport, BadTransportArguments) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"tern-dump", "--connect", "serial=1"}, "unknown transport serial=1"},
        {{"tern-dump", "--listen"}, "--listen needs a value"},
        {{"tern-dump", "--listen", "pipe", "--connect", "pipe"},
         "only one of --connect and --listen"},
        {{"tern-dump", "--listen", "pipe", "file.bin"}, "an input file and a connection"},
        {{"tern-sim", "--connect", "port=0"}, "invalid port in port=0"},
        {{"tern-sim", "--connect", "socket="}, "unknown transport socket="},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = c.args;
        argv[0] = tool_path(argv[0]);
        const auto r = run_program(argv);
        EXPECT_EQ(r.status, 2) << c.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // A listener that cannot bind says why and fails.
    const auto r = run_program({tool_path("tern-dump"), "--listen", "socket=/nonexistent/dir/s"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("failed to bind socket: No such file or directory"), std::string::npos)
        << r.err;
}
