// Rules every stream connector shares, on TCP and on Unix sockets. The active ones retry in
// ticks of an interval of a few milliseconds: one attempt at start and one per tick after a
// failure, and the tick that says "connection timed out" with the default budget of 5. The
// passive ones give up on an accept failure rather than spin on it.
#include "support/conn_recorder.h"
#include "support/fd_squeeze.h"
#include "support/loopback.h"
#include "support/mainloop.h"
#include "support/usock.h"

#include <tern/conn/conn_tcp.h>
#include <tern/conn/conn_usock_stream.h>
#include <tern/conn/net.h>

#include <gtest/gtest.h>

#include <list>
#include <unistd.h>

using tern_test::connector_recorder_t;
using tern_test::mono_now;
using tern_test::run_until;

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
