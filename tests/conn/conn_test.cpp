// Connections: the receive buffer and frame decoding, the global connections, the pipe,
// Unix-socket and TCP connections and connectors; the rules every stream transport and
// connector shares, each on real socket pairs and pipes; sockets, look-ups and address texts.
#include <tern/conn/conn.h>
#include <tern/conn/conn_pipe.h>
#include <tern/conn/conn_tcp.h>
#include <tern/conn/conn_usock_stream.h>
#include <tern/conn/net.h>
#include <tern/conn/net_addr.h>

#include "support/cases.h"
#include "support/codec.h"
#include "support/conn_recorder.h"
#include "support/fd_squeeze.h"
#include "support/hex.h"
#include "support/loopback.h"
#include "support/mainloop.h"
#include "support/scratch.h"
#include "support/text.h"
#include "support/usock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <map>
#include <netinet/in.h>
#include <new>
#include <random>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using tern_test::case_t;
using tern_test::conn_recorder_t;
using tern_test::connector_recorder_t;
using tern_test::free_port;
using tern_test::from_hex;
using tern_test::kLoopback;
using tern_test::raw_socket;
using tern_test::run_until;
using tern_test::text_of;

// A client asking for a receive buffer of this size cannot have it: operator new[] below
// refuses that one size, so that a failed buffer allocation can be had on any machine.
constexpr unsigned int refused_bufsize = 0x7FFFF00Du;
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    if (n == refused_bufsize) return nullptr;
    try {
        return ::operator new[](n);
    } catch (...) {
        return nullptr;
    }
}

namespace {

using bytes_t = std::vector<unsigned char>;
using events_t = std::vector<std::string>;

// Command 1/1 port 255, empty payload.
const char* const f_cmd = "02 04 00 01 00 FF 01 AA E1 03";
// Data 3/49 port 2, empty payload.
const char* const f_data49 = "02 04 00 31 00 02 03 9C 88 03";
const tern::msg_t cmd_msg(tern::msg_t::category_cmd, 1); // goes out as f_cmd

// A connection fed by the test instead of a descriptor, one "read" per feed().
struct fed_conn_t : tern::conn_t {
    bool send_msg(const tern::msg_t*) override { return true; }
    void feed(const bytes_t& b) {
        guard_t g(*this);
        if (check_overflow() || !g.alive()) return;
        const unsigned n = std::min<unsigned>(rxbuf.free_size(), static_cast<unsigned>(b.size()));
        std::memcpy(rxbuf.free_space(), b.data(), n);
        rxbuf.add(n);
        decode();
    }
};

struct fed_t {
    conn_recorder_t rec;
    fed_conn_t* conn = new fed_conn_t;
    explicit fed_t(unsigned bufsize = 2048) {
        rec.bufsize = bufsize;
        rec.conn.reset(conn);
        conn->start(&rec);
    }
};

std::string unique_name(const char* tag) {
    return "@tern-test-" + std::to_string(getpid()) + "-" + tag;
}

void write_all(int fd, const bytes_t& b) {
    std::size_t done = 0;
    while (done < b.size()) {
        const ssize_t n = write(fd, b.data() + done, b.size() - done);
        ASSERT_GT(n, 0) << std::strerror(errno);
        done += static_cast<std::size_t>(n);
    }
}

struct listener_t {
    tern::connector_usock_stream_t connector;
    connector_recorder_t rec;
    explicit listener_t(const std::string& name) {
        rec.connector = &connector;
        rec.passive = true;
        if (!name.empty()) rec.args = {"x=1", "socket=" + name};
        connector.start(&rec);
    }
};

// Reads as the case file writes them: hexadecimal bytes, whole frames by name, "/" between reads.
std::vector<bytes_t> reads_of(const std::string& text) {
    const std::pair<std::string, std::string> frames[] = {
        {"cmd", f_cmd},
        {"data49", f_data49},
        {"pos",
         "02 16 00 0A 00 02 03 00 00 00 40 FC 54 D9 41 00 01 00 00 00 00 00 00 F0 3F 98 AA 03"}};
    std::vector<bytes_t> reads(1);
    std::istringstream words(text);
    for (std::string w; words >> w;) {
        if (w == "/") reads.emplace_back();
        for (const auto& [name, hex] : frames)
            if (w == name) w = hex;
        if (w == "/") continue;
        const bytes_t b = from_hex(w);
        reads.back().insert(reads.back().end(), b.begin(), b.end());
    }
    return reads;
}

TEST(Buf, GrowConsumeAndFreeSpace) {
    unsigned char mem[8];
    tern::buf_t wrapped(mem, sizeof mem);
    EXPECT_TRUE(wrapped.grow(4)); // less than wrapped: no change
    EXPECT_EQ(wrapped.capacity(), 8u);
    EXPECT_EQ(wrapped.data(), mem);
    EXPECT_FALSE(wrapped.grow(9));

    tern::buf_t b;
    EXPECT_EQ(b.free_space(), nullptr);
    ASSERT_TRUE(b.grow(6));
    std::memcpy(b.free_space(), "abcd", 4);
    b.add(4);
    ASSERT_TRUE(b.grow(10)); // keeps the valid bytes
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data()), b.len()), "abcd");
    EXPECT_EQ(b.free_size(), 6u);
    b.consume(1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data()), b.len()), "bcd");
    b.add(100); // clamped to capacity
    EXPECT_EQ(b.len(), 10u);
    EXPECT_EQ(b.free_space(), nullptr);
    EXPECT_EQ(b.free_size(), 0u);
    b.consume(10);
    EXPECT_EQ(b.len(), 0u);
    b.add(3);
    b.consume(7);
    EXPECT_EQ(b.len(), 0u);
}

