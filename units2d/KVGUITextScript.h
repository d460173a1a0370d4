#pragma once
// The tables the text units' script methods answer: named numbers, each
// pushed as an integer or as a float.
#include <cstddef>

namespace kvl {

class IKVLua;

struct KVScriptField {
    const char* name;
    double value;
    bool integer;
};

// Pushes one table holding the fields; integers are clamped to 32 bits.
void PushScriptTable(IKVLua* lua, const KVScriptField* fields, size_t count);

} // namespace kvl
