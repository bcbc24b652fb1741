#include "support/conn_recorder.h"
#include "support/hex.h"
#include "support/mainloop.h"

#include <tern/conn/conn_pipe.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using tern_test::conn_recorder_t;
using tern_test::connector_recorder_t;
using tern_test::from_hex;
using tern_test::run_until;

namespace {

const char* const f_cmd = "02 04 00 01 00 FF 01 AA E1 03";
const char* const f_data49 = "02 04 00 31 00 02 03 9C 88 03";

void put_hex(int fd, const std::string& h) {
    const auto b = from_hex(h);
    ASSERT_EQ(write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size()));
}

} // namespace

TEST(PipeConnection, EndOfAFileEndsTheConnection) {
    char path[] = "/tmp/tern-pipe-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    put_hex(fd, f_cmd);
    lseek(fd, 0, SEEK_SET);
    conn_recorder_t r;
    r.conn.reset(new tern::conn_pipe_t(fd, -1));
    r.conn->start(&r);
    // A file never hangs up; without handling its end the loop would spin on it for ever.
    ASSERT_TRUE(run_until([&] { return r.count("lost") > 0; }, 2));
    EXPECT_EQ(r.events, (std::vector<std::string>{"msg 1/1/255", "lost: received HUP from peer"}));
    close(fd);
    std::remove(path);
}

TEST(PipeConnection, SendWritesTheFrameAndReportsFailedWrites) {
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    conn_recorder_t r;
    auto* conn = new tern::conn_pipe_t(-1, p[1]);
    r.conn.reset(conn);
    r.conn->start(&r);
    const tern::msg_t m(tern::msg_t::category_cmd, 1);
    EXPECT_TRUE(conn->send_msg(&m));
    unsigned char got[32];
    ASSERT_EQ(read(p[0], got, sizeof got), 10);
    EXPECT_EQ(tern_test::to_hex(got, 10), f_cmd);

    close(p[0]); // nobody reads any more: no SIGPIPE may kill us
    EXPECT_FALSE(conn->send_msg(&m));
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
    close(p[1]); // a closed standard output
    EXPECT_FALSE(conn->send_msg(&m));
    EXPECT_EQ(r.events, (std::vector<std::string>{"err: wrote 0 of 10: Broken pipe",
                                                  "err: wrote 0 of 10: Bad file descriptor"}));
}

TEST(PipeConnector, HandsOverAConnectionOnEveryStart) {
    tern::connector_pipe_t connector;
    connector_recorder_t rec;
    rec.connector = &connector;
    connector.start(&rec);
    EXPECT_EQ(rec.events, (std::vector<std::string>{"ready"}));
    connector.start(&rec);
    EXPECT_EQ(rec.conns.size(), 2u);
    connector.stop();
    connector.start(nullptr);
    EXPECT_EQ(rec.conns.size(), 2u);
}
