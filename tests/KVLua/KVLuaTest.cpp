// The binding as a module: phases, the state it makes and the libraries it
// publishes.
#include <gtest/gtest.h>
#include <lua.hpp>

#include "support/KVTestLuaHost.h"

using kvtest::KVTestLuaHost;

namespace {

int Twice() {
    kvl::IKVLua* lua = kvl::GetLuaBinding();
    lua->PushInteger(lua->ToInteger(1) * 2);
    return 1;
}

int Thrice() {
    kvl::IKVLua* lua = kvl::GetLuaBinding();
    lua->PushInteger(lua->ToInteger(1) * 3);
    return 1;
}

std::string g_logged;

int Log() {
    g_logged = kvl::GetLuaBinding()->ToStdString(1);
    return 0;
}

// Calls a script function and reports its own name before and after.
int Outer() {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    std::string before = lua->GetCurrentFunctionName();
    lua->CallFunction(nullptr, "Inner", 0, nullptr);
    std::string after = lua->GetCurrentFunctionName() ? lua->GetCurrentFunctionName() : "";
    lua->PushString((before + "/" + after).c_str());
    return 1;
}

int Name() {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    lua->PushString(lua->GetCurrentFunctionName());
    return 1;
}

// Claims more results than it pushed.
int Overclaims() {
    kvl::GetLuaBinding()->PushInteger(1);
    return 50;
}

class Library : public kvl::KVLuaLibrary {
public:
    explicit Library(const kvl::KVLuaFunctionEntry* table) : m_table(table) {}
    int32_t GetLuaFunctions(const kvl::KVLuaFunctionEntry** out) override {
        *out = m_table;
        return 0;
    }

private:
    const kvl::KVLuaFunctionEntry* m_table;
};

const kvl::KVLuaFunctionEntry kTwice[] = {{"Twice", Twice}, {nullptr, nullptr}};
const kvl::KVLuaFunctionEntry kThrice[] = {{"Thrice", Thrice}, {nullptr, nullptr}};
const kvl::KVLuaFunctionEntry kLog[] = {{"Log", Log}, {nullptr, nullptr}};
const kvl::KVLuaFunctionEntry kNames[] = {
    {"Outer", Outer}, {"Name", Name}, {"Overclaims", Overclaims}, {nullptr, nullptr}};

} // namespace

TEST(KVLua, IsTheBindingWhileItLivesAndAnswersItsInterface) {
    {
        kvl::KVLua lua;
        EXPECT_EQ(kvl::GetLuaBinding(), static_cast<kvl::IKVLua*>(&lua));
        void* out = nullptr;
        EXPECT_EQ(lua.QueryInterface(kvl::IID_IKVLua, &out), 0);
        EXPECT_EQ(out, static_cast<kvl::IKVLua*>(&lua));
        out = &lua;
        EXPECT_EQ(lua.QueryInterface(kvl::IID_IKVFile, &out), 2);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(kvl::GetLuaBinding(), nullptr);
}

TEST(KVLua, PhaseTwoDeclaresTheScriptKeys) {
    KVTestLuaHost host;
    const auto& declared = host.Properties().Declared();
    ASSERT_EQ(declared.size(), 6u);
    struct Expected {
        const char* key;
        const char* displayName;
        uint64_t id;
        int32_t type;
        int32_t flags;
    } expected[] = {
        {"ScriptDirectory", "Script directory", 0x0051584A7596BEA0ull, kvl::PROPERTY_STRING, 2},
        {"EventLoading", "OnInit/OnEnable called during loading", 0x0000193C795F2303ull, kvl::PROPERTY_BOOLEAN, 0},
        {"LogOnDisk", "Log On Disk", 0x0052B76CA53C6170ull, kvl::PROPERTY_BOOLEAN, 0},
        {"CommonScriptDirectory", "Common script directory", 0x003FFE7D6800F33Cull, kvl::PROPERTY_STRING, 2},
        {"DebugStack", "Debug stack", 0x002271E25FC4BB6Aull, kvl::PROPERTY_BOOLEAN, 0},
        {"OldUnitArray", "Old unit array", 0x0016F8A7BA3A355Dull, kvl::PROPERTY_BOOLEAN, 0},
    };
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(declared[i].key, expected[i].key);
        EXPECT_EQ(declared[i].displayName, expected[i].displayName);
        EXPECT_EQ(declared[i].id, expected[i].id);
        EXPECT_EQ(declared[i].type, expected[i].type);
        EXPECT_EQ(declared[i].editKind, expected[i].flags);
        EXPECT_EQ(declared[i].section, "Script");
    }
    // The declarations point at the settings: a stored value replaces the default.
    *static_cast<std::string*>(host.Properties().FindByKey("CommonScriptDirectory")->target) = "lib/";
    *static_cast<bool*>(host.Properties().FindByKey("LogOnDisk")->target) = true;
    EXPECT_EQ(host.Lua().GetCommonScriptDirectory(), "lib/");
    EXPECT_TRUE(host.Lua().GetLogOnDisk());
    EXPECT_FALSE(host.Lua().GetOldUnitArray());
}

