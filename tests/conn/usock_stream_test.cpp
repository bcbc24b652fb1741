#include "support/conn_recorder.h"
#include "support/hex.h"
#include "support/mainloop.h"
#include "support/scratch.h"
#include "support/usock.h"

#include <tern/conn/conn_usock_stream.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using tern_test::conn_recorder_t;
using tern_test::connector_recorder_t;
using tern_test::raw_socket;
using tern_test::run_until;

namespace {

using events_t = std::vector<std::string>;

const char* const f_cmd = "02 04 00 01 00 FF 01 AA E1 03";
const char* const f_data49 = "02 04 00 31 00 02 03 9C 88 03";

std::string unique_name(const char* tag) {
    return "@tern-test-" + std::to_string(getpid()) + "-" + tag;
}

void send_hex(int fd, const std::string& h) {
    const auto b = tern_test::from_hex(h);
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

} // namespace

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

TEST(UsockConnection, NotConnected) {
    conn_recorder_t r;
    r.conn.reset(new tern::conn_usock_stream_t(-1));
    r.conn->start(&r);
    const tern::msg_t m(tern::msg_t::category_cmd, 1);
    EXPECT_FALSE(r.conn->send_msg(&m));
    EXPECT_EQ(r.events, (events_t{"err: not connected", "err: not connected"}));
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
