#include "kernel/KVSDLCriticalSection.h"

#include <gtest/gtest.h>

#include <vector>

#include "kernel/KVThreadFactory.h"

using namespace kvl;

namespace {

struct Counter {
    IKVCriticalSection* lock;
    long value = 0;  // deliberately plain: only the lock keeps it right
};

constexpr int kThreads = 6;
constexpr int kIncrements = 50000;

void CountUnderLock(IKVThread*, void* argument) {
    auto* counter = static_cast<Counter*>(argument);
    for (int i = 0; i < kIncrements; ++i) {
        KVLockGuard guard(counter->lock);
        long v = counter->value;
        counter->value = v + 1;
    }
}

} // namespace

TEST(KVSDLCriticalSection, ThreadsCountingUnderTheLockLoseNoIncrement) {
    KVThreadFactory factory;
    factory.Init(0);
    Counter counter{factory.CreateCriticalSection()};
    std::vector<IKVThread*> threads;
    for (int i = 0; i < kThreads; ++i) threads.push_back(factory.CreateThread());
    for (IKVThread* t : threads) t->Run(&CountUnderLock, &counter, 0);
    for (IKVThread* t : threads) t->WaitDone();
    EXPECT_EQ(counter.value, long(kThreads) * kIncrements);
    for (IKVThread* t : threads) t->Release();
    counter.lock->Release();
    factory.Release(4);
}

TEST(KVSDLCriticalSection, CountsReferencesAndLocksAgainOnTheSameThread) {
    IKVCriticalSection* cs = new KVSDLCriticalSection();
    EXPECT_EQ(cs->Retain(), 2);
    EXPECT_EQ(cs->Lock(), 0);
    EXPECT_EQ(cs->Lock(), 0);  // the lock is recursive
    EXPECT_EQ(cs->Unlock(), 0);
    EXPECT_EQ(cs->Unlock(), 0);
    void* out = cs;
    EXPECT_EQ(cs->QueryInterface(MakeId(0, 1), &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(cs->Release(), 1);
    EXPECT_EQ(cs->Release(), 0);  // leak-checked by the sanitizer build
}

TEST(KVSDLCriticalSection, LockGuardWithoutASectionDoesNothing) {
    KVLockGuard guard(nullptr);
    SUCCEED();
}
