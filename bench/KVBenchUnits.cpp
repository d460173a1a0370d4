#include "KVBenchUnits.h"

#include "KVLua/KVLua.h"
#include "units/KVUnitFactory.h"

namespace kvbench {

lua_State* UnitState() {
    static lua_State* state = nullptr;
    if (state) return state;
    kvl::KVLua* lua = kvl::KVLua::Instance();
    if (!lua) {
        lua = new kvl::KVLua;
        for (int phase = 0; phase <= 3; ++phase) lua->Init(phase);
    }
    auto* factory = new kvl::KVUnitFactory;
    factory->Init(0);
    factory->Init(2);
    state = lua->GetState();
    return state;
}

} // namespace kvbench
