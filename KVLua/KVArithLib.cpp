// Script functions of the library "KVArith".
#include "IKVLua.h"
#include "KVArith.h"

namespace kvl {
namespace {

// And, Or, Xor, LShift and RShift: two numbers or more, the rest ignored,
// each taken modulo 2^32 (a colour read back from 2^31 up keeps its bits).
int BinaryOperation(int32_t (*operation)(uint32_t, uint32_t)) {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    if (lua->CheckMinArgCount(2) != 0) return 0;
    if (lua->CheckArgType(1, SCRIPT_NUMBER) != 0 || lua->CheckArgType(2, SCRIPT_NUMBER) != 0) return 0;
    lua->PushInteger(operation(lua->ToUInt32(1), lua->ToUInt32(2)));
    return 1;
}

int ScriptHexaToNumber() {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 0;
    // A wrong count is reported, but the first argument is still read.
    lua->CheckArgCount(1, false);
    const char* text = lua->ToString(1);
    if (!text) return 0;
    lua->PushInteger(KVArith::HexaToNumber(text));
    return 1;
}

int ScriptAnd() { return BinaryOperation(&KVArith::And); }
int ScriptOr() { return BinaryOperation(&KVArith::Or); }
int ScriptXor() { return BinaryOperation(&KVArith::Xor); }
int ScriptLShift() { return BinaryOperation(&KVArith::LShift); }
int ScriptRShift() { return BinaryOperation(&KVArith::RShift); }

const KVLuaFunctionEntry kFunctions[] = {
    {"HexaToNumber", &ScriptHexaToNumber},
    {"And", &ScriptAnd},
    {"Or", &ScriptOr},
    {"Xor", &ScriptXor},
    {"LShift", &ScriptLShift},
    {"RShift", &ScriptRShift},
    {nullptr, nullptr},
};

} // namespace

int32_t KVArith::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl
