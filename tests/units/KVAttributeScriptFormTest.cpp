#include <gtest/gtest.h>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "support/KVLuaHostTest.h"
#include "support/KVScriptWordCases.h"
#include "support/KVTestUnits.h"
#include "units/KV2DTempl.h"

using namespace kvl;
using kvtest::KVTestUnits;

namespace {

// A unit class whose colour goes through a setter and that keeps a
// position list, as display classes do.
class PaintedUnit : public KVUnit {
public:
    static KVUnit* Create() { return new PaintedUnit; }
    static int32_t SetColor(KVUnit* unit, void* holder, int32_t) {
        auto* self = static_cast<PaintedUnit*>(unit);
        self->color = *static_cast<uint32_t*>(holder);
        self->setterCalls.push_back(self->color);
        return KV_OK;
    }
    uint32_t color = 0x80402010;
    KVPositionList outline{{1, 2}, {3, 4}};
    std::vector<uint32_t> setterCalls;
};

class KVAttributeScriptFormTest : public kvtest::KVLuaHostTest {
protected:
    void SetUp() override {
        KVLuaHostTest::SetUp();
        KVUnitClassDesc desc;
        desc.name = "Painted";
        desc.id = 0x5151;
        desc.create = &PaintedUnit::Create;
        desc.baseClass = units.ClassIndex("Unit");
        ASSERT_EQ(units.Factory().RegisterClass(desc, &painted), KV_OK);
        PaintedUnit probe;
        colorPosition = AddField(KVATTR_COLOR, "Color", KVUnit::OffsetInUnit(&probe, &probe.color), PaintedUnit::SetColor);
        outlinePosition = AddField(KVATTR_ARRAY_KVPOS2D, "Outline", KVUnit::OffsetInUnit(&probe, &probe.outline), nullptr);
        KVUnit* unit = nullptr;
        ASSERT_EQ(units.Factory().CreateUnit(painted, &unit, KVCREATE_RUNTIME, -1, 0), KV_OK);
        subject = static_cast<PaintedUnit*>(unit);
        // Creation enabled the unit, and its enable pass ran the setter.
        EXPECT_EQ(subject->setterCalls, std::vector<uint32_t>{0x80402010u});
        subject->setterCalls.clear();
    }
    int32_t AddField(int32_t type, const char* name, int32_t offset, KVAttributeSetter setter) {
        KVAttributeDesc desc = KVTestUnits::Attribute(painted, type, name, uint64_t(0x100 + type));
        desc.offset = offset;
        desc.setter = setter;
        EXPECT_EQ(units.Factory().AddAttribute(desc), KV_OK);
        return units.Factory().FindAttributePosition(painted, desc.id);
    }
    const KVAttributeDesc& Attribute(int32_t position) { return *units.Factory().GetAttribute(painted, position); }

    // The stack of a field assignment: the table, the key, then the value.
    void Assign(const std::string& expression) {
        lua_settop(L, 0);
        lua_newtable(L);
        lua_pushstring(L, "field");
        ASSERT_EQ(luaL_loadstring(L, ("return " + expression).c_str()), 0);
        lua_call(L, 0, 1);
    }
    // Pushes through the manipulator and names the result "v".
    void Push(KVAttributeManipulator& m, void* value) {
        lua_settop(L, 0);
        m.PushToLua(value);
        ASSERT_EQ(lua_gettop(L), 1);
        lua_setglobal(L, "v");
    }
    std::string V(const std::string& expression = "v") { return host.Describe(expression); }

