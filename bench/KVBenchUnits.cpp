#include "KVBenchUnits.h"

#include "KVBench.h"
#include "KVLua/KVLua.h"
#include "units/KVUnitFactory.h"

namespace kvbench {
namespace {

// The binding (unless the process has one) and the factory, ended after
// the set-ups that made units with them: the factory first, as the core
// ends them.
struct UnitModules {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    bool madeLua = !lua;
    kvl::KVUnitFactory* factory = nullptr;

    UnitModules() {
        if (madeLua) {
            lua = new kvl::KVLua;
            for (int phase = 0; phase <= 3; ++phase) lua->Init(phase);
        }
        factory = new kvl::KVUnitFactory;
        factory->Init(0);
        factory->Init(2);
    }
    ~UnitModules() {
        delete factory;
        if (madeLua) delete lua;
    }
};

} // namespace

lua_State* UnitState() { return Lazy<UnitModules>().lua->GetState(); }

} // namespace kvbench
