#include "kernel/KVThreadFactory.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace kvl;

TEST(KVThreadFactory, IsTheProgramWideFactoryWhileItExists) {
    EXPECT_EQ(GetThreadFactory(), nullptr);
    {
        KVThreadFactory factory;
        EXPECT_EQ(GetThreadFactory(), &factory);
        EXPECT_EQ(KVThreadFactory::Instance(), &factory);
    }
    EXPECT_EQ(GetThreadFactory(), nullptr);
    EXPECT_EQ(KVThreadFactory::Instance(), nullptr);
}

TEST(KVThreadFactory, AnswersItsInterfaceOnly) {
    KVThreadFactory factory;
    void* out = &factory;
    EXPECT_EQ(factory.QueryInterface(IID_IKVThreadFactory, &out), 0);
    EXPECT_EQ(out, static_cast<IKVThreadFactory*>(&factory));
    out = &factory;
    EXPECT_EQ(factory.QueryInterface(MakeId(1, 2), &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
}

TEST(KVThreadFactory, ReleasedThreadsAreDestroyedAtTheNextUpdate) {
    KVThreadFactory factory;
    factory.Init(0);
    IKVThread* a = factory.CreateThread();
    IKVThread* b = factory.CreateThread();
    EXPECT_EQ(factory.RetiredCount(), 0u);
    a->Release();
    b->Release();
    EXPECT_EQ(factory.RetiredCount(), 2u);
    EXPECT_EQ(factory.Update(0.016f), 0);
    EXPECT_EQ(factory.RetiredCount(), 0u);
    factory.Release(4);
}

TEST(KVThreadFactory, EveryReleasePhaseDestroysRetiredThreads) {
    KVThreadFactory factory;
    factory.Init(0);
    for (int phase = 0; phase <= 4; ++phase) {
        factory.CreateThread()->Release();
        EXPECT_EQ(factory.RetiredCount(), 1u);
        EXPECT_EQ(factory.Release(phase), 0);
        EXPECT_EQ(factory.RetiredCount(), 0u) << "phase " << phase;
    }
}

TEST(KVThreadFactory, DestructionDestroysThreadsStillRetired) {
    // Leak-checked by the sanitizer build.
    auto* factory = new KVThreadFactory;
    factory->Init(0);
    factory->CreateThread()->Release();
    delete factory;
    SUCCEED();
}

TEST(KVThreadFactory, ThreadReleasedWithoutAFactoryIsDestroyedAtOnce) {
    IKVThread* t = nullptr;
    {
        KVThreadFactory factory;
        t = factory.CreateThread();
    }
    EXPECT_EQ(t->Release(), 0);  // leak-checked by the sanitizer build
}

TEST(KVThreadFactory, SleepTruncatesToWholeMicrosecondsAndIgnoresBadTimes) {
    KVThreadFactory factory;
    using Clock = std::chrono::steady_clock;
    // Only a hang is timed (how much longer than asked a sleep lasts depends
    // on the machine): a negative time slept as its size would outlast it.
    constexpr int kHangMs = 20000;
    struct Case {
        float seconds;
        int minimumMs;
    } cases[] = {
        {0.0000005f, 0}, {0.0f, 0}, {-60.0f, 0}, {0.05f, 50},
    };
    for (const Case& c : cases) {
        auto start = Clock::now();
        EXPECT_EQ(factory.Sleep(c.seconds), 0);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_GE(ms, c.minimumMs) << c.seconds;
        EXPECT_LT(ms, kHangMs) << c.seconds;
    }
}
