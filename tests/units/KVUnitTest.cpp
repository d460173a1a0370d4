// The base unit on its own: its outer object and external implementation,
// and its reference count at the end of its life.
#include <gtest/gtest.h>

#include "support/KVTestUnits.h"
#include "units/IKVExternal.h"
#include "units/IKVUnitExternal.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

std::vector<std::string>& Calls() {
    static std::vector<std::string> calls;
    return calls;
}

// An outer object that answers the external implementation and, for any
// other id, asks its unit back.
class Outer : public KVRefCounted<IKVExternal>, public IKVUnitExternal {
public:
    static IKVExternal* Create() { return new Outer; }
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override {
        if (id == IID_IKVUnitExternal) return AnswerInterface(static_cast<IKVUnitExternal*>(this), out);
        return unit ? unit->QueryInterface(id, out) : KV_NOT_SUPPORTED;
    }
    int32_t Attach(IKVUnit* u) override {
        unit = u;
        return KV_OK;
    }
    int32_t Detach() override { return Note("closed"); }
    int32_t Play() override { return Note("play"); }
    int32_t Pause() override { return Note("pause"); }
    int32_t Stop() override { return Note("stop"); }
    int32_t Update(float) override { return Note("update"); }
    int32_t PreUpdate() override { return Note("pre"); }
    int32_t SetEnabledState(bool on) override { return Note(on ? "on" : "off"); }
    IKVUnit* unit = nullptr;

private:
    ~Outer() override { Calls().push_back("deleted"); }
    int32_t Note(const char* what) {
        Calls().push_back(what);
        return KV_OK;
    }
};

// Counts what it can still do once its last reference went.
class Counted : public KVUnit {
public:
    static KVUnit* Create() { return new Counted; }
    void Close() override {
        if (!IsClosing()) {
            retained = Retain();
            released = KVUnit::Release();
        }
        KVUnit::Close();
    }
    static int32_t retained, released;
};
int32_t Counted::retained = -1;
int32_t Counted::released = -1;

TEST(KVUnitTest, TheOuterObjectTakesTheForwardedCallsAndCannotLoopQueries) {
    Calls().clear();
    KVTestUnits units;
    int32_t outer = units.RegisterClass("Outer", 0x4F55544552ull, nullptr, &Outer::Create);
    KVUnit* unit = nullptr;
    ASSERT_EQ(units.Factory().CreateUnit(outer, &unit, KVCREATE_RUNTIME, -1, 0), KV_OK);
    EXPECT_EQ(Calls(), std::vector<std::string>{"on"});
    ASSERT_NE(unit->GetExternalImplementation(), nullptr);
    EXPECT_NE(unit->GetExtraData(), nullptr);

    void* found = nullptr;
    EXPECT_EQ(unit->QueryInterface(IID_IKVUnit, &found), KV_OK);
    EXPECT_EQ(found, static_cast<IKVUnit*>(unit));
    // The outer object asks the unit back; the unit answers 2 at once.
    EXPECT_EQ(unit->QueryInterface(MakeId(1, 2), &found), KV_NOT_SUPPORTED);
    EXPECT_EQ(found, nullptr);

    Calls().clear();
    units.Factory().Init(5);
    units.Factory().Release(0);
    unit->ResetState();
    units.Factory().Update(0.1f);
    unit->SetEnabled(false);
    unit->Release();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"play", "pause", "stop", "pre", "update", "off", "closed",
                                                 "deleted"}));
}

TEST(KVUnitTest, ACountThatReachedZeroStaysThere) {
    KVTestUnits units;
    int32_t counted = units.RegisterClass("Counted", 0x434F554E54ull, &Counted::Create);
    KVUnit* unit = nullptr;
    ASSERT_EQ(units.Factory().CreateUnit(counted, &unit, KVCREATE_RUNTIME, -1, 0), KV_OK);
    EXPECT_EQ(unit->Retain(), 2);
    EXPECT_EQ(unit->Release(), 1);
    EXPECT_EQ(unit->Release(), 0);
    EXPECT_EQ(Counted::retained, 0);
    EXPECT_EQ(Counted::released, 0);
}

} // namespace
