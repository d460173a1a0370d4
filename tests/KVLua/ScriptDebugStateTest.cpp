#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstring>

#include "KVLua/ScriptDebugState.h"

using kvl::ScriptDebugState;

namespace {

ScriptDebugState* g_state = nullptr;
ScriptDebugState::Events g_events;

void Hook(lua_State* L, lua_Debug* ar) { g_state->LineHook(L, ar, g_events); }

struct Pause {
    std::string file;
    int32_t line;
};
std::vector<Pause> g_notified;
std::vector<int32_t> g_nextModes;  // handed out one per wait
std::vector<ScriptDebugState::Variable> g_seen;
lua_State* g_lua = nullptr;

void Notify(const char* file, int32_t line, ScriptDebugState*) { g_notified.push_back(Pause{file, line}); }

void Wait(ScriptDebugState* state) {
    g_state->ListVariables(g_lua, g_events, 0, &g_seen);
    int32_t mode = g_nextModes.empty() ? 0 : g_nextModes.front();
    if (!g_nextModes.empty()) g_nextModes.erase(g_nextModes.begin());
    state->SetScriptDebugMode(mode);
}

class DebugTest : public ::testing::Test {
protected:
    void SetUp() override {
        L = luaL_newstate();
        luaL_openlibs(L);
        g_state = &state;
        g_lua = L;
        g_events = {{-1, "OnTest"}};
        g_notified.clear();
        g_nextModes.clear();
        g_seen.clear();
        lua_sethook(L, Hook, LUA_MASKCALL | LUA_MASKRET | LUA_MASKLINE, 0);
    }
    void TearDown() override { lua_close(L); }

    void RunChunk(const char* code, const char* name = "@Script/T.lua") {
        ASSERT_EQ(luaL_loadbuffer(L, code, std::strlen(code), name), 0);
        ASSERT_EQ(lua_pcall(L, 0, 0, 0), 0);
    }

    ScriptDebugState state;
    lua_State* L = nullptr;
};

} // namespace

TEST(ScriptDebugState, ModeSwitchesOnlyLeaveThePause) {
    ScriptDebugState state;
    EXPECT_EQ(state.SetScriptDebugMode(0), 0);
    EXPECT_EQ(state.SetScriptDebugMode(2), 1);
    EXPECT_EQ(state.GetMode(), 0);
    EXPECT_EQ(state.SetScriptDebugMode(3), 1);
    EXPECT_EQ(state.SetScriptDebugMode(1), 1);
    EXPECT_EQ(state.GetMode(), 0);
    state.ResetAfterError();
    EXPECT_EQ(state.GetMode(), 0);
}

TEST(ScriptDebugState, BreakpointsToggleByLowerCasedFileName) {
    ScriptDebugState state;
    state.ToggleBreakpoint("Script/Player.LUA", 4);
    state.ToggleBreakpoint("script/player.lua", 9);
    state.ToggleBreakpoint("script/other.lua", 1);
    EXPECT_EQ(state.GetBreakpointFileCount(), 2);
    int32_t count = 0;
    EXPECT_EQ(state.EnumerateBreakpoints("script/player.lua", nullptr, &count), 0);
    EXPECT_EQ(count, 2);
    ScriptDebugState::Breakpoint out[4];
    count = 1;
    state.EnumerateBreakpoints("script/player.lua", out, &count);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(out[0].line, 4);
    EXPECT_EQ(out[0].text, "Script/Player.LUA");
    EXPECT_EQ(out[0].enabled, 1);
    count = 4;
    state.EnumerateBreakpoints(nullptr, out, &count);
    EXPECT_EQ(count, 3);
    // Toggling again removes it.
    state.ToggleBreakpoint("script/player.lua", 4);
    state.ToggleBreakpoint("script/player.lua", 9);
    count = 0;
    state.EnumerateBreakpoints("script/player.lua", nullptr, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(state.EnumerateBreakpoints("script/none.lua", nullptr, &count), 1);
    state.Reset();
    EXPECT_EQ(state.GetBreakpointFileCount(), 0);
    EXPECT_EQ(state.EnumerateBreakpoints("script/other.lua", nullptr, &count), 1);
}

TEST(ScriptDebugState, CaseInsensitiveLookupFindsMixedCaseNames) {
    ScriptDebugState state;
    state.ToggleBreakpoint("a.lua", 1);
    state.SetCaseSensitive(false);
    int32_t count = 0;
    EXPECT_EQ(state.EnumerateBreakpoints("A.LUA", nullptr, &count), 0);
    EXPECT_EQ(count, 1);
}

TEST(ScriptDebugState, ValueToText) {
    lua_State* L = luaL_newstate();
    struct Case {
        void (*push)(lua_State*);
        const char* value;
        const char* type;
        uint8_t expandable;
    } cases[] = {
        {[](lua_State* s) { lua_pushboolean(s, 0); }, "false", "boolean", 0},
        {[](lua_State* s) { lua_pushboolean(s, 1); }, "true", "boolean", 0},
        {[](lua_State* s) { lua_pushnil(s); }, "nil", "nil", 0},
        {[](lua_State* s) { lua_newtable(s); }, "", "table", 1},
        {[](lua_State* s) { lua_pushstring(s, "txt"); }, "txt", "string", 0},
        {[](lua_State* s) { lua_pushnumber(s, 2.5); }, "2.500", "number", 0},
        {[](lua_State* s) { lua_pushlightuserdata(s, s); }, "", "LightUserData", 0},
        {[](lua_State* s) { lua_pushcfunction(s, luaopen_base); }, "", "", 0},
    };
    for (const Case& c : cases) {
        c.push(L);
        ScriptDebugState::Variable v;
        ScriptDebugState::ValueToText(L, "n", &v);
        EXPECT_EQ(v.name, "n");
        EXPECT_EQ(v.value, c.value);
        EXPECT_EQ(v.type, c.type);
        EXPECT_EQ(v.expandable, c.expandable);
        lua_pop(L, 1);
    }
    lua_close(L);
}

TEST_F(DebugTest, ABreakpointPausesUntilTheFrontEndResumes) {
    state.ToggleBreakpoint("Script/T.lua", 3);
    state.SetCallbacks(Notify, Wait);
    RunChunk("local function f()\n  local a = 1\n  for i = 1, 2 do\n    a = a + i\n  end\nend\nf()\n");
    // Line 4 runs twice: two pauses, each announced and then closed with -1.
    ASSERT_EQ(g_notified.size(), 4u);
    EXPECT_EQ(g_notified[0].file, "script/t.lua");
    EXPECT_EQ(g_notified[0].line, 3);
    EXPECT_EQ(g_notified[1].line, -1);
    EXPECT_EQ(state.GetMode(), 0);
    // Locals whose names start with "(" (the loop's own) stay hidden.
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].name, "a");
    EXPECT_EQ(g_seen[1].name, "i");
    EXPECT_EQ(g_seen[1].value, "2.000");
}

