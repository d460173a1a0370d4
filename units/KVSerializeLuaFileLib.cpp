// The methods of the script file object.
#include <string>
#include <vector>

#include "KVSerializeLuaFile.h"

namespace kvl {
namespace {

// The object a method runs on: the userdata given as first argument (colon
// form, the method's own arguments start at 2), else the method's closure
// (its arguments start at 1).
KVSerializeLuaFile* Self(IKVLua* lua, int32_t* first) {
    int32_t flag = 0;
    IKVLua::LuaObject* object = lua->GetSelfObject(1, &flag);
    *first = flag == 0 ? 2 : 1;
    return dynamic_cast<KVSerializeLuaFile*>(object);
}

// An open file in the mode the method needs, else a report.
bool InMode(IKVLua* lua, KVSerializeLuaFile* file, int32_t mode) {
    if (!file->IsOpen()) {
        lua->ReportError("File not opened");
        return false;
    }
    if (file->GetMode() != mode) {
        lua->ReportError(mode == KVSerializeLuaFile::MODE_READ ? "File is not in read mode" : "File is not in write mode");
        return false;
    }
    return true;
}

// The method's object, with at least `count` own arguments, open in the
// mode (when one is given); null after a report.
KVSerializeLuaFile* Begin(IKVLua** lua, int32_t* first, int32_t count, int32_t mode) {
    *lua = GetLuaBinding();
    if (!*lua) return nullptr;
    KVSerializeLuaFile* file = Self(*lua, first);
    if (!file) return nullptr;
    if (count > 0 && (*lua)->CheckArgCount(*first + count - 1, true) != KV_OK) return nullptr;
    if (mode >= 0 && !InMode(*lua, file, mode)) return nullptr;
    return file;
}

constexpr int32_t kAnyMode = -1;

int LuaReadLine() {
    IKVLua* lua = nullptr;
    int32_t first = 1;
    KVSerializeLuaFile* file = Begin(&lua, &first, 0, KVSerializeLuaFile::MODE_READ);
    if (!file) return 0;
    std::string line;
    if (file->ReadLine(&line)) {
        lua->PushString(line.c_str());
    } else {
        lua->PushNil();
    }
    return 1;
}

int LuaWriteLine() {
    IKVLua* lua = nullptr;
    int32_t first = 1;
    KVSerializeLuaFile* file = Begin(&lua, &first, 1, KVSerializeLuaFile::MODE_WRITE);
    if (!file) return 0;
    const std::string text = lua->ToStdString(first);
    if (!text.empty()) {
        file->Append(text.data(), text.size());
        file->Append("\n", 1);
    }
    return 0;
}

int LuaFlush() {
    IKVLua* lua = nullptr;
    int32_t first = 1;
    KVSerializeLuaFile* file = Begin(&lua, &first, 0, KVSerializeLuaFile::MODE_WRITE);
    if (!file) return 0;
    lua->PushBoolean(file->Flush());
    return 1;
}

int LuaClose() {
    IKVLua* lua = nullptr;
    int32_t first = 1;
    KVSerializeLuaFile* file = Begin(&lua, &first, 0, kAnyMode);
    if (!file) return 0;
    lua->PushBoolean(file->Close());
    return 1;
}

int LuaEndOfFile() {
    IKVLua* lua = nullptr;
    int32_t first = 1;
    KVSerializeLuaFile* file = Begin(&lua, &first, 0, kAnyMode);
    if (!file) return 0;
    lua->PushBoolean(file->EndOfFile());
    return 1;
}

int LuaPad() {
    IKVLua* lua = nullptr;
    int32_t first = 1;
    KVSerializeLuaFile* file = Begin(&lua, &first, 1, KVSerializeLuaFile::MODE_WRITE);
    if (!file) return 0;
    switch (file->Pad(uint32_t(lua->ToInteger(first)))) {
    case 1:
        lua->ReportError("Pad size is too low");
        break;
    case 2:
        lua->ReportError("Padded size is too large");
        break;
    default:
        break;
    }
    return 0;
}

int LuaWrite() {
    IKVLua* lua = nullptr;
    int32_t first = 1;
    KVSerializeLuaFile* file = Begin(&lua, &first, 1, KVSerializeLuaFile::MODE_WRITE);
    if (!file) return 0;
    ScriptType type = SCRIPT_UNKNOWN;
    lua->GetArgType(first, &type);
    if (type == SCRIPT_TABLE) {
        std::vector<uint8_t> bytes;
        lua->ToByteArray(first, &bytes);
        file->Append(bytes.data(), bytes.size());
    } else {
        const std::string text = lua->ToStdString(first);
        file->Append(text.data(), text.size());
    }
    return 0;
}

int LuaRead() {
    IKVLua* lua = nullptr;
    int32_t first = 1;
    KVSerializeLuaFile* file = Begin(&lua, &first, 1, KVSerializeLuaFile::MODE_READ);
    if (!file) return 0;
    std::vector<uint8_t> bytes;
    if (!file->Read(lua->ToInteger(first), &bytes)) {
        lua->PushNil();
        return 1;
    }
    // The text ends at the first zero byte.
    bytes.push_back(0);
    lua->PushString(reinterpret_cast<const char*>(bytes.data()));
    return 1;
}

int LuaReadToTable() {
    IKVLua* lua = nullptr;
    int32_t first = 1;
    KVSerializeLuaFile* file = Begin(&lua, &first, 1, KVSerializeLuaFile::MODE_READ);
    if (!file) return 0;
    std::vector<uint8_t> bytes;
    if (!file->Read(lua->ToInteger(first), &bytes)) {
        lua->PushNil();
        return 1;
    }
    lua->NewTable();
    for (size_t i = 0; i < bytes.size(); ++i) {
        lua->PushNumber(double(i + 1));
        lua->PushInteger(bytes[i]);
        lua->SetTable();
    }
    return 1;
}

const KVLuaFunctionEntry kMethods[] = {
    {"ReadLine", LuaReadLine},
    {"WriteLine", LuaWriteLine},
    {"Flush", LuaFlush},
    {"Close", LuaClose},
    {"EndOfFile", LuaEndOfFile},
    {"Pad", LuaPad},
    {"Write", LuaWrite},
    {"Read", LuaRead},
    {"ReadToTable", LuaReadToTable},
    {nullptr, nullptr},
};

} // namespace

int32_t KVSerializeLuaFile::Push(IKVLua* lua, KVSerializeLuaFile* file) {
    if (!lua) {
        delete file;
        return KV_FAILED;
    }
    return lua->PushObject(file, kMethods, int32_t(sizeof kMethods / sizeof kMethods[0]) - 1);
}

} // namespace kvl
