// tern-nmea as a process: a file, standard input, a Unix-socket peer, UDP receivers, TCP
// clients on loopback and a pseudo-terminal as its serial port (bad usage is in
// tools_test.cpp, settings it refuses in tests/cases/tools/nmea_settings.txt).
// GCC 12 with the sanitizers reports <regex> internals as maybe uninitialized (a false
// positive inside the standard library).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "programs.h"
#include "support/cases.h"
#include "support/loopback.h"
#include "support/mainloop.h"
#include "support/process.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <random>
#include <regex>
#include <sstream>
#include <sys/socket.h>
#include <termios.h>
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

// Standard error without the "tern-nmea:PID: " before each line.
std::string without_prefix(const std::string& err) {
    return std::regex_replace(err, std::regex("(^|\n)tern-nmea:[0-9]+: "), "$1");
}

} // namespace

TEST(TernNmea, FileAndStandardInputGiveTheGoldenStream) {
    const std::string expected = temp_dir_t::read(dir + "every.nmea");
    auto r = run_program({nmea, "--config", dir + "every.cfg", dir + "epochs.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    // The stream holds garbage and a torn frame: said in tern-dump's words.
    EXPECT_EQ(without_prefix(r.err), "frames 224, messages 224, bytes skipped 40\n");
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

namespace {

// Every sentence of every.cfg as one UDP datagram to HOST, received on a socket bound to
// `bind`.
void sentences_by_udp(const std::string& host, in_addr_t bind) {
    unsigned short port = 0;
    const int fd = tern_tools_test::bind_loopback(SOCK_DGRAM, port, bind);
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
                                host + ":" + std::to_string(port), dir + "epochs.bin"});
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

TEST(TernNmea, EverySentenceIsAlsoOneUdpDatagram) {
    sentences_by_udp("127.0.0.1", INADDR_LOOPBACK);
}

// Plotters listen for broadcast NMEA: the loopback range's broadcast address is refused like
// any other without SO_BROADCAST, and with it reaches a receiver bound to every address.
TEST(TernNmea, UdpBroadcastReachesAReceiverOnEveryAddress) {
    sentences_by_udp("127.255.255.255", INADDR_ANY);
}

// Without a network (a namespace of its own, where even loopback is down) every datagram
// fails: counted, said once at the end, and the run fails.
TEST(TernNmea, FailedDatagramsAreCountedAndFailTheRun) {
    if (run_program({"/usr/bin/unshare", "-rn", "/bin/true"}).status != 0)
        GTEST_SKIP() << "no network namespace for an unprivileged user here";
    const auto r = run_program({"/usr/bin/unshare", "-rn", nmea, "--config", dir + "every.cfg",
                                "--udp", "127.0.0.1:10110", dir + "epochs.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, temp_dir_t::read(dir + "every.nmea"));
    EXPECT_EQ(without_prefix(r.err), "UDP: 224 of 224 datagrams to 127.0.0.1:10110 not sent "
                                     "(Network is unreachable)\n"
                                     "frames 224, messages 224, bytes skipped 40\n");
}

TEST(TernNmea, AWriteErrorOnStandardOutputIsSaidOnceAndEndsTheRun) {
    const auto r = run_program(
        {"/bin/sh", "-c", "exec \"$0\" --config \"$1\" >/dev/full", nmea, dir + "every.cfg"},
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
    r = run_program({nmea, dir + "every.nmea"}); // sentences where frames belong
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(without_prefix(r.err), "frames 0, messages 0, bytes skipped 11872\n");
    r = run_program({nmea}, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST(TernNmea, ListeningOnATcpPortIsOneLine) {
    const std::string port = std::to_string(tern_test::free_port());
    background_t out({nmea, "--listen", "port=" + port});
    run_program({tool_path("tern-sim"), "--connect", "port=" + port, "--epochs", "1"});
    const std::string err = without_prefix(out.wait().err);
    EXPECT_TRUE(starts_with(err, "listening on port " + port + "\n")) << err;
    EXPECT_EQ(err.find("\n\n"), std::string::npos) << "no blank line: " << err;
}

namespace {
class NmeaSettings : public testing::TestWithParam<tern_test::case_t> {};
} // namespace

TEST_P(NmeaSettings, RefusedWithOneLineEach) {
    const auto& c = GetParam().cols; // arguments, exit status, standard error
    ASSERT_EQ(c.size(), 3u);
    const temp_dir_t tmp;
    std::vector<std::string> argv = {nmea};
    std::istringstream words(c[0]);
    for (std::string w; words >> w;) {
        if (w.compare(0, 5, "file:") == 0) {
            const std::string text = temp_dir_t::read(dir + "every.cfg") + w.substr(5) + "\n";
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

INSTANTIATE_TEST_SUITE_P(TernNmea, NmeaSettings,
                         testing::ValuesIn(tern_test::read_cases("tools/nmea_settings.txt")),
                         tern_test::case_name);

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
    tern_tools_test::child_t prog({nmea, "--config", dir + "every.cfg", "--serve", "127.0.0.1:0"},
                                  tmp.file("err"), tmp.file("out"));
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
    argv.insert(argv.end(), {"--config", dir + "every.cfg", "--set", "port_2_baud=4800", "--set",
                             "port_2_stop_bits=2", "--set", "port_2_flow_control=tern"});
    tern_tools_test::child_t prog(argv, tmp.file("err"), tmp.file("out"));
    prog.send(temp_dir_t::read(dir + "epochs.bin"));
    const std::string expected = temp_dir_t::read(dir + "every.nmea");
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
    EXPECT_NE(run_program({nmea, "--help"}).out.find("port_N_serial_device, port_N_baud"),
              std::string::npos);
}
