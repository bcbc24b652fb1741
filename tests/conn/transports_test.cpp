// Owner and peer behaviour that every stream transport must share, each case run on a real
// Unix socket pair, a real loopback TCP pair and a real pair of pipes. Our end is a library
// connection; the peer is a plain descriptor the test writes to and reads from.
//
// And the rules every stream connector shares, on TCP and on Unix sockets. The active ones
// retry in ticks of an interval of a few milliseconds: one attempt at start and one per tick after
// a failure, and the tick that says "connection timed out" with the default budget of 5. The
// passive ones give up on an accept failure rather than spin on it.
#include "support/codec.h"
#include "support/conn_recorder.h"
#include "support/fd_squeeze.h"
#include "support/hex.h"
#include "support/loopback.h"
#include "support/mainloop.h"
#include "support/usock.h"

#include <tern/conn/conn_pipe.h>
#include <tern/conn/conn_tcp.h>
#include <tern/conn/conn_usock_stream.h>
#include <tern/conn/net.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <list>
#include <netinet/in.h>
#include <new>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

using tern_test::conn_recorder_t;
using tern_test::connector_recorder_t;
using tern_test::mono_now;
using tern_test::run_until;

namespace {

using bytes_t = std::vector<unsigned char>;

// A client asking for a receive buffer of this size cannot have it (see operator new[] below).
constexpr unsigned int refused_bufsize = 0x7FFFF00Du;

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

void write_all(int fd, const bytes_t& b) {
    std::size_t done = 0;
    while (done < b.size()) {
        const ssize_t n = write(fd, b.data() + done, b.size() - done);
        ASSERT_GT(n, 0) << std::strerror(errno);
        done += static_cast<std::size_t>(n);
    }
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

class Transport : public ::testing::TestWithParam<transport_t> {
protected:
    void SetUp() override { ASSERT_TRUE(GetParam().make(link)) << GetParam().name; }
    void start() {
        rec.conn = std::move(link.conn);
        rec.conn->start(&rec);
    }
    link_t link;
    conn_recorder_t rec;
};

} // namespace

// Refuses one size only, so that a failed buffer allocation can be had on any machine.
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    if (n == refused_bufsize) return nullptr;
    try {
        return ::operator new[](n);
    } catch (...) {
        return nullptr;
    }
}

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
    const tern::msg_t m(tern::msg_t::category_cmd, 1);
    EXPECT_TRUE(rec.conn->send_msg(&m));
    unsigned char got[16];
    EXPECT_EQ(read(link.from_us, got, sizeof got), 10);
}

TEST_P(Transport, MessageTooBigForAFrameIsRefusedAndTheLinkStaysUp) {
    start();
    const huge_msg_t huge;
    EXPECT_FALSE(rec.conn->send_msg(&huge));
    EXPECT_EQ(rec.conn->get_desc(), "message does not fit in one frame");
    EXPECT_TRUE(rec.events.empty());
    const tern::msg_t m(tern::msg_t::category_cmd, 1);
    EXPECT_TRUE(rec.conn->send_msg(&m));
    unsigned char got[16];
    ASSERT_EQ(read(link.from_us, got, sizeof got), 10);
    EXPECT_EQ(tern_test::to_hex(got, 10), "02 04 00 01 00 FF 01 AA E1 03");
}

TEST_P(Transport, SendToAPeerThatWentAwayFailsWithoutASignal) {
    start();
    ::close(link.from_us);
    if (link.to_us == link.from_us) link.to_us = -1;
    link.from_us = -1;
    const tern::msg_t m(tern::msg_t::category_cmd, 1);
    // Loopback TCP may take the first frame and answer it with a reset; SIGPIPE would end the
    // test program here.
    for (int i = 0; i < 50 && rec.events.empty(); ++i) rec.conn->send_msg(&m);
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
    const tern::msg_t m(tern::msg_t::category_cmd, 1);
    EXPECT_FALSE(rec.conn->send_msg(&m));
    EXPECT_EQ(rec.events, std::vector<std::string>{GetParam().closed});
}

TEST_P(Transport, PeerThatNeverReadsIsLostAfterTheSendTimeout) {
    start();
    rec.conn->set_send_timeout(20);
    const tern::msg_t m(tern::msg_t::category_cmd, 1);
    int sent = 0;
    while (sent < 1000000 && rec.conn->send_msg(&m)) ++sent;
    EXPECT_GT(sent, 0);
    EXPECT_EQ(rec.events, std::vector<std::string>{std::string("lost: ") + GetParam().timed_out});
}

INSTANTIATE_TEST_SUITE_P(All, Transport, ::testing::ValuesIn(transports),
                         [](const ::testing::TestParamInfo<transport_t>& i) {
                             return std::string(i.param.name);
                         });

namespace {

using events_t = std::vector<std::string>;

constexpr unsigned tick_ms = 10;

// The other end: listens when asked to, or reaches the connector under test.
struct peer_t {
    virtual ~peer_t() = default;
    virtual std::string arg() const = 0;
    virtual void listen() = 0;
    virtual bool reach() = 0;
};

struct tcp_peer_t : peer_t, tcp_listener_t::client_t {
    unsigned short port = tern_test::free_port();
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
        return out.back().open() && out.back().connect(tern_test::kLoopback, port) != 0;
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
    void listen() override { ASSERT_GE(fds.emplace_back(tern_test::raw_socket(name, true)), 0); }
    bool reach() override { return fds.emplace_back(tern_test::raw_socket(name)) >= 0; }
};

struct kind_t {
    const char* name;
    std::unique_ptr<tern::connector_t> (*connector)(unsigned budget);
    std::unique_ptr<peer_t> (*peer)();
    const char* refused;   // status of a refused attempt, up to the address
    unsigned give_up_tick; // the tick that says "connection timed out" with the default budget
    const char* listening; // status before the port number when listening, or null
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
     "status: TCP connection failed: connect() to 127.0.0.1:", 5, "status: listening on port ",
     "failed: failure while accepting connection: accept(): Too many open files"},
    {"usock", make_connector<tern::connector_usock_stream_t>,
     [] { return std::unique_ptr<peer_t>(new usock_peer_t); },
     "status: connect failed: Connection refused", 4, nullptr,
     "failed: failed to accept connection: Too many open files"},
};

class Connector : public ::testing::TestWithParam<kind_t> {
protected:
    // Starts the connector with `budget` (0: the default) towards a peer not listening yet.
    void start(unsigned budget = 0, bool passive = false) {
        connector = GetParam().connector(budget);
        peer = GetParam().peer();
        rec.connector = connector.get();
        rec.passive = passive;
        rec.args = {peer->arg()};
        t0 = mono_now();
        connector->start(&rec);
    }
    std::size_t count_refused() const { return rec.count(GetParam().refused); }

    std::unique_ptr<tern::connector_t> connector;
    std::unique_ptr<peer_t> peer;
    connector_recorder_t rec;
    double t0 = 0;
};

} // namespace

TEST_P(Connector, AbsentPeerIsTriedOncePerTickThenTimesOut) {
    start();
    const unsigned ticks = GetParam().give_up_tick;
    ASSERT_TRUE(run_until([&] { return rec.count("failed:") > 0; }));
    // One refusal at start and one per tick before the last.
    ASSERT_EQ(rec.events.size(), ticks + 1) << rec.events[0];
    EXPECT_EQ(count_refused(), ticks);
    EXPECT_EQ(rec.events.back(), "failed: connection timed out");
    EXPECT_GE(rec.times.back() - t0, ticks * tick_ms / 1000.0);
    run_until([] { return false; }, 3 * tick_ms / 1000.0); // the clock stopped
    EXPECT_EQ(rec.events.size(), ticks + 1);
}

TEST_P(Connector, BudgetOfTwoGivesUpSooner) {
    start(2);
    ASSERT_TRUE(run_until([&] { return rec.count("failed:") > 0; }));
    const std::size_t tries = std::string(GetParam().name) == "tcp" ? 2 : 1;
    EXPECT_EQ(count_refused(), tries);
    EXPECT_EQ(rec.events.size(), tries + 1);
    EXPECT_EQ(rec.events.back(), "failed: connection timed out");
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

INSTANTIATE_TEST_SUITE_P(All, Connector, ::testing::ValuesIn(kinds),
                         [](const ::testing::TestParamInfo<kind_t>& i) {
                             return std::string(i.param.name);
                         });
