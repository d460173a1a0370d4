#include "kernel/KVSDLThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "kernel/KVThreadFactory.h"

using namespace kvl;

namespace {

class ThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        factory.Init(0);
        thread = factory.CreateThread();
        ASSERT_NE(thread, nullptr);
    }
    void TearDown() override {
        if (thread) thread->Release();
        factory.Release(4);
    }

    KVThreadFactory factory;
    IKVThread* thread = nullptr;
};

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct JobLog {
    std::mutex lock;
    std::vector<int> order;
    void Add(int v) {
        std::lock_guard<std::mutex> g(lock);
        order.push_back(v);
    }
};

struct Job {
    JobLog* log;
    int id;
    int sleepMs;
};

void RecordJob(IKVThread*, void* argument) {
    auto* job = static_cast<Job*>(argument);
    if (job->sleepMs) SleepMs(job->sleepMs);
    job->log->Add(job->id);
}

// A job that holds its thread until the test opens the gate, or until a
// hang limit passes.
struct GatedJob {
    JobLog* log;
    int id;
    std::atomic<bool> open{false};
};

void RecordGatedJob(IKVThread*, void* argument) {
    auto* job = static_cast<GatedJob*>(argument);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!job->open && std::chrono::steady_clock::now() < end) SleepMs(1);
    job->log->Add(job->id);
}

} // namespace

TEST_F(ThreadTest, RunWithWaitReturnsAfterTheFunctionWithBusyCleared) {
    JobLog log;
    Job job{&log, 7, 50};
    EXPECT_EQ(thread->Run(&RecordJob, &job, 1), 0);
    ASSERT_EQ(log.order.size(), 1u);
    EXPECT_FALSE(thread->IsBusy());
    EXPECT_FALSE(thread->IsQuitting());
}

TEST_F(ThreadTest, FunctionReceivesTheThreadAndTheArgument) {
    struct Seen {
        IKVThread* thread = nullptr;
        void* self = nullptr;
    } seen;
    thread->Run([](IKVThread* t, void* a) {
        static_cast<Seen*>(a)->thread = t;
        static_cast<Seen*>(a)->self = a;
    }, &seen, 1);
    EXPECT_EQ(seen.thread, thread);
    EXPECT_EQ(seen.self, &seen);
}

TEST_F(ThreadTest, RunWithoutWaitReturnsAtOnceAndTheNextRunWaitsForTheJob) {
    JobLog log;
    GatedJob first{&log, 1};
    Job second{&log, 2, 0};
    thread->Run(&RecordGatedJob, &first, 0);
    {
        // Back while the job still waits at its gate.
        std::lock_guard<std::mutex> g(log.lock);
        EXPECT_TRUE(log.order.empty());
    }
    EXPECT_TRUE(thread->IsBusy());
    std::thread opener([&] {
        SleepMs(100);
        first.open = true;
    });
    thread->Run(&RecordJob, &second, 0);
    opener.join();
    {
        // The second Run returned only once the first job had finished.
        std::lock_guard<std::mutex> g(log.lock);
        ASSERT_GE(log.order.size(), 1u);
        EXPECT_EQ(log.order[0], 1);
    }
    thread->WaitDone();
    EXPECT_EQ(log.order, (std::vector<int>{1, 2}));
    EXPECT_FALSE(thread->IsBusy());
}

TEST_F(ThreadTest, WaitDoneThenRunWithoutWaitDoesNotBlock) {
    JobLog log;
    Job a{&log, 1, 0};
    Job b{&log, 2, 0};
    thread->Run(&RecordJob, &a, 0);
    thread->WaitDone();
    thread->Run(&RecordJob, &b, 0);
    thread->WaitDone();
    thread->WaitDone();  // nothing left to wait for
    thread->Run(&RecordJob, &a, 1);
    EXPECT_EQ(log.order, (std::vector<int>{1, 2, 1}));
}

TEST_F(ThreadTest, RunRefusesANullFunction) {
    EXPECT_EQ(thread->Run(nullptr, nullptr, 1), KV_INVALID);
    EXPECT_FALSE(thread->IsBusy());
}

