// Script functions of the library "KVCrypt".
#include <lua.hpp>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "IKVLua.h"
#include "KVCrypt.h"
#include "KVLuaState.h"

namespace kvl {
namespace {

// The key at argument 2, up to its first zero byte. Reports and answers
// false when it is refused.
bool ReadKey(IKVLua* lua, std::string* key) {
    const char* text = lua->ToString(2);
    key->assign(text ? text : "");
    std::string message;
    if (KVCrypt::CheckKey(key->size(), &message) != KV_OK) {
        lua->ReportError(message.c_str());
        return false;
    }
    return true;
}

std::vector<uint8_t> ReadByteTable(IKVLua* lua, int32_t position) {
    std::vector<uint8_t> bytes;
    lua->ToByteArray(position, &bytes);
    return bytes;
}

// A text argument with all of its bytes: ciphertext holds zero bytes, and
// stopping at the first one would lose the rest of the data.
std::vector<uint8_t> ReadText(IKVLua* lua, int32_t position) {
    const char* text = lua->ToString(position);  // numbers become their text
    if (!text) return {};
    size_t length = std::max(std::strlen(text), size_t(std::max(lua->GetLength(position), 0)));
    return std::vector<uint8_t>(text, text + length);
}

void PushByteTable(IKVLua* lua, const std::vector<uint8_t>& bytes) {
    lua->NewTable();
    for (size_t n = 0; n < bytes.size(); ++n) {
        lua->PushInteger(int32_t(n + 1));
        lua->PushInteger(bytes[n]);
        lua->SetTable();
    }
}

void PushText(IKVLua* lua, const std::vector<uint8_t>& bytes) {
    const char* data = reinterpret_cast<const char*>(bytes.data());
    if (lua_State* state = GetLuaState()) {
        lua_pushlstring(state, bytes.empty() ? "" : data, bytes.size());
        return;
    }
    // Without the raw state only a zero-ended text can be pushed.
    std::string text(data, bytes.size());
    lua->PushString(text.c_str());
}

bool Encipher(const std::string& key, std::vector<uint8_t>* bytes) {
    return KVCrypt::Process(reinterpret_cast<const uint8_t*>(key.data()), key.size(), bytes->data(),
                            bytes->data(), bytes->size()) == KV_OK;
}

// Checks common to the three functions: two arguments, a table first when
// the data is a byte table.
bool CheckArguments(IKVLua* lua, bool tableData) {
    if (lua->CheckArgCount(2, false) != 0) return false;
    if (tableData && lua->CheckArgType(1, SCRIPT_TABLE) != 0) return false;
    return true;
}

// Enciphers argument 1, a byte table or else a text, with the key in
// argument 2, and pushes the result as a byte table or as a text.
int CryptArgument(bool fromTable, bool toText) {
    IKVLua* lua = GetLuaBinding();
    std::string key;
    if (!lua || !CheckArguments(lua, fromTable) || !ReadKey(lua, &key)) return 0;
    std::vector<uint8_t> bytes = fromTable ? ReadByteTable(lua, 1) : ReadText(lua, 1);
    if (!Encipher(key, &bytes)) return 0;
    if (toText) {
        PushText(lua, bytes);
    } else {
        PushByteTable(lua, bytes);
    }
    return 1;
}

int ScriptCrypt() { return CryptArgument(true, false); }

int ScriptCryptFromString() { return CryptArgument(false, false); }

int ScriptCryptToString() { return CryptArgument(true, true); }

const KVLuaFunctionEntry kFunctions[] = {
    {"Crypt", &ScriptCrypt},
    {"CryptFromString", &ScriptCryptFromString},
    {"CryptToString", &ScriptCryptToString},
    {nullptr, nullptr},
};

} // namespace

int32_t KVCrypt::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl
