#include <tern/thread/thread.h>

#include "support/mainloop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <vector>

using tern_test::run_until;

namespace {

std::atomic<int> g_deleted{0};

struct probe_msg_t : tern::tmsg_t {
    explicit probe_msg_t(int s = 0) : seq(s) {}
    ~probe_msg_t() override { ++g_deleted; }
    int seq;
};

struct call_t {
    unsigned int id;
    int seq;
    bool operator==(const call_t& o) const { return id == o.id && seq == o.seq; }
};

// Records calls in a list that outlives it; takes (and deletes) the message when `keep`.
class recorder_t : public tern::tmsg_listener_t {
public:
    recorder_t(std::vector<call_t>& calls, bool keep) : calls_(calls), keep_(keep) {}
    bool tmsg_receive(unsigned int id, tern::tmsg_t* msg) override {
        calls_.push_back({id, static_cast<probe_msg_t*>(msg)->seq});
        if (keep_) delete msg;
        return keep_;
    }

private:
    std::vector<call_t>& calls_;
    bool keep_;
};

class Tmsg : public ::testing::Test {
protected:
    void SetUp() override { g_deleted = 0; }
    std::vector<call_t> calls;
};

// Ids are process-wide, so this runs in a fresh process.
TEST(TmsgFresh, SendFailsBeforeFirstListenAndIdsCountUp) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::vector<call_t> calls;
            recorder_t r(calls, false);
            probe_msg_t early; // stays ours: nothing may delete it
            const bool send_failed = tern::tmsg_send(1, &early) < 0;
            const unsigned a = tern::tmsg_listen(&r);
            const unsigned b = tern::tmsg_listen(&r);
            const bool cancelled = tern::tmsg_cancel(1);
            const bool again = tern::tmsg_cancel(1);
            const unsigned c = tern::tmsg_listen(&r);
            std::exit(send_failed && a == 1 && b == 2 && cancelled && !again && c == 3 ? 0 : 1);
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
    for (int i = 0; i < count; ++i) ASSERT_EQ(calls[i].seq, i);
    tern::tmsg_cancel(job.id);
}

// The loop's own thread is the only reader: a full queue must fail its send, not hang it.
TEST_F(Tmsg, FullQueueFailsOnTheLoopThreadAndLeavesTheMessageToTheSender) {
    recorder_t r(calls, false);
    const unsigned id = tern::tmsg_listen(&r);
    int queued = 0;
    probe_msg_t* refused = nullptr;
    for (int i = 0; i < 1000000 && !refused; ++i) {
        auto* m = new probe_msg_t(i);
        if (tern::tmsg_send(id, m) < 0)
            refused = m;
        else
            ++queued;
    }
    ASSERT_NE(refused, nullptr);
    ASSERT_TRUE(run_until([&] { return g_deleted == queued; }, 20.0));
    EXPECT_EQ(static_cast<int>(calls.size()), queued);
    delete refused;
    tern::tmsg_cancel(id);
}

} // namespace