TEST_F(ThreadTest, JobsHandedOverJustBeforeTheLastReleaseRunOnceInOrder) {
    for (int round = 0; round < 200; ++round) {
        JobLog log;
        Job jobs[3] = {{&log, 1, 0}, {&log, 2, 0}, {&log, 3, 0}};
        IKVThread* t = factory.CreateThread();
        for (Job& j : jobs) t->Run(&RecordJob, &j, 0);
        EXPECT_EQ(t->Release(), 0);
        ASSERT_EQ(log.order, (std::vector<int>{1, 2, 3})) << "round " << round;
    }
    factory.Update(0.0f);
}

TEST_F(ThreadTest, ASingleJobRunsOnceWhenReleasedRightAfter) {
    for (int round = 0; round < 300; ++round) {
        JobLog log;
        Job job{&log, round, 0};
        IKVThread* t = factory.CreateThread();
        t->Run(&RecordJob, &job, 0);
        t->Release();
        ASSERT_EQ(log.order, (std::vector<int>{round}));
    }
}

TEST_F(ThreadTest, ReleaseWaitsForTheRunningJob) {
    JobLog log;
    Job job{&log, 5, 150};
    thread->Run(&RecordJob, &job, 0);
    SleepMs(20);
    EXPECT_EQ(thread->Release(), 0);
    thread = nullptr;
    EXPECT_EQ(log.order, (std::vector<int>{5}));
}

TEST_F(ThreadTest, RetainKeepsTheThreadAlive) {
    EXPECT_EQ(thread->Retain(), 2);
    EXPECT_EQ(thread->Release(), 1);
    EXPECT_EQ(factory.RetiredCount(), 0u);
    JobLog log;
    Job job{&log, 1, 0};
    thread->Run(&RecordJob, &job, 1);
    EXPECT_EQ(log.order.size(), 1u);
}

TEST_F(ThreadTest, ABlockSentByEndZeroIsForDirectionOne) {
    const char data[] = "hello";
    EXPECT_EQ(thread->SendCopy(0, data, sizeof data, 0), 0);
    EXPECT_TRUE(thread->HasMessage(1));
    EXPECT_FALSE(thread->HasMessage(0));
    char out[16] = {0};
    uint32_t size = sizeof out;
    EXPECT_EQ(thread->Receive(0, out, &size), KV_NOT_FOUND);
    EXPECT_EQ(thread->Receive(1, out, &size), 0);
    EXPECT_STREQ(out, "hello");
    EXPECT_FALSE(thread->HasMessage(1));
}

TEST_F(ThreadTest, ReceiveCutsALongBlockAndKeepsTheSize) {
    const uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    thread->SendCopy(0, data, sizeof data, 0);
    uint8_t out[8] = {0, 0, 0, 0, 0xee, 0xee, 0xee, 0xee};
    uint32_t size = 4;
    EXPECT_EQ(thread->Receive(1, out, &size), 0);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::memcmp(out, data, 4), 0);
    EXPECT_EQ(out[4], 0xee);  // nothing written past the given size
    EXPECT_FALSE(thread->HasMessage(1));  // the rest is discarded
}

TEST_F(ThreadTest, ReceiveWithoutABufferReportsTheLengthAndKeepsTheBlock) {
    const uint8_t data[10] = {0};
    thread->SendCopy(1, data, sizeof data, 0);
    uint32_t size = 0;
    EXPECT_EQ(thread->Receive(0, nullptr, &size), KV_NOT_FOUND);
    EXPECT_EQ(size, 10u);
    EXPECT_TRUE(thread->HasMessage(0));
    std::vector<uint8_t> out(size);
    EXPECT_EQ(thread->Receive(0, out.data(), &size), 0);
    EXPECT_FALSE(thread->HasMessage(0));
}

TEST_F(ThreadTest, SendCopyOfNothingQueuesNothing) {
    const char data[1] = {0};
    EXPECT_EQ(thread->SendCopy(0, data, 0, 0), 1);
    EXPECT_FALSE(thread->HasMessage(1));
}

