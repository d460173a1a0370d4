// Attribute access through the factory over whole units: the enable and
// disable passes, writes from text, dynamic values, copies down a tree, and
// reads and writes by the names scripts use.
#include <gtest/gtest.h>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include <cmath>

#include "support/KVLuaHostTest.h"
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

// A class whose setters keep what they were given: Level refuses values
// below zero, Spot is two floats, Title a string, Wide more floats than a
// staging copy on the stack holds.
class Gated : public KVUnit {
public:
    static KVUnit* Create() { return new Gated; }
    float level = 1.0f;
    float spot[2] = {3.0f, 4.0f};
    std::string title = "old";
    float wide[20] = {};
    // What each setter saw: the copy's own address and the stored value at
    // the time of the call.
    std::vector<std::string> seen;
};

int32_t SetLevel(KVUnit* unit, void* holder, int32_t) {
    auto* self = static_cast<Gated*>(unit);
    const float given = *static_cast<float*>(holder);
    self->seen.push_back("level " + std::to_string(given) + (holder == &self->level ? " in place" : ""));
    if (given < 0.0f) return KV_INVALID;
    self->level = given;
    return KV_OK;
}

int32_t SetSpot(KVUnit* unit, void* holder, int32_t) {
    auto* self = static_cast<Gated*>(unit);
    const float* given = static_cast<float*>(holder);
    self->seen.push_back("spot " + std::to_string(given[0]) + " " + std::to_string(given[1]) + " over " +
                         std::to_string(self->spot[0]) + " " + std::to_string(self->spot[1]));
    self->spot[0] = given[0];
    self->spot[1] = given[1];
    return KV_OK;
}

int32_t SetTitle(KVUnit* unit, void* holder, int32_t) {
    auto* self = static_cast<Gated*>(unit);
    self->seen.push_back("title " + *static_cast<std::string*>(holder) + " over " + self->title);
    self->title = *static_cast<std::string*>(holder);
    return KV_OK;
}

int32_t SetWide(KVUnit* unit, void* holder, int32_t) {
    auto* self = static_cast<Gated*>(unit);
    const float* given = static_cast<float*>(holder);
    self->seen.push_back("wide " + std::to_string(given[0]) + " " + std::to_string(given[19]) + " over " +
                         std::to_string(self->wide[0]));
    std::copy(given, given + 20, self->wide);
    return KV_OK;
}

class KVUnitFactoryScriptAccessTest : public kvtest::KVLuaHostTest {
protected:
    void SetUp() override {
        KVLuaHostTest::SetUp();
        gated = units.RegisterClass("Gated", 0x4741544544ull, &Gated::Create);
        ASSERT_NE(gated, -1);
        Gated probe;
        struct Row {
            int32_t type;
            const char* name;
            void* field;
            int32_t count;
            KVAttributeSetter setter;
        };
        const Row rows[] = {
            {KVATTR_F32, "Level", &probe.level, 1, SetLevel},
            {KVATTR_F32, "Spot~X~Y", &probe.spot, 2, SetSpot},
            {KVATTR_STRING, "Title", &probe.title, 1, SetTitle},
            {KVATTR_F32, "Wide", &probe.wide, 20, SetWide},
        };
        uint64_t id = 0x4700;
        for (const Row& row : rows) {
            KVAttributeDesc a = KVTestUnits::Attribute(gated, row.type, row.name, ++id, row.count);
            a.offset = KVUnit::OffsetInUnit(&probe, row.field);
            a.setter = row.setter;
            ASSERT_EQ(units.Factory().AddAttribute(a), KV_OK);
        }
        KVUnit* made = nullptr;
        ASSERT_EQ(units.Factory().CreateUnit(gated, &made, KVCREATE_RUNTIME, -1, 0), KV_OK);
        unit = static_cast<Gated*>(made);
        unit->seen.clear();
    }
    // A field assignment's stack (table, key, value), then the write by name.
    int32_t Write(const char* name, const std::string& expression) {
        lua_settop(L, 0);
        lua_newtable(L);
        lua_pushstring(L, name);
        EXPECT_EQ(luaL_loadstring(L, ("return " + expression).c_str()), 0);
        lua_call(L, 0, 1);
        return units.Factory().SetAttributeFromLua(unit, name);
    }
    // The value a read by name pushes, described; "none" when it pushes none.
    std::string Read(const char* name) {
        lua_settop(L, 0);
        if (units.Factory().PushAttributeToLua(unit, name) != KV_OK) return "none";
        EXPECT_EQ(lua_gettop(L), 1);
        lua_setglobal(L, "v");
        return host.Describe("v");
    }

    KVTestUnits units;
    int32_t gated = -1;
    Gated* unit = nullptr;
};

// The setter gets a copy: the stored value changes only when the setter
// takes the copy, so a value it refuses leaves the stored one as it was.
TEST_F(KVUnitFactoryScriptAccessTest, ASetterThatRefusesTheValueLeavesTheStoredOne) {
    EXPECT_EQ(Write("Level", "2.5"), KV_OK);
    EXPECT_EQ(unit->level, 2.5f);
    EXPECT_EQ(Write("Level", "-1"), KV_OK);
    EXPECT_EQ(unit->level, 2.5f);
    EXPECT_EQ(Read("Level"), "number 2.5");
    EXPECT_EQ(unit->seen, (std::vector<std::string>{"level 2.500000", "level -1.000000"}));
}

