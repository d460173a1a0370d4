// The unit tree: re-parenting, the Children setter, reordering, listeners,
// visibility and owners.
#include <gtest/gtest.h>

#include "support/KVTestUnits.h"
#include "units/IKVLinker.h"
#include "units/IKVUnitRef.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

class KVUnitTreeTest : public ::testing::Test {
protected:
    KVUnit* Make() { return units.Create(); }
    std::vector<int32_t> Children(KVUnit* unit) {
        std::vector<int32_t> out;
        KVUnitRefArray* children = unit->GetChildren();
        for (size_t i = 0; i < children->Size(); ++i) {
            EXPECT_EQ(children->At(i)->GetOwner(), static_cast<IKVUnit*>(unit));
            EXPECT_EQ(*children->At(i)->GetAttributeId(), KVUnit::kChildrenId);
            out.push_back(children->At(i)->GetIndex());
        }
        return out;
    }
    // Writes the Children attribute as a script or a scene would.
    void SetChildren(KVUnit* unit, const std::vector<KVUnit*>& children) {
        KVUnitFactory& factory = units.Factory();
        KVUnitRefArray value;
        for (KVUnit* child : children) {
            IKVUnitRef* ref = factory.MakeUnitRef(-1, nullptr);
            ref->SetIndex(child ? child->GetIndex() : -1);
            value.Append(ref);
        }
        ASSERT_EQ(factory.SetAttributeElement(unit->GetIndex(), factory.FindAttributeIndex(0, "Children"), 0, &value),
                  KV_OK);
    }

    KVTestUnits units;
};

TEST_F(KVUnitTreeTest, AUnitNeverGoesUnderItselfOrItsDescendants) {
    KVUnit* a = Make();
    KVUnit* b = Make();
    KVUnit* c = Make();
    b->SetParent(a->GetIndex());
    c->SetParent(b->GetIndex());
    for (KVUnit* below : {a, b, c}) {
        a->SetParent(below->GetIndex());
        EXPECT_EQ(a->GetParentIndex(), -1);
    }
    // A parent that names no unit is refused as well.
    c->SetParent(99);
    EXPECT_EQ(c->GetParentIndex(), b->GetIndex());
    EXPECT_EQ(Children(a), std::vector<int32_t>{b->GetIndex()});
    // Moving a unit takes it out of its old parent's children.
    c->SetParent(a->GetIndex());
    EXPECT_TRUE(Children(b).empty());
    EXPECT_EQ(Children(a), (std::vector<int32_t>{b->GetIndex(), c->GetIndex()}));
}

TEST_F(KVUnitTreeTest, TheChildrenSetterTakesChildrenFromOtherParentsAndLetsDroppedOnesGo) {
    KVUnit* parent = Make();
    KVUnit* other = Make();
    KVUnit* kept = Make();
    KVUnit* dropped = Make();
    KVUnit* taken = Make();
    kept->SetParent(parent->GetIndex());
    dropped->SetParent(parent->GetIndex());
    taken->SetParent(other->GetIndex());
    parent->SetEnabled(false);
    ASSERT_FALSE(dropped->IsEnabled());

    SetChildren(parent, {taken, kept, nullptr});
    EXPECT_EQ(Children(parent), (std::vector<int32_t>{taken->GetIndex(), kept->GetIndex()}));
    EXPECT_TRUE(Children(other).empty());
    EXPECT_EQ(taken->GetParentIndex(), parent->GetIndex());
    EXPECT_FALSE(taken->IsEnabled());
    EXPECT_EQ(dropped->GetParentIndex(), -1);
    EXPECT_TRUE(dropped->IsEnabled());
    EXPECT_EQ(units.Factory().GetRootIndices(),
              (std::vector<int32_t>{parent->GetIndex(), other->GetIndex(), dropped->GetIndex()}));
}

// The unit itself, an ancestor or a unit listed twice would make the tree
// loop or visit a unit twice.
TEST_F(KVUnitTreeTest, TheChildrenSetterRefusesLoopsAndRepeats) {
    KVUnit* top = Make();
    KVUnit* middle = Make();
    KVUnit* child = Make();
    middle->SetParent(top->GetIndex());
    SetChildren(middle, {top, middle, child, child});
    EXPECT_EQ(Children(middle), std::vector<int32_t>{child->GetIndex()});
    EXPECT_EQ(top->GetParentIndex(), -1);
    EXPECT_EQ(Children(top), std::vector<int32_t>{middle->GetIndex()});
}