TEST(KVLua, OldUnitArrayDefaultsOnForOlderProjects) {
    KVTestLuaHost host;
    host.Lua().SetProjectFileVersion(0x20002);
    host.Lua().Init(2);
    EXPECT_TRUE(host.Lua().GetOldUnitArray());
}

TEST(KVLua, TheStateOpensOnlyTheFiveStandardLibraries) {
    KVTestLuaHost host;
    host.Start();
    ASSERT_TRUE(host.Run("r = tostring(io) .. tostring(os) .. tostring(require) .. tostring(package) ..\n"
                         "  type(string) .. type(table) .. type(math) .. type(debug) .. type(coroutine)"));
    EXPECT_EQ(host.GlobalString("r"), "nilnilnilniltabletabletabletabletable");
    ASSERT_TRUE(host.Run("r = type(KVLua.Include) .. type(KVLua.PushSelf) .. type(A0C4) .. type(Application)"));
    EXPECT_EQ(host.GlobalString("r"), "functionfunctiontabletable");
}

TEST(KVLua, LibrariesArePublishedAsGlobalTablesWhenTheStateIsMade) {
    KVTestLuaHost host;
    Library twice(kTwice);
    Library thrice(kThrice);
    Library none(nullptr);
    host.Lua().RegisterLibrary("Math2", &twice);
    host.Lua().RegisterLibrary("Empty", &none);
    host.Lua().RegisterLibrary("Dup", &twice);
    host.Lua().RegisterLibrary("Dup", &thrice);
    host.Start();
    ASSERT_TRUE(host.Run("a = Math2.Twice(4)\nb = next(Empty)\nc = Dup.Thrice(2)\nd = Dup.Twice"));
    EXPECT_EQ(host.GlobalNumber("a"), 8);
    EXPECT_TRUE(host.GlobalIsNil("b"));
    EXPECT_EQ(host.GlobalNumber("c"), 6);
    EXPECT_TRUE(host.GlobalIsNil("d"));
    EXPECT_TRUE(host.Log().Contains("No Lua functions defined for Empty library", kvl::KVLOG_WARNING));

    // Registered after the state was made: visible once it is made again.
    host.Lua().RegisterLibrary("Late", &twice);
    EXPECT_FALSE(host.Lua().IsGlobalDefined("Late"));
    host.Lua().Release(1);
    ASSERT_TRUE(host.Run("e = Late.Twice(5)"));
    EXPECT_EQ(host.GlobalNumber("e"), 10);
}

TEST(KVLua, AnUnregisteredLibrarysPublishedFunctionsKeepWorking) {
    KVTestLuaHost host;
    Library twice(kTwice);
    host.Lua().RegisterLibrary("Gone", &twice);
    host.Start();
    EXPECT_EQ(host.Lua().UnregisterLibrary("Gone"), 0);
    EXPECT_EQ(host.Lua().UnregisterLibrary("Gone"), 4);
    ASSERT_TRUE(host.Run("a = Gone.Twice(21)"));
    EXPECT_EQ(host.GlobalNumber("a"), 42);
    host.Lua().Release(1);
    EXPECT_FALSE(host.Lua().IsGlobalDefined("Gone"));
}

TEST(KVLua, TheLogGlobalIsTheLogLibrarysLogFunction) {
    KVTestLuaHost host;
    Library log(kLog);
    host.Lua().RegisterLibrary("KVLog", &log);
    host.WriteScript("a.lua", "early = type(log)");
    host.Start();
    // Script files run before the global exists.
    EXPECT_EQ(host.GlobalString("early"), "nil");
    ASSERT_TRUE(host.Run("log('hello')"));
    EXPECT_EQ(g_logged, "hello");
}

TEST(KVLua, TheRunningFunctionNameIsKeptAcrossNestedCalls) {
    KVTestLuaHost host;
    Library names(kNames);
    host.Lua().RegisterLibrary("Names", &names);
    host.WriteScript("a.lua", "function Inner() inner = Names.Name() end");
    host.Start();
    ASSERT_TRUE(host.Run("r = Names.Outer()\nn = select('#', Names.Overclaims())"));
    EXPECT_EQ(host.GlobalString("r"), "Outer/Outer");
    EXPECT_EQ(host.GlobalString("inner"), "Name");
    EXPECT_EQ(host.Lua().GetCurrentFunctionName(), nullptr);
    EXPECT_EQ(host.GlobalNumber("n"), 1);
}

