// The "KVUnitFactory" script library on a loaded game: units found by name,
// class, index and uid, made, copied and closed at run time, walked with a
// cursor; the class scripts' "OnClassInit".
#include <gtest/gtest.h>

#include <lua.hpp>

#include "KVLua/KVLua.h"
#include "kernel/KVCore.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSceneGame.h"
#include "units/KVSerialize.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint64_t kNode2DClassId = 0x003704345E5F6300ull;

// A game with three scenes: "Scene" and "Node" in the first, nothing in the
// other two.
class KVUnitFactoryLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        KVSceneUnitsWriter units;
        units.AddPlainUnit("Scene", 0x51);
        KVSceneClassSpec node;
        node.classId = kNode2DClassId;
        node.name = "Node2D";
        node.attributes = {{KVSceneUnitsWriter::kNameId, 4, 1}, {KVSceneUnitsWriter::kUidId, 13, 1}};
        units.AddUnit(units.AddClass(node), {KVStored::String("Node"), KVStored::U64(0x52)});
        game.AddScene("scenes/a.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
        for (const char* path : {"scenes/b.kvl", "scenes/c.kvl"})
            game.AddScene(path, KVSceneUnitsWriter().Scene(0x20004, KVTestSceneGame::kProjectId), false);
        game.WriteScript("classes.lua",
                         "inits = 0\nNode2D = {}\nfunction Node2D.OnClassInit() inits = inits + 1 end\n");
        ASSERT_EQ(game.Load(), 0);
        game.Step();
        KVTestCoreHost::Errors().clear();
    }

    // The unit a Lua global holds, -1 for none.
    int32_t Held(const char* global) {
        lua_State* L = game.Host().State();
        lua_getglobal(L, global);
        const int32_t index = lua_isnil(L, -1) ? -1 : KVLua::Instance()->ToUnit(-1);
        lua_pop(L, 1);
        return index;
    }
    KVUnit* Unit(int32_t index) {
        IKVUnit* unit = game.Factory().GetUnit(index);
        return unit ? unit->GetUnit() : nullptr;
    }
    std::vector<std::string>& Reports() { return KVTestCoreHost::Errors(); }
    bool Reported(const std::string& part) {
        for (const std::string& r : Reports())
            if (r.find(part) != std::string::npos) return true;
        return false;
    }

    KVTestSceneGame game;
};

TEST_F(KVUnitFactoryLibTest, ClassScriptsHearOnClassInitOnce) { EXPECT_EQ(game.Eval("inits"), "1"); }

TEST_F(KVUnitFactoryLibTest, CreateUnitMakesRunTimeUnitsOfAKvl) {
    game.Run("plain = KVUnitFactory.CreateUnit('Node2D')\n"
             "named = KVUnitFactory.CreateUnit('Node2D', 'scenes/c.kvl')\n"
             "off = KVUnitFactory.CreateUnit('Node2D', 2, {'disabled'})\n"
             "bare = KVUnitFactory.CreateDisabledUnit('Node2D')\n");
    KVUnit* plain = Unit(Held("plain"));
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->GetFlags() & KVUNIT_RUNTIME);
    EXPECT_EQ(plain->GetKvlIndex(), 0);
    EXPECT_TRUE(plain->IsEnabled());
    EXPECT_EQ(Unit(Held("named"))->GetKvlIndex(), 2);
    EXPECT_EQ(Unit(Held("off"))->GetKvlIndex(), 2);
    EXPECT_FALSE(Unit(Held("off"))->IsEnabled());
    EXPECT_EQ(Unit(Held("bare"))->GetKvlIndex(), -1);
    EXPECT_FALSE(Unit(Held("bare"))->IsEnabled());
    EXPECT_TRUE(Reports().empty());
}

TEST_F(KVUnitFactoryLibTest, CreateUnitReportsUnknownClassesAndKvls) {
    EXPECT_EQ(game.Eval("select('#', KVUnitFactory.CreateUnit('Nope'))"), "0");
    EXPECT_TRUE(Reported("Nope is an unknown class"));
    game.Run("far = KVUnitFactory.CreateUnit('Node2D', 99)\n"
             "lost = KVUnitFactory.CreateUnit('Node2D', 'nowhere.kvl')\n");
    EXPECT_TRUE(Reported("99 is an invalid kvl index"));
    EXPECT_TRUE(Reported("nowhere.kvl is an unknown kvl"));
    EXPECT_EQ(Unit(Held("far"))->GetKvlIndex(), 0);
    EXPECT_EQ(Unit(Held("lost"))->GetKvlIndex(), 0);
    EXPECT_EQ(game.Eval("select('#', KVUnitFactory.CreateUnit(5))"), "0");
    EXPECT_TRUE(Reported("Bad or missing argument (Arg #1)"));
}

