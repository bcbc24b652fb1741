#include <tern/thread/glibTimer.h>

#include "support/mainloop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using tern_test::run_pending;
using tern_test::run_until;

namespace {

// Runs the loop for `s` seconds, so that anything still due in that time fires.
void run_for(double s) {
    run_until([] { return false; }, s);
}

// Appends its name on every expiry; stops itself after `limit` calls, or deletes itself.
struct ticker_t {
    ticker_t(std::string& log, char name, int limit, bool suicide = false)
        : log_(log), name_(name), limit_(limit), suicide_(suicide) {
        timer.connect(this, &ticker_t::tick);
    }
    void tick() {
        log_ += name_;
        if (suicide_)
            delete this;
        else if (++calls == limit_)
            timer.stop();
    }
    gtimer_t<ticker_t> timer;
    int calls = 0;

private:
    std::string& log_;
    char name_;
    int limit_;
    bool suicide_;
};

TEST(Gtimer, FireInOrderRepeatStopOrDeleteThemselvesAndRestartReplaces) {
    std::string log;
    ticker_t slow(log, 's', 1), fast(log, 'f', 3);
    (new ticker_t(log, 'd', 0, true))->timer.start(150);
    slow.timer.start(100);
    slow.timer.start(300); // a leaked 100 ms source would put s before d
    fast.timer.start(5);
    ASSERT_TRUE(run_until([&] { return slow.calls == 1; }));
    EXPECT_FALSE(fast.timer.is_active());
    EXPECT_FALSE(slow.timer.is_active());
    run_for(0.02); // anything still firing would show after "s"
    EXPECT_EQ(log, "fffds");
}

TEST(GlibTimer, SingleShotFiresOnceAndStartRunsItAgain) {
    tern::glibTimer_t t;
    int fired = 0;
    t.timeout.connect([&] { ++fired; });
    t.setSingleShot(true);
    t.start(5);
    ASSERT_TRUE(run_until([&] { return fired == 1; }));
    EXPECT_FALSE(t.isActive());
    run_for(0.03);
    EXPECT_EQ(fired, 1);
    t.start();
    ASSERT_TRUE(run_until([&] { return fired == 2; }));
    EXPECT_FALSE(t.isActive());
}

TEST(GlibTimer, SetIntervalKeepsTheRunningPeriod) {
    tern::glibTimer_t t;
    int fired = 0;
    t.timeout.connect([&] { ++fired; });
    t.start(5);
    t.setInterval(60000);
    EXPECT_TRUE(run_until([&] { return fired >= 3; }));
}

TEST(GlibTimer, SingleShotRestartedFromItsHandlerStaysStoppable) {
    auto* t = new tern::glibTimer_t;
    int fired = 0;
    t->setSingleShot(true);
    t->timeout.connect([&] { ++fired, t->start(2); });
    t->start(2);
    ASSERT_TRUE(run_until([&] { return fired == 3; }));
    EXPECT_TRUE(t->isActive());
    delete t; // must take the restarted source with it
    run_for(0.03);
    EXPECT_EQ(fired, 3);
}

TEST(GlibTimer, HandlerMayDestroyTheTimer) {
    for (const bool single : {false, true}) {
        auto* t = new tern::glibTimer_t;
        t->setSingleShot(single);
        bool gone = false;
        t->timeout.connect([&] { delete t, gone = true; });
        t->start(1);
        EXPECT_TRUE(run_until([&] { return gone; })) << "single=" << single;
        run_pending();
    }
}

// Records the condition of every call; reads one byte when readable.
struct pipe_watcher_t {
    pipe_watcher_t() { io.connect(this, &pipe_watcher_t::handle); }
    void handle() {
        conds.push_back(io.get_current_cond());
        char c = 0;
        if ((io.get_current_cond() & G_IO_IN) && read(io.get_fd(), &c, 1) == 1) got += c;
        if (stop_on_call) io.stop();
    }
    gio_t<pipe_watcher_t> io;
    std::vector<unsigned> conds;
    std::string got;
    bool stop_on_call = false;
};

class GioPipe : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0); }
    void TearDown() override {
        for (int fd : fds)
            if (fd >= 0) close(fd);
    }
    void close_end(int i) { close(fds[i]), fds[i] = -1; }
    int fds[2] = {-1, -1};
};

// The condition sets a pipe connection uses: readable 1 and hang-up 16 on separate watches.
TEST_F(GioPipe, ReadableAndHangUpGoToTheWatchesThatAskForThem) {
    pipe_watcher_t in, hup;
    start_io(in.io, fds[0], 1);
    start_io(hup.io, fds[0], 16);
    ASSERT_EQ(write(fds[1], "ab", 2), 2);
    ASSERT_TRUE(run_until([&] { return in.got == "ab"; }));
    hup.stop_on_call = true;
    close_end(1);
    ASSERT_TRUE(run_until([&] { return !hup.conds.empty(); }));
    in.io.stop();
    EXPECT_EQ(in.conds, (std::vector<unsigned>{1, 1}));
    EXPECT_EQ(hup.conds, std::vector<unsigned>{16});
    EXPECT_FALSE(hup.io.is_active());
}

TEST_F(GioPipe, SecondStartLeavesOneWatchAndStopClearsButKeepsTheDescriptor) {
    pipe_watcher_t w;
    w.io.stop(); // stopped: no effect
    w.io.start(fds[0], G_IO_IN);
    w.io.start(fds[0], GIOCondition(G_IO_IN | G_IO_HUP));
    EXPECT_EQ(w.io.get_watch_cond(), G_IO_IN | G_IO_HUP);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    ASSERT_TRUE(run_until([&] { return !w.conds.empty(); }));
    run_pending();
    EXPECT_EQ(w.conds, std::vector<unsigned>{1}); // a leaked first watch would add a call
    EXPECT_EQ(w.io.get_current_cond(), G_IO_IN);
    w.io.stop();
    EXPECT_FALSE(w.io.is_active());
    EXPECT_EQ(w.io.get_fd(), -1);
    EXPECT_NE(fcntl(fds[0], F_GETFD), -1);
}

} // namespace