TEST(KVLua, ReleasePhasesCloseTheStateAndPhaseZeroStartsAgain) {
    KVTestLuaHost host;
    host.Start();
    ASSERT_NE(host.State(), nullptr);
    host.Lua().Release(2);
    EXPECT_EQ(host.State(), nullptr);
    EXPECT_EQ(host.Lua().CallFunction("Application", "OnPause", 0, nullptr), 1);
    EXPECT_EQ(host.Lua().PushNumber(1), 1);
    host.Lua().Release(4);
    EXPECT_EQ(host.Lua().GetDebugState(), nullptr);
    host.Lua().Init(0);
    EXPECT_NE(host.Lua().GetDebugState(), nullptr);
    host.Lua().Init(3);
    EXPECT_NE(host.State(), nullptr);
}

TEST(KVLua, SeparateStatesTakeFunctionsAndCalls) {
    KVTestLuaHost host;
    host.Start();
    host.WriteAsset("anim.lua", "function OnAnimatorInit() return Anim.Twice(4) end\nfunction Fail() local x = nil .. 1 end");
    kvl::KVLua& lua = host.Lua();
    lua_State* S = lua.CreateStateFromFile((host.Root() + "anim.lua").c_str());
    ASSERT_NE(S, nullptr);
    EXPECT_EQ(lua.RegisterFunctionOn(S, "Anim", "Twice", [](lua_State* s) {
        lua_pushnumber(s, lua_tonumber(s, 1) * 2);
        return 1;
    }), 0);
    int32_t results = 0;
    EXPECT_EQ(lua.CallFunctionOn(S, nullptr, "OnAnimatorInit", 0, &results), 0);
    EXPECT_EQ(results, 1);
    EXPECT_EQ(lua_tonumber(S, -1), 8);
    lua_settop(S, 0);
    EXPECT_EQ(lua.CallFunctionOn(S, nullptr, "Missing", 0, nullptr), 4);
    EXPECT_EQ(lua.CallFunctionOn(S, nullptr, "Fail", 0, nullptr), 1);
    EXPECT_TRUE(host.HasError("anim.lua:2:"));
    EXPECT_EQ(lua.GetEventCallDepth(), 0);
    lua.CloseStateOn(S);
    // Closing a thread closes its whole state: the main state and its
    // coroutines are refused, even while a coroutine is the working stack.
    lua_State* main = lua.GetState();
    lua_State* co = lua_newthread(main);
    lua.CloseStateOn(co);
    lua.CloseStateOn(main);
    {
        kvl::KVLua::ThreadScope scope(&lua, co);
        lua.CloseStateOn(main);
    }
    lua_pop(main, 1);
    EXPECT_EQ(host.Evaluate("1 + 1"), std::vector<std::string>{"2"});
}

TEST(KVLua, DevelopmentHelpers) {
    KVTestLuaHost host;
    host.Start();
    kvl::KVLua& lua = host.Lua();
    std::string result;
    std::string error;
    EXPECT_FALSE(lua.EvaluateTempFunction("return 1 + 2", &result, &error));
    EXPECT_EQ(result, "3");
    EXPECT_FALSE(lua.EvaluateTempFunction("return {}", &result, &error));
    EXPECT_EQ(result, "table");
    EXPECT_FALSE(lua.EvaluateTempFunction("return false", &result, &error));
    EXPECT_EQ(result, "false");
    EXPECT_FALSE(lua.EvaluateTempFunction("", &result, &error));
    EXPECT_EQ(result, "nil");
    EXPECT_TRUE(lua.EvaluateTempFunction("error('bad')", &result, &error));
    EXPECT_NE(error.find("bad"), std::string::npos);
    EXPECT_TRUE(lua.EvaluateTempFunction("return (", &result, &error));
    EXPECT_TRUE(host.GlobalIsNil("_tmp0"));
    EXPECT_TRUE(host.GlobalIsNil("_tmp4"));
    EXPECT_EQ(lua_gettop(host.State()), 0);

    EXPECT_EQ(kvl::KVLua::HexToUInt64("0x1F-ff"), 0x1FFFull);
    EXPECT_EQ(kvl::KVLua::HexToUInt64("FFFFFFFFFFFFFFFF"), ~0ull);
    lua.ReportAt("src", 12, "text");
    EXPECT_TRUE(host.HasError("src:12:text"));
    lua.ReportUnsupportedType("thing", 7);
    EXPECT_TRUE(host.HasError("Unsupported type : thing (KVLua/KVLua,7)"));
}

TEST(KVLua, ClassTablesTakeRegistrationsForValidIndicesOnly) {
    kvl::KVLua lua;
    EXPECT_EQ(lua.RegisterClassFunction(3, "Method", nullptr), 0);
    EXPECT_EQ(lua.AddClassValue(3, "Value", nullptr), 0);
    EXPECT_EQ(lua.RegisterClassEntry(0, "Entry", nullptr), 0);
    EXPECT_EQ(lua.RegisterClassFunction(-1, "Method", nullptr), 3);
}