// A write to one element of a value with a setter hands the setter the
// whole value: the named element new, the others as stored.
TEST_F(KVUnitFactoryScriptAccessTest, AnElementWriteGivesTheSetterTheWholeValue) {
    EXPECT_EQ(Write("Spot_Y", "9"), KV_OK);
    EXPECT_EQ(Write("Spot_X", "-2"), KV_OK);
    EXPECT_EQ(unit->seen, (std::vector<std::string>{"spot 3.000000 9.000000 over 3.000000 4.000000",
                                                     "spot -2.000000 9.000000 over 3.000000 9.000000"}));
    EXPECT_EQ(Read("Spot_X"), "number -2");
    EXPECT_EQ(Read("Spot_Y"), "number 9");
    EXPECT_EQ(Read("Spot"), "none");
    EXPECT_EQ(Write("Spot_Z", "1"), 1);
}

// Values that are no plain bytes, or more of them than the stack copy
// holds, are staged on the heap and reach the setter just the same.
TEST_F(KVUnitFactoryScriptAccessTest, StringsAndLargeValuesReachTheirSettersAsCopies) {
    EXPECT_EQ(Write("Title", "'new title, longer than any short string kept in place'"), KV_OK);
    EXPECT_EQ(unit->title, "new title, longer than any short string kept in place");
    EXPECT_EQ(Read("Title"), "string new title, longer than any short string kept in place");
    unit->wide[19] = 7.0f;
    EXPECT_EQ(Write("Wide", "5"), KV_OK);
    EXPECT_EQ(unit->wide[0], 5.0f);
    EXPECT_EQ(unit->wide[19], 7.0f);
    EXPECT_EQ(unit->seen, (std::vector<std::string>{
                              "title new title, longer than any short string kept in place over old",
                              "wide 5.000000 7.000000 over 0.000000"}));
}

// Each value type travels by name as its manipulator carries it: a value
// written from a script reads back as the manipulator itself gives it.
TEST_F(KVUnitFactoryScriptAccessTest, ValuesByNameTravelAsTheirManipulatorsCarryThem) {
    struct Case {
        int32_t type;
        const char* name;
        const char* script;
        const char* reads;
    };
    const Case cases[] = {
        {KVATTR_U32, "Word", "0xFFFFFFFF", "number -1"},
        {KVATTR_U32, "Word", "-2", "number -2"},
        {KVATTR_U32, "Word", "2^31", "number -2147483648"},
        {KVATTR_S32, "Count", "1e10", "number 2147483647"},
        {KVATTR_S32, "Count", "-7.9", "number -7"},
        {KVATTR_F32, "Real", "1e300", "number inf"},
        {KVATTR_F32, "Real", "0.5", "number 0.5"},
        {KVATTR_F32_ROTATION, "Turn", "1.5", "number 1.5"},
        {KVATTR_BOOLEAN, "Truth", "true", "boolean true"},
        {KVATTR_BOOLEAN, "Truth", "1", "boolean false"},
        {KVATTR_ENUM, "Mode~Off~On", "'On'", "number 1"},
        {KVATTR_ENUM, "Mode~Off~On", "0", "number 0"},
        {KVATTR_COLOR, "Tint", "0xFF00FF00", "table"},
    };
    KVUnitFactory& factory = units.Factory();
    uint64_t id = 0x4800;
    for (const Case& c : cases) {
        if (factory.FindAttributeIndex(gated, c.name) >= 0) continue;
        KVAttributeDesc a = KVTestUnits::Attribute(gated, c.type, c.name, ++id);
        a.storageKind = KVSTORE_COMPONENT;
        ASSERT_EQ(factory.AddAttribute(a), KV_OK);
    }
    KVUnit* made = nullptr;
    ASSERT_EQ(factory.CreateUnit(gated, &made, KVCREATE_RUNTIME, -1, 0), KV_OK);
    unit = static_cast<Gated*>(made);
    for (const Case& c : cases) {
        const std::string name = std::string(c.name).substr(0, std::string(c.name).find('~'));
        SCOPED_TRACE(name + " = " + c.script);
        EXPECT_EQ(Write(name.c_str(), c.script), KV_OK);
        const std::string got = Read(name.c_str());
        EXPECT_EQ(got.substr(0, std::string(c.reads).size()), c.reads);
        // The manipulator's own conversions agree.
        const KVAttributeDesc* desc = factory.GetAttribute(gated, factory.FindAttributeIndex(gated, c.name));
        ASSERT_NE(desc, nullptr);
        void* holder = nullptr;
        ASSERT_EQ(factory.GetHolder(unit, *desc, &holder), KV_OK);
        lua_settop(L, 0);
        desc->manipulator->SetUnit(unit->GetIndex());
        desc->manipulator->PushToLua(holder);
        lua_setglobal(L, "w");
        EXPECT_EQ(host.Describe("w").substr(0, std::string(c.reads).size()), c.reads);
    }
}

} // namespace
