// Threads, their descriptions and locks, messages from threads to the main loop, and the
// loop's timers and descriptor watches.
#include <tern/thread/glibTimer.h>
#include <tern/thread/thread.h>

#include "support/mainloop.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using tern_test::run_pending;
using tern_test::run_until;

namespace {

TEST(Desc, ClearReplacesAppendAddsCopiesAreOwnAndLocaleIsClassic) {
    desc_t d;
    {
        const tern_test::comma_locale_t comma; // as a host might install
        d.get_desc_stream() << "old";
        d.clear_desc() << "failed " << 1.5 << " " << 12345;
        d.get_desc_stream() << "!";
    }
    EXPECT_EQ(d.get_desc(), "failed 1.5 12345!");
    desc_t copy(d);
    copy.get_desc_stream() << "?";
    EXPECT_EQ(copy.get_desc(), "failed 1.5 12345!?");
    EXPECT_EQ(d.get_desc(), "failed 1.5 12345!");
}

// Runs until signalled (once through when `loop` is false); may ask to stop itself.
struct worker_t : tern::thread_t {
    explicit worker_t(bool loop, bool stop_self = false) : loop_(loop), stop_self_(stop_self) {}
    ~worker_t() override { stop(); }
    void run() override {
        if (!signalled()) ++runs;
        if (stop_self_) stop(); // must not wait for itself
        while (loop_ && !signalled()) std::this_thread::yield();
    }
    std::atomic<int> runs{0};
    bool loop_, stop_self_;
};

// A finished body, also one that stopped itself, is not running, and start() runs it again.
TEST(Thread, LifecycleFromNotStartedToStoppedAndAgain) {
    worker_t w(true);
    EXPECT_EQ(w.get_desc(), "not started");
    EXPECT_FALSE(w.is_running());
    w.stop(); // never started: returns at once
    ASSERT_TRUE(w.start());
    ASSERT_TRUE(run_until([&] { return w.runs == 1; }));
    EXPECT_TRUE(w.is_running());
    w.signal();
    EXPECT_TRUE(run_until([&] { return !w.is_running(); }));
    w.stop();
    EXPECT_EQ(w.runs, 1);
    for (const bool stop_self : {false, true}) {
        worker_t v(stop_self, stop_self);
        for (int runs = 1; runs <= 2; ++runs) {
            ASSERT_TRUE(v.start()); // the second joins the finished thread first
            ASSERT_TRUE(run_until([&] { return v.runs == runs && !v.is_running(); }));
        }
    }
}

struct probe_t {
    std::atomic<bool> go{false}, ran{false}, deleted{false};
};

struct nojoin_worker_t : tern::thread_nojoin_t {
    explicit nojoin_worker_t(probe_t& p) : p_(p) {}
    ~nojoin_worker_t() override { p_.deleted = true; }
    void run() override {
        while (!p_.go) std::this_thread::yield();
        p_.ran = true;
    }
    probe_t& p_;
};

TEST(ThreadNojoin, LastOfCreatorAndThreadToLetGoDeletes) {
    probe_t p;
    auto* w = new nojoin_worker_t(p);
    ASSERT_TRUE(w->start());
    EXPECT_EQ(w->ref_cnt(), 2);
    EXPECT_FALSE(w->unref()); // the creator lets go while run() still waits
    p.go = true;
    EXPECT_TRUE(run_until([&] { return p.deleted.load(); }));

    p.ran = p.deleted = false; // `go` stays set: run() ends before the creator lets go
    w = new nojoin_worker_t(p);
    ASSERT_TRUE(w->start());
    ASSERT_TRUE(run_until([&] { return p.ran && w->ref_cnt() == 1; }));
    EXPECT_FALSE(p.deleted);
    EXPECT_TRUE(w->unref());
    delete w;
}

std::atomic<int> g_deleted{0};

struct probe_msg_t : tern::tmsg_t {
    explicit probe_msg_t(int s = 0) : seq(s) {}
    ~probe_msg_t() override { ++g_deleted; }
    int seq;
};

using call_t = std::pair<unsigned int, int>; // listen id, message sequence number

// Records calls in a list that outlives it; takes (and deletes) the message when `keep`.
struct recorder_t : tern::tmsg_listener_t {
    recorder_t(std::vector<call_t>& calls, bool keep) : calls_(calls), keep_(keep) {}
    bool tmsg_receive(unsigned int id, tern::tmsg_t* msg) override {
        calls_.push_back({id, static_cast<probe_msg_t*>(msg)->seq});
        if (keep_) delete msg;
        return keep_;
    }
    std::vector<call_t>& calls_;
    bool keep_;
};

struct Tmsg : ::testing::Test {
    Tmsg() { g_deleted = 0; }
    std::vector<call_t> calls;
};

// Ids and thread_init() are process-wide, so this runs in a fresh process: a send before the
// first listen fails and ids count up from 1; the mutex is a no-op until thread_init(), and the
// locks taken before it are paid back without touching the real mutex.
TEST(Fresh, TmsgIdsAndLocksBeforeThreadInit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::vector<call_t> calls;
            recorder_t r(calls, false);
            probe_msg_t early; // stays ours: nothing may delete it
            const bool ids = tern::tmsg_send(1, &early) < 0 && tern::tmsg_listen(&r) == 1 &&
                             tern::tmsg_listen(&r) == 2 && tern::tmsg_cancel(1) &&
                             !tern::tmsg_cancel(1) && tern::tmsg_listen(&r) == 3;
            tern::mutex_t m;
            const bool before = m.trylock() && m.trylock(); // nothing really held
            m.lock();
            tern::thread_init();
            for (int i = 0; i < 3; ++i) m.unlock();
            const bool once = m.trylock() && !m.trylock(); // held: a second try fails
            m.unlock();                                    // a real unlock now: the debt is paid
            const bool freed = m.trylock();
            std::exit(ids && before && once && freed ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Tmsg, TakenMessageIsTheListenersDeclinedOneTheDispatchers) {
    for (const bool keep : {true, false}) {
        calls.clear();
        g_deleted = 0;
        recorder_t r(calls, keep);
        const unsigned id = tern::tmsg_listen(&r);
        ASSERT_EQ(tern::tmsg_send(id, new probe_msg_t(5)), static_cast<int>(sizeof(void*)));
        ASSERT_TRUE(run_until([&] { return g_deleted == 1; })) << "keep=" << keep;
        EXPECT_EQ(calls, (std::vector<call_t>{{id, 5}}));
    }
}

TEST_F(Tmsg, CancelledIdsAndDestroyedListenersAreNeverCalled) {
    recorder_t survivor(calls, true);
    const unsigned kept = tern::tmsg_listen(&survivor), cancelled = tern::tmsg_listen(&survivor);
    auto* doomed = new recorder_t(calls, true);
    const unsigned a = tern::tmsg_listen(doomed), b = tern::tmsg_listen(doomed);
    for (unsigned id : {a, cancelled, b, a, kept})
        ASSERT_GT(tern::tmsg_send(id, new probe_msg_t), 0);
    EXPECT_TRUE(tern::tmsg_cancel(cancelled));
    delete doomed; // three messages still in flight for it
    EXPECT_FALSE(tern::tmsg_remove_listener(doomed));
    ASSERT_TRUE(run_until([&] { return g_deleted == 5; }));
    EXPECT_EQ(calls, (std::vector<call_t>{{kept, 0}}));
    EXPECT_TRUE(tern::tmsg_remove_listener(&survivor));
}

// More messages than the socket queue holds, so the worker also waits for the loop.
TEST_F(Tmsg, WorkerMessagesArriveAllAndInOrder) {
    struct job_t {
        unsigned id = 0;
        std::atomic<int> failures{0};
    } job;
    recorder_t r(calls, false);
    job.id = tern::tmsg_listen(&r);
    constexpr int count = 2000;
    ASSERT_TRUE(tern::thread_nojoin(
        [](void* p) {
            auto* j = static_cast<job_t*>(p);
            for (int i = 0; i < count; ++i) {
                auto* m = new probe_msg_t(i);
                if (tern::tmsg_send(j->id, m) < 0) delete m, ++j->failures;
            }
        },
        &job));
    ASSERT_TRUE(run_until([&] { return g_deleted + job.failures == count; }, 20.0));
    EXPECT_EQ(job.failures, 0);
    ASSERT_EQ(calls.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) ASSERT_EQ(calls[i].second, i);
    tern::tmsg_cancel(job.id);
}

// The loop's own thread is the only reader: a full queue must fail its send, not hang it.
TEST_F(Tmsg, FullQueueFailsOnTheLoopThreadAndLeavesTheMessageToTheSender) {
    recorder_t r(calls, false);
    const unsigned id = tern::tmsg_listen(&r);
    int queued = 0;
    probe_msg_t* refused = nullptr;
    while (!refused && queued < 1000000) {
        auto* m = new probe_msg_t(queued);
        refused = tern::tmsg_send(id, m) < 0 ? m : nullptr;
        queued += !refused;
    }
    ASSERT_NE(refused, nullptr);
    ASSERT_TRUE(run_until([&] { return g_deleted == queued; }, 20.0));
    EXPECT_EQ(static_cast<int>(calls.size()), queued);
    delete refused;
    tern::tmsg_cancel(id);
}

struct ticker_t {
    ticker_t(std::string& log, char name, int limit) : log_(log), name_(name), limit_(limit) {
        timer.connect(this, &ticker_t::tick);
    }
    void tick() {
        log_ += name_;
        if (limit_ == 0)
            delete this;
        else if (++calls == limit_)
            timer.stop();
    }
    std::string& log_;
    char name_;
    int limit_, calls = 0; // limit 0: deletes itself on its first call
    gtimer_t<ticker_t> timer;
};

TEST(Gtimer, FireInOrderRepeatStopOrDeleteThemselvesAndRestartReplaces) {
    std::string log;
    ticker_t slow(log, 's', 1), fast(log, 'f', 3);
    (new ticker_t(log, 'd', 0))->timer.start(150);
    slow.timer.start(100);
    slow.timer.start(300); // a leaked 100 ms source would put s before d
    fast.timer.start(5);
    ASSERT_TRUE(run_until([&] { return slow.calls == 1; }));
    EXPECT_FALSE(fast.timer.is_active() || slow.timer.is_active());
    run_until([] { return false; }, 0.02); // anything still firing would show after "s"
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
    run_until([] { return false; }, 0.03);
    EXPECT_EQ(fired, 1);
    t->start();
    ASSERT_TRUE(run_until([&] { return fired == 3; }));
    EXPECT_TRUE(t->isActive());
    delete t;
    run_until([] { return false; }, 0.03);
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

struct pipe_watcher_t {
    pipe_watcher_t() { io.connect(this, &pipe_watcher_t::handle); }
    void handle() {
        char c = 0;
        conds.push_back(io.get_current_cond());
        if ((io.get_current_cond() & G_IO_IN) && read(io.get_fd(), &c, 1) != 1) conds.push_back(0);
        if (stop_on_call) io.stop();
    }
    gio_t<pipe_watcher_t> io;
    std::vector<unsigned> conds;
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
