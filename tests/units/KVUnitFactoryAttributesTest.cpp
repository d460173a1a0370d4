// Attribute access through the factory over whole units: the enable and
// disable passes, writes from text, dynamic values and copies down a tree.
#include <gtest/gtest.h>

#include "support/KVTestUnits.h"
#include "units/IKVUnitRef.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

std::vector<std::string>& Calls() {
    static std::vector<std::string> calls;
    return calls;
}

// A class whose attributes record when their hooks and setter run.
class Staged : public KVUnit {
public:
    static KVUnit* Create() { return new Staged; }
    uint32_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    int32_t reads = 0;
};

void HookA(void*) { Calls().push_back("a"); }
void HookB(void*) { Calls().push_back("b"); }
void HookD(void*) { Calls().push_back("d"); }
void HookE(void*) { Calls().push_back("e"); }
void HookF(void*) { Calls().push_back("f"); }
void HookDynamic(void*) { Calls().push_back("dynamic"); }
void ReadA(void* unit) { ++static_cast<Staged*>(unit)->reads; }
int32_t SetC(KVUnit* unit, void* holder, int32_t reason) {
    static_cast<Staged*>(unit)->c = *static_cast<uint32_t*>(holder);
    Calls().push_back("c:" + std::to_string(reason));
    return KV_OK;
}
int32_t SetComputed(KVUnit*, void*, int32_t) {
    Calls().push_back("computed");
    return KV_OK;
}
void GetComputed(KVUnit*, KVAttributeComputed* out) { out->integer = 1; }

class KVUnitFactoryAttributesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Calls().clear();
        KVUnitFactory& factory = units.Factory();
        staged = units.RegisterClass("Staged", 0x5354414745ull, &Staged::Create);
        ASSERT_NE(staged, -1);
        Staged probe;
        struct Row {
            const char* name;
            uint32_t* field;
            int32_t phase;
            std::vector<int32_t> flags;
            KVAttributeHook hook;
            KVAttributeSetter setter;
        };
        const Row rows[] = {
            {"A", &probe.a, 0, {KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT}, HookA, nullptr},
            {"B", &probe.b, 2, {KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT}, HookB, nullptr},
            {"C", &probe.c, 3, {KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT}, nullptr, SetC},
            {"D", &probe.d, 1, {KVAF_LISTED, KVAF_PERSISTENT, KVAF_NO_PASS}, HookD, nullptr},
            {"E", &probe.e, 3, {KVAF_SCRIPT, KVAF_APPLIED}, HookE, nullptr},
            {"F", &probe.f, 0, {KVAF_LISTED, KVAF_SCRIPT}, HookF, nullptr},
        };
        for (const Row& row : rows) {
            KVAttributeDesc a = KVTestUnits::Attribute(staged, KVATTR_U32, row.name, 0x1000 + uint64_t(row.name[0]));
            a.SetOnlyFlags(std::initializer_list<int32_t>{});
            for (int32_t flag : row.flags) a.flags[flag] = 1;
            a.flags[KVAF_PHASE] = uint8_t(row.phase);
            a.offset = KVUnit::OffsetInUnit(&probe, row.field);
            a.changedHook = row.hook;
            a.setter = row.setter;
            if (row.name[0] == 'A') a.readHook = ReadA;
            ASSERT_EQ(factory.AddAttribute(a), KV_OK);
        }
        KVAttributeDesc computed = KVTestUnits::Attribute(staged, KVATTR_S32, "Computed", 0x2000);
        computed.getter = GetComputed;
        computed.setter = SetComputed;
        ASSERT_EQ(factory.AddAttribute(computed), KV_OK);
        KVAttributeDesc dynamic = KVTestUnits::Attribute(staged, KVATTR_S32, "Dynamic", 0x2001);
        dynamic.storageKind = KVSTORE_COMPONENT;
        dynamic.changedHook = HookDynamic;
        ASSERT_EQ(factory.AddAttribute(dynamic), KV_OK);
    }
    Staged* Make() {
        KVUnit* unit = nullptr;
        EXPECT_EQ(units.Factory().CreateUnit(staged, &unit, KVCREATE_RUNTIME, -1, 0), KV_OK);
        return static_cast<Staged*>(unit);
    }
    int32_t Position(const char* name) { return units.Factory().FindAttributeIndex(staged, name); }

    KVTestUnits units;
    int32_t staged = -1;
};

// Enabling goes through the phases forwards and the attributes first to
// last; disabling backwards both ways. Attributes kept out of the passes,
// neither persistent nor applied, or without a value, never run.
TEST_F(KVUnitFactoryAttributesTest, EnablePassesRunForwardsAndDisablePassesBackwards) {
    Staged* unit = Make();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"a", "b", "c:1", "e"}));
    Calls().clear();
    unit->SetEnabled(false);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"e", "c:2", "b", "a"}));
    EXPECT_EQ(units.Factory().GetReason(), 0);
}

