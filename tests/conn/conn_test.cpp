// Connections: the receive buffer and frame decoding, the global connections, and what the pipe,
// Unix-socket and TCP connections and connectors do beyond the rules every transport shares.
#include <tern/conn/conn.h>
#include <tern/conn/conn_pipe.h>
#include <tern/conn/conn_tcp.h>
#include <tern/conn/conn_usock_stream.h>
#include <tern/conn/net.h>

#include "support/cases.h"
#include "support/conn_recorder.h"
#include "support/hex.h"
#include "support/loopback.h"
#include "support/mainloop.h"
#include "support/scratch.h"
#include "support/usock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using tern_test::case_t;
using tern_test::conn_recorder_t;
using tern_test::connector_recorder_t;
using tern_test::free_port;
using tern_test::from_hex;
using tern_test::kLoopback;
using tern_test::raw_socket;
using tern_test::run_until;

namespace {

using bytes_t = std::vector<unsigned char>;
using events_t = std::vector<std::string>;

// Command 1/1 port 255, empty payload.
const char* const f_cmd = "02 04 00 01 00 FF 01 AA E1 03";
// Data 3/49 port 2, empty payload.
const char* const f_data49 = "02 04 00 31 00 02 03 9C 88 03";

// A connection fed by the test instead of a descriptor, one "read" per feed().
class fed_conn_t : public tern::conn_t {
public:
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

void send_hex(int fd, const std::string& h) {
    const auto b = from_hex(h);
    ASSERT_EQ(write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size()));
}

// A passive connector on NAME with its recorder.
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

// A connected pair: `a` actively connected to the passive `b`, both started.
struct pair_t {
    tern::connector_tcp_t ca, cb;
    connector_recorder_t wa, wb;
    conn_recorder_t oa, ob;
    const std::string port = std::to_string(free_port());

    bool open() {
        wa.connector = &ca;
        wb.connector = &cb;
        wa.args = wb.args = {"name=x", "port=" + port};
        wb.passive = true;
        cb.start(&wb);
        ca.start(&wa);
        if (!run_until([&] { return wa.conns.size() == 1 && wb.conns.size() == 1; })) return false;
        oa.conn = std::move(wa.conns[0]);
        ob.conn = std::move(wb.conns[0]);
        oa.conn->start(&oa);
        ob.conn->start(&ob);
        return true;
    }
    tern::conn_tcp_t& a() { return static_cast<tern::conn_tcp_t&>(*oa.conn); }
    tern::conn_tcp_t& b() { return static_cast<tern::conn_tcp_t&>(*ob.conn); }
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

} // namespace

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
INSTANTIATE_TEST_SUITE_P(File, ConnDecodeReads,
                         testing::ValuesIn(tern_test::read_cases("conn/frame_reads.txt")),
                         tern_test::case_name);

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
    tern::msg_t m(tern::msg_t::category_cmd, 1);

    EXPECT_EQ(tern::set_send_msg_conn(nullptr), nullptr);
    EXPECT_FALSE(tern::send_msg(&m));
    EXPECT_TRUE(tern::send_msg_dropped());
    EXPECT_EQ(tern::set_send_msg_conn(a), nullptr);
    EXPECT_FALSE(tern::send_msg_dropped()); // reset by setting
    EXPECT_TRUE(tern::send_msg(&m));
    EXPECT_FALSE(tern::send_msg_dropped());

    delete a;
    EXPECT_EQ(tern::conn_t::get_default(), nullptr);
    EXPECT_FALSE(tern::send_msg(&m)); // dropped, not sent through a deleted object
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
    const struct {
        std::string name; // empty: no socket= argument
        std::string events;
    } cases[] = {
        {"", "failed: no socket name specified "},
        {"@" + std::string(107, 'a'), "failed: socket name is too long"},
        {path107 + "x", "failed: socket name is too long"},
        {"@" + std::string(106, 'b'), ""},
        {path107, ""},
    };
    unsetenv("TERN_SOCKNAME");
    for (const auto& c : cases) {
        listener_t l(c.name);
        EXPECT_EQ(l.rec.events, c.events.empty() ? events_t{} : events_t{c.events}) << c.name;
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

TEST(UsockConnector, StaleSocketIsReplacedButOtherFilesAreKept) {
    tern_test::temp_dir_t dir;
    const std::string stale = dir.path() + "/stale";
    close(raw_socket(stale, true)); // leaves the socket file behind
    listener_t a(stale);
    EXPECT_EQ(a.rec.events, events_t{});
    const int peer = raw_socket(stale);
    EXPECT_GE(peer, 0);
    EXPECT_TRUE(run_until([&] { return !a.rec.conns.empty(); }, 2));
    close(peer);

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
    send_hex(p1, f_data49); // for the other connection
    send_hex(p2, f_cmd);
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
            send_hex(sv[1], f_data49);
            run_until([] { return false; }, 0.1);
        }
        --depth;
    };
    r.close_on_fault = true;
    r.conn.reset(new tern::conn_usock_stream_t(sv[0]));
    r.conn->start(&r);
    send_hex(sv[1], f_cmd);
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
INSTANTIATE_TEST_SUITE_P(File, ConnectorTcpPort,
                         testing::ValuesIn(tern_test::read_cases("conn/tcp_port_sources.txt")),
                         tern_test::case_name);

// The passive side serves one peer, then stops listening.
TEST(ConnectorTcp, PairExchangesFramesBothWaysAndListensNoMore) {
    pair_t p;
    ASSERT_TRUE(p.open());
    unsigned addr = 0;
    unsigned short a_port = 0, b_port = 0;
    ASSERT_TRUE(p.a().get_peer(addr, b_port));
    EXPECT_EQ(addr, kLoopback);
    EXPECT_EQ(std::to_string(b_port), p.port);
    ASSERT_TRUE(p.b().get_peer(addr, a_port));
    const std::string a_end = "127.0.0.1:" + std::to_string(a_port);
    EXPECT_EQ(p.wb.events, (events_t{"status: listening on port " + p.port + "\n",
                                     "status: accepted connection from " + a_end,
                                     "status: connected to " + a_end, "ready"}));
    EXPECT_EQ(p.wa.events, (events_t{"status: connected to 127.0.0.1:" + p.port, "ready"}));

    const tern::msg_t to_b(tern::msg_t::category_cmd, 1), to_a(tern::msg_t::category_data, 49, 2);
    ASSERT_TRUE(p.oa.conn->send_msg(&to_b));
    ASSERT_TRUE(p.ob.conn->send_msg(&to_a));
    ASSERT_TRUE(run_until([&] { return p.oa.events.size() == 1 && p.ob.events.size() == 1; }));
    EXPECT_EQ(p.ob.events, events_t{"msg 1/1/255"});
    EXPECT_EQ(p.oa.events, events_t{"msg 3/49/2"});

    tcp_conn_t late;
    ASSERT_TRUE(late.open());
    if (late.connect(kLoopback, b_port) == 1) {
        ASSERT_TRUE(run_until([&] { return late.get_state() != 1; }));
    }
    EXPECT_NE(late.get_desc().find(": Connection refused"), std::string::npos) << late.get_desc();
}

// Made without a socket: a Unix-socket connection says so at start and on a send, a TCP one
// on a send, and has no peer.
TEST(ConnTcp, WithoutASocketItIsNotConnected) {
    const tern::msg_t m(tern::msg_t::category_cmd, 1);
    conn_recorder_t tcp, usock;
    auto* c = new tern::conn_tcp_t(nullptr);
    tcp.conn.reset(c);
    usock.conn.reset(new tern::conn_usock_stream_t(-1));
    for (conn_recorder_t* r : {&tcp, &usock}) {
        r->conn->start(r);
        EXPECT_FALSE(r->conn->send_msg(&m));
    }
    EXPECT_FALSE(c->is_open());
    unsigned a = 0;
    unsigned short port = 0;
    EXPECT_FALSE(c->get_peer(a, port));
    EXPECT_EQ(tcp.events, events_t{"err: not connected"});
    EXPECT_EQ(usock.events, (events_t{"err: not connected", "err: not connected"}));
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