// Scene numbers outside the project's three, below as above, are refused
// alike by both creators: reported, and the unit goes to kvl 0.
TEST_F(KVUnitFactoryLibTest, SceneNumbersOutsideTheProjectAreRefused) {
    for (const char* call : {"CreateUnit('Node2D', ", "CreatePermanentUnit('Node2D', "}) {
        for (const char* number : {"-1", "-3", "-7", "-2147483648", "3", "99"}) {
            SCOPED_TRACE(std::string(call) + number);
            Reports().clear();
            game.Run(std::string("made = KVUnitFactory.") + call + number + ")");
            EXPECT_TRUE(Reported(std::string(number) + " is an invalid kvl index"));
            KVUnit* made = Unit(Held("made"));
            ASSERT_NE(made, nullptr);
            EXPECT_EQ(made->GetKvlIndex(), 0);
        }
    }
    // The project's own numbers are taken as they are.
    game.Run("last = KVUnitFactory.CreatePermanentUnit('Node2D', 2)");
    EXPECT_EQ(Unit(Held("last"))->GetKvlIndex(), 2);
}

TEST_F(KVUnitFactoryLibTest, CreatePermanentUnitMakesSceneUnitsOfExactClassNames) {
    game.Run("kept = KVUnitFactory.CreatePermanentUnit('Node2D', 1)\n"
             "quiet = KVUnitFactory.CreatePermanentUnit('Node2D', 1, 1)\n");
    KVUnit* kept = Unit(Held("kept"));
    ASSERT_NE(kept, nullptr);
    EXPECT_FALSE(kept->GetFlags() & KVUNIT_RUNTIME);
    EXPECT_EQ(kept->GetKvlIndex(), 1);
    EXPECT_TRUE(kept->IsEnabled());
    EXPECT_TRUE(KVSerialize::Instance()->GetKvl(1)->modified);
    EXPECT_FALSE(Unit(Held("quiet"))->IsEnabled());
    EXPECT_EQ(game.Eval("select('#', KVUnitFactory.CreatePermanentUnit('node2d', 1))"), "0");
    EXPECT_TRUE(Reported("node2d is an unknown class"));
}

// The option bits are a 32-bit word: a number at or above 2^31 keeps its
// bit 0, it is not saturated to 0x7FFFFFFF.
TEST_F(KVUnitFactoryLibTest, CreatePermanentUnitTestsBit0OfTheWholeWord) {
    game.Run("even = KVUnitFactory.CreatePermanentUnit('Node2D', 1, 0x80000002)\n"
             "odd = KVUnitFactory.CreatePermanentUnit('Node2D', 1, 0xFFFFFFFF)\n");
    ASSERT_NE(Unit(Held("even")), nullptr);
    ASSERT_NE(Unit(Held("odd")), nullptr);
    EXPECT_TRUE(Unit(Held("even"))->IsEnabled());
    EXPECT_FALSE(Unit(Held("odd"))->IsEnabled());
}

TEST_F(KVUnitFactoryLibTest, CloseUnitClosesRunTimeUnitsOnly) {
    game.Run("made = KVUnitFactory.CreateUnit('Node2D')\n");
    const int32_t made = Held("made");
    KVUnit* scene = game.Find("Scene");
    game.Run("KVUnitFactory.CloseUnit(unit('Scene'))");
    EXPECT_TRUE(Reported("Only units created at runtime can be closed by CloseUnit"));
    EXPECT_EQ(game.Find("Scene"), scene);
    game.Run("KVUnitFactory.CloseUnit(made)");
    EXPECT_EQ(Unit(made), nullptr);
    game.Run("KVUnitFactory.CloseUnit(made)");
    EXPECT_TRUE(Reported("Unit doesn't exist anymore"));
    game.Run("KVUnitFactory.CloseUnit()");
    EXPECT_TRUE(Reported("expects at least 1 arguments."));
}

TEST_F(KVUnitFactoryLibTest, AUnitBeingClosedIsNotHandedOut) {
    game.Run("made = KVUnitFactory.CreateUnit('Node2D')\n");
    const int32_t index = Held("made");
    KVUnit* unit = Unit(index);
    unit->Retain();  // someone else still holds it
    game.Run("KVUnitFactory.CloseUnit(made)");
    ASSERT_EQ(Unit(index), unit);
    EXPECT_EQ(game.Eval("KVUnitFactory.GetUnit(" + std::to_string(index) + ")"), "nil");
    EXPECT_EQ(game.Eval("KVUnitFactory.DoesUnitExist('" + unit->GetName() + "')"), "false");
    game.Run("seen = 0 local u, c = KVUnitFactory.GetFirstUnit('Node2D')\n"
             "while u do seen = seen + 1 u = KVUnitFactory.GetNextUnit(c) end\n");
    EXPECT_EQ(game.Eval("seen"), "1");  // the scene's Node only
    unit->Release();
}

TEST_F(KVUnitFactoryLibTest, GetUnitTakesANameWithAClassAUnitOrAnIndex) {
    const int32_t node = game.Find("Node")->GetIndex();
    game.Run("byName = KVUnitFactory.GetUnit('Node')\n"
             "byClass = KVUnitFactory.GetUnit('Node', 'No de 2D')\n"
             "wrongClass = KVUnitFactory.GetUnit('Node', 'Unit')\n"
             "byUnit = KVUnitFactory.GetUnit(byClass)\n"
             "byIndex = KVUnitFactory.GetUnit(" + std::to_string(node) + ")\n"
             "far = KVUnitFactory.GetUnit(123456)\n"
             "negative = KVUnitFactory.GetUnit(-1)\n"
             "other = KVUnitFactory.GetUnit(true)\n");
    EXPECT_EQ(Held("byName"), node);
    EXPECT_EQ(Held("byClass"), node);
    EXPECT_EQ(Held("wrongClass"), -1);
    EXPECT_EQ(Held("byUnit"), node);
    EXPECT_EQ(Held("byIndex"), node);
    for (const char* name : {"far", "negative", "other"}) EXPECT_EQ(Held(name), -1) << name;
    EXPECT_EQ(game.Eval("select('#', KVUnitFactory.GetUnit())"), "0");
    EXPECT_TRUE(Reported("Invalid number of arguments"));
}

TEST_F(KVUnitFactoryLibTest, CursorsWalkAClassWithOrWithoutItsSubclasses) {
    game.Run("KVUnitFactory.CreateUnit('Node2D') KVUnitFactory.CreateUnit('Unit')\n"
             "function count(class, options)\n"
             "  local n = 0 local u, c = KVUnitFactory.GetFirstUnit(class, options)\n"
             "  while u do n = n + 1 u = KVUnitFactory.GetNextUnit(c) end\n"
             "  return n\n"
             "end\n");
    EXPECT_EQ(game.Eval("count('Unit2D')"), "0");
    EXPECT_EQ(game.Eval("count('Unit2D', {'search_subclass'})"), "2");
    EXPECT_EQ(game.Eval("count(KVUnitFactory.GetClass('Node2D'))"), "2");
    EXPECT_EQ(game.Eval("count('Unit')"), "2");
    EXPECT_EQ(game.Eval("count('Unit', {'other', 'search_subclass'})"), "4");
    EXPECT_EQ(game.Eval("count()"), "4");
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(game.Eval("count('Nothing')"), "4");
    EXPECT_TRUE(Reported("Bad or missing argument (Arg #1)"));
    EXPECT_EQ(game.Eval("KVUnitFactory.GetNextUnit(5)"), "nil");
    EXPECT_EQ(game.Eval("KVUnitFactory.GetNextUnit()"), "nil");
    // Units closed while a cursor stands on them move it on.
    game.Run("local u, c = KVUnitFactory.GetFirstUnit('Node2D')\n"
             "local second = KVUnitFactory.GetNextUnit(c)\n"
             "u2, c2 = KVUnitFactory.GetFirstUnit('Node2D')\n"
             "KVUnitFactory.CloseUnit(second)\n"
             "after = KVUnitFactory.GetNextUnit(c2)\n");
    EXPECT_EQ(Held("after"), -1);
}

TEST_F(KVUnitFactoryLibTest, GetClassAnswersIndicesOrMinusOne) {
    EXPECT_EQ(game.Eval("KVUnitFactory.GetClass('Node2D')"), std::to_string(game.Factory().FindClassByName("Node2D")));
    EXPECT_EQ(game.Eval("KVUnitFactory.GetClass('Nope')"), "-1");
    EXPECT_EQ(game.Eval("select('#', KVUnitFactory.GetClass())"), "0");
    EXPECT_TRUE(Reported("expects at least 1 arguments."));
}

TEST_F(KVUnitFactoryLibTest, CopyUnitMakesARunTimeCopy) {
    game.Run("copy = KVUnitFactory.CopyUnit(unit('Node'))");
    KVUnit* copy = Unit(Held("copy"));
    KVUnit* node = game.Find("Node");
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, node);
    EXPECT_EQ(copy->GetClassIndex(), node->GetClassIndex());
    EXPECT_TRUE(copy->GetFlags() & KVUNIT_RUNTIME);
    EXPECT_NE(copy->GetUid(), node->GetUid());
    EXPECT_EQ(game.Eval("KVUnitFactory.CopyUnit(nil)"), "nil");
    EXPECT_TRUE(Reported("Can't copy a null unit"));
}

TEST_F(KVUnitFactoryLibTest, GetUnitFromUIDTakesTheUidText) {
    game.Run("made = KVUnitFactory.CreateUnit('Node2D')");
    KVUnit* made = Unit(Held("made"));
    // The text scripts get for a Uid: two digits per byte, in memory order.
    std::string text;
    uint64_t uid = made->GetUid();
    for (int k = 0; k < 8; ++k) {
        static const char kDigits[] = "0123456789ABCDEF";
        const uint8_t byte = uint8_t(uid >> (8 * k));
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    game.Run("found = KVUnitFactory.GetUnitFromUID('" + text + "')");
    EXPECT_EQ(Held("found"), made->GetIndex());
    // The Uid a script reads is that text.
    EXPECT_EQ(game.Eval("made.Uid"), text);
    EXPECT_EQ(game.Eval("KVUnitFactory.GetUnitFromUID(made.Uid) == made"), "true");
    // A short text fills the other bytes with zeros.
    EXPECT_EQ(game.Eval("KVUnitFactory.GetUnitFromUID('5200000000')"), game.Eval("unit('Node')"));
    game.Run("KVUnitFactory.CloseUnit(made)");
    EXPECT_EQ(game.Eval("KVUnitFactory.GetUnitFromUID('" + text + "')"), "nil");
}

TEST_F(KVUnitFactoryLibTest, LoadedValuesReachScriptsByTheirExactNames) {
    EXPECT_EQ(game.Eval("KVUnitFactory.GetUnit('Node').Name"), "Node");
    EXPECT_EQ(game.Eval("KVUnitFactory.GetUnit('Node').Kvl"), "a");
    EXPECT_EQ(game.Eval("KVUnitFactory.GetUnit('Node').name"), "nil");
    game.Run("KVUnitFactory.GetUnit('Node').Uid = '00'");
    EXPECT_TRUE(Reported("Attribute Uid is read only."));
    EXPECT_EQ(game.Find("Node")->GetUid(), 0x52u);
}

TEST_F(KVUnitFactoryLibTest, DoesUnitExistTakesNamesAsText) {
    EXPECT_EQ(game.Eval("KVUnitFactory.DoesUnitExist('Node')"), "true");
    EXPECT_EQ(game.Eval("KVUnitFactory.DoesUnitExist('Node', 'Node2D')"), "true");
    EXPECT_EQ(game.Eval("KVUnitFactory.DoesUnitExist('Node', 'Unit')"), "false");
    EXPECT_EQ(game.Eval("KVUnitFactory.DoesUnitExist(42)"), "false");
    game.Find("Scene")->SetName("42");
    EXPECT_EQ(game.Eval("KVUnitFactory.DoesUnitExist(42)"), "true");
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(game.Eval("select('#', KVUnitFactory.DoesUnitExist({}))"), "0");
    EXPECT_TRUE(Reported("Bad or missing argument (Arg #1)"));
    EXPECT_EQ(game.Eval("select('#', KVUnitFactory.DoesUnitExist('Node', {}))"), "0");
    EXPECT_TRUE(Reported("Bad or missing argument (Arg #2)"));
}

} // namespace