class ConnDecodeReads : public testing::TestWithParam<case_t> {};
TEST_P(ConnDecodeReads, Frames) {
    const auto& c = GetParam().cols;
    fed_t f;
    for (const bytes_t& r : reads_of(c.at(1))) {
        if (c.at(0) != "bytewise") f.conn->feed(r);
        for (unsigned char b : c.at(0) == "bytewise" ? r : bytes_t()) f.conn->feed(bytes_t{b});
    }
    std::string got;
    for (const auto& e : f.rec.events) got += (got.empty() ? "" : " ") + e.substr(4);
    EXPECT_EQ(got, c.at(2));
    EXPECT_EQ(f.conn->get_rxbuf().len(), std::stoul(c.at(3)));
}
TERN_CASES(File, ConnDecodeReads, "conn/frame_reads.txt");

// Deleting on the first message is covered on every transport; here the overflow path.
TEST(ConnDecode, ClientMayDeleteTheConnectionOnAnOverflow) {
    fed_t g(16);
    g.rec.close_on_fault = true;
    g.conn->feed(bytes_t(16, 0x02));
    g.conn->feed(from_hex(f_cmd));
    EXPECT_EQ(g.rec.events, (std::vector<std::string>{"err: buffer overflow"}));
    EXPECT_EQ(g.rec.conn, nullptr);
}

TEST(ConnGlobals, DefaultAndSendConnectionForgetDeletedConnections) {
    auto* a = new fed_conn_t;
    EXPECT_EQ(tern::conn_t::set_default(a), nullptr);
    EXPECT_EQ(tern::conn_t::get_default(), a);

    EXPECT_EQ(tern::set_send_msg_conn(nullptr), nullptr);
    EXPECT_FALSE(tern::send_msg(&cmd_msg));
    EXPECT_TRUE(tern::send_msg_dropped());
    EXPECT_EQ(tern::set_send_msg_conn(a), nullptr);
    EXPECT_FALSE(tern::send_msg_dropped()); // reset by setting
    EXPECT_TRUE(tern::send_msg(&cmd_msg));
    EXPECT_FALSE(tern::send_msg_dropped());

    delete a;
    EXPECT_EQ(tern::conn_t::get_default(), nullptr);
    EXPECT_FALSE(tern::send_msg(&cmd_msg)); // dropped, not sent through a deleted object
    EXPECT_EQ(tern::set_send_msg_conn(nullptr), nullptr);
}

TEST(PipeConnection, EndOfAFileEndsTheConnection) {
    tern_test::temp_dir_t dir;
    const auto frame = from_hex("02 04 00 01 00 FF 01 AA E1 03");
    const std::string path = dir.write("frames", std::string(frame.begin(), frame.end()));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    conn_recorder_t r;
    r.conn.reset(new tern::conn_pipe_t(fd, -1));
    r.conn->start(&r);
    // A file never hangs up; without handling its end the loop would spin on it for ever.
    ASSERT_TRUE(run_until([&] { return r.count("lost") > 0; }, 2));
    EXPECT_EQ(r.events, (events_t{"msg 1/1/255", "lost: received HUP from peer"}));
    close(fd);
}

TEST(PipeConnector, HandsOverAConnectionOnEveryStart) {
    tern::connector_pipe_t connector;
    connector_recorder_t rec;
    rec.connector = &connector;
    connector.start(&rec);
    EXPECT_EQ(rec.events, events_t{"ready"});
    connector.start(&rec);
    EXPECT_EQ(rec.conns.size(), 2u);
    connector.stop();
    connector.start(nullptr);
    EXPECT_EQ(rec.conns.size(), 2u);
}

TEST(UsockConnector, SocketNames) {
    tern_test::temp_dir_t dir;
    const std::string path107 = dir.path() + "/" + std::string(106 - dir.path().size(), 's');
    ASSERT_EQ(path107.size(), 107u);
    const std::pair<std::string, std::string> cases[] = {
        // name (empty: none), event
        {"", "failed: no socket name specified "},
        {path107 + "x", "failed: socket name is too long"},
        {"@" + std::string(106, 'b'), ""},
        {path107, ""},
    };
    unsetenv("TERN_SOCKNAME");
    for (const auto& [name, event] : cases) {
        listener_t l(name);
        EXPECT_EQ(l.rec.events, event.empty() ? events_t{} : events_t{event}) << name;
    }
    struct stat st;
    ASSERT_EQ(stat(path107.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0777u);

    // The environment names the socket when no argument does.
    const std::string env_name = unique_name("env");
    setenv("TERN_SOCKNAME", env_name.c_str(), 1);
    listener_t l("");
    unsetenv("TERN_SOCKNAME");
    const int peer = raw_socket(env_name);
    EXPECT_GE(peer, 0);
    EXPECT_TRUE(run_until([&] { return !l.rec.conns.empty(); }, 2));
    close(peer);
}

// A stale socket is cleared away (tern-usbd-sim's tests serve over one); any other file stays.
TEST(UsockConnector, AFileThatIsNoSocketIsKept) {
    tern_test::temp_dir_t dir;
    const std::string file = dir.write("data", "keep me");
    listener_t b(file);
    EXPECT_EQ(b.rec.events, events_t{"failed: failed to bind socket: Address already in use"});
    EXPECT_EQ(tern_test::temp_dir_t::read(file), "keep me");
}

TEST(UsockConnection, PassiveServesEveryPeerOnItsOwnConnection) {
    const std::string name = unique_name("peers");
    listener_t l(name);
    const int p1 = raw_socket(name), p2 = raw_socket(name);
    ASSERT_TRUE(run_until([&] { return l.rec.conns.size() == 2; }, 2));
    // Abstract: no file appears under the name.
    EXPECT_NE(access(name.c_str(), F_OK), 0);
    EXPECT_NE(access(name.c_str() + 1, F_OK), 0);

    std::string path;
    EXPECT_TRUE(static_cast<tern::conn_usock_stream_t&>(*l.rec.conns[1]).get_path(path));
    EXPECT_EQ(path, name);
    conn_recorder_t r;
    r.conn = std::move(l.rec.conns[1]);
    r.conn->start(&r);
    write_all(p1, from_hex(f_data49)); // for the other connection
    write_all(p2, from_hex(f_cmd));
    ASSERT_TRUE(run_until([&] { return !r.events.empty(); }, 2));
    EXPECT_EQ(r.events, events_t{"msg 1/1/255"});
    close(p1);
    close(p2);
}

TEST(UsockConnection, NestedMainLoopInAHandlerIsNotReentered) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    int depth = 0, max_depth = 0;
    conn_recorder_t r;
    r.on_msg = [&] {
        max_depth = std::max(max_depth, ++depth);
        if (r.events.size() == 1) {
            // More input arrives while the handler runs its own loop.
            write_all(sv[1], from_hex(f_data49));
            run_until([] { return false; }, 0.1);
        }
        --depth;
    };
    r.close_on_fault = true;
    r.conn.reset(new tern::conn_usock_stream_t(sv[0]));
    r.conn->start(&r);
    write_all(sv[1], from_hex(f_cmd));
    ASSERT_TRUE(run_until([&] { return r.events.size() == 2; }, 2));
    EXPECT_EQ(max_depth, 1);
    EXPECT_EQ(r.events, (events_t{"msg 1/1/255", "msg 3/49/2"}));
    // The owner deletes the connection from inside the loss report.
    close(sv[1]);
    ASSERT_TRUE(run_until([&] { return r.events.size() == 3; }, 2));
    EXPECT_EQ(r.events[2], "lost: lost connection");
    EXPECT_EQ(r.conn, nullptr);
    tern_test::run_pending();
}

class ConnectorTcpPort : public testing::TestWithParam<case_t> {};
TEST_P(ConnectorTcpPort, Source) {
    const auto& c = GetParam().cols;
    if (c.at(1) == "-")
        unsetenv("TERN_PORT");
    else
        setenv("TERN_PORT", c.at(1).c_str(), 1);
    tern::connector_tcp_t connector;
    connector_recorder_t w;
    w.connector = &connector;
    w.passive = c.at(2) == "passive";
    w.use_args = c.at(0) != "none";
    if (w.use_args && !c.at(0).empty()) w.args = {"other=1", c.at(0)};
    connector.start(&w);
    unsetenv("TERN_PORT");
    if (c.at(3).rfind("failed:", 0) == 0) {
        EXPECT_EQ(w.events, events_t{c.at(3)});
    } else { // whether someone listens there or not, the attempt names the endpoint
        ASSERT_TRUE(run_until([&] { return !w.events.empty(); }));
        EXPECT_NE(w.events[0].find(c.at(3)), std::string::npos) << w.events[0];
    }
}
TERN_CASES(File, ConnectorTcpPort, "conn/tcp_port_sources.txt");

// The passive side serves one peer, then stops listening.
TEST(ConnectorTcp, PairConnectsAndThePassiveSideListensNoMore) {
    tern::connector_tcp_t ca, cb;
    connector_recorder_t wa, wb;
    const std::string port = std::to_string(free_port());
    wa.connector = &ca;
    wb.connector = &cb;
    wa.args = wb.args = {"name=x", "port=" + port};
    wb.passive = true;
    cb.start(&wb);
    ca.start(&wa);
    ASSERT_TRUE(run_until([&] { return wa.conns.size() == 1 && wb.conns.size() == 1; }));
    unsigned addr = 0;
    unsigned short a_port = 0, b_port = 0;
    ASSERT_TRUE(static_cast<tern::conn_tcp_t&>(*wa.conns[0]).get_peer(addr, b_port));
    EXPECT_EQ(addr, kLoopback);
    EXPECT_EQ(std::to_string(b_port), port);
    ASSERT_TRUE(static_cast<tern::conn_tcp_t&>(*wb.conns[0]).get_peer(addr, a_port));
    const std::string a_end = "127.0.0.1:" + std::to_string(a_port);
    EXPECT_EQ(wb.events, (events_t{"status: listening on port " + port + "\n",
                                   "status: accepted connection from " + a_end,
                                   "status: connected to " + a_end, "ready"}));
    EXPECT_EQ(wa.events, (events_t{"status: connected to 127.0.0.1:" + port, "ready"}));

    tcp_conn_t late;
    ASSERT_TRUE(late.open());
    if (late.connect(kLoopback, b_port) == 1) {
        ASSERT_TRUE(run_until([&] { return late.get_state() != 1; }));
    }
    EXPECT_NE(late.get_desc().find(": Connection refused"), std::string::npos) << late.get_desc();
}

// Made without a socket: a Unix-socket connection says so at start, a TCP one starts quietly
// and has no peer. A send on either is the closed-end case that every transport runs.
TEST(ConnTcp, WithoutASocketItIsNotConnected) {
    conn_recorder_t tcp, usock;
    auto* c = new tern::conn_tcp_t(nullptr);
    tcp.conn.reset(c);
    usock.conn.reset(new tern::conn_usock_stream_t(-1));
    for (conn_recorder_t* r : {&tcp, &usock}) r->conn->start(r);
    EXPECT_FALSE(c->is_open());
    unsigned a = 0;
    unsigned short port = 0;
    EXPECT_FALSE(c->get_peer(a, port));
    EXPECT_TRUE(tcp.events.empty());
    EXPECT_EQ(usock.events, events_t{"err: not connected"});
}

TEST(ConnectorTcp, ClientMayDeleteTheConnectorFromItsCalls) {
    // Refused at once (nobody listens): the status call deletes the connector mid-attempt.
    const std::string port = std::to_string(free_port());
    for (const std::string& arg : {"port=" + port, std::string("port=x")}) {
        connector_recorder_t w;
        w.connector = new tern::connector_tcp_t;
        w.on_status = [&] {
            delete w.connector;
            w.connector = nullptr;
        };
        w.on_failed = w.on_status;
        w.args = {arg};
        w.connector->start(&w); // "port=x" fails inside start
        ASSERT_TRUE(run_until([&] { return w.connector == nullptr; }));
        EXPECT_EQ(w.events,
                  events_t{arg == "port=x" ? "failed: invalid port number x"
                                           : "status: TCP connection failed: connect() to "
                                             "127.0.0.1:" +
                                                 port + ": Connection refused"});
    }
}

class NetAddrText : public testing::TestWithParam<case_t> {};
TEST_P(NetAddrText, Read) {
    const auto& c = GetParam().cols;
    const std::string text = tern_test::unquote(c.at(1)), want = c.at(2);
    std::string got = "-";
    if (c.at(0) == "addr") {
        unsigned addr = 0xDEADBEEF;
        const bool ok = ip_addr_from_str(text.c_str(), addr);
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08X", addr);
        if (ok || addr != 0xDEADBEEF) got = hex;
    } else if (c.at(0) == "port") {
        unsigned short port = 4242;
        const bool ok = ip_port_from_str(text.c_str(), port);
        if (ok || port != 4242) got = std::to_string(port);
    } else {
        got = ">";
        trim_fat_addr_string(text.c_str(), got);
        got.erase(0, 1);
    }
    EXPECT_EQ(got, want);
}
TERN_CASES(File, NetAddrText, "conn/address_texts.txt");

TEST(NetAddr, NullTextAndPrinting) {
    unsigned addr = 1;
    EXPECT_FALSE(ip_addr_from_str(nullptr, addr));
    EXPECT_EQ(text_of(ipaddr_str_t(net_addr_any())), "0.0.0.0");

    // The caller's stream settings neither change the text nor get changed.
    std::ostringstream os;
    os.fill('*');
    os << std::hex << ipaddr_str_t(0xC0A8010Au, true) << ' ' << hostport_str_t(0x0A000001u, 255);
    EXPECT_EQ(os.str(), "192.168.001.010 10.0.0.1:255");
    EXPECT_EQ(os.fill(), '*');
}

// Records every socket event as a word, in order, and what it reads.
struct recorder_t : tcp_conn_t::client_t {
    explicit recorder_t(tcp_conn_t& s) : sock(s) { sock.set_client(this); }
    tcp_conn_t& sock;
    events_t events;
    std::string data;

    void tcp_conn_connected(bool ok) override { events.push_back(ok ? "connected" : "failed"); }
    void tcp_conn_hup() override { events.push_back("hup"); }
    void tcp_conn_err() override { events.push_back("err"); }
    void tcp_conn_write() override { events.push_back("write"); }
    void tcp_conn_read() override {
        char buf[64];
        const int n = sock.recv(buf, sizeof buf);
        events.push_back("read " + std::to_string(n));
        if (n > 0) data.append(buf, static_cast<size_t>(n));
    }
};

// A listener on a kernel-chosen loopback port, keeping the socket it accepts.
struct listening_t : tcp_listener_t::client_t {
    tcp_listener_t listener;
    std::unique_ptr<tcp_conn_t> sock;
    unsigned addr = 0;
    unsigned short port = 0;

    listening_t() {
        EXPECT_TRUE(listener.open());
        EXPECT_EQ(listener.get_desc(), "open");
        EXPECT_TRUE(listener.set_local_endpoint(kLoopback, 0));
        EXPECT_EQ(listener.get_desc(), "bound to 127.0.0.1:0");
        EXPECT_TRUE(listener.get_local_endpoint(addr, port));
        EXPECT_TRUE(listener.listen(this, 1));
        EXPECT_EQ(listener.get_desc(), "listening with backlog 1");
    }
    // The peer's endpoint it is given shows in the connector's "accepted connection from".
    void tcp_listener_accept(tcp_conn_t* s, unsigned, unsigned short) override { sock.reset(s); }
    void tcp_listener_accept_fail() override {}
};

std::string endpoint(unsigned short port) {
    return "127.0.0.1:" + std::to_string(port);
}

TEST(TcpConn, ConnectAndAcceptConfirmBothEndsBeforeReads) {
    listening_t l;
    tcp_conn_t active;
    recorder_t ac(active);
    EXPECT_EQ(active.get_desc(), "not connected");
    ASSERT_TRUE(active.open());
    ASSERT_TRUE(active.set_blocking(false));
    ASSERT_NE(active.connect(kLoopback, l.port), 0) << active.get_desc();
    ASSERT_TRUE(run_until([&] { return l.sock && active.get_state() == 2; }));
    EXPECT_EQ(ac.events, events_t{"connected"});

    // The accepted end starts connecting, with the peer's endpoint.
    tcp_conn_t& passive = *l.sock;
    unsigned a = 0;
    unsigned short active_port = 0;
    ASSERT_TRUE(active.get_local_endpoint(a, active_port));
    EXPECT_EQ(passive.get_state(), 1);
    EXPECT_EQ(passive.get_desc(), "connecting to " + endpoint(active_port));

    // Bytes already waiting are not read before the first writable event confirms the socket.
    ASSERT_EQ(active.send("hello", 5), 5);
    recorder_t pc(passive);
    ASSERT_TRUE(run_until([&] { return passive.get_state() == 2; }));
    EXPECT_FALSE(passive.get_read_watch());
    passive.set_read_watch(true);
    ASSERT_TRUE(run_until([&] { return pc.data == "hello"; }));
    EXPECT_EQ(pc.events, (events_t{"connected", "read 5"}));

    active.close();
    EXPECT_EQ(active.get_desc(), "not connected");
    EXPECT_EQ(active.get_state(), 0);
}

TEST(TcpConn, HangUpIsReportedOnce) {
    listening_t l;
    tcp_conn_t active;
    recorder_t rec(active);
    ASSERT_TRUE(active.open());
    active.connect(kLoopback, l.port);
    ASSERT_TRUE(run_until([&] { return l.sock && active.get_state() == 2; }));
    // Shutting our own sending side and then losing the peer leaves the socket hung up.
    ASSERT_TRUE(active.shutdown(shutdown_write));
    l.sock.reset();
    ASSERT_TRUE(run_until([&] { return !rec.events.empty() && rec.events.back() == "hup"; }));
    run_until([] { return false; }, 0.05);
    EXPECT_EQ(rec.events, (events_t{"connected", "hup"})); // no repeat while it stays hung up
}

