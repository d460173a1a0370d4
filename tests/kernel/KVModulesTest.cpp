#include <gtest/gtest.h>

#include "kernel/KVModules.h"
#include "support/KVRecordingModule.h"

using namespace kvl;
using kvtest::Journal;
using kvtest::KVRecordingExtModule;

namespace {

Journal g_journal;
std::vector<KVRecordingExtModule*> g_made;
std::vector<int32_t> g_priorities;
int32_t g_failPhase = -1;
size_t g_failIndex = 99;

IKVModuleExt* MakeNext(const KVModuleCreateInfo*) {
    size_t n = g_made.size();
    auto* m = new KVRecordingExtModule("m" + std::to_string(n), &g_journal, g_priorities[n], 100 + n);
    if (n == g_failIndex) m->failPhase = g_failPhase;
    g_made.push_back(m);
    return m;
}

IKVModuleExt* MakeNothing(const KVModuleCreateInfo*) { return nullptr; }

class KVModulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_journal.clear();
        g_made.clear();
        g_failPhase = -1;
        g_failIndex = 99;
    }
    std::vector<int32_t> Priorities() const {
        std::vector<int32_t> out;
        for (const ModuleEntry& e : modules.GetEntries()) out.push_back(e.priority);
        return out;
    }
    std::vector<uint64_t> Ids() const {
        std::vector<uint64_t> out;
        for (const ModuleEntry& e : modules.GetEntries()) out.push_back(e.id);
        return out;
    }
    KVModules modules;
};

TEST_F(KVModulesTest, SortsByDescendingPriorityKeepingFirstOfEqualFirst) {
    g_priorities = {1, 5, 5, 3};
    for (int i = 0; i < 4; ++i) modules.RegisterModule(&MakeNext);
    EXPECT_EQ(g_journal, (Journal{"m0.Init0", "m1.Init0", "m2.Init0", "m3.Init0"}));
    modules.Init(1);
    EXPECT_EQ(Priorities(), (std::vector<int32_t>{5, 5, 3, 1}));
    EXPECT_EQ(Ids(), (std::vector<uint64_t>{101, 102, 103, 100}));
}

TEST_F(KVModulesTest, NullCreatorAddsNothing) {
    modules.RegisterModule(&MakeNothing);
    EXPECT_TRUE(modules.GetEntries().empty());
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(modules.QueryModules(MakeId(1, 2), &out), 2);
}

TEST_F(KVModulesTest, FailedInitDropsAndDeletesTheModule) {
    g_priorities = {1, 2, 3};
    g_failIndex = 1;
    g_failPhase = 1;
    for (int i = 0; i < 3; ++i) modules.RegisterModule(&MakeNext);
    g_made[1]->answers = true;
    g_made[1]->answeredId = MakeId(7, 7);
    modules.Init(1);
    EXPECT_EQ(Ids(), (std::vector<uint64_t>{102, 100}));
    EXPECT_NE(std::find(g_journal.begin(), g_journal.end(), "m1.Deleted"), g_journal.end());
    void* out = nullptr;
    EXPECT_NE(modules.QueryModules(MakeId(7, 7), &out), 0);
    EXPECT_EQ(out, nullptr);
}

TEST_F(KVModulesTest, FailedInitAtRegistrationDropsTheModule) {
    g_priorities = {1};
    g_failIndex = 0;
    g_failPhase = 0;
    modules.RegisterModule(&MakeNext);
    EXPECT_TRUE(modules.GetEntries().empty());
    EXPECT_EQ(g_journal.back(), "m0.Deleted");
}

TEST_F(KVModulesTest, ReleaseRunsInReverseAndPhaseFourDeletesAll) {
    g_priorities = {3, 2, 1};
    for (int i = 0; i < 3; ++i) modules.RegisterModule(&MakeNext);
    modules.Init(1);
    g_journal.clear();
    modules.Release(3);
    EXPECT_EQ(g_journal, (Journal{"m2.Release3", "m1.Release3", "m0.Release3"}));
    g_journal.clear();
    modules.Release(4);
    EXPECT_TRUE(modules.GetEntries().empty());
    EXPECT_EQ(g_journal, (Journal{"m2.Release4", "m1.Release4", "m0.Release4", "m0.Deleted", "m1.Deleted",
                                  "m2.Deleted"}));
}

TEST_F(KVModulesTest, QueryByPriorityBoundSkipsHigherModules) {
    g_priorities = {1, 0};
    for (int i = 0; i < 2; ++i) modules.RegisterModule(&MakeNext);
    for (auto* m : g_made) {
        m->answers = true;
        m->answeredId = MakeId(9, 9);
    }
    void* out = nullptr;
    ASSERT_EQ(modules.QueryModulesByPriority(MakeId(9, 9), &out, 0), 0);
    EXPECT_EQ(out, static_cast<void*>(g_made[1]));
    g_made[1]->answers = false;
    EXPECT_EQ(modules.QueryModulesByPriority(MakeId(9, 9), &out, 0), 2);
}

TEST_F(KVModulesTest, OwnInterfaceAndUnknownIds) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(modules.QueryInterface(IID_IKVModules, &out), 0);
    EXPECT_EQ(out, static_cast<IKVModules*>(&modules));
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(modules.QueryInterface(MakeId(1, 1), &out), 2);
    EXPECT_EQ(out, nullptr);
}

} // namespace
