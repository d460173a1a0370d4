#include "IKVLua.h"

namespace kvl {
namespace {
IKVLua* g_binding = nullptr;
}

IKVLua* GetLuaBinding() { return g_binding; }
void SetLuaBinding(IKVLua* binding) { g_binding = binding; }

} // namespace kvl
