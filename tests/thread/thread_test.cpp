#include <tern/thread/thread.h>

#include "support/mainloop.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using tern_test::run_until;

namespace {

struct described_t : desc_t {};

TEST(Desc, ClearReplacesAppendAddsCopiesAreOwnAndLocaleIsClassic) {
    described_t d;
    {
        const tern_test::comma_locale_t comma; // as a host might install
        d.get_desc_stream() << "old";
        d.clear_desc() << "failed " << 1.5 << " " << 12345;
        d.get_desc_stream() << "!";
    }
    EXPECT_EQ(d.get_desc(), "failed 1.5 12345!");
    described_t copy(d);
    copy.get_desc_stream() << "?";
    EXPECT_EQ(copy.get_desc(), "failed 1.5 12345!?");
    EXPECT_EQ(d.get_desc(), "failed 1.5 12345!");
}

// Runs until signalled (once through when `loop` is false); may ask to stop itself.
class worker_t : public tern::thread_t {
public:
    explicit worker_t(bool loop, bool stop_self = false) : loop_(loop), stop_self_(stop_self) {}
    ~worker_t() override { stop(); }
    std::atomic<int> runs{0};

protected:
    void run() override {
        if (!signalled()) ++runs;
        if (stop_self_) stop(); // must not wait for itself
        while (loop_ && !signalled()) std::this_thread::yield();
    }

private:
    bool loop_, stop_self_;
};

TEST(Thread, LifecycleFromNotStartedToStopped) {
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
}

TEST(Thread, FinishedBodyIsNotRunningAndStartRunsItAgain) {
    for (const bool stop_self : {false, true}) {
        worker_t w(stop_self, stop_self);
        ASSERT_TRUE(w.start());
        ASSERT_TRUE(run_until([&] { return w.runs == 1 && !w.is_running(); }));
        ASSERT_TRUE(w.start()); // joins the finished thread first
        ASSERT_TRUE(run_until([&] { return w.runs == 2 && !w.is_running(); }));
    }
}

struct probe_t {
    std::atomic<bool> go{false}, ran{false}, deleted{false};
};

class nojoin_worker_t : public tern::thread_nojoin_t {
public:
    explicit nojoin_worker_t(probe_t& p) : p_(p) {}
    ~nojoin_worker_t() override { p_.deleted = true; }

protected:
    void run() override {
        while (!p_.go) std::this_thread::yield();
        p_.ran = true;
    }

private:
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

    probe_t q;
    q.go = true;
    w = new nojoin_worker_t(q);
    ASSERT_TRUE(w->start());
    ASSERT_TRUE(run_until([&] { return q.ran && w->ref_cnt() == 1; }));
    EXPECT_FALSE(q.deleted);
    EXPECT_TRUE(w->unref());
    delete w;
}

// thread_init() is process-wide, so this runs in a fresh process.
TEST(LocksFresh, MutexIsANoOpUntilThreadInit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            tern::mutex_t m;
            const bool before = m.trylock() && m.trylock(); // nothing really held
            m.lock();
            tern::thread_init();
            m.unlock(); // the locks taken before are paid back, the real mutex left alone
            m.unlock();
            m.unlock();
            const bool first = m.trylock();
            const bool second = m.trylock();
            m.unlock();
            std::exit(before && first && !second ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
