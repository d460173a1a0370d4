// The unit table: creation options, generated names, the reuse of indices,
// copies, removal and the lookups over the table.
#include <gtest/gtest.h>

#include "support/KVTestUnits.h"
#include "units/IKVLinker.h"
#include "units/IKVUnitRef.h"
#include "units/KVAttributeManipulator.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

KVUnit* Make(KVTestUnits& units, const char* className = "Unit", int32_t options = KVCREATE_RUNTIME) {
    return units.Create(className, options);
}

TEST(KVUnitFactoryUnitsTest, GeneratedNamesTakeTheFirstFreeCounter) {
    KVTestUnits units;
    KVUnit* first = Make(units, "Sprite");
    KVUnit* second = Make(units, "Sprite");
    EXPECT_EQ(first->GetName(), "Sprite001");
    EXPECT_EQ(second->GetName(), "Sprite002");
    EXPECT_NE(first->GetUid(), 0u);
    EXPECT_NE(first->GetUid(), second->GetUid());
    first->Release();
    EXPECT_EQ(Make(units, "Sprite")->GetName(), "Sprite001");
    EXPECT_EQ(Make(units, "Sprite")->GetName(), "Sprite003");
    // A unit made without a name gets none, nor any events.
    KVUnit* nameless = Make(units, "Sprite", KVCREATE_RUNTIME | KVCREATE_NO_NAME);
    EXPECT_EQ(nameless->GetName(), "");
    EXPECT_FALSE(nameless->IsEnabled());
    EXPECT_EQ(nameless->GetRootSlot(), -1);
}

TEST(KVUnitFactoryUnitsTest, CreationOptionsAndFlags) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    KVUnit* unit = nullptr;
    EXPECT_EQ(factory.CreateUnit(factory.GetClassCount(), &unit, 0, -1, 0), KV_CLASS_OUT_OF_RANGE);
    EXPECT_EQ(unit, nullptr);

    KVUnit* runtime = Make(units);
    EXPECT_NE(runtime->GetFlags() & KVUNIT_RUNTIME, 0u);
    EXPECT_EQ(runtime->GetKvlIndex(), -1);
    EXPECT_TRUE(runtime->IsEnabled());
    EXPECT_NE(runtime->GetRootSlot(), -1);
    EXPECT_EQ(factory.GetRuntimeUnitCount(), 1);

    KVUnit* disabled = Make(units, "Unit", KVCREATE_RUNTIME | KVCREATE_DISABLED);
    EXPECT_FALSE(disabled->GetWantedEnabled());
    EXPECT_FALSE(disabled->IsEnabled());

    IKVUnit* hidden = nullptr;
    ASSERT_EQ(factory.NewHiddenUnit(0, &hidden), KV_OK);
    EXPECT_EQ(hidden->GetFlags() & 0x70000u, 0x70000u);
    EXPECT_TRUE(factory.IsHiddenUnit(hidden->GetIndex()));
    EXPECT_TRUE(hidden->IsEnabled());
    EXPECT_EQ(factory.GetRuntimeUnitCount(), 3);
    runtime->Release();
    EXPECT_EQ(factory.GetRuntimeUnitCount(), 2);
}

// While a scene loads, units get no uid, no name and no events: the load
// finishes them.
TEST(KVUnitFactoryUnitsTest, UnitsMadeWhileLoadingAreLeftToTheLoad) {
    KVTestUnits units;
    units.Factory().SetLoading(true, 0x20004);
    KVUnit* unit = Make(units, "Sprite", 0);
    units.Factory().SetLoading(false, 0);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->GetUid(), 0u);
    EXPECT_EQ(unit->GetName(), "");
    EXPECT_FALSE(unit->IsEnabled());
    EXPECT_EQ(unit->GetRootSlot(), -1);
}

// A sparse table, however few its units: the oldest free index is reused,
// but never one freed in the same frame.
TEST(KVUnitFactoryUnitsTest, FewUnitsInASparseTableReuseIndices) {
    KVTestUnits units;
    std::vector<KVUnit*> made;
    for (int i = 0; i < 40; ++i) made.push_back(Make(units));
    for (int i = 0; i < 30; ++i) made[size_t(i)]->Release();
    units.Factory().Update(0.0f);
    EXPECT_EQ(Make(units)->GetIndex(), 0);
}

