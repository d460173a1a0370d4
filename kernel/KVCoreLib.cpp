// The "KVCore" script functions.
#include "../KVLua/IKVLua.h"
#include "KVCore.h"
#include "KVPlatformInfo.h"

namespace kvl {
namespace {

int LuaExit() {
    if (KVCore* core = KVCore::Instance()) core->RequestExit();
    return 0;
}

int LuaExecuteFile() {
    IKVLua* lua = GetLuaBinding();
    KVCore* core = KVCore::Instance();
    if (!lua || !core) return 0;
    std::string path = lua->ToStdString(1);
    std::string parameters = lua->GetTop() >= 2 ? lua->ToStdString(2) : std::string();
    if (IKVFile* file = QueryCoreInterface<IKVFile>(IID_IKVFile))
        file->ExecuteFile(path.c_str(), parameters.c_str());
    return 0;
}

int LuaGetVersion() {
    if (IKVLua* lua = GetLuaBinding()) {
        lua->PushInteger(KVCore::kVersion);
        return 1;
    }
    return 0;
}

int LuaEditorMode() {
    IKVLua* lua = GetLuaBinding();
    KVCore* core = KVCore::Instance();
    if (!lua || !core) return 0;
    lua->PushBoolean(core->IsEditorMode());
    return 1;
}

int LuaGetPlatform() {
    if (IKVLua* lua = GetLuaBinding()) {
        lua->PushString(GetPlatformName());
        return 1;
    }
    return 0;
}

int LuaGetLanguage() {
    IKVLua* lua = GetLuaBinding();
    KVCore* core = KVCore::Instance();
    if (!lua || !core) return 0;
    lua->PushString(core->GetLanguageName().c_str());
    return 1;
}

int LuaGetOS() {
    if (IKVLua* lua = GetLuaBinding()) {
        lua->PushString(GetOSName());
        return 1;
    }
    return 0;
}

const KVLuaFunctionEntry kCoreFunctions[] = {
    {"Exit", &LuaExit},
    {"ExecuteFile", &LuaExecuteFile},
    {"GetVersion", &LuaGetVersion},
    {"EditorMode", &LuaEditorMode},
    {"GetPlatform", &LuaGetPlatform},
    {"GetLanguage", &LuaGetLanguage},
    {"GetOS", &LuaGetOS},
    {nullptr, nullptr},
};

} // namespace

int32_t KVCore::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kCoreFunctions;
    return KV_OK;
}

} // namespace kvl
