// Sockets and addresses: TCP, UDP and listeners on loopback, host look-ups on the main loop,
// and the address and port texts of settings and arguments.
#include <tern/conn/net.h>
#include <tern/conn/net_addr.h>

#include "support/cases.h"
#include "support/loopback.h"
#include "support/mainloop.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using tern_test::case_t;
using tern_test::free_port;
using tern_test::kLoopback;
using tern_test::run_until;
using tern_test::text_of;

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
INSTANTIATE_TEST_SUITE_P(File, NetAddrText,
                         testing::ValuesIn(tern_test::read_cases("conn/address_texts.txt")),
                         tern_test::case_name);

TEST(NetAddr, NullTextAndPrinting) {
    unsigned addr = 1;
    EXPECT_FALSE(ip_addr_from_str(nullptr, addr));
    EXPECT_EQ(text_of(ipaddr_str_t(net_addr_loopback())), "127.0.0.1");
    EXPECT_EQ(text_of(ipaddr_str_t(0x0A000001u, true)), "010.000.000.001");
    EXPECT_EQ(text_of(ipaddr_str_t(net_addr_any())), "0.0.0.0");
    EXPECT_EQ(text_of(hostport_str_t(0xC0A80164u, 5017)), "192.168.1.100:5017");

    // The caller's stream settings neither change the text nor get changed.
    std::ostringstream os;
    os.fill('*');
    os << std::hex << ipaddr_str_t(0xC0A8010Au, true) << ' ' << hostport_str_t(0x0A000001u, 255);
    EXPECT_EQ(os.str(), "192.168.001.010 10.0.0.1:255");
    EXPECT_EQ(os.fill(), '*');
}

namespace {

using events_t = std::vector<std::string>;

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
    unsigned short port = 0, peer_port = 0;

    listening_t() {
        events_t descs;
        EXPECT_TRUE(listener.open());
        descs.push_back(listener.get_desc());
        EXPECT_TRUE(listener.set_local_endpoint(kLoopback, 0));
        descs.push_back(listener.get_desc());
        EXPECT_TRUE(listener.get_local_endpoint(addr, port));
        EXPECT_TRUE(listener.listen(this, 1));
        descs.push_back(listener.get_desc());
        EXPECT_EQ(descs, (events_t{"open", "bound to 127.0.0.1:0", "listening with backlog 1"}));
    }
    void tcp_listener_accept(tcp_conn_t* s, unsigned a, unsigned short p) override {
        sock.reset(s);
        addr = a;
        peer_port = p;
    }
    void tcp_listener_accept_fail() override {}
};

std::string endpoint(unsigned short port) {
    return "127.0.0.1:" + std::to_string(port);
}

} // namespace

TEST(TcpConn, ConnectAndAcceptConfirmBothEndsBeforeReads) {
    listening_t l;
    tcp_conn_t active;
    recorder_t ac(active);
    EXPECT_EQ(active.get_desc(), "not connected");
    ASSERT_TRUE(active.open());
    ASSERT_TRUE(active.set_blocking(false));
    ASSERT_NE(active.connect(kLoopback, l.port), 0) << active.get_desc();
    ASSERT_TRUE(run_until([&] { return l.sock && active.get_state() == 2; }));
    EXPECT_EQ(active.get_desc(), "connected to " + endpoint(l.port));
    EXPECT_EQ(ac.events, events_t{"connected"});

    // The accepted end starts connecting, with the peer's endpoint.
    tcp_conn_t& passive = *l.sock;
    unsigned a = 0;
    unsigned short active_port = 0;
    ASSERT_TRUE(active.get_local_endpoint(a, active_port));
    EXPECT_EQ(l.addr, kLoopback);
    EXPECT_EQ(l.peer_port, active_port);
    EXPECT_EQ(passive.get_state(), 1);
    EXPECT_EQ(passive.get_desc(), "connecting to " + endpoint(active_port));

    // Bytes already waiting are not read before the first writable event confirms the socket.
    ASSERT_EQ(active.send("hello", 5), 5);
    recorder_t pc(passive);
    ASSERT_TRUE(run_until([&] { return passive.get_state() == 2; }));
    EXPECT_EQ(passive.get_desc(), "connected to " + endpoint(active_port));
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
    EXPECT_EQ(s.get_desc(), "connected to " + endpoint(port));
    ASSERT_TRUE(s.send("x", 1));
    ASSERT_TRUE(s.set_blocking(false));
    char buf[4];
    int rc = -1;
    // The refusal arrives asynchronously; until then a non-blocking read has nothing.
    run_until([&] { return (rc = s.recv(buf, sizeof buf)) == 0; });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(s.get_desc(), "connected to " + endpoint(port));
}

namespace {

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

} // namespace

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