TEST(KVUnitFactoryUnitsTest, SparseTablesReuseIndicesButNotInTheFrameTheyWereFreed) {
    KVTestUnits many;
    std::vector<KVUnit*> made;
    for (int i = 0; i < 81; ++i) made.push_back(Make(many));
    for (int i = 0; i < 40; ++i) made[size_t(i)]->Release();
    many.Factory().Update(0.0f);
    made[80]->Release();  // freed in this frame
    EXPECT_EQ(many.Factory().GetUnitCount(), 40);
    EXPECT_EQ(Make(many)->GetIndex(), 0);
    // 41 live units in 81 slots: appended again.
    EXPECT_EQ(Make(many)->GetIndex(), 81);
}

// Every free slot freed in this frame, the first of them at the head of the
// free chain: none is handed out before the frame ends, then the oldest is.
TEST(KVUnitFactoryUnitsTest, NoIndexFreedInTheFrameIsReusedWhereverItStandsInTheFreeChain) {
    KVTestUnits many;
    std::vector<KVUnit*> made;
    for (int i = 0; i < 80; ++i) made.push_back(Make(many));
    many.Factory().Update(0.0f);
    for (int i = 0; i < 40; ++i) made[size_t(i)]->Release();
    // 40 live units in 80 slots: reuse mode, but every free slot is marked.
    EXPECT_EQ(Make(many)->GetIndex(), 80);
    many.Factory().Update(0.0f);
    made[79]->Release();  // freed in this frame, last in the chain
    EXPECT_EQ(many.Factory().GetUnitCount(), 40);
    EXPECT_EQ(Make(many)->GetIndex(), 0);
}

TEST(KVUnitFactoryUnitsTest, IndicesOutsideTheTableNameNoUnit) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    KVUnit* unit = Make(units);
    int32_t index = unit->GetIndex();
    EXPECT_EQ(factory.GetUnit(index), static_cast<IKVUnit*>(unit));
    for (int32_t bad : {-1, int32_t(0xFFFFFFFFu), 5, 1 << 30}) {
        EXPECT_EQ(factory.GetUnit(bad), nullptr) << bad;
        EXPECT_FALSE(factory.IsValidUnit(bad)) << bad;
    }
    unit->Release();
    EXPECT_FALSE(factory.IsValidUnit(index));
}

TEST(KVUnitFactoryUnitsTest, HiddenUnitsAreNotFoundByNameAndNamesMayRepeat) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    IKVUnit* hidden = nullptr;
    ASSERT_EQ(factory.NewHiddenUnit(0, &hidden), KV_OK);
    hidden->GetUnit()->SetName("Hero");
    IKVUnit* found = nullptr;
    EXPECT_EQ(factory.FindUnitByName("Hero", nullptr, &found), KV_NOT_FOUND);
    EXPECT_EQ(found, nullptr);

    KVUnit* sprite = Make(units, "Sprite");
    KVUnit* plain = Make(units);
    sprite->SetName("Hero");
    plain->SetName("Hero");
    ASSERT_EQ(factory.FindUnitByName("Hero", nullptr, &found), KV_OK);
    EXPECT_EQ(found, static_cast<IKVUnit*>(sprite));
    ASSERT_EQ(factory.FindUnitByName("Hero", "Unit", &found), KV_OK);
    EXPECT_EQ(found, static_cast<IKVUnit*>(plain));
    EXPECT_EQ(factory.FindUnitByName("hero", nullptr, &found), KV_NOT_FOUND);
    sprite->SetName("Other");
    ASSERT_EQ(factory.FindUnitByName("Hero", nullptr, &found), KV_OK);
    EXPECT_EQ(found, static_cast<IKVUnit*>(plain));
    plain->Release();
    EXPECT_EQ(factory.FindUnitByName("Hero", nullptr, &found), KV_NOT_FOUND);

    EXPECT_EQ(factory.FindUnitByUid(sprite->GetUid()), static_cast<IKVUnit*>(sprite));
    EXPECT_EQ(factory.FindUnitByUid(0x1234567890ull), nullptr);
}

std::vector<int32_t> RunQuery(KVUnitFactory& factory, KVUnitQuery& query, int32_t* first) {
    std::vector<int32_t> out;
    int32_t index = -1;
    *first = factory.FirstUnit(&query, &index);
    if (*first != KV_OK) return out;
    do out.push_back(index);
    while (factory.NextUnit(&query, &index) == KV_OK);
    factory.EndQuery(&query);
    return out;
}

TEST(KVUnitFactoryUnitsTest, QueriesFilterByNameClassIndexAndClassId) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    KVUnitQuery empty;
    empty.mode = KVUnitQuery::BY_CLASS_INDEX;
    int32_t index = 0;
    EXPECT_EQ(factory.FirstUnit(&empty, &index), KV_NOT_FOUND);

    KVUnit* sprite = Make(units, "Sprite");
    KVUnit* cursor = Make(units, "Cursor");  // derives from Sprite
    KVUnit* plain = Make(units);
    IKVUnit* hidden = nullptr;
    factory.NewHiddenUnit(units.ClassIndex("Sprite"), &hidden);
    plain->SetName("Sprite002");
    const uint64_t spriteId = factory.GetClass(units.ClassIndex("Sprite"))->id;

    struct Case {
        const char* name;
        int32_t mode;
        std::string text;
        int32_t classIndex;
        uint64_t classId;
        int32_t first;
        std::vector<int32_t> found;
    };
    const std::vector<Case> cases = {
        {"by name, hidden left out", KVUnitQuery::BY_NAME, "Sprite002", -1, 0, KV_OK, {plain->GetIndex()}},
        {"by class index, hidden included", KVUnitQuery::BY_CLASS_INDEX, "", units.ClassIndex("Sprite"), 0, KV_OK,
         {sprite->GetIndex(), hidden->GetIndex()}},
        {"by class id", KVUnitQuery::BY_CLASS_ID, "", -1, spriteId, KV_OK, {sprite->GetIndex()}},
        {"by class id and derived", KVUnitQuery::BY_CLASS_ID | KVUnitQuery::WITH_DERIVED, "", -1, spriteId, KV_OK,
         {sprite->GetIndex(), cursor->GetIndex()}},
        {"nothing matches", KVUnitQuery::BY_NAME, "Nobody", -1, 0, KV_NOT_FOUND, {}},
        {"no known mode", KVUnitQuery::WITH_DERIVED, "", -1, 0, KV_FAILED, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KVUnitQuery query;
        query.mode = c.mode;
        query.text = c.text;
        query.classIndex = c.classIndex;
        query.classId = c.classId;
        int32_t first = 0;
        EXPECT_EQ(RunQuery(factory, query, &first), c.found);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(query.cursor, nullptr);
    }
}

TEST(KVUnitFactoryUnitsTest, WalksGoOnWhileUnitsClose) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    std::vector<KVUnit*> made;
    for (int i = 0; i < 5; ++i) made.push_back(Make(units));

    KVUnitQuery query;
    query.mode = KVUnitQuery::BY_CLASS_INDEX;
    query.classIndex = 0;
    int32_t index = -1;
    ASSERT_EQ(factory.FirstUnit(&query, &index), KV_OK);
    EXPECT_EQ(index, 0);
    made[1]->Release();  // the next one goes
    ASSERT_EQ(factory.NextUnit(&query, &index), KV_OK);
    EXPECT_EQ(index, 2);
    made[2]->Release();  // the current one goes
    ASSERT_EQ(factory.NextUnit(&query, &index), KV_OK);
    EXPECT_EQ(index, 3);

    IKVUnitIterator* it = factory.NewUnitIterator();
    std::vector<int32_t> seen;
    for (; !it->IsEnd(); it->Next()) {
        seen.push_back(it->GetIndex());
        if (it->GetIndex() == 3) made[3]->Release();
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 3, 4}));
    EXPECT_EQ(it->GetIndex(), -1);
    EXPECT_EQ(it->Release(), 0);
    factory.EndQuery(&query);

    // Over the root list the walk names the units.
    made[4]->SetParent(made[0]->GetIndex());
    IKVUnitIterator* roots = factory.NewRootIterator();
    EXPECT_EQ(roots->GetIndex(), 0);
    roots->Next();
    EXPECT_TRUE(roots->IsEnd());
    roots->Release();

}

TEST(KVUnitFactoryUnitsTest, AnIteratorOverAnEmptyTableIsAtItsEnd) {
    KVTestUnits none;
    IKVUnitIterator* nothing = none.Factory().NewUnitIterator();
    EXPECT_TRUE(nothing->IsEnd());
    EXPECT_EQ(nothing->GetIndex(), -1);
    nothing->Release();
}

