// tern-dump and tern-sim, run as programs.
#include "support/hex.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <unistd.h>

using tern_test::from_hex;
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
    const std::regex re("tern-dump:[0-9]+: (frames [0-9]+, messages [0-9]+, bytes skipped [0-9]+)\n");
    return std::regex_search(err, m, re) ? m[1].str() : "no summary in: " + err;
}

} // namespace

TEST(TernDump, PrintsMessagesAndReportsUnknownAndShortFrames) {
    const std::string input = bytes("41 42 " + init_ui + " " + unknown_data_49 + " 00 " +
                                    short_pos + " " + pos_lat_only + " 02 FF");
    const auto r = run_program({tool_path("tern-dump")}, input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "**** cat 1 type 1 port 255\n"
                     "unknown message: cat 3 type 49 port 2\n"
                     "short message: cat 3 type 10 port 2\n" +
                         pos_text);
    // Garbage: "41 42", the stray 00, and the torn frame at the end.
    EXPECT_EQ(summary(r.err), "frames 4, messages 2, bytes skipped 5");
}

TEST(TernDump, ReadsAFileAndComplainsAboutAMissingOne) {
    char path[] = "/tmp/tern-dump-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string frame = bytes(pos_lat_only);
    ASSERT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    close(fd);
    auto r = run_program({tool_path("tern-dump"), path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, pos_text);
    std::remove(path);

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
    for (const char* type : {" type 10 ", " type 9 ", " type 16 ", " type 1 ", " type 8 ",
                             " type 12 ", " type 14 ", " type 15 ", " type 13 ", " type 4 ",
                             " type 5 ", " type 2 ", " type 3 ", " type 35 ", " type 31 ",
                             " type 32 ", " type 33 ", " type 34 "})
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