TEST_F(DebugTest, StepIntoPausesAtTheNextLine) {
    state.ToggleBreakpoint("script/t.lua", 0);
    state.SetCallbacks(Notify, Wait);
    g_nextModes = {2, 0};
    RunChunk("local a = 1\nlocal b = 2\nlocal c = 3\n");
    ASSERT_EQ(g_notified.size(), 4u);
    EXPECT_EQ(g_notified[0].line, 0);
    EXPECT_EQ(g_notified[2].line, 1);
    // The main chunk is no Lua level of its own, so nothing was listed.
    EXPECT_TRUE(g_seen.empty());
}

TEST_F(DebugTest, WithoutAWaitCallbackNothingPauses) {
    state.ToggleBreakpoint("script/t.lua", 0);
    state.SetCallbacks(Notify, nullptr);
    RunChunk("local a = 1\nlocal b = 2\n");
    EXPECT_TRUE(g_notified.empty());
    EXPECT_EQ(state.GetMode(), 0);
}

namespace {

std::vector<ScriptDebugState::Variable> g_expanded;
int32_t g_expandCount = 0;
int32_t g_expandStatus = 0;
ScriptDebugState::Variable g_found;

void WaitAndExpand(ScriptDebugState* state) {
    g_expanded.clear();
    int32_t count = 10;
    g_expandStatus = state->ExpandPath(g_lua, g_events, "t#inner", &g_expanded, &count);
    g_expandCount = 0;
    state->ExpandPath(g_lua, g_events, "t", nullptr, &g_expandCount);
    state->FindVariable(g_lua, g_events, 0, "globalValue", &g_found);
    state->SetScriptDebugMode(0);
}

} // namespace

TEST_F(DebugTest, TablesExpandAlongAPathAndGlobalsAreFoundByName) {
    state.ToggleBreakpoint("script/t.lua", 3);
    state.SetCallbacks(nullptr, WaitAndExpand);
    RunChunk("globalValue = 'g'\nlocal function f()\n  local t = {1, 2, 3, inner = {key = true}}\n  local z = 0\nend\nf()\n");
    EXPECT_EQ(g_expandStatus, 0);
    ASSERT_EQ(g_expanded.size(), 1u);
    EXPECT_EQ(g_expanded[0].name, "key");
    EXPECT_EQ(g_expanded[0].value, "true");
    EXPECT_EQ(g_expandCount, 3);
    EXPECT_EQ(g_found.value, "g");
    EXPECT_EQ(g_found.type, "string");
}

TEST_F(DebugTest, CallstackListsLuaFramesOncePerEvent) {
    g_events = {{3, "OnOuter"}, {4, "OnInner"}};
    std::vector<ScriptDebugState::Frame> frames{ScriptDebugState::Frame{}};
    lua_pushlightuserdata(L, &frames);
    lua_setglobal(L, "frames");
    lua_pushcfunction(L, [](lua_State* s) {
        lua_getglobal(s, "frames");
        auto* out = static_cast<std::vector<ScriptDebugState::Frame>*>(lua_touserdata(s, -1));
        g_state->GetLuaCallstack(s, g_events, out);
        return 0;
    });
    lua_setglobal(L, "Capture");
    RunChunk("function Named()\n  Capture()\nend\nNamed()\n");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].line, 2);
    EXPECT_EQ(frames[0].source, "Script/T.lua");
    EXPECT_EQ(frames[0].function, "Named");
    EXPECT_EQ(frames[0].unitIndex, 4);
    EXPECT_EQ(frames[1].unitIndex, 3);
    g_events.clear();
    RunChunk("Named()\n");
    EXPECT_TRUE(frames.empty());
}