TEST(IpSock, FailuresWriteOneLine) {
    tcp_conn_t closed;
    EXPECT_FALSE(closed.set_blocking(true));
    EXPECT_EQ(closed.get_desc(), "fcntl(F_GETFL): Bad file descriptor");
    EXPECT_FALSE(closed.shutdown(static_cast<shutdown_t>(7)));
    EXPECT_EQ(closed.get_desc(), "unknown shutdown type: 7");
    EXPECT_FALSE(closed.shutdown(shutdown_both));
    EXPECT_EQ(closed.get_desc(), "shutdown(): Bad file descriptor");
    unsigned a = 0;
    unsigned short p = 0;
    EXPECT_FALSE(closed.get_local_endpoint(a, p) || closed.get_remote_endpoint(a, p));

    listening_t l;
    tcp_listener_t second;
    ASSERT_TRUE(second.open());
    EXPECT_FALSE(second.set_local_endpoint(kLoopback, l.port));
    EXPECT_EQ(second.get_desc(), "bind(): Address already in use");
    second.close();
    EXPECT_EQ(second.get_desc(), "no socket");
    EXPECT_FALSE(second.is_open());

    udp_sock_t lone;
    EXPECT_EQ(lone.get_desc(), "no socket");
    ASSERT_TRUE(lone.open());
    EXPECT_FALSE(lone.send("abc", 3));
    EXPECT_EQ(lone.get_desc(), "send(3) = -1: Destination address required");
}

TEST(UdpSock, DatagramsCarryTheirSender) {
    udp_sock_t rx, tx;
    struct readable_t : udp_sock_t::client_t {
        int n = 0;
        void udp_sock_readable() override { ++n; }
    } rc;
    unsigned a = 0;
    unsigned short rx_port = 0, tx_port = 0;
    ASSERT_TRUE(rx.open() && rx.set_local_endpoint(kLoopback, 0));
    ASSERT_TRUE(rx.get_local_endpoint(a, rx_port));
    rx.set_client(&rc);
    rx.set_read_watch(true);
    EXPECT_FALSE(rx.get_from_addr(a, rx_port)); // nothing received yet

    ASSERT_TRUE(tx.open() && tx.set_local_endpoint(kLoopback, 0));
    ASSERT_TRUE(tx.get_local_endpoint(a, tx_port));
    ASSERT_TRUE(tx.sendto("ping", 4, kLoopback, rx_port)) << tx.get_desc();
    ASSERT_TRUE(run_until([&] { return rc.n > 0; }));
    char buf[16];
    ASSERT_EQ(rx.recv(buf, sizeof buf), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    unsigned from = 0;
    unsigned short from_port = 0;
    ASSERT_TRUE(rx.get_from_addr(from, from_port));
    EXPECT_EQ(from, kLoopback);
    EXPECT_EQ(from_port, tx_port);
    rx.close();
    EXPECT_FALSE(rx.get_from_addr(from, from_port));
}

TEST(UdpSock, RefusalOfAnEarlierDatagramReadsAsNothing) {
    const unsigned short port = free_port();
    udp_sock_t s;
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.set_remote_endpoint(kLoopback, port));
    ASSERT_TRUE(s.send("x", 1));
    ASSERT_TRUE(s.set_blocking(false));
    char buf[4];
    int rc = -1;
    // The refusal arrives asynchronously; until then a non-blocking read has nothing.
    run_until([&] { return (rc = s.recv(buf, sizeof buf)) == 0; });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(s.get_desc(), "connected to " + endpoint(port));
}

// Results by id; each must come on the main loop.
struct lookups_t : gethost_client_t {
    std::map<unsigned, unsigned> results;
    int off_main = 0;
    const std::thread::id main = std::this_thread::get_id();
    void gethost_result(unsigned id, unsigned addr) override {
        results[id] = addr;
        off_main += std::this_thread::get_id() != main;
    }
};

TEST(GetHost, ResultsArriveOnTheMainLoopUnderTheirIdsUnlessCancelled) {
    lookups_t l;
    const unsigned local = l.lookup("localhost"), dotted = l.lookup("10.1.2.3");
    const unsigned bad = l.lookup("no-such-host.invalid"), bad_dotted = l.lookup("192.168.1.256");
    l.cancel_lookup(l.lookup("10.0.0.9"));
    EXPECT_TRUE(l.results.empty()); // never delivered from inside lookup()
    ASSERT_TRUE(run_until([&] { return l.results.size() == 4; }, 20.0));
    run_until([] { return false; }, 0.1); // nothing for the cancelled one
    EXPECT_EQ(l.results,
              (std::map<unsigned, unsigned>{
                  {local, 0x7F000001u}, {dotted, 0x0A010203u}, {bad, 0}, {bad_dotted, 0}}));
    EXPECT_EQ(l.off_main, 0);
    EXPECT_EQ(l.results.count(0), 0u); // no id is 0

    l.results.clear();
    l.lookup("10.0.0.7");
    l.cancel_all();
    run_until([] { return false; }, 0.1);
    EXPECT_TRUE(l.results.empty());
}

// The rules every stream transport shares, each run on a real Unix socket pair, a real loopback
// TCP pair and a real pair of pipes: our end is a library connection, the peer a plain
// descriptor. Active connectors retry in ticks of a few milliseconds, one attempt at start and
// one per tick after a failure; passive ones give up on an accept failure rather than spin.

// Our connection and the peer's descriptors: the peer writes to us on `to_us` and reads what
// we send on `from_us` (the same descriptor for sockets).
struct link_t {
    std::unique_ptr<tern::conn_t> conn;
    int to_us = -1, from_us = -1;
    std::vector<int> ours; // our descriptors that the connection leaves open (pipes)
    ~link_t() {
        if (from_us != to_us && from_us >= 0) ::close(from_us);
        if (to_us >= 0) ::close(to_us);
        for (int fd : ours) ::close(fd);
    }
};

