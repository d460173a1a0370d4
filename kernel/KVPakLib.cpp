// Script library "KVPak".
#include "KVLua/IKVLua.h"
#include "KVPak.h"

namespace kvl {
namespace {

// LoadPak(name [, temporary]): loads a pak named by the descriptor.
int LuaLoadPak() {
    IKVLua* lua = GetLuaBinding();
    KVPak* pak = KVPak::Instance();
    if (!lua || !pak) return 0;
    if (lua->CheckArgCount(1, true) != KV_OK) return 0;
    if (lua->CheckArgType(1, SCRIPT_STRING) != KV_OK) return 0;
    std::string name = lua->ToStdString(1);
    bool temporary = lua->ToBoolean(2);
    int32_t index = pak->FindDescriptorRecord(name);
    if (index < 0) {
        lua->ReportError("Unknown pak name");
        return 0;
    }
    if (pak->LoadPakFile(index, temporary) == KV_FAILED) lua->ReportError("Unable to load pak");
    return 0;
}

// UnloadPak(name): unloads a pak named by the descriptor; nothing when it is
// not loaded.
int LuaUnloadPak() {
    IKVLua* lua = GetLuaBinding();
    KVPak* pak = KVPak::Instance();
    if (!lua || !pak) return 0;
    if (lua->CheckArgCount(1, false) != KV_OK) return 0;
    if (lua->CheckArgType(1, SCRIPT_STRING) != KV_OK) return 0;
    int32_t index = pak->FindDescriptorRecord(lua->ToStdString(1));
    if (index < 0) {
        lua->ReportError("Unknown pak name");
        return 0;
    }
    int32_t loaded = pak->FindLoadedPak(index);
    if (loaded >= 0) pak->UnloadPakAt(loaded);
    return 0;
}

const KVLuaFunctionEntry kFunctions[] = {
    {"LoadPak", LuaLoadPak},
    {"UnloadPak", LuaUnloadPak},
    {nullptr, nullptr},
};

} // namespace

int32_t KVPak::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl
