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

// The sentences of every.cfg sent by UDP to `host`, received on `fd` while the program runs
// (the socket's buffer need not hold the whole stream): each datagram one sentence.
void sentences_by_udp(int fd, const std::string& host, unsigned short port) {
    int size = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const std::string expected = temp_dir_t::read(dir + "every.nmea");
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
    unsigned short port = 0;
    const int fd = tern_tools_test::bind_loopback(SOCK_DGRAM, port);
    sentences_by_udp(fd, "127.0.0.1", port);
}

// Plotters listen for broadcast NMEA: the loopback range's broadcast address is refused like
// any other without SO_BROADCAST, and with it reaches a receiver bound to every address.
TEST(TernNmea, UdpBroadcastReachesAReceiverOnEveryAddress) {
    unsigned short port = 0;
    const int fd = tern_tools_test::bind_loopback(SOCK_DGRAM, port, INADDR_ANY);
    sentences_by_udp(fd, "127.255.255.255", port);
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
    unsigned short port = 0;
    ::close(tern_tools_test::bind_loopback(SOCK_STREAM, port)); // a port free a moment ago
    const std::string arg = "port=" + std::to_string(port);
    background_t out({nmea, "--listen", arg});
    const auto sim =
        run_program({tool_path("tern-sim"), "--connect", arg, "--epochs", "1", "--rate", "0"});
    EXPECT_EQ(sim.status, 0) << sim.err;
    auto& r = out.wait();
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string err = without_prefix(r.err);
    EXPECT_EQ(err.substr(0, err.find('\n') + 1),
              "listening on port " + std::to_string(port) + "\n");
    EXPECT_EQ(err.find("\n\n"), std::string::npos) << "no blank line: " << err;
}

namespace {

class NmeaSettings : public testing::TestWithParam<tern_test::case_t> {};

} // namespace

TEST_P(NmeaSettings, RefusedWithOneLineEach) {
    const auto& c = GetParam().cols;
    ASSERT_EQ(c.size(), 3u);
    const temp_dir_t tmp;
    const std::string cfg = tmp.file("nmea.cfg");
    std::vector<std::string> argv = {nmea};
    std::istringstream words(c[0]);
    for (std::string w; words >> w;) {
        if (w.compare(0, 5, "file:") != 0) {
            argv.push_back(w);
            continue;
        }
        const std::string key = w.substr(5, w.find('=') - 5);
        std::istringstream lines(temp_dir_t::read(dir + "every.cfg"));
        std::string text;
        bool replaced = false;
        for (std::string line; std::getline(lines, line);) {
            const bool here = line.compare(0, key.size() + 1, key + "=") == 0;
            text += (here ? w.substr(5) : line) + "\n";
            replaced |= here;
        }
        if (!replaced) text += w.substr(5) + "\n";
        tmp.write("nmea.cfg", text);
        argv.insert(argv.end(), {"--config", cfg});
    }
    argv.push_back("/dev/null");
    const auto r = run_program(argv);
    EXPECT_EQ(r.status, std::stoi(c[1])) << r.err;
    std::string expected = c[2];
    for (std::size_t at; (at = expected.find("{cfg}")) != std::string::npos;)
        expected.replace(at, 5, cfg);
    for (std::size_t at; (at = expected.find(" // ")) != std::string::npos;)
        expected.replace(at, 4, "\n");
    EXPECT_EQ(without_prefix(r.err), expected.empty() ? "" : expected + "\n");
}

INSTANTIATE_TEST_SUITE_P(TernNmea, NmeaSettings,
                         testing::ValuesIn(tern_test::read_cases("tools/nmea_settings.txt")),
                         tern_test::case_name);