// Small queues from us to the peer, so that a peer that does not read fills them in a few
// frames; the other way keeps its room, so that the test can write a lot without reading.
void small_buffer(int fd, int which) {
    const int size = 4096;
    setsockopt(fd, SOL_SOCKET, which, &size, sizeof size);
}

bool make_usock(link_t& l) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
    small_buffer(sv[0], SO_SNDBUF);
    l.conn.reset(new tern::conn_usock_stream_t(sv[0]));
    l.to_us = l.from_us = sv[1];
    return true;
}

bool make_tcp(link_t& l) {
    const int lfd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    small_buffer(lfd, SO_SNDBUF); // inherited by our accepted end
    bool ok = lfd >= 0 && bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
              listen(lfd, 1) == 0 && getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &len) == 0;
    const int peer = ok ? socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    if (peer >= 0) small_buffer(peer, SO_RCVBUF);
    ok = ok && peer >= 0 && connect(peer, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    const int ours = ok ? accept4(lfd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC) : -1;
    if (lfd >= 0) close(lfd);
    l.to_us = l.from_us = peer;
    if (ours < 0) return false;
    // As the connector's accepted sockets: connecting until the first writable event.
    auto* sock = new tcp_conn_t(ours, 0x7F000001u, 0);
    if (!run_until([&] { return sock->get_state() == 2; }, 2)) {
        delete sock;
        return false;
    }
    l.conn.reset(new tern::conn_tcp_t(sock));
    return true;
}

bool make_pipe(link_t& l) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return false;
    l.to_us = in[1];
    l.ours = {in[0]};
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    l.from_us = out[0];
    l.ours.push_back(out[1]);
    fcntl(out[1], F_SETPIPE_SZ, 4096);
    l.conn.reset(new tern::conn_pipe_t(in[0], out[1]));
    return true;
}

struct transport_t {
    const char* name;
    bool (*make)(link_t&);
    void (*close)(tern::conn_t&); // the transport's close(), or null when it has none
    const char* timed_out;        // description after a peer that never reads
    const char* gone;             // start of the event after a send to a peer that went away
    const char* hung_up;          // the event after the peer hung up
    const char* closed;           // the event after a send on our closed end
};

const transport_t transports[] = {
    {"usock", make_usock,
     [](tern::conn_t& c) { static_cast<tern::conn_usock_stream_t&>(c).close(); },
     "lost connection: Connection timed out", "lost: lost connection", "lost: lost connection",
     "err: not connected"},
    {"tcp", make_tcp, [](tern::conn_t& c) { static_cast<tern::conn_tcp_t&>(c).close(); },
     "lost connection: send(): err=110 Connection timed out",
     "lost: lost connection: send(): err=", "lost: TCP connection hung up", "err: not connected"},
    {"pipe", make_pipe, nullptr, "lost connection: Connection timed out",
     "err: wrote 0 of 10: Broken pipe", "lost: received HUP from peer",
     "err: wrote 0 of 10: Bad file descriptor"},
};

template <class T>
std::string param_name(const ::testing::TestParamInfo<T>& i) {
    return i.param.name;
}

// Frames of data type 1..n (port 2), so that order and loss both show.
bytes_t numbered_frames(unsigned n) {
    bytes_t all;
    for (unsigned i = 1; i <= n; ++i) {
        const bytes_t f = tern_test::raw_frame(3, i, 2, bytes_t(4, 0x55));
        all.insert(all.end(), f.begin(), f.end());
    }
    return all;
}

std::vector<std::string> numbered_events(unsigned from, unsigned to) {
    std::vector<std::string> v;
    for (unsigned i = from; i <= to; ++i) v.push_back("msg 3/" + std::to_string(i) + "/2");
    return v;
}

// A message whose payload no frame can carry.
struct huge_msg_t : tern::msg_t {
    huge_msg_t() : msg_t(category_data, 49, 2) {}
    void encodeContents(tern::msg_encoder_t& enc) const override {
        const bytes_t blob(2000, 0x11);
        enc.encodeBlob(blob.data(), static_cast<unsigned>(blob.size()));
    }
};

struct Transport : ::testing::TestWithParam<transport_t> {
    void SetUp() override { ASSERT_TRUE(GetParam().make(link)) << GetParam().name; }
    void start() {
        rec.conn = std::move(link.conn);
        rec.conn->start(&rec);
    }
    link_t link;
    conn_recorder_t rec;
};

TEST_P(Transport, OwnerMayStopInAHandlerAndStartAgainWithoutLosingAFrame) {
    rec.on_msg = [&] {
        if (rec.events.size() == 1) rec.conn->stop();
    };
    start();
    write_all(link.to_us, numbered_frames(1000)); // one write: many frames per read
    ASSERT_TRUE(run_until([&] { return !rec.events.empty(); }));
    run_until([] { return false; }, 0.05); // while stopped nothing is delivered
    EXPECT_EQ(rec.events.size(), 1u);
    rec.conn->start(&rec);
    ASSERT_TRUE(run_until([&] { return rec.events.size() >= 1000; }));
    EXPECT_EQ(rec.events, numbered_events(1, 1000));
}

TEST_P(Transport, OwnerMayCloseOrDeleteInAHandlerWhileMoreIsWaiting) {
    for (const bool del : {false, true}) {
        SCOPED_TRACE(del ? "delete" : "close");
        if (!del && !GetParam().close) continue;
        link_t l;
        ASSERT_TRUE(GetParam().make(l));
        conn_recorder_t r;
        const auto close = GetParam().close;
        r.on_msg = [&] {
            if (r.events.size() != 1) return;
            if (del)
                r.conn.reset();
            else
                close(*r.conn);
        };
        r.conn = std::move(l.conn);
        r.conn->start(&r);
        write_all(l.to_us, numbered_frames(1000)); // 10 000 bytes and more, in one write
        ASSERT_TRUE(run_until([&] { return !r.events.empty(); }));
        run_until([] { return false; }, 0.05);
        // What was already buffered may still come; no read on a closed or freed socket.
        EXPECT_EQ(r.count("msg"), r.events.size()) << r.events.back();
        EXPECT_LT(r.events.size(), 1000u);
    }
}

TEST_P(Transport, OwnerMayDeleteOnAFailedBufferAllocation) {
    rec.bufsize = refused_bufsize;
    rec.close_on_fault = true;
    start();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"err: failed to allocate buffer of size " +
                                                    std::to_string(refused_bufsize)}));
    EXPECT_EQ(rec.conn, nullptr);
}

TEST_P(Transport, FramesBeforeTheHangUpAreDeliveredAndTheLossReportedOnce) {
    start();
    bytes_t all = numbered_frames(3);
    all.insert(all.end(), {tern::STX, 0x04, 0x00}); // torn: no message
    write_all(link.to_us, all);
    ::close(link.to_us); // input and hang-up are both pending now
    if (link.from_us == link.to_us) link.from_us = -1;
    link.to_us = -1;
    ASSERT_TRUE(run_until([&] { return rec.count("lost") > 0; }));
    tern_test::run_pending();
    auto want = numbered_events(1, 3);
    want.push_back(GetParam().hung_up);
    EXPECT_EQ(rec.events, want);
}

TEST_P(Transport, StrayStartBytesInGarbageNeverWedgeTheStream) {
    // Garbage with start bytes followed by any length, small or far beyond a frame, between
    // valid frames; then padding, so that no false start waits at the end.
    std::mt19937 rng(7);
    bytes_t all;
    const bytes_t frames = numbered_frames(300);
    std::size_t at = 0;
    for (unsigned i = 0; i < 300; ++i) {
        for (auto g = static_cast<unsigned>(rng() % 24); g > 0; --g) {
            const auto v = static_cast<unsigned>(rng());
            all.push_back(v % 5 == 0 ? tern::STX : static_cast<unsigned char>(v >> 8));
        }
        all.insert(all.end(), frames.begin() + static_cast<long>(at),
                   frames.begin() + static_cast<long>(at + 14));
        at += 14;
    }
    all.insert(all.end(), 1100, 0x00);
    start();
    write_all(link.to_us, all);
    ASSERT_TRUE(run_until([&] { return rec.events.size() >= 300 || rec.count("err"); }));
    EXPECT_EQ(rec.events, numbered_events(1, 300));
}

TEST_P(Transport, FrameLongerThanTheBufferOverflowsEveryReadAndTheLinkStaysUsable) {
    rec.bufsize = 64;
    start();
    write_all(link.to_us, tern_test::raw_frame(3, 10, 2, bytes_t(100, 0x55))); // 110 bytes
    ASSERT_TRUE(run_until([&] { return rec.events.size() >= 2; }));
    EXPECT_EQ(rec.count("err: buffer overflow"), rec.events.size());
    EXPECT_EQ(rec.conn->get_rxbuf().len(), 64u); // nothing discarded
    rec.conn->stop();                            // the owner's decision; sending still works
    EXPECT_TRUE(rec.conn->send_msg(&cmd_msg));
    unsigned char got[16];
    EXPECT_EQ(read(link.from_us, got, sizeof got), 10);
}

TEST_P(Transport, MessageTooBigForAFrameIsRefusedAndTheLinkStaysUp) {
    start();
    const huge_msg_t huge;
    EXPECT_FALSE(rec.conn->send_msg(&huge));
    EXPECT_EQ(rec.conn->get_desc(), "message does not fit in one frame");
    EXPECT_TRUE(rec.events.empty());
    EXPECT_TRUE(rec.conn->send_msg(&cmd_msg));
    unsigned char got[16];
    ASSERT_EQ(read(link.from_us, got, sizeof got), 10);
    EXPECT_EQ(tern_test::to_hex(got, 10), "02 04 00 01 00 FF 01 AA E1 03");
}

TEST_P(Transport, SendToAPeerThatWentAwayFailsWithoutASignal) {
    start();
    ::close(link.from_us);
    if (link.to_us == link.from_us) link.to_us = -1;
    link.from_us = -1;
    // Loopback TCP may take the first frame and answer it with a reset; SIGPIPE would end the
    // test program here.
    for (int i = 0; i < 50 && rec.events.empty(); ++i) rec.conn->send_msg(&cmd_msg);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].rfind(GetParam().gone, 0), 0u) << rec.events[0];
}

TEST_P(Transport, SendingOnOurClosedEndFailsAndSaysWhy) {
    start();
    if (GetParam().close) {
        GetParam().close(*rec.conn);
    } else { // a closed standard output
        ::close(link.ours.back());
        link.ours.pop_back();
    }
    EXPECT_FALSE(rec.conn->send_msg(&cmd_msg));
    EXPECT_EQ(rec.events, std::vector<std::string>{GetParam().closed});
}

TEST_P(Transport, PeerThatNeverReadsIsLostAfterTheSendTimeout) {
    start();
    rec.conn->set_send_timeout(20);
    int sent = 0;
    while (sent < 1000000 && rec.conn->send_msg(&cmd_msg)) ++sent;
    EXPECT_GT(sent, 0);
    EXPECT_EQ(rec.events, std::vector<std::string>{std::string("lost: ") + GetParam().timed_out});
}

INSTANTIATE_TEST_SUITE_P(All, Transport, ::testing::ValuesIn(transports), param_name<transport_t>);

constexpr unsigned tick_ms = 10;

// The other end: listens when asked to, or reaches the connector under test.
struct peer_t {
    virtual ~peer_t() = default;
    virtual std::string arg() const = 0;
    virtual void listen() = 0;
    virtual bool reach() = 0;
};

