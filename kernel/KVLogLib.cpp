// Script library "KVLog".
#include "KVLog.h"
#include "KVLua/IKVLua.h"

namespace kvl {
namespace {

// Log(text [, window]): one line with the tag "LUA ".
int LuaLog() {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    if (lua->CheckArgCount(1, true) != KV_OK) return 0;
    const char* text = lua->ToString(1);
    std::string line = text ? text : "nil";
    int32_t window = 0;
    if (lua->GetTop() >= 2) {
        window = lua->ToInteger(2);
        if (window < 0 || window > 3) {
            lua->ReportError("Invalid log window index.");
            window = 0;
        }
    }
    if (IKVLog* log = GetLog()) log->Write(line.c_str(), KVLOG_LUA, window);
    return 0;
}

const KVLuaFunctionEntry kFunctions[] = {
    {"Log", LuaLog},
    {nullptr, nullptr},
};

} // namespace

int32_t KVLog::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl
