// Reading and writing one float attribute of a unit from Lua, against the
// same on a field of a plain Lua table in the same script state.
#include <lua.hpp>

#include <string>

#include "KVBench.h"
#include "KVBenchUnits.h"
#include "KVLua/KVLua.h"
#include "units/KVAttributeDesc.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

namespace {

constexpr int kRounds = 10000;

// A class derived from "Unit" with the float attribute "Alpha", and one
// unit of it named "Gauge"; the loops in Lua.
lua_State* State() {
    static lua_State* state = nullptr;
    if (state) return state;
    state = kvbench::UnitState();
    kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
    kvl::KVUnitClassDesc desc;
    desc.name = "Gauge";
    desc.baseClass = kvl::KVUnit::GetUnitClassIndex();
    desc.id = 0x0047415547454245ull;
    int32_t classIndex = -1;
    factory->RegisterClass(desc, &classIndex);
    factory->AddDynamicAttribute("Alpha", classIndex, 0x00414C5048414245ull, kvl::KVATTR_F32, false);
    kvl::KVUnit* unit = nullptr;
    factory->CreateUnit(classIndex, &unit, kvl::KVCREATE_RUNTIME | kvl::KVCREATE_NO_NAME, -1, 0);
    unit->SetName("Gauge");
    std::string n = std::to_string(kRounds);
    luaL_dostring(state, ("plain = {Alpha = 0}\n"
                          "function OnUnit() local u = Gauge for i = 1, " + n + " do u.Alpha = u.Alpha + 1 end end\n"
                          "function OnTable() local t = plain for i = 1, " + n + " do t.Alpha = t.Alpha + 1 end end\n"
                          "function ReadUnit() local u, s = Gauge, 0 for i = 1, " + n + " do s = s + u.Alpha end end\n"
                          "function ReadTable() local t, s = plain, 0 for i = 1, " + n + " do s = s + t.Alpha end end\n"
                          "function WriteUnit() local u = Gauge for i = 1, " + n + " do u.Alpha = i end end\n"
                          "function WriteTable() local t = plain for i = 1, " + n + " do t.Alpha = i end end\n")
                             .c_str());
    return state;
}

void Run(const char* function) {
    lua_State* L = State();
    lua_getglobal(L, function);
    lua_pcall(L, 0, 0, 0);
}

kvbench::Figure AttributeFigure() {
    kvbench::Figure f;
    f.name = "u.Alpha = u.Alpha + 1 on a unit's float attribute";
    f.baselineName = "the same on a plain Lua table field";
    f.target = 5;
    f.baseline = [] { Run("OnTable"); };
    f.subject = [] { Run("OnUnit"); };
    return f;
}

kvbench::Figure ReadFigure() {
    kvbench::Figure f;
    f.name = "s = s + u.Alpha, a read of a unit's float attribute";
    f.baselineName = "the same on a plain Lua table field";
    f.target = 0;
    f.baseline = [] { Run("ReadTable"); };
    f.subject = [] { Run("ReadUnit"); };
    return f;
}

kvbench::Figure WriteFigure() {
    kvbench::Figure f;
    f.name = "u.Alpha = i, a write of a unit's float attribute";
    f.baselineName = "the same on a plain Lua table field";
    f.target = 0;
    f.baseline = [] { Run("WriteTable"); };
    f.subject = [] { Run("WriteUnit"); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(AttributeFigure);
KV_BENCH_FIGURE(ReadFigure);
KV_BENCH_FIGURE(WriteFigure);