struct tcp_peer_t : peer_t, tcp_listener_t::client_t {
    unsigned short port = free_port();
    tcp_listener_t listener;
    std::list<tcp_conn_t> out;
    std::string arg() const override { return "port=" + std::to_string(port); }
    void listen() override {
        listener.open();
        listener.set_local_port(port);
        listener.listen(this, 4);
    }
    bool reach() override {
        out.emplace_back();
        return out.back().open() && out.back().connect(kLoopback, port) != 0;
    }
    void tcp_listener_accept(tcp_conn_t* s, unsigned, unsigned short) override { delete s; }
    void tcp_listener_accept_fail() override {}
};

struct usock_peer_t : peer_t {
    std::string name = "@tern-connector-" + std::to_string(getpid());
    std::vector<int> fds;
    ~usock_peer_t() override {
        for (int fd : fds) close(fd);
    }
    std::string arg() const override { return "socket=" + name; }
    void listen() override { ASSERT_GE(fds.emplace_back(raw_socket(name, true)), 0); }
    bool reach() override { return fds.emplace_back(raw_socket(name)) >= 0; }
};

struct kind_t {
    const char* name;
    std::unique_ptr<tern::connector_t> (*connector)(unsigned budget);
    std::unique_ptr<peer_t> (*peer)();
    const char* refused;   // status of a refused attempt, up to the address
    unsigned give_up_tick; // the tick that says "connection timed out" with the default budget
    unsigned give_up_tick_of_two; // and with a budget of 2
    const char* listening;        // status before the port number when listening, or null
    const char* accept_failed;
};

template <class C>
std::unique_ptr<tern::connector_t> make_connector(unsigned budget) {
    auto* c = new C;
    c->set_retry_interval(tick_ms);
    if (budget) c->set_retry_count(budget);
    return std::unique_ptr<tern::connector_t>(c);
}

const kind_t kinds[] = {
    {"tcp", make_connector<tern::connector_tcp_t>,
     [] { return std::unique_ptr<peer_t>(new tcp_peer_t); },
     "status: TCP connection failed: connect() to 127.0.0.1:", 5, 2, "status: listening on port ",
     "failed: failure while accepting connection: accept(): Too many open files"},
    {"usock", make_connector<tern::connector_usock_stream_t>,
     [] { return std::unique_ptr<peer_t>(new usock_peer_t); },
     "status: connect failed: Connection refused", 4, 1, nullptr,
     "failed: failed to accept connection: Too many open files"},
};

struct Connector : ::testing::TestWithParam<kind_t> {
    // Starts the connector with `budget` (0: the default) towards a peer not listening yet.
    void start(unsigned budget = 0, bool passive = false) {
        connector = GetParam().connector(budget);
        peer = GetParam().peer();
        rec.connector = connector.get();
        rec.passive = passive;
        rec.args = {peer->arg()};
        t0 = tern_test::mono_now();
        connector->start(&rec);
    }
    std::size_t count_refused() const { return rec.count(GetParam().refused); }

    std::unique_ptr<tern::connector_t> connector;
    std::unique_ptr<peer_t> peer;
    connector_recorder_t rec;
    double t0 = 0;
};

// One refusal at start and one per tick before the last; a budget of two gives up sooner.
TEST_P(Connector, AbsentPeerIsTriedOncePerTickThenTimesOut) {
    for (const unsigned budget : {0u, 2u}) {
        rec = connector_recorder_t();
        start(budget);
        const unsigned ticks = budget ? GetParam().give_up_tick_of_two : GetParam().give_up_tick;
        ASSERT_TRUE(run_until([&] { return rec.count("failed:") > 0; }));
        ASSERT_EQ(rec.events.size(), ticks + 1) << rec.events[0];
        EXPECT_EQ(count_refused(), ticks);
        EXPECT_EQ(rec.events.back(), "failed: connection timed out");
        EXPECT_GE(rec.times.back() - t0, ticks * tick_ms / 1000.0);
        run_until([] { return false; }, 3 * tick_ms / 1000.0); // the clock stopped
        EXPECT_EQ(rec.events.size(), ticks + 1);
    }
}

TEST_P(Connector, LatePeerIsReachedOnTheThirdAttempt) {
    start();
    rec.on_status = [&] {
        if (count_refused() == 2 && rec.conns.empty()) peer->listen();
    };
    ASSERT_TRUE(run_until([&] { return !rec.conns.empty() || rec.count("failed:"); }));
    EXPECT_EQ(rec.conns.size(), 1u);
    EXPECT_EQ(count_refused(), 2u);
    EXPECT_EQ(rec.events.back(), "ready");
    EXPECT_GE(rec.times.back() - t0, 2 * tick_ms / 1000.0);
}

TEST_P(Connector, AcceptFailureGivesUpInsteadOfSpinning) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own checks need spare descriptors, which this test uses up.
    GTEST_SKIP() << "needs every descriptor of the process";
#endif
    start(0, true);
    bool reached = false, reported = false;
    {
        tern_test::fd_squeeze_t squeeze; // room for the peer's socket, none for the accepted one
        ASSERT_TRUE(squeeze.ok());
        reached = peer->reach();
        reported = run_until([&] { return rec.count("failed:") > 0; }, 2);
        run_until([] { return false; }, 0.1); // a spinning listener would report on and on
    }
    ASSERT_TRUE(reached);
    ASSERT_TRUE(reported);
    events_t want{GetParam().accept_failed};
    if (GetParam().listening)
        want.insert(want.begin(), GetParam().listening + peer->arg().substr(5) + "\n");
    EXPECT_EQ(rec.events, want);
    // Started again, it listens and serves a peer as before.
    connector->start(&rec);
    ASSERT_TRUE(peer->reach());
    EXPECT_TRUE(run_until([&] { return rec.conns.size() == 1; }, 2));
}

INSTANTIATE_TEST_SUITE_P(All, Connector, ::testing::ValuesIn(kinds), param_name<kind_t>);

} // namespace
