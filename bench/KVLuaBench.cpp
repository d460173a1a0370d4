// Raising one script event on a namespace through the binding, against
// fetching and calling the same function with the bare Lua API, and against
// calling it from a loop inside Lua (the cheapest call there is).
#include <lua.hpp>


#include "KVBench.h"
#include "KVLua/KVLua.h"

namespace {

constexpr int kCalls = 100000;

kvl::KVLua* Binding() {
    static kvl::KVLua* binding = nullptr;
    if (!binding) {
        binding = &kvbench::Lazy<kvl::KVLua>();
        for (int phase = 0; phase <= 3; ++phase) binding->Init(phase);
        luaL_dostring(binding->GetState(),
                      "ticks = 0\nfunction Application.OnTick() ticks = ticks + 1 end\n"
                      "function CallInLua(n) local f = Application.OnTick for i = 1, n do f() end end");
    }
    return binding;
}

void CallThroughBinding() {
    kvl::KVLua* lua = Binding();
    for (int i = 0; i < kCalls; ++i) lua->CallFunction("Application", "OnTick", 0, nullptr);
}

kvbench::Figure CallFunctionFigure() {
    kvbench::Figure f;
    f.name = "KVLua::CallFunction on a namespace";
    f.baselineName = "lua_getfield + lua_pcall";
    f.target = 1.5;
    f.baseline = [] {
        lua_State* L = Binding()->GetState();
        for (int i = 0; i < kCalls; ++i) {
            lua_getfield(L, LUA_GLOBALSINDEX, "Application");
            lua_getfield(L, -1, "OnTick");
            lua_pcall(L, 0, 0, 0);
            lua_pop(L, 1);
        }
    };
    f.subject = CallThroughBinding;
    return f;
}

kvbench::Figure InLuaLoopFigure() {
    kvbench::Figure f;
    f.name = "KVLua::CallFunction on a namespace";
    f.baselineName = "the same call in a loop inside Lua";
    f.target = 1.3;
    f.baseline = [] {
        lua_State* L = Binding()->GetState();
        lua_getfield(L, LUA_GLOBALSINDEX, "CallInLua");
        lua_pushinteger(L, kCalls);
        lua_pcall(L, 1, 0, 0);
    };
    f.subject = CallThroughBinding;
    return f;
}

} // namespace

KV_BENCH_FIGURE(CallFunctionFigure);
KV_BENCH_FIGURE(InLuaLoopFigure);
