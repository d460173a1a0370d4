// Script library "KVTexturePak".
#include "../KVLua/IKVLua.h"
#include "KVTexturePak.h"

namespace kvl {
namespace {

// Both functions take exactly one argument, the pak's name.
using PakAction = const char* (KVTexturePak::*)(const std::string&);

int RunOnPak(PakAction action) {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    if (lua->CheckArgCount(1, false) != KV_OK) return 0;
    if (lua->CheckArgType(1, SCRIPT_STRING) != KV_OK) return 0;
    KVTexturePak* paks = KVTexturePak::Instance();
    const char* error = paks ? (paks->*action)(lua->ToStdString(1)) : "Invalid texture pak name";
    if (error) lua->ReportError(error);
    return 0;
}

// LoadPak(name): loads the pak's pages.
int LuaLoadPak() { return RunOnPak(&KVTexturePak::LoadPakByName); }

// UnloadPak(name): releases the pak's pages.
int LuaUnloadPak() { return RunOnPak(&KVTexturePak::UnloadPakByName); }

const KVLuaFunctionEntry kFunctions[] = {
    {"LoadPak", LuaLoadPak},
    {"UnloadPak", LuaUnloadPak},
    {nullptr, nullptr},
};

} // namespace

int32_t KVTexturePak::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl
