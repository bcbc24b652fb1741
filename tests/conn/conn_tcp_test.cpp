#include <tern/conn/conn_tcp.h>
#include <tern/conn/net.h>
#include <tern/msg/catalogue.h>
#include <tern/msg/data_msgs.h>

#include "support/conn_recorder.h"
#include "support/fd_squeeze.h"
#include "support/loopback.h"
#include "support/mainloop.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using tern_test::run_until;

using tern_test::free_port;
using tern_test::kLoopback;

namespace {

// Wants one connection; records what the connector says, in order.
struct want_t : tern::connector_client_t {
    tern::connector_t* connector = nullptr;
    std::vector<std::string> args;
    bool use_args = true;
    bool passive = false;
    std::vector<std::string> statuses; // the connector's description at each status call
    std::vector<std::string> failures;
    std::vector<std::unique_ptr<tern::conn_tcp_t>> conns;

    const std::vector<std::string>* get_args() override { return use_args ? &args : nullptr; }
    bool get_passive() override { return passive; }
    void conn_ready(tern::conn_t* c) override {
        conns.emplace_back(static_cast<tern::conn_tcp_t*>(c));
    }
    void handle_conn_failed() override { failures.push_back(connector->get_desc()); }
    void handle_conn_status() override { statuses.push_back(connector->get_desc()); }
};

// Owns one connection and keeps what arrives on it.
struct owner_t : tern::conn_client_t {
    tern::conn_t* conn = nullptr;
    std::vector<std::unique_ptr<tern::msg_t>> msgs;
    std::vector<std::string> lost, errs;

    void handle_conn_msg(tern::msg_decoder_t& dec) override {
        msgs.push_back(tern::create_msg(dec));
    }
    void handle_conn_lost() override { lost.push_back(conn->get_desc()); }
    void handle_conn_err() override { errs.push_back(conn->get_desc()); }
};

tern::data_pos_t pos(double lat, double lon) {
    tern::data_pos_t p;
    p.latitude_valid = p.longitude_valid = true;
    p.latitude = lat;
    p.longitude = lon;
    return p;
}

// A connected pair: `a` actively connected to the passive `b`, both started.
struct pair_t {
    tern::connector_tcp_t ca, cb;
    want_t wa, wb;
    owner_t oa, ob;

