#include "KVUnitEvents.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/KVCore.h"
#include "../units/IKVUnitFactory.h"

namespace kvl {

bool RaiseUnitEvent(int32_t unitIndex, const char* functionName) {
    if (unitIndex < 0) return false;
    IKVUnitFactory* factory = QueryCoreInterface<IKVUnitFactory>(IID_IKVUnitFactory);
    if (!factory || !factory->IsValidUnit(unitIndex)) return false;
    IKVUnit* unit = factory->GetUnit(unitIndex);
    IKVLua* lua = GetLuaBinding();
    if (!unit || !lua) return false;
    EventCall call;
    call.unit = unit;
    call.functionName = functionName;
    call.argumentCount = 0;
    lua->CallEvent(&call);
    return true;
}

} // namespace kvl
