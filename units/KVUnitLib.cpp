// The script methods and computed members of class "Unit". Methods get the
// unit first on the script stack and their arguments after it.
#include <lua.hpp>

#include <cstdlib>

#include "../KVLua/KVLua.h"
#include "../kernel/KVFormat.h"
#include "IKVUnitRef.h"
#include "KVSceneManager.h"
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

int ReorderChildrenIndex(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    std::vector<int32_t> positions;
    lua->ToIntegerArray(kFirstArgument, &positions);
    unit->GetUnit()->ReorderChildren(positions, lua->ToBoolean(kFirstArgument + 1));
    return 0;
}

int ReorderChildrenUnit(IKVUnit* unit) {
    KVLua* lua = KVLua::Instance();
    lua_State* L = lua ? lua->GetState() : nullptr;
    if (!L || !lua_istable(L, kFirstArgument) || !lua_checkstack(L, 2)) return 0;
    KVUnit* self = unit->GetUnit();
    std::vector<int32_t> positions;
    int32_t count = lua->GetLength(kFirstArgument);
    for (int32_t i = 1; i <= count; ++i) {
        lua_rawgeti(L, kFirstArgument, i);
        int32_t child = lua->ToUnit(-1);
        lua_pop(L, 1);
        // Units that are not children are left out; positions count from 1.
        int32_t position = child == -1 ? -1 : self->FindChild(child);
        if (position >= 0) positions.push_back(position + 1);
    }
    self->ReorderChildren(positions, lua->ToBoolean(kFirstArgument + 1));
    return 0;
}

int LuaIsPointInside(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    if (!lua || lua->CheckArgCount(kFirstArgument + 1, false) != KV_OK) return 0;
    KVSceneManager* scene = KVSceneManager::Instance();
    const KVScreenPoint point{lua->ToInteger(kFirstArgument), lua->ToInteger(kFirstArgument + 1)};
    float depth = 0.0f;
    lua->PushBoolean(scene && scene->IsPointInside(unit, point, false, &depth, nullptr));
    return 1;
}

int CopyAttributeToChildren(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!lua || !factory || lua->CheckArgCount(kFirstArgument, true) != KV_OK) return 0;
    const char* name = lua->ToString(kFirstArgument);
    int32_t position = name ? factory->FindAttributeIndex(unit->GetClassIndex(), name) : -1;
    if (position < 0) {
        lua->ReportError("Invalid attribute name");
        return 0;
    }
    int32_t depth = lua->GetTop() > kFirstArgument ? lua->ToInteger(kFirstArgument + 1) : 0;
    factory->CopyAttributeToChildren(unit->GetUnit(), position, depth);
    return 0;
}

int AddDelegateFunction(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    if (!lua || lua->CheckArgCount(kFirstArgument + 1, false) != KV_OK) return 0;
    const char* name = lua->ToString(kFirstArgument);
    if (!name) {
        lua->ArgumentError(1);
        return 0;
    }
    unit->GetUnit()->AddDelegate(name, lua->ToUnit(kFirstArgument + 1));
    return 0;
}

int RemoveDelegateFunction(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    if (!lua || lua->CheckArgCount(kFirstArgument, false) != KV_OK) return 0;
    const char* name = lua->ToString(kFirstArgument);
    if (!name || !unit->GetUnit()->RemoveDelegate(name)) lua->ReportError("Unknown function delegate");
    return 0;
}

// The proxies of the Attributes member. Each carries its own unit and
// attribute, so two proxies held at once never read each other's attribute.
struct AttributeTarget {
    int32_t unitIndex;
    int32_t position;
};

// The unit and attribute of the proxy being read or written, or null (with
// a report) when its unit is gone.
KVUnit* ProxyTarget(IKVLua** lua, const AttributeTarget** target) {
    *lua = GetLuaBinding();
    if (!*lua) return nullptr;
    *target = static_cast<const AttributeTarget*>((*lua)->GetUpvalueObject2());
    if (!*target || (*lua)->CheckUnit((*target)->unitIndex) != KV_OK) return nullptr;
    return KVUnitFactory::Instance()->GetUnit((*target)->unitIndex)->GetUnit();
}

const char* TypeWord(int32_t typeCode) {
    switch (typeCode) {
    case KVATTR_F32:
    case KVATTR_F32_ROTATION: return "number";
    case KVATTR_PATH:
    case KVATTR_STRING: return "string";
    case KVATTR_ARRAY_UNIT: return "array_unit";
    case KVATTR_BOOLEAN: return "boolean";
    case KVATTR_UNIT: return "unit";
    case KVATTR_U32:
    case KVATTR_S32:
    case KVATTR_FLAGS:
    case KVATTR_COLOR:
    case KVATTR_ENUM: return "integer";
    default: return "custom";
    }
}

int AttributeGet() {
    IKVLua* lua = nullptr;
    const AttributeTarget* target = nullptr;
    KVUnit* unit = ProxyTarget(&lua, &target);
    if (!unit) return 0;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const KVAttributeDesc* desc = factory->GetAttribute(unit->GetClassIndex(), target->position);
    std::string key = lua->ToStdString(2);
    if (!desc) {
        lua->ReportError("Attribute index out of range");
        return 0;
    }
    if (key == "Name") {
        lua->PushString(desc->name.c_str());
    } else if (key == "Type") {
        lua->PushString(TypeWord(desc->typeCode));
    } else if (key == "Value") {
        factory->PushAttributeByIndex(unit, target->position);
    } else {
        lua->ReportError(Format("{0} is invalid", key).c_str());
        return 0;
    }
    return 1;
}

int AttributeSet() {
    IKVLua* lua = nullptr;
    const AttributeTarget* target = nullptr;
    KVUnit* unit = ProxyTarget(&lua, &target);
    if (!unit) return 0;
    std::string key = lua->ToStdString(2);
    if (key == "Value")
        KVUnitFactory::Instance()->SetAttributeFromLuaByIndex(unit, target->position);
    else
        lua->ReportError(Format("{0} is invalid", key).c_str());
    return 0;
}

int AttributesGet() {
    IKVLua* lua = nullptr;
    const AttributeTarget* target = nullptr;
    KVUnit* unit = ProxyTarget(&lua, &target);
    if (!unit) return 0;
    const KVUnitClass* record = KVUnitFactory::Instance()->GetClass(unit->GetClassIndex());
    int32_t size = record ? int32_t(record->attributes.size()) : 0;
    std::string key = lua->ToStdString(2);
    if (key == "Size") {
        lua->PushInteger(size);
        return 1;
    }
    char* end = nullptr;
    long n = std::strtol(key.c_str(), &end, 10);
    if (n < 1 || n > size) {
        lua->ReportError("Attribute index out of range");
        return 0;
    }
    AttributeTarget attribute{target->unitIndex, int32_t(n - 1)};
    lua->PushUserdataProxy(AttributeGet, AttributeSet, &attribute, int32_t(sizeof attribute));
    return 1;
}

int Attributes(IKVUnit* unit, int32_t read) {
    if (!read) return 0;
    return KVUnit::PushAttributesProxy(unit->GetIndex()) == KV_OK ? 1 : 0;
}

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

int32_t KVUnit::PushAttributesProxy(int32_t unitIndex) {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return KV_FAILED;
    AttributeTarget target{unitIndex, -1};
    return lua->PushUserdataProxy(AttributesGet, nullptr, &target, int32_t(sizeof target));
}

void KVUnit::RegisterScriptMembers(int32_t classIndex) {
    KVLua* lua = KVLua::Instance();
    if (!lua) return;
    lua->RegisterClassFunction(classIndex, "ReorderChildrenIndex", ReorderChildrenIndex);
    lua->RegisterClassFunction(classIndex, "ReorderChildrenUnit", ReorderChildrenUnit);
    lua->RegisterClassFunction(classIndex, "IsPointInside", LuaIsPointInside);
    lua->RegisterClassFunction(classIndex, "IsClass", IsClass);
    lua->RegisterClassFunction(classIndex, "CopyAttributeToChildren", CopyAttributeToChildren);
    lua->RegisterClassFunction(classIndex, "AddDelegateFunction", AddDelegateFunction);
    lua->RegisterClassFunction(classIndex, "RemoveDelegateFunction", RemoveDelegateFunction);
    lua->RegisterClassEntry(classIndex, "ClassName", ClassName);
    lua->RegisterClassEntry(classIndex, "Attributes", Attributes);
    lua->RegisterClassEntry(classIndex, "KVLPath", KVLPath);
}

} // namespace kvl
