#pragma once
// The binding's main Lua state, for library code that needs a raw Lua
// operation the binding's interface does not offer (texts holding zero
// bytes). The binding sets it when it makes its state and clears it before
// closing it; null when there is none.
struct lua_State;

namespace kvl {

lua_State* GetLuaState();
void SetLuaState(lua_State* state);

} // namespace kvl
