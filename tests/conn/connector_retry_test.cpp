// The active connectors' retry rules, counted in ticks of an interval of a few milliseconds:
// one attempt at start and one per tick after a failure, and the tick that says "connection
// timed out" with the default budget of 5.
#include "support/conn_recorder.h"
#include "support/loopback.h"
#include "support/mainloop.h"
#include "support/usock.h"

#include <tern/conn/conn_tcp.h>
#include <tern/conn/conn_usock_stream.h>
#include <tern/conn/net.h>

#include <gtest/gtest.h>

#include <unistd.h>

using tern_test::connector_recorder_t;
using tern_test::mono_now;
using tern_test::run_until;

namespace {

constexpr unsigned tick_ms = 10;

// A peer that starts listening when asked to; the connector under test tries to reach it.
struct peer_t {
    virtual ~peer_t() = default;
    virtual std::string arg() const = 0;
    virtual void listen() = 0;
};

struct tcp_peer_t : peer_t, tcp_listener_t::client_t {
    unsigned short port = tern_test::free_port();
    tcp_listener_t listener;
    std::string arg() const override { return "port=" + std::to_string(port); }
    void listen() override {
        listener.open();
        listener.set_local_port(port);
        listener.listen(this, 4);
    }
    void tcp_listener_accept(tcp_conn_t* s, unsigned, unsigned short) override { delete s; }
    void tcp_listener_accept_fail() override {}
};

struct usock_peer_t : peer_t {
    std::string name = "@tern-retry-" + std::to_string(getpid());
    int fd = -1;
    ~usock_peer_t() override {
        if (fd >= 0) close(fd);
    }
    std::string arg() const override { return "socket=" + name; }
    void listen() override { ASSERT_GE(fd = tern_test::raw_socket(name, true), 0); }
};

struct active_t {
    const char* name;
    std::unique_ptr<tern::connector_t> (*connector)(unsigned budget);
    std::unique_ptr<peer_t> (*peer)();
    const char* refused;   // status of a refused attempt, up to the address
    unsigned give_up_tick; // the tick that says "connection timed out" with the default budget
};

template <class C>
std::unique_ptr<tern::connector_t> make_connector(unsigned budget) {
    auto* c = new C;
    c->set_retry_interval(tick_ms);
    if (budget) c->set_retry_count(budget);
    return std::unique_ptr<tern::connector_t>(c);
}

const active_t actives[] = {
    {"tcp", make_connector<tern::connector_tcp_t>,
     [] { return std::unique_ptr<peer_t>(new tcp_peer_t); },
     "status: TCP connection failed: connect() to 127.0.0.1:", 5},
    {"usock", make_connector<tern::connector_usock_stream_t>,
     [] { return std::unique_ptr<peer_t>(new usock_peer_t); },
     "status: connect failed: Connection refused", 4},
};

class ActiveConnector : public ::testing::TestWithParam<active_t> {
protected:
    // Starts the connector with `budget` (0: the default) towards a peer not listening yet.
    void start(unsigned budget = 0) {
        connector = GetParam().connector(budget);
        peer = GetParam().peer();
        rec.connector = connector.get();
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

TEST_P(ActiveConnector, AbsentPeerIsTriedOncePerTickThenTimesOut) {
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

TEST_P(ActiveConnector, BudgetOfTwoGivesUpSooner) {
    start(2);
    ASSERT_TRUE(run_until([&] { return rec.count("failed:") > 0; }));
    const std::size_t tries = std::string(GetParam().name) == "tcp" ? 2 : 1;
    EXPECT_EQ(count_refused(), tries);
    EXPECT_EQ(rec.events.size(), tries + 1);
    EXPECT_EQ(rec.events.back(), "failed: connection timed out");
}

TEST_P(ActiveConnector, LatePeerIsReachedOnTheThirdAttempt) {
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

INSTANTIATE_TEST_SUITE_P(All, ActiveConnector, ::testing::ValuesIn(actives),
                         [](const ::testing::TestParamInfo<active_t>& i) {
                             return std::string(i.param.name);
                         });
