#include <tern/conn/conn_tcp.h>
#include <tern/conn/net.h>

#include "support/conn_recorder.h"
#include "support/loopback.h"
#include "support/mainloop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using tern_test::conn_recorder_t;
using tern_test::connector_recorder_t;
using tern_test::free_port;
using tern_test::kLoopback;
using tern_test::run_until;

namespace {

using events_t = std::vector<std::string>;

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

struct env_guard_t {
    explicit env_guard_t(const char* value) {
        if (value)
            setenv("TERN_PORT", value, 1);
        else
            unsetenv("TERN_PORT");
    }
    ~env_guard_t() { unsetenv("TERN_PORT"); }
};

} // namespace

// Where the port comes from: the argument, then TERN_PORT, then 7654; bad texts are refused at
// start, before touching any socket.
TEST(ConnectorTcp, PortComesFromArgumentThenEnvironmentThenDefault) {
    const struct {
        const char* arg; // null: no arguments at all
        const char* env; // TERN_PORT, or null
        bool passive;
        const char* first; // the whole first event, or the endpoint it names
    } rows[] = {
        {"port=70000", nullptr, false, "failed: invalid port number 70000"},
        {"port=80a", nullptr, true, "failed: invalid port number 80a"},
        {nullptr, "7x", false, "failed: invalid port number 7x"},
        {"port=-1", "80", true, "failed: invalid port number -1"},
        {"port=1", "2", false, "127.0.0.1:1"},
        {"", "2", false, "127.0.0.1:2"},
        {"xport=3", nullptr, false, "127.0.0.1:7654"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.first);
        env_guard_t env(r.env);
        tern::connector_tcp_t c;
        connector_recorder_t w;
        w.connector = &c;
        w.passive = r.passive;
        w.use_args = r.arg != nullptr;
        if (r.arg && *r.arg) w.args = {"other=1", r.arg};
        c.start(&w);
        if (std::string(r.first).rfind("failed:", 0) == 0) {
            EXPECT_EQ(w.events, events_t{r.first});
            continue;
        }
        // Whether someone listens there or not, the attempt names the endpoint.
        ASSERT_TRUE(run_until([&] { return !w.events.empty(); }));
        EXPECT_NE(w.events[0].find(r.first), std::string::npos) << w.events[0];
    }
}

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

TEST(ConnTcp, WithoutASocketItIsNotConnected) {
    const tern::msg_t m(tern::msg_t::category_cmd, 1);
    conn_recorder_t none;
    auto* c = new tern::conn_tcp_t(nullptr);
    none.conn.reset(c);
    c->start(&none);
    EXPECT_FALSE(c->send_msg(&m));
    EXPECT_FALSE(c->is_open());
    unsigned a = 0;
    unsigned short port = 0;
    EXPECT_FALSE(c->get_peer(a, port));
    EXPECT_EQ(none.events, events_t{"err: not connected"});
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
