// One frame of the unit factory's update over 10,000 enabled units whose
// script has an "OnUpdate" function, against Lua loops in the same script
// state: one calling that same function 10,000 times, one going through
// the 10,000 unit tables and calling each one's "OnUpdate", as the factory
// does.
#include <lua.hpp>

#include <memory>
#include <string>

#include "KVBench.h"
#include "KVBenchUnits.h"
#include "KVLua/KVLua.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

namespace {

constexpr int kUnits = 10000;

// The shared binding and factory: the factory updates, the binding runs
// the scripts.
lua_State* State() {
    static lua_State* state = nullptr;
    if (state) return state;
    state = kvbench::UnitState();
    kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
    std::string n = std::to_string(kUnits);
    luaL_dostring(state, ("ticks = 0\n"
                          "function Tick(dt, total) ticks = ticks + 1 end\n"
                          "function Loop() for i = 1, " + n + " do Tick(0.016, 1) end end\n"
                          "for i = 1, " + n + " do _G['B' .. i] = {OnUpdate = Tick} end\n"
                          "Tables = {}\n"
                          "for i = 1, " + n + " do Tables[i] = _G['B' .. i] end\n"
                          "function EachLoop() local t = Tables for i = 1, " + n +
                          " do t[i].OnUpdate(0.016, 1) end end\n")
                             .c_str());
    for (int i = 1; i <= kUnits; ++i) {
        // Made without a generated name: finding a free counter for each of
        // 10,000 units of one class is the slow part of a set-up.
        kvl::KVUnit* unit = nullptr;
        factory->CreateUnit(kvl::KVUnit::GetUnitClassIndex(), &unit, kvl::KVCREATE_RUNTIME | kvl::KVCREATE_NO_NAME, -1,
                            0);
        unit->SetName("B" + std::to_string(i));
        factory->UpdateRootMembership(unit);
        unit->SetParentEnabled(true);
        unit->ApplyEnabledState();
    }
    return state;
}

// The factory's update against the Lua function of that name.
kvbench::Figure UpdateAgainst(const char* loop, const char* baselineName) {
    kvbench::Figure f;
    f.name = "KVUnitFactory::Update over 10,000 scripted units";
    f.baselineName = baselineName;
    f.target = 1.5;
    f.baseline = [loop] {
        lua_State* L = State();
        lua_getglobal(L, loop);
        lua_pcall(L, 0, 0, 0);
    };
    f.subject = [] {
        State();
        kvl::KVUnitFactory::Instance()->Update(0.016f);
    };
    return f;
}

kvbench::Figure UpdateFigure() { return UpdateAgainst("Loop", "a Lua loop calling OnUpdate 10,000 times"); }

kvbench::Figure EachUpdateFigure() {
    return UpdateAgainst("EachLoop", "a Lua loop calling each unit table's OnUpdate");
}

} // namespace

KV_BENCH_FIGURE(UpdateFigure);
KV_BENCH_FIGURE(EachUpdateFigure);