TEST_F(KVUnitTreeTest, ReorderingPutsTheListedChildrenFirstOrLast) {
    struct Case {
        const char* name;
        std::vector<int32_t> positions;
        bool atEnd;
        std::vector<int32_t> order;  // child numbers 1-4
    };
    const std::vector<Case> cases = {
        {"first", {3, 1}, false, {3, 1, 2, 4}},
        {"last", {3, 1}, true, {2, 4, 3, 1}},
        {"repeated positions once", {2, 2, 2}, false, {2, 1, 3, 4}},
        {"outside the range passed by", {0, -1, 5, 4, 1 << 30}, false, {4, 1, 2, 3}},
        {"nothing listed", {}, true, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KVUnit* parent = Make();
        std::vector<int32_t> kids;
        for (int i = 0; i < 4; ++i) {
            KVUnit* kid = Make();
            kid->SetParent(parent->GetIndex());
            kids.push_back(kid->GetIndex());
        }
        parent->ReorderChildren(c.positions, c.atEnd);
        std::vector<int32_t> expected;
        for (int32_t n : c.order) expected.push_back(kids[size_t(n - 1)]);
        EXPECT_EQ(Children(parent), expected);
        for (size_t i = 0; i < parent->GetChildren()->Size(); ++i)
            EXPECT_EQ(parent->FindChild(expected[i]), int32_t(i));
        parent->Release();
    }
}

class Listener : public IKVLinker {
public:
    int32_t UnlinkUnit(IKVUnit* unit, int32_t) override {
        ++told;
        // Adds a fresh listener each time: the close must still end.
        if (spawn) {
            spawned.emplace_back(new Listener);
            unit->AddListener(spawned.back().get());
        }
        if (removeSelf) unit->RemoveListener(this);
        return KV_OK;
    }
    int32_t OnUnitChanged(IKVUnit*, int32_t) override {
        ++changed;
        return KV_OK;
    }
    int told = 0;
    int changed = 0;
    bool spawn = false;
    bool removeSelf = false;
    std::vector<std::unique_ptr<Listener>> spawned;
};

TEST_F(KVUnitTreeTest, ClosingTellsEachListenerOnce) {
    KVUnit* unit = Make();
    Listener plain, leaving, spawning, gone;
    leaving.removeSelf = true;
    spawning.spawn = true;
    for (Listener* l : {&plain, &leaving, &spawning, &gone}) EXPECT_EQ(unit->AddListener(l), KV_OK);
    EXPECT_EQ(unit->RemoveListener(&gone), KV_OK);
    EXPECT_EQ(unit->RemoveListener(&gone), KV_FAILED);
    unit->NotifyListeners();
    EXPECT_EQ(plain.changed, 1);
    EXPECT_EQ(gone.changed, 0);
    unit->Release();
    EXPECT_EQ(plain.told, 1);
    EXPECT_EQ(leaving.told, 1);
    EXPECT_EQ(spawning.told, 1);
    ASSERT_EQ(spawning.spawned.size(), 1u);
    EXPECT_EQ(spawning.spawned[0]->told, 1);
    EXPECT_EQ(gone.told, 0);
}

TEST_F(KVUnitTreeTest, VisibilityFollowsTheParents) {
    KVUnit* parent = Make();
    KVUnit* child = Make();
    child->SetParent(parent->GetIndex());
    EXPECT_TRUE(child->IsVisible());
    parent->SetFlags(parent->GetFlags() & ~uint32_t(KVUNIT_VISIBLE));
    parent->UpdateVisibility();
    EXPECT_FALSE(parent->IsVisible());
    EXPECT_FALSE(child->IsVisible());
    parent->SetFlags(parent->GetFlags() | KVUNIT_VISIBLE);
    parent->UpdateVisibility();
    EXPECT_TRUE(child->IsVisible());
    child->SetFlags(child->GetFlags() | KVUNIT_DRAWN_BY_OTHER);
    EXPECT_FALSE(child->IsVisible());
    child->SetFlags(child->GetFlags() & ~uint32_t(KVUNIT_DRAWN_BY_OTHER));
    parent->SetEnabled(false);
    EXPECT_FALSE(child->IsVisible());
    EXPECT_FALSE(child->IsDrawn());
}

TEST_F(KVUnitTreeTest, AnOwnerReleasesItsUnitsWhenItCloses) {
    KVUnitFactory& factory = units.Factory();
    KVUnit* owner = Make();
    KVUnit* owned = Make();
    IKVUnitRef* ref = factory.MakeUnitRef(-1, nullptr);
    ref->SetIndex(owner->GetIndex());
    owned->SetOwner(ref);
    ref->Release();
    EXPECT_EQ(owner->GetOwnedUnits(), std::vector<int32_t>{owned->GetIndex()});
    int32_t index = owned->GetIndex();
    owner->Release();
    EXPECT_FALSE(factory.IsValidUnit(index));
}

TEST_F(KVUnitTreeTest, KindsFollowTheBaseClasses) {
    KVUnit* cursor = units.Create("Cursor");
    KVUnitFactory& factory = units.Factory();
    EXPECT_TRUE(cursor->IsKindOf(factory.GetClass(units.ClassIndex("Sprite"))->id));
    EXPECT_TRUE(cursor->IsKindOf(KVUnit::kClassId));
    EXPECT_FALSE(cursor->IsKindOf(factory.GetClass(units.ClassIndex("Text"))->id));
}

} // namespace
