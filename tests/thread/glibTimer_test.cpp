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

// Fires once and stops; start() runs it again with the stored interval; restarted from its own
// handler it stays stoppable, and deleting it takes the restarted source along.
TEST(GlibTimer, SingleShotFiresOnceStartRunsItAgainAndDeleteEndsARestart) {
    auto* t = new tern::glibTimer_t;
    int fired = 0;
    t->setSingleShot(true);
    t->timeout.connect([&] {
        if (++fired > 1) t->start(2);
    });
    t->start(5);
    ASSERT_TRUE(run_until([&] { return fired == 1; }));
    EXPECT_FALSE(t->isActive());
    run_for(0.03);
    EXPECT_EQ(fired, 1);
    t->start();
    ASSERT_TRUE(run_until([&] { return fired == 3; }));
    EXPECT_TRUE(t->isActive());
    delete t;
    run_for(0.03);
    EXPECT_EQ(fired, 3);
}

TEST(GlibTimer, SetIntervalKeepsTheRunningPeriod) {
    tern::glibTimer_t t;
    int fired = 0;
    t.timeout.connect([&] { ++fired; });
    t.start(5);
    t.setInterval(60000);
    EXPECT_TRUE(run_until([&] { return fired >= 3; }));
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

// Records the condition of every call; reads one byte when readable; may stop its watch.
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

// A second start replaces the first watch; a hang-up reaches only the watch that asks for it;
// stopping, also from inside the handler, clears the watch but leaves the descriptor open.
TEST(GioPipe, OneWatchPerStartAndStopKeepsTheDescriptor) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    pipe_watcher_t in, hup;
    in.io.stop(); // stopped: no effect
    in.io.start(fds[0], G_IO_IN);
    start_io(in.io, fds[0], 1);   // the condition numbers a pipe connection uses: 1 readable
    start_io(hup.io, fds[0], 16); // and 16 hang-up
    EXPECT_EQ(in.io.get_watch_cond(), G_IO_IN);
    ASSERT_EQ(write(fds[1], "a", 1), 1);
    ASSERT_TRUE(run_until([&] { return !in.conds.empty(); }));
    run_pending();
    EXPECT_EQ(in.conds, std::vector<unsigned>{1}); // a leaked first watch would add a call
    hup.stop_on_call = true;
    close(fds[1]);
    ASSERT_TRUE(run_until([&] { return !hup.conds.empty(); }));
    EXPECT_EQ(in.conds, std::vector<unsigned>{1}); // the hang-up is not for this watch
    EXPECT_EQ(hup.conds, std::vector<unsigned>{16});
    EXPECT_FALSE(hup.io.is_active());
    EXPECT_EQ(hup.io.get_fd(), -1);
    EXPECT_NE(fcntl(fds[0], F_GETFD), -1);
    in.io.stop();
    close(fds[0]);
}

} // namespace