TEST(KVUnitFactoryUnitsTest, CopiesTakeTheValuesButNotTheIdentityOrTheChildren) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    KVUnit* parent = Make(units);
    KVUnit* source = Make(units, "Sprite");
    KVUnit* child = Make(units);
    source->SetParent(parent->GetIndex());
    child->SetParent(source->GetIndex());
    source->SetFlags(source->GetFlags() | KVUNIT_ACCEPT_ALL_INPUT);
    std::string folder = "a/b";
    factory.SetAttributeElement(source->GetIndex(), factory.FindAttributeIndex(0, "EditorFolder"), 0, &folder);

    IKVUnit* copied = factory.CopyUnit(source);
    ASSERT_NE(copied, nullptr);
    KVUnit* copy = copied->GetUnit();
    EXPECT_EQ(copy->GetClassIndex(), source->GetClassIndex());
    EXPECT_EQ(copy->GetName(), "Sprite002");
    EXPECT_NE(copy->GetUid(), source->GetUid());
    EXPECT_TRUE(copy->GetChildren()->Empty());
    EXPECT_EQ(copy->GetParentIndex(), parent->GetIndex());
    EXPECT_EQ(parent->GetChildren()->Size(), 2u);
    EXPECT_NE(copy->GetFlags() & KVUNIT_ACCEPT_ALL_INPUT, 0u);
    EXPECT_EQ(copy->GetEditorFolder(), "a\\b\\");
    EXPECT_EQ(copy->GetFlags() & KVUNIT_RUNTIME, 0u);
    EXPECT_TRUE(copy->IsEnabled());
    // The manipulator was last told the unit whose value it wrote.
    const KVAttributeDesc* flags = factory.GetAttribute(0, factory.FindAttributeIndex(0, "Flags"));
    EXPECT_EQ(flags->manipulator->GetUnit(), copy->GetIndex());

    KVUnit* runtime = nullptr;
    ASSERT_EQ(factory.CopyUnitAs(source, &runtime, true), KV_OK);
    EXPECT_NE(runtime->GetFlags() & KVUNIT_RUNTIME, 0u);
}

class RecordingLinker : public IKVLinker {
public:
    int32_t UnlinkUnit(IKVUnit* unit, int32_t) override {
        gone.push_back(unit->GetIndex());
        return KV_OK;
    }
    int32_t OnUnitChanged(IKVUnit*, int32_t) override { return KV_OK; }
    std::vector<int32_t> gone;
};

TEST(KVUnitFactoryUnitsTest, RemovalTellsTheLinkersAndClearsTheSelection) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    RecordingLinker linker;
    EXPECT_EQ(factory.RemoveLinker(&linker), KV_FAILED);
    EXPECT_EQ(factory.AddLinker(&linker), KV_OK);
    KVUnit* a = Make(units);
    KVUnit* b = Make(units);
    KVUnit* c = Make(units);
    b->SetNotifyTarget(c->GetIndex());
    EXPECT_EQ(factory.SelectUnit(b->GetIndex()), KV_OK);
    EXPECT_EQ(factory.GetSelectedUnit(), c->GetIndex());
    factory.SelectUnit(a->GetIndex());
    EXPECT_EQ(factory.GetSelectedUnit(), a->GetIndex());
    int32_t index = a->GetIndex();
    a->Release();
    EXPECT_EQ(factory.GetSelectedUnit(), -1);
    EXPECT_EQ(linker.gone, std::vector<int32_t>{index});
    factory.SelectUnit(99);
    EXPECT_EQ(factory.GetSelectedUnit(), -1);
    EXPECT_EQ(factory.RemoveLinker(&linker), KV_OK);
    b->Release();
    EXPECT_EQ(linker.gone.size(), 1u);
}

TEST(KVUnitFactoryUnitsTest, RootsFollowTheParents) {
    KVTestUnits units;
    KVUnitFactory& factory = units.Factory();
    KVUnit* a = Make(units);
    KVUnit* b = Make(units);
    KVUnit* c = Make(units);
    EXPECT_EQ(factory.GetRootIndices(), (std::vector<int32_t>{0, 1, 2}));
    b->SetParent(a->GetIndex());
    EXPECT_EQ(factory.GetRootIndices(), (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(b->GetRootSlot(), -1);
    // A root slot freed is reused first.
    b->SetParent(-1);
    EXPECT_EQ(factory.GetRootIndices(), (std::vector<int32_t>{0, 2, 1}));
    EXPECT_EQ(b->GetRootSlot(), 1);
    c->Release();
    EXPECT_EQ(factory.GetRootIndices(), (std::vector<int32_t>{0, 1}));
    // Closing a parent releases its children.
    b->SetParent(a->GetIndex());
    a->Release();
    EXPECT_EQ(factory.GetUnitCount(), 0);
    EXPECT_TRUE(factory.GetRootIndices().empty());
}

} // namespace
