// The script methods and computed members of class "Unit". Methods get the
// unit first on the script stack and their arguments after it.
#include "../KVLua/KVLua.h"
#include "../kernel/KVFormat.h"
#include "KVSerialize.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr int32_t kFirstArgument = 2;

int IsClass(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!lua || !factory || lua->CheckArgCount(kFirstArgument, false) != KV_OK) return 0;
    const char* name = lua->ToString(kFirstArgument);
    if (!name) {
        lua->ArgumentError(1);
        return 0;
    }
    int32_t classIndex = factory->FindClassByName(name);
    if (classIndex < 0) {
        lua->ReportError(Format("{0} is an unknown class", name).c_str());
        return 0;
    }
    lua->PushBoolean(factory->IsUnitOfClass(unit, classIndex));
    return 1;
}

// Reordering, point tests, copies to children and delegates act on the unit
// tree and come with it; until then they answer nothing.
int ReorderChildrenIndex(IKVUnit*) { return 0; }
int ReorderChildrenUnit(IKVUnit*) { return 0; }
int IsPointInside(IKVUnit*) { return 0; }
int CopyAttributeToChildren(IKVUnit*) { return 0; }
int AddDelegateFunction(IKVUnit*) { return 0; }
int RemoveDelegateFunction(IKVUnit*) { return 0; }
int Attributes(IKVUnit*, int32_t) { return 0; }

int ClassName(IKVUnit* unit, int32_t read) {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    if (!read) {
        lua->ReportError("ClassName is a read-only attribute");
        return 0;
    }
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const KVUnitClass* record = factory ? factory->GetClass(unit->GetClassIndex()) : nullptr;
    lua->PushString(record ? record->name.c_str() : "");
    return 1;
}

int KVLPath(IKVUnit* unit, int32_t read) {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    if (!read) {
        lua->ReportError("KVLPath is a read-only attribute");
        return 0;
    }
    KVSerialize* serializer = KVSerialize::Instance();
    const KVKvlRecord* kvl = serializer ? serializer->GetKvl(unit->GetUnit()->GetKvlIndex()) : nullptr;
    lua->PushString(kvl ? kvl->path.c_str() : "");
    return 1;
}

} // namespace

void KVUnit::RegisterScriptMembers(int32_t classIndex) {
    KVLua* lua = KVLua::Instance();
    if (!lua) return;
    lua->RegisterClassFunction(classIndex, "ReorderChildrenIndex", ReorderChildrenIndex);
    lua->RegisterClassFunction(classIndex, "ReorderChildrenUnit", ReorderChildrenUnit);
    lua->RegisterClassFunction(classIndex, "IsPointInside", IsPointInside);
    lua->RegisterClassFunction(classIndex, "IsClass", IsClass);
    lua->RegisterClassFunction(classIndex, "CopyAttributeToChildren", CopyAttributeToChildren);
    lua->RegisterClassFunction(classIndex, "AddDelegateFunction", AddDelegateFunction);
    lua->RegisterClassFunction(classIndex, "RemoveDelegateFunction", RemoveDelegateFunction);
    lua->RegisterClassEntry(classIndex, "ClassName", ClassName);
    lua->RegisterClassEntry(classIndex, "Attributes", Attributes);
    lua->RegisterClassEntry(classIndex, "KVLPath", KVLPath);
}

} // namespace kvl
