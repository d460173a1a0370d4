#include "KVLuaState.h"

namespace kvl {
namespace {
lua_State* g_state = nullptr;
}

lua_State* GetLuaState() { return g_state; }
void SetLuaState(lua_State* state) { g_state = state; }

} // namespace kvl
