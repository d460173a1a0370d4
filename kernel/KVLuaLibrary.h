#pragma once
#include <cstdint>

namespace kvl {

// A native script function reaches the Lua state through the binding's
// instance and answers the number of values it pushed.
using KVLuaNativeFunction = int (*)();

struct KVLuaFunctionEntry {
    const char* name;
    KVLuaNativeFunction function;
};

// Base of every module that offers script functions. The table ends with a
// pair of two nulls.
class KVLuaLibrary {
public:
    virtual int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) = 0;

protected:
    virtual ~KVLuaLibrary() = default;
};

} // namespace kvl
