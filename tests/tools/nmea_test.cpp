// tern-nmea as a process: a file, standard input, a Unix-socket peer and a UDP receiver on
// loopback (bad usage is in tools_test.cpp).
#include "programs.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using tern_test::run_program;
using tern_test::temp_dir_t;
using tern_test::tool_path;
using tern_tools_test::background_t;

namespace {

const std::string dir = TERN_TEST_DATA_DIR "/output/";
const std::string nmea = tool_path("tern-nmea");

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
    const std::string frames = tern_tools_test::sim_frames(3);
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
    unsigned short port = 0;
    const int fd = tern_tools_test::bind_loopback(SOCK_DGRAM, port);
    int size = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
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
    const auto r = run_program({nmea, "--config", dir + "every.cfg", "--udp",
                                "127.0.0.1:" + std::to_string(port), dir + "epochs.bin"});
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
