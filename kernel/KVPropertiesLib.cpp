// Script library "KVProperties".
#include "KVLua/IKVLua.h"
#include "KVProperties.h"

namespace kvl {
namespace {

// GetProperty(key): the current value of the first property declared with
// exactly that key, or nil.
int LuaGetProperty() {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    if (lua->CheckArgCount(1, false) != KV_OK) return 0;
    if (lua->CheckArgType(1, SCRIPT_STRING) != KV_OK) return 0;
    KVProperties* properties = KVProperties::Instance();
    const PropertyRecord* record = properties ? properties->FindByKey(lua->ToStdString(1)) : nullptr;
    const void* target = record ? record->descriptor.target : nullptr;
    if (!target) {
        lua->PushNil();
        return 1;
    }
    switch (record->descriptor.type) {
    case PROPERTY_INTEGER: lua->PushInteger(*static_cast<const int32_t*>(target)); break;
    case PROPERTY_STRING: lua->PushString(static_cast<const std::string*>(target)->c_str()); break;
    case PROPERTY_BOOLEAN: lua->PushBoolean(*static_cast<const bool*>(target)); break;
    case PROPERTY_FLOAT: lua->PushNumber(*static_cast<const float*>(target)); break;
    default: lua->PushNil(); break;
    }
    return 1;
}

const KVLuaFunctionEntry kFunctions[] = {
    {"GetProperty", LuaGetProperty},
    {nullptr, nullptr},
};

} // namespace

int32_t KVProperties::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl
