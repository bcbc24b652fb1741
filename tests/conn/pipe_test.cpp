#include "support/conn_recorder.h"
#include "support/hex.h"
#include "support/mainloop.h"
#include "support/scratch.h"

#include <tern/conn/conn_pipe.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using events_t = std::vector<std::string>;

TEST(PipeConnection, EndOfAFileEndsTheConnection) {
    tern_test::temp_dir_t dir;
    const auto frame = tern_test::from_hex("02 04 00 01 00 FF 01 AA E1 03");
    const std::string path = dir.write("frames", std::string(frame.begin(), frame.end()));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    tern_test::conn_recorder_t r;
    r.conn.reset(new tern::conn_pipe_t(fd, -1));
    r.conn->start(&r);
    // A file never hangs up; without handling its end the loop would spin on it for ever.
    ASSERT_TRUE(tern_test::run_until([&] { return r.count("lost") > 0; }, 2));
    EXPECT_EQ(r.events, (events_t{"msg 1/1/255", "lost: received HUP from peer"}));
    close(fd);
}

TEST(PipeConnector, HandsOverAConnectionOnEveryStart) {
    tern::connector_pipe_t connector;
    tern_test::connector_recorder_t rec;
    rec.connector = &connector;
    connector.start(&rec);
    EXPECT_EQ(rec.events, events_t{"ready"});
    connector.start(&rec);
    EXPECT_EQ(rec.conns.size(), 2u);
    connector.stop();
    connector.start(nullptr);
    EXPECT_EQ(rec.conns.size(), 2u);
}