namespace {

// A TCP client of --serve on loopback; `rcvbuf` 0 leaves the kernel's default.
int tcp_client(unsigned short port, int rcvbuf) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (rcvbuf) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

unsigned short local_port(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// Reads `fd` until its end (or 10 s of silence, which only a failing run sees).
std::string read_to_end(int fd) {
    std::string got;
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) break;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
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
    const std::regex serving("serving the sentences on 127\\.0\\.0\\.1:([0-9]+)\n");
    std::string err;
    ASSERT_TRUE(tern_test::run_until([&] {
        err = temp_dir_t::read(tmp.file("err"));
        return std::regex_search(err, m, serving);
    })) << err;
    const auto port = static_cast<unsigned short>(std::stoi(m[1].str()));

    const int reader = tcp_client(port, 1 << 20); // room for the whole stream, however late
    const int stalled = tcp_client(port, 4096);
    const int leaver = tcp_client(port, 0);
    ASSERT_EQ(::write(reader, "hello\r\n", 7), 7) << "a client's bytes are read and ignored";
    ASSERT_TRUE(tern_test::run_until(
        [&] { return count(temp_dir_t::read(tmp.file("err")), " connected\n") == 3; }));
    std::string got;
    std::thread reading([&] { got = read_to_end(reader); });

    prog.send(frames.substr(0, frames.size() / 2));
    std::string left;
    ASSERT_TRUE(tern_test::run_until([&] {
        char buf[4096];
        const ssize_t n = ::recv(leaver, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) left.append(buf, static_cast<std::size_t>(n));
        return left.size() > 1000;
    }));
    ::close(leaver);
    prog.send(frames.substr(frames.size() / 2));
    prog.close_input();
    EXPECT_EQ(prog.wait(), 0);
    reading.join();

    const std::string out = temp_dir_t::read(tmp.file("out"));
    EXPECT_GT(out.size(), 200000u);
    EXPECT_EQ(got.size(), out.size());
    EXPECT_TRUE(got == out) << "the reader's bytes are standard output's";
    EXPECT_EQ(left, out.substr(0, left.size()));
    err = temp_dir_t::read(tmp.file("err"));
    EXPECT_EQ(count(err, "stopped reading"), 1u) << err;
    EXPECT_EQ(count(err, "client 127.0.0.1:" + std::to_string(local_port(stalled)) +
                             " stopped reading: dropped with "),
              1u)
        << err;
    ::close(reader);
    ::close(stalled);
}

namespace {

// A pseudo-terminal pair: the program writes to the slave's name, the test reads the master.
struct pty_t {
    int master = -1;
    int slave = -1; // held open so that its settings outlive the program's run
    std::string name;
    pty_t() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        ::fcntl(master, F_SETFL, O_NONBLOCK); // read on the test's loop, never waited on
        name = ::ptsname(master);
        slave = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~pty_t() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
};

} // namespace

TEST(TernNmea, SerialPortGetsStandardOutputsBytesWithItsLineSettings) {
    pty_t pty;
    ASSERT_GE(pty.slave, 0);
    const std::string expected = temp_dir_t::read(dir + "every.nmea");
    std::string got;
    std::thread reading([&] {
        char buf[4096];
        while (got.size() < expected.size()) {
            pollfd p{pty.master, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) break;
            const ssize_t n = ::read(pty.master, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
    });
    const std::vector<std::string> port = {"--serial", "2", "--set",
                                           "port_2_serial_device=" + pty.name};
    std::vector<std::string> argv = {nmea, "--config", dir + "every.cfg"};
    argv.insert(argv.end(), port.begin(), port.end());
    argv.insert(argv.end(), {"--set", "port_2_baud=4800", "--set", "port_2_stop_bits=2", "--set",
                             "port_2_flow_control=tern", dir + "epochs.bin"});
    const auto r = run_program(argv);
    reading.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    EXPECT_TRUE(got == expected) << "the serial line's bytes are standard output's";

    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B4800));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL),
              tcflag_t(CS8 | CSTOPB | CRTSCTS | CLOCAL));
    EXPECT_EQ(t.c_oflag & OPOST, 0u) << "raw: line ends go out as they are";
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);

    // A pseudo-terminal is always 8 bits without parity and has no modem lines.
    for (const char* set : {"port_2_data_bits=7", "port_2_parity=even", "port_2_use_rts=1"}) {
        argv = {nmea};
        argv.insert(argv.end(), port.begin(), port.end());
        argv.insert(argv.end(), {"--set", set, "/dev/null"});
        const auto refused = run_program(argv);
        EXPECT_EQ(refused.status, 1) << set;
        EXPECT_TRUE(std::regex_match(
            without_prefix(refused.err),
            std::regex(
                pty.name +
                " refuses (the data bits|the parity|its line settings: .*|RTS control: .*)\n")))
            << refused.err;
    }
    EXPECT_NE(run_program({nmea, "--help"}).out.find("port_N_serial_device, port_N_baud"),
              std::string::npos);
}

// A USB-serial adapter pulled: the device hangs up; the run ends at once with exit status 1,
// though its input is still open and quiet.
TEST(TernNmea, ASerialDeviceThatGoesAwayEndsTheRun) {
    const temp_dir_t tmp;
    auto pty = std::make_unique<pty_t>();
    ASSERT_GE(pty->slave, 0);
    const std::string name = pty->name;
    tern_tools_test::child_t prog({nmea, "--serial", "0", "--set", "port_0_serial_device=" + name},
                                  tmp.file("err"));
    const std::string frames = tern_tools_test::sim_frames(2);
    const std::string expected = run_program({nmea}, frames).out;
    prog.send(frames);
    std::string got;
    ASSERT_TRUE(tern_test::run_until([&] {
        char buf[4096];
        const ssize_t n = ::read(pty->master, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        return got.size() >= expected.size();
    })) << got;
    EXPECT_EQ(got, expected);
    pty.reset(); // both ends closed: the program's side hangs up
    EXPECT_EQ(prog.wait(), 1);
    EXPECT_EQ(without_prefix(temp_dir_t::read(tmp.file("err"))), name + " went away (hang-up)\n");
}