    KVTestUnits units;
    int32_t painted = -1;
    int32_t colorPosition = -1;
    int32_t outlinePosition = -1;
    PaintedUnit* subject = nullptr;
};

TEST_F(KVAttributeScriptFormTest, NumbersAndTextsTravelAsScriptValues) {
    auto s32 = KVTestUnits::Manipulator(KVATTR_S32);
    int32_t i = -3;
    Push(*s32, &i);
    EXPECT_EQ(V(), "number -3");
    Assign("12.9");
    s32->GetFromLua(&i);
    EXPECT_EQ(i, 12);

    auto rotation = KVTestUnits::Manipulator(KVATTR_F32_ROTATION);
    float f = 1.5f;
    Push(*rotation, &f);
    EXPECT_EQ(V(), "number 1.5");
    Assign("0.25");
    rotation->GetFromLua(&f);
    EXPECT_EQ(f, 0.25f);

    auto path = KVTestUnits::Manipulator(KVATTR_PATH);
    auto text = KVTestUnits::Manipulator(KVATTR_STRING);
    std::string s = "keep";
    Assign("nil");
    text->GetFromLua(&s);
    EXPECT_EQ(s, "keep");
    Assign("'Data/Sprites/A.PNG'");
    text->GetFromLua(&s);
    EXPECT_EQ(s, "Data/Sprites/A.PNG");
    path->GetFromLua(&s);
    EXPECT_EQ(s, "data/sprites/a.png");
    Push(*path, &s);
    EXPECT_EQ(V(), "string data/sprites/a.png");

    auto uid = KVTestUnits::Manipulator(KVATTR_UID);
    uint64_t u = 0x0123456789ABCDEFull;
    Push(*uid, &u);
    EXPECT_EQ(V(), "string EFCDAB8967452301");
    Assign("'00000000000000FF'");
    uid->GetFromLua(&u);
    EXPECT_EQ(u, 0xFF00000000000000ull);
}

TEST_F(KVAttributeScriptFormTest, TruthValuesAndBits) {
    auto boolean = KVTestUnits::Manipulator(KVATTR_BOOLEAN);
    bool b = false;
    Assign("1");
    boolean->GetFromLua(&b);
    EXPECT_FALSE(b);
    Assign("true");
    boolean->GetFromLua(&b);
    EXPECT_TRUE(b);
    Push(*boolean, &b);
    EXPECT_EQ(V(), "boolean true");

    auto compact = KVTestUnits::Manipulator(KVATTR_BOOLEAN_COMPACT, "Visible", 1, 1);
    uint32_t word = 0x10;
    Assign("true");
    compact->GetFromLua(compact->GetElement(&word, 0));
    EXPECT_EQ(word, 0x12u);
    Push(*compact, &word);
    EXPECT_EQ(V(), "boolean true");

    // Flags: the sub-field chosen by the last lookup by name.
    auto flags = KVTestUnits::Manipulator(KVATTR_FLAGS, "Flags~A~B~C~D~E", 5);
    units.Factory().SetLastElement(3);
    Assign("true");
    flags->GetFromLua(&word);
    EXPECT_EQ(word, 0x1Au);
    units.Factory().SetLastElement(4);
    Push(*flags, &word);
    EXPECT_EQ(V(), "boolean true");
    Assign("false");
    flags->GetFromLua(&word);
    EXPECT_EQ(word, 0x0Au);
}

TEST_F(KVAttributeScriptFormTest, EnumerationsTakeTheirValueNames) {
    auto mode = KVTestUnits::Manipulator(KVATTR_ENUM, "Mode~Off~On");
    uint32_t index = 0;
    Assign("'On'");
    mode->GetFromLua(&index);
    EXPECT_EQ(index, 1u);
    kvtest::KVTestLuaHost::ClearErrors();
    Assign("'on'");
    mode->GetFromLua(&index);
    EXPECT_EQ(index, 1u);
    EXPECT_TRUE(host.HasError("on is an invalid enumeration value"));
    Assign("0");
    mode->GetFromLua(&index);
    EXPECT_EQ(index, 0u);
    Push(*mode, &index);
    EXPECT_EQ(V(), "number 0");
}

TEST_F(KVAttributeScriptFormTest, ColourStructuresFollowAndSetTheUnitsValue) {
    const KVAttributeDesc& color = Attribute(colorPosition);
    color.manipulator->SetUnit(subject->GetIndex());
    Push(*color.manipulator, &subject->color);
    EXPECT_EQ(V("v.b"), "number 16");
    EXPECT_EQ(V("v.g"), "number 32");
    EXPECT_EQ(V("v.r"), "number 64");
    EXPECT_EQ(V("v.a"), "number 128");

    Run("v.r = 255");
    EXPECT_EQ(subject->color, 0x80FF2010u);
    EXPECT_EQ(subject->setterCalls, std::vector<uint32_t>{0x80FF2010u});
    // Reads follow the unit's value, whoever changed it.
    subject->color = 0x01020304;
    EXPECT_EQ(V("v.value"), "number 16909060");
    Run("v.value = 0x7F000000");
    EXPECT_EQ(subject->color, 0x7F000000u);

    Assign("0x00ABCDEF");
    uint32_t word = 0;
    color.manipulator->GetFromLua(&word);
    EXPECT_EQ(word, 0x00ABCDEFu);
}

// Colours and u32 words from scripts keep all 32 bits, whole or through the
// colour's value field. Colours read back as 0 to 2^32 - 1, the number a
// hex literal wrote; u32 words read back signed, as -1 sentinels expect.
TEST_F(KVAttributeScriptFormTest, WordsAndColoursKeepAll32Bits) {
    auto u32 = KVTestUnits::Manipulator(KVATTR_U32);
    const KVAttributeDesc& color = Attribute(colorPosition);
    color.manipulator->SetUnit(subject->GetIndex());
    Push(*color.manipulator, &subject->color);
    Run("c = v");
    for (const kvtest::KVScriptWordCase& c : kvtest::ScriptWordCases()) {
        SCOPED_TRACE(c.script);
        const std::string number = "number " + std::to_string(c.word);
        uint32_t word = 0x5A5A5A5A;
        Assign(c.script);
        u32->GetFromLua(&word);
        EXPECT_EQ(word, c.word);
        Push(*u32, &word);
        EXPECT_EQ(V(), "number " + std::to_string(int32_t(c.word)));
        word = 0x5A5A5A5A;
        Assign(c.script);
        color.manipulator->GetFromLua(&word);
        EXPECT_EQ(word, c.word);

        subject->setterCalls.clear();
        Run(std::string("c.value = ") + c.script);
        EXPECT_EQ(subject->color, c.word);
        EXPECT_EQ(subject->setterCalls, std::vector<uint32_t>{c.word});
        EXPECT_EQ(V("c.value"), number);
    }
    subject->color = 0x00000000;
    Run("c.a = 0xFF\nc.r = 0x1FF\nc.b = -1");
    EXPECT_EQ(subject->color, 0xFFFF00FFu);
    EXPECT_EQ(V("c.a, c.r, c.g, c.b, c.value"), "number 255, number 255, number 0, number 255, number 4294902015");
}

// A colour read, and each field read or written, reports nothing: not to
// the hook, not to loglua.txt.
TEST_F(KVAttributeScriptFormTest, ReadingAColourReportsNothing) {
    lua->SetLogOnDisk(true);
    kvtest::KVTestLuaHost::ClearErrors();
    const KVAttributeDesc& color = Attribute(colorPosition);
    color.manipulator->SetUnit(subject->GetIndex());
    Push(*color.manipulator, &subject->color);
    Run("local s = v.b + v.g + v.r + v.a + v.value\nv.g = 1\nv.value = 0xFF00FF00");
    EXPECT_EQ(subject->color, 0xFF00FF00u);
    EXPECT_EQ(kvtest::KVTestLuaHost::Errors(), std::vector<std::string>{});
    EXPECT_EQ(host.ReadAsset("loglua.txt"), "");
}

TEST_F(KVAttributeScriptFormTest, PositionProxiesGoByTheFirstLetterOfTheField) {
    const KVAttributeDesc& outline = Attribute(outlinePosition);
    outline.manipulator->SetUnit(subject->GetIndex());
    Push(*outline.manipulator, &subject->outline);
    EXPECT_EQ(V("#v"), "number 2");
    EXPECT_EQ(V("v[1].x"), "number 1");
    EXPECT_EQ(V("v[1].xpos"), "number 1");
    EXPECT_EQ(V("v[2].y"), "number 4");
    EXPECT_EQ(V("v[2].z"), "nil");
    Run("v[2].y = -7");
    EXPECT_EQ(subject->outline[1].y, -7);
    kvtest::KVTestLuaHost::ClearErrors();
    Run("v[1].z = 5");
    EXPECT_TRUE(host.HasError(": invalid name"));
    EXPECT_EQ(subject->outline[0], (KV2DTempl<int32_t>{1, 2}));

    // A proxy kept after the list shrank reads nothing and writes nowhere.
    subject->outline.resize(1);
    EXPECT_EQ(V("v[2].y"), "nil");
    Run("v[2].y = 9");
    EXPECT_EQ(subject->outline.size(), 1u);
}

} // namespace