TEST_F(KVUnitFactoryAttributesTest, WritesRunTheSetterWithAReasonOfZeroOrTheHook) {
    KVUnitFactory& factory = units.Factory();
    Staged* unit = Make();
    Calls().clear();
    uint32_t value = 9;
    ASSERT_EQ(factory.SetAttributeElement(unit->GetIndex(), Position("C"), 0, &value), KV_OK);
    EXPECT_EQ(unit->c, 9u);
    ASSERT_EQ(factory.SetAttributeText(unit->GetIndex(), Position("B"), 0, "12", false), KV_OK);
    EXPECT_EQ(unit->b, 12u);
    // Listed numbers skip the attributes that are not listed: after the
    // base unit's, A to D are listed, E is not, F is.
    const KVUnitClass* record = factory.GetClass(staged);
    int32_t listedF = factory.GetClass(KVUnit::GetUnitClassIndex())->listedCount + 4;
    ASSERT_EQ(factory.SetAttributeText(unit->GetIndex(), listedF, 0, "3", true), KV_OK);
    EXPECT_EQ(unit->f, 3u);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"c:0", "b", "f"}));
    // Nothing for an index that names no unit or a number out of range.
    EXPECT_EQ(factory.SetAttributeText(999, Position("B"), 0, "1", false), KV_OK);
    EXPECT_EQ(factory.SetAttributeText(unit->GetIndex(), record->listedCount, 0, "1", true), KV_OK);
    EXPECT_EQ(Calls().size(), 3u);

    factory.PrepareRead(unit, *factory.GetAttribute(staged, Position("A")));
    EXPECT_EQ(unit->reads, 1);
}

// A setter that changes the attributes in the middle of a pass (here: E
// leaves the passes, F joins phase 3, a new class moves every class record)
// is followed by the rest of that very phase, and by every later pass.
int32_t SetCChangingAttributes(KVUnit* unit, void* holder, int32_t reason) {
    SetC(unit, holder, reason);
    static bool changed = false;
    if (changed) return KV_OK;
    changed = true;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = unit->GetClassIndex();
    KVAttributeDesc e = *factory->GetAttribute(classIndex, factory->FindAttributeIndex(classIndex, "E"));
    e.flags[KVAF_NO_PASS] = 1;
    KVAttributeDesc f = *factory->GetAttribute(classIndex, factory->FindAttributeIndex(classIndex, "F"));
    f.flags[KVAF_PERSISTENT] = 1;
    f.flags[KVAF_PHASE] = 3;
    KVUnitClassDesc moved;
    moved.name = "Moved";
    moved.id = 0x4D4F564544ull;
    moved.create = &Staged::Create;
    int32_t index = -1;
    if (factory->UpdateAttribute(e, nullptr) != KV_OK || factory->UpdateAttribute(f, nullptr) != KV_OK ||
        factory->RegisterClass(moved, &index) != KV_OK)
        Calls().push_back("not changed");
    return KV_OK;
}

TEST_F(KVUnitFactoryAttributesTest, ASetterChangingTheAttributesMidPassIsFollowedAtOnce) {
    KVUnitFactory& factory = units.Factory();
    KVAttributeDesc c = *factory.GetAttribute(staged, Position("C"));
    c.setter = SetCChangingAttributes;
    ASSERT_EQ(factory.UpdateAttribute(c, nullptr), KV_OK);
    Staged* unit = Make();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"a", "b", "c:1", "f"}));
    Calls().clear();
    unit->SetEnabled(false);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"f", "c:2", "b", "a"}));
}

TEST_F(KVUnitFactoryAttributesTest, DynamicValuesAreWrittenAndReadWithoutHooks) {
    KVUnitFactory& factory = units.Factory();
    Staged* unit = Make();
    Calls().clear();
    int32_t value = -7;
    ASSERT_EQ(factory.SetAttributeElement(unit->GetIndex(), Position("Dynamic"), 0, &value), KV_OK);
    auto* held = static_cast<int32_t*>(factory.GetHolderAt(unit->GetIndex(), Position("Dynamic"), KVATTR_S32));
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(*held, -7);
    unit->SetEnabled(false);
    unit->SetEnabled(true);
    for (const std::string& call : Calls()) EXPECT_NE(call, "dynamic");
}

TEST_F(KVUnitFactoryAttributesTest, CopiesToChildrenReachTheAskedDepthAndRunNoHooks) {
    struct Case {
        int32_t depth;
        uint32_t child, grandchild, belowPlain;
    };
    for (const Case& c : {Case{1, 5, 0, 0}, Case{2, 5, 5, 5}, Case{0, 5, 5, 5}, Case{-3, 5, 5, 5}}) {
        SCOPED_TRACE(c.depth);
        KVUnitFactory& factory = units.Factory();
        Staged* top = Make();
        Staged* child = Make();
        Staged* grandchild = Make();
        KVUnit* plain = units.Create();
        Staged* belowPlain = Make();
        child->SetParent(top->GetIndex());
        grandchild->SetParent(child->GetIndex());
        plain->SetParent(top->GetIndex());
        belowPlain->SetParent(plain->GetIndex());
        top->a = 5;
        Calls().clear();
        EXPECT_EQ(factory.CopyAttributeToChildren(top, Position("A"), c.depth), KV_OK);
        EXPECT_EQ(child->a, c.child);
        EXPECT_EQ(grandchild->a, c.grandchild);
        EXPECT_EQ(belowPlain->a, c.belowPlain);
        EXPECT_TRUE(Calls().empty());
        top->Release();
    }
}

} // namespace
