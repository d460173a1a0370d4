#include "KVUnitEvents.h"

#include "../KVLua/IKVLua.h"
#include "../kernel/KVCore.h"
#include "../units/IKVUnit.h"
#include "../units/IKVUnitFactory.h"
#include "../units/IKVUnitRef.h"

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

void RaiseNotifyEvent(IKVUnit* host, IKVUnitRef* notify, const char* functionName) {
    IKVUnit* target = host;
    const int32_t index = notify ? notify->GetIndex() : -1;
    if (index != -1) {
        // A target that went away leaves the event with the host.
        IKVUnitFactory* factory = QueryCoreInterface<IKVUnitFactory>(IID_IKVUnitFactory);
        if (IKVUnit* named = factory ? factory->GetUnit(index) : nullptr) target = named;
    }
    if (target) target->CallScriptFunction(functionName, 0, 0, nullptr, nullptr);
}

} // namespace kvl