TEST_F(ThreadTest, BadArgumentsAreRefusedWithoutTouchingTheQueue) {
    const char data[4] = {1, 2, 3, 4};
    EXPECT_EQ(thread->SendCopy(2, data, 4, 0), KV_INVALID);
    EXPECT_EQ(thread->SendCopy(-1, data, 4, 0), KV_INVALID);
    EXPECT_EQ(thread->SendCopy(0, nullptr, 4, 0), KV_INVALID);
    EXPECT_EQ(thread->SendOwned(5, nullptr, 0), KV_INVALID);
    EXPECT_FALSE(thread->HasMessage(0));
    EXPECT_FALSE(thread->HasMessage(1));
    thread->SendCopy(0, data, 4, 0);
    char out[4];
    EXPECT_EQ(thread->Receive(1, out, nullptr), KV_INVALID);
    EXPECT_EQ(thread->Receive(3, out, nullptr), KV_INVALID);
    EXPECT_EQ(thread->ReceiveOwned(1, nullptr), KV_INVALID);
    EXPECT_TRUE(thread->HasMessage(1));
}

TEST_F(ThreadTest, BlocksOfTheOtherKindAreNotTaken) {
    static int owned = 42;
    thread->SendOwned(0, &owned, 0);
    const char data[3] = {1, 2, 3};
    thread->SendCopy(0, data, 3, 0);

    char out[3];
    uint32_t size = 3;
    EXPECT_EQ(thread->Receive(1, out, &size), KV_NOT_FOUND);  // owned block first
    void* block = nullptr;
    EXPECT_EQ(thread->ReceiveOwned(1, &block), 0);
    EXPECT_EQ(block, &owned);
    EXPECT_EQ(thread->ReceiveOwned(1, &block), KV_NOT_FOUND);  // copied block first
    EXPECT_EQ(thread->Receive(1, out, &size), 0);
    EXPECT_EQ(out[2], 3);
}

TEST_F(ThreadTest, BlocksArriveInTheOrderSent) {
    for (uint8_t i = 1; i <= 5; ++i) thread->SendCopy(0, &i, 1, 0);
    for (uint8_t i = 1; i <= 5; ++i) {
        uint8_t v = 0;
        uint32_t size = 1;
        ASSERT_EQ(thread->Receive(1, &v, &size), 0);
        EXPECT_EQ(v, i);
    }
}

TEST_F(ThreadTest, OwnerAndWorkerExchangeBlocksWithConsumption) {
    // The worker doubles every number it gets until it gets 0.
    thread->Run([](IKVThread* t, void*) {
        for (;;) {
            t->WaitMessage(1);
            int32_t v = 0;
            uint32_t size = sizeof v;
            t->Receive(1, &v, &size);
            if (v == 0) return;
            int32_t reply = v * 2;
            t->SendCopy(1, &reply, sizeof reply, 0);
        }
    }, nullptr, 0);
    for (int32_t v = 1; v <= 20; ++v) {
        thread->SendCopy(0, &v, sizeof v, 1);
        thread->WaitConsumed(0);
        thread->WaitMessage(0);
        int32_t reply = 0;
        uint32_t size = sizeof reply;
        ASSERT_EQ(thread->Receive(0, &reply, &size), 0);
        EXPECT_EQ(reply, v * 2);
    }
    int32_t stop = 0;
    thread->SendCopy(0, &stop, sizeof stop, 0);
    thread->WaitDone();
    EXPECT_FALSE(thread->IsBusy());
}

TEST_F(ThreadTest, BlocksStillQueuedAtReleaseAreFreed) {
    // Leak-checked by the sanitizer build.
    const char data[64] = {0};
    thread->SendCopy(0, data, sizeof data, 0);
    thread->SendCopy(1, data, sizeof data, 1);
    thread->Release();
    thread = nullptr;
    factory.Update(0.0f);
    EXPECT_EQ(factory.RetiredCount(), 0u);
}