    bool open() {
        const std::string port = "port=" + std::to_string(free_port());
        wa.connector = &ca;
        wb.connector = &cb;
        wa.args = wb.args = {"name=x", port};
        wb.passive = true;
        cb.start(&wb);
        ca.start(&wa);
        if (!run_until([&] { return wa.conns.size() == 1 && wb.conns.size() == 1; })) return false;
        oa.conn = wa.conns[0].get();
        ob.conn = wb.conns[0].get();
        oa.conn->start(&oa);
        ob.conn->start(&ob);
        return true;
    }
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

// Port texts the connector must refuse at start, before touching any socket.
TEST(ConnectorTcp, BadPortFailsAtStart) {
    const struct {
        const char* arg; // null: no arguments at all
        const char* env; // TERN_PORT, or null
        bool passive;
        const char* desc;
    } rows[] = {{"port=70000", nullptr, false, "invalid port number 70000"},
                {"port=80a", nullptr, true, "invalid port number 80a"},
                {nullptr, "7x", false, "invalid port number 7x"},
                {"port=-1", "80", true, "invalid port number -1"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arg ? row.arg : row.env);
        env_guard_t env(row.env);
        tern::connector_tcp_t c;
        want_t w;
        w.connector = &c;
        w.passive = row.passive;
        w.use_args = row.arg != nullptr;
        if (row.arg) w.args = {"other=1", row.arg};
        c.start(&w);
        ASSERT_EQ(w.failures.size(), 1u);
        EXPECT_EQ(w.failures[0], row.desc);
        EXPECT_TRUE(w.statuses.empty());
    }
}

TEST(ConnectorTcp, PortComesFromArgumentThenEnvironmentThenDefault) {
    struct row_t {
        const char* arg;
        const char* env;
        const char* peer; // the endpoint the first attempt went to
    } rows[] = {
        {"port=1", "2", "127.0.0.1:1"},
        {nullptr, "2", "127.0.0.1:2"},
        {"xport=3", nullptr, "127.0.0.1:7654"},
    };
    for (const row_t& r : rows) {
        env_guard_t env(r.env);
        tern::connector_tcp_t c;
        want_t w;
        w.connector = &c;
        if (r.arg) w.args = {r.arg};
        c.start(&w);
        ASSERT_TRUE(run_until([&] { return !w.statuses.empty() || !w.conns.empty(); }));
        // Whether someone listens there or not, the attempt names the endpoint.
        const std::string said = w.statuses.at(0);
        EXPECT_NE(said.find(r.peer), std::string::npos) << said;
        c.stop();
    }
}

TEST(ConnectorTcp, PairExchangesFramesBothWays) {
    pair_t p;
    ASSERT_TRUE(p.open());
    EXPECT_EQ(p.wb.statuses.at(0), "listening on port " + p.wb.args[1].substr(5) + "\n");
    EXPECT_EQ(p.wb.statuses.at(1).rfind("accepted connection from 127.0.0.1:", 0), 0u);
    EXPECT_EQ(p.wb.statuses.back().rfind("connected to 127.0.0.1:", 0), 0u);
    EXPECT_EQ(p.wa.statuses.back(), "connected to 127.0.0.1:" + p.wb.args[1].substr(5));
    unsigned addr = 0;
    unsigned short port = 0;
    ASSERT_TRUE(p.wa.conns[0]->get_peer(addr, port));
    EXPECT_EQ(addr, kLoopback);
    EXPECT_EQ(std::to_string(port), p.wb.args[1].substr(5));

    const auto a = pos(0.5, -1.25), b = pos(-0.75, 2.0);
    ASSERT_TRUE(p.oa.conn->send_msg(&a));
    ASSERT_TRUE(p.ob.conn->send_msg(&b));
    ASSERT_TRUE(run_until([&] { return p.oa.msgs.size() == 1 && p.ob.msgs.size() == 1; }));
    auto* at_b = dynamic_cast<tern::data_pos_t*>(p.ob.msgs[0].get());
    auto* at_a = dynamic_cast<tern::data_pos_t*>(p.oa.msgs[0].get());
    ASSERT_TRUE(at_a && at_b);
    EXPECT_EQ(at_b->latitude, 0.5);
    EXPECT_EQ(at_b->longitude, -1.25);
    EXPECT_EQ(at_a->latitude, -0.75);
    EXPECT_EQ(at_a->longitude, 2.0);
}

TEST(ConnectorTcp, PassiveServesOnePeerThenStopsListening) {
    pair_t p;
    ASSERT_TRUE(p.open());
    tcp_conn_t late;
    ASSERT_TRUE(late.open());
    const int rc =
        late.connect(kLoopback, static_cast<unsigned short>(std::stoi(p.wb.args[1].substr(5))));
    if (rc == 1) {
        ASSERT_TRUE(run_until([&] { return late.get_state() != 1; }));
    }
    EXPECT_NE(late.get_desc().find(": Connection refused"), std::string::npos) << late.get_desc();
    EXPECT_EQ(p.wb.conns.size(), 1u);
}

TEST(ConnTcp, PeerClosingIsOneLoss) {
    pair_t p;
    ASSERT_TRUE(p.open());
    p.wa.conns[0].reset(); // the active side goes away
    ASSERT_TRUE(run_until([&] { return !p.ob.lost.empty(); }));
    run_until([] { return false; }, 0.05);
    EXPECT_EQ(p.ob.lost, std::vector<std::string>{"TCP connection hung up"});
    EXPECT_TRUE(p.ob.errs.empty());
}

TEST(ConnTcp, SendWithoutSocketIsNotConnected) {
    tern::conn_tcp_t c(nullptr);
    owner_t o;
    o.conn = &c;
    c.start(&o);
    const auto m = pos(0, 0);
    EXPECT_FALSE(c.send_msg(&m));
    EXPECT_EQ(o.errs, std::vector<std::string>{"not connected"});
    EXPECT_FALSE(c.is_open());
    unsigned a = 0;
    unsigned short port = 0;
    EXPECT_FALSE(c.get_peer(a, port));

    pair_t p;
    ASSERT_TRUE(p.open());
    p.wa.conns[0]->close();
    EXPECT_FALSE(p.oa.conn->send_msg(&m));
    EXPECT_EQ(p.oa.errs, std::vector<std::string>{"not connected"});
}

TEST(ConnectorTcp, ClientMayDeleteTheConnectorFromItsCalls) {
    // Refused at once (nobody listens): the status call deletes the connector mid-attempt.
    struct deleter_t : want_t {
        void handle_conn_status() override {
            want_t::handle_conn_status();
            delete connector;
            connector = nullptr;
        }
        void handle_conn_failed() override { handle_conn_status(); }
    };
    deleter_t w;
    auto* c = new tern::connector_tcp_t;
    w.connector = c;
    const std::string port = std::to_string(free_port());
    w.args = {"port=" + port};
    c->start(&w);
    ASSERT_TRUE(run_until([&] { return w.connector == nullptr; }));
    EXPECT_EQ(w.statuses,
              std::vector<std::string>{"TCP connection failed: connect() to 127.0.0.1:" + port +
                                       ": Connection refused"});

    deleter_t bad;
    c = new tern::connector_tcp_t;
    bad.connector = c;
    bad.args = {"port=x"};
    c->start(&bad); // fails inside start
    EXPECT_EQ(bad.connector, nullptr);
    EXPECT_EQ(bad.statuses, std::vector<std::string>{"invalid port number x"});
}

TEST(ConnectorTcp, AcceptFailureGivesUpInsteadOfSpinning) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own checks need spare descriptors, which this test uses up.
    GTEST_SKIP() << "needs every descriptor of the process";
#endif
    tern::connector_tcp_t c;
    tern_test::connector_recorder_t rec;
    rec.connector = &c;
    rec.passive = true;
    const std::string port = std::to_string(free_port());
    rec.args = {"port=" + port};
    c.start(&rec);
    bool opened = false, reported = false;
    {
        tern_test::fd_squeeze_t squeeze; // room for the peer's socket, none for the accepted one
        ASSERT_TRUE(squeeze.ok());
        tcp_conn_t peer;
        opened = peer.open();
        if (opened) peer.connect(kLoopback, static_cast<unsigned short>(std::stoi(port)));
        reported = run_until([&] { return rec.events.size() > 1; }, 2);
        run_until([] { return false; }, 0.1); // a spinning listener would report on and on
    }
    ASSERT_TRUE(opened);
    ASSERT_TRUE(reported);
    EXPECT_EQ(rec.events,
              (std::vector<std::string>{"status: listening on port " + port + "\n",
                                        "failed: failure while accepting connection: accept(): "
                                        "Too many open files"}));
    // Started again, it listens and serves a peer as before.
    c.start(&rec);
    tcp_conn_t again;
    ASSERT_TRUE(again.open());
    again.connect(kLoopback, static_cast<unsigned short>(std::stoi(port)));
    EXPECT_TRUE(run_until([&] { return rec.conns.size() == 1; }));
}
