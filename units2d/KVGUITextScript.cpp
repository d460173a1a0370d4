#include "KVGUITextScript.h"

#include <cstdint>

#include "../KVLua/IKVLua.h"
#include "KVGUITextProvider.h"

namespace kvl {

void PushScriptTable(IKVLua* lua, const KVScriptField* fields, size_t count) {
    if (!lua) return;
    lua->NewTable();
    for (size_t i = 0; i < count; ++i) {
        lua->PushString(fields[i].name);
        if (fields[i].integer)
            lua->PushInteger(ClampToInt32(int64_t(fields[i].value)));
        else
            lua->PushNumber(fields[i].value);
        lua->SetTable();
    }
}

} // namespace kvl
