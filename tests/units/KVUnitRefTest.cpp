// References between units: binding, dropping with the target, arrays that
// close their gaps, clones and pending links.
#include <gtest/gtest.h>

#include "support/KVTestUnits.h"
#include "units/IKVUnitRef.h"
#include "units/KVUnitRef.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

// A unit that hears about the references its attributes hold.
class Holder : public KVUnit {
public:
    static KVUnit* Create() { return new Holder; }
    void OnReferenceDropped(IKVUnitRef* ref) override { dropped.push_back(ref); }
    std::vector<IKVUnitRef*> dropped;
};

TEST(KVUnitRefTest, ArraysDropTheElementsOfAClosedTargetAndRenumberTheRest) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    int32_t holderClass = units.RegisterClass("Holder", 0x484F4C44ull, &Holder::Create);
    KVUnit* made = nullptr;
    ASSERT_EQ(factory.CreateUnit(holderClass, &made, KVCREATE_RUNTIME, -1, 0), KV_OK);
    auto* holder = static_cast<Holder*>(made);
    KVUnit* a = units.Create();
    KVUnit* b = units.Create();
    KVUnit* c = units.Create();
    KVUnitRefArray* cameras = holder->GetCameras();
    for (KVUnit* unit : {a, b, c}) {
        IKVUnitRef* ref = factory.MakeUnitRef(holder->GetIndex(), &KVUnit::kCamerasId);
        ref->SetIndex(unit->GetIndex());
        cameras->Append(ref);
    }
    auto* last = static_cast<KVUnitRef*>(cameras->At(2));
    EXPECT_EQ(last->GetArrayPosition(), 2);
    b->Release();
    ASSERT_EQ(cameras->Size(), 2u);
    EXPECT_EQ(cameras->At(0)->GetIndex(), a->GetIndex());
    EXPECT_EQ(cameras->At(1), last);
    EXPECT_EQ(last->GetArrayPosition(), 1);
    // The holder heard of the drop while the reference still lived.
    EXPECT_EQ(holder->dropped.size(), 1u);
}

TEST(KVUnitRefTest, RepointingClonesAndPendingLinks) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    KVUnit* target = units.Create();
    IKVUnitRef* ref = factory.MakeUnitRef(-1, &KVUnit::kLayerId);
    EXPECT_EQ(ref->GetIndex(), -1);
    EXPECT_EQ(ref->GetOwner(), nullptr);
    ref->SetIndex(target->GetIndex());
    EXPECT_EQ(*ref->GetUnitUid(), target->GetUid());

    // The same index again reads nothing anew.
    uint64_t first = target->GetUid();
    target->SetUid(first + 1);
    ref->SetIndex(target->GetIndex());
    EXPECT_EQ(*ref->GetUnitUid(), first);

    IKVUnitRef* clone = ref->Clone();
    EXPECT_EQ(clone->GetIndex(), target->GetIndex());
    EXPECT_EQ(*clone->GetAttributeId(), KVUnit::kLayerId);
    EXPECT_EQ(clone->Retain(), 2);
    EXPECT_EQ(clone->Release(), 1);

    // An index that names no unit is kept without a uid.
    ref->SetIndex(42);
    EXPECT_EQ(ref->GetIndex(), 42);
    EXPECT_EQ(*ref->GetUnitUid(), 0u);
    uint64_t none = 0;
    EXPECT_EQ(ref->RegisterLink(&none), KV_OK);
    EXPECT_TRUE(factory.GetPendingLinks().empty());
    uint64_t uid = 77;
    EXPECT_EQ(ref->RegisterLink(&uid), KV_OK);
    EXPECT_EQ(factory.GetPendingLinks().size(), 1u);
    ref->Release();
    factory.ClearPendingLinks();

    target->Release();
    EXPECT_EQ(clone->GetIndex(), -1);
    EXPECT_EQ(*clone->GetUnitUid(), 0u);
    clone->Release();
}

} // namespace
