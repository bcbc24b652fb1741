// tern-nmea as a process: a file, standard input, a Unix-socket peer, a UDP receiver on
// loopback, and bad usage.
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using tern_test::run_program;
using tern_test::temp_dir_t;
using tern_test::tool_path;

namespace {

const std::string dir = TERN_TEST_DATA_DIR "/output/";
const std::string nmea = tool_path("tern-nmea");

struct background_t {
    tern_test::run_result_t result;
    std::thread thread;
    explicit background_t(std::vector<std::string> argv) {
        thread = std::thread([this, argv] { result = run_program(argv, "", 20); });
    }
    tern_test::run_result_t& wait() {
        if (thread.joinable()) thread.join();
        return result;
    }
    ~background_t() { wait(); }
};

bool starts_with(const std::string& s, const std::string& p) {
    return s.compare(0, p.size(), p) == 0;
}

} // namespace

TEST(TernNmea, FileAndStandardInputGiveTheGoldenStream) {
    const std::string expected = temp_dir_t::read(dir + "every.nmea");
    auto r = run_program({nmea, "--config", dir + "every.cfg", dir + "epochs.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "");
    r = run_program({nmea, "--config", dir + "every.cfg"}, temp_dir_t::read(dir + "epochs.bin"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    // Without a file: the defaults, single keys changed by --set.
    r = run_program({nmea, "--set", "output_vtg=0", dir + "epochs.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), 7u * 85u) << r.out; // seven GGA and nothing else
    r = run_program({nmea, "--config", dir + "prefixed.cfg", "--prefix", "port_3_", "--set",
                     "port_3_output_gga=0", dir + "epochs.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("$GNGGA"), std::string::npos);
    EXPECT_NE(r.out.find("$INHDT"), std::string::npos);
}

TEST(TernNmea, ListensOnAUnixSocket) {
    const std::string name = "@tern-nmea-test-" + std::to_string(getpid());
    const std::string frames =
        run_program({tool_path("tern-sim"), "--epochs", "3", "--rate", "0"}).out;
    const std::string expected =
        run_program({nmea, "--config", TERN_TEST_DATA_DIR "/../../examples/nmea.cfg"}, frames).out;
    ASSERT_NE(expected.find("$GNRMC"), std::string::npos);
    background_t out({nmea, "--config", TERN_TEST_DATA_DIR "/../../examples/nmea.cfg", "--listen",
                      "socket=" + name});
    // tern-sim retries once per second until the listener is up, then hangs up at the end.
    const auto sim = run_program(
        {tool_path("tern-sim"), "--connect", "socket=" + name, "--epochs", "3", "--rate", "0"});
    EXPECT_EQ(sim.status, 0) << sim.err;
    auto& r = out.wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
}

TEST(TernNmea, EverySentenceIsAlsoOneUdpDatagram) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    int size = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string expected = temp_dir_t::read(dir + "every.nmea");
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
    const auto r =
        run_program({nmea, "--config", dir + "every.cfg", "--udp",
                     "127.0.0.1:" + std::to_string(ntohs(a.sin_port)), dir + "epochs.bin"});
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

TEST(TernNmea, BadUsageAndUnreadableConfiguration) {
    temp_dir_t tmp;
    const std::string partial = tmp.write("partial.cfg", "#KeelConfig 1\noutput_gga=1\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } rows[] = {
        {{"--bogus"}, 2, "unknown option --bogus (see --help)"},
        {{"--udp"}, 2, "--udp needs a value (see --help)"},
        {{"--udp", "localhost"}, 2, "--udp takes HOST:PORT, not localhost (see --help)"},
        {{"--udp", "127.0.0.1:0"}, 2, "invalid UDP port 0 (see --help)"},
        {{"--udp", "127.0.0.1:65536"}, 2, "invalid UDP port 65536 (see --help)"},
        {{"--set", "novalue"}, 2, "--set takes KEY=VALUE, not novalue (see --help)"},
        {{"a", "b"}, 2, "more than one input file given (see --help)"},
        {{"--listen", "pipe", "a"},
         2,
         "an input file and a connection cannot both be given (see --help)"},
        {{"--config", tmp.file("missing.cfg")}, 1, ""},
        {{"--config", partial},
         1,
         partial + ": incomplete output configuration under prefix \"\" (the dpgga_cfg_ keys, "
                   "nmea_version and strict_nmea are required)"},
        {{tmp.file("missing.bin")}, 1, ""},
    };
    for (const auto& row : rows) {
        std::vector<std::string> argv = row.args;
        argv.insert(argv.begin(), nmea);
        const auto r = run_program(argv);
        EXPECT_EQ(r.status, row.status) << row.args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(starts_with(r.err, "tern-nmea:")) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        if (!row.err.empty()) {
            const auto colon = r.err.find(": ");
            EXPECT_EQ(r.err.substr(colon + 2), row.err + "\n");
        }
    }
    const auto help = run_program({nmea, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(starts_with(help.out, "usage: tern-nmea [--config FILE]")) << help.out;
}
