// Discovery and loading of script files.
#include <algorithm>
#include <unordered_set>

#include "../kernel/KVDirectoryWalk.h"
#include "../kernel/KVFormat.h"
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

namespace {

// Scripts larger than this are taken as unreadable: a pak entry's stored
// size must not make the loader allocate gigabytes.
constexpr uint32_t kMaxScriptSize = 64u * 1024u * 1024u;

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return text;
}

} // namespace

int32_t KVLua::LoadScriptDirectory(const std::string& root) {
    m_scannedScripts.clear();
    m_scriptRoot = root;
    // A folder named without its "/" is the same folder.
    if (!m_scriptRoot.empty() && m_scriptRoot.back() != '/') m_scriptRoot += '/';
    if (m_file) ScanScriptDirectory();
    LoadScriptList();
    return KV_OK;
}

void KVLua::ScanScriptDirectory() {
    std::unordered_set<std::string> listed;
    KVDirectoryWalk::Walk(m_file, m_scriptRoot, [&](const std::string& sub, const FileFindData& entry) {
        std::string name = sub + entry.name;
        std::string relative = LowerAscii(name);
        size_t dot = relative.rfind('.');
        std::string extension = dot == std::string::npos ? std::string() : relative.substr(dot + 1);
        if (extension != "lua" && extension != "luac") return;
        // A path that a pak and the disk both hold is listed twice, the
        // pak's first, and runs once: the pak's copy is what opening it gives.
        if (!listed.insert(relative).second) return;
        m_scannedScripts.push_back(ScriptFileRecord{relative, name, entry});
    });
}

void KVLua::LoadScriptList() {
    std::vector<ScriptFileRecord> scripts;
    scripts.swap(m_scannedScripts);
    std::sort(scripts.begin(), scripts.end(),
              [](const ScriptFileRecord& a, const ScriptFileRecord& b) { return a.path < b.path; });
    std::string root = m_scriptRoot;
    // Opened by the listed name: on a case-sensitive disk the lower-cased
    // name of a mixed-case file would not open.
    for (const ScriptFileRecord& record : scripts) LoadScriptFile(root + record.realPath, &record.info, 0);
}

int32_t KVLua::ReadWholeFile(const std::string& path, std::string* out) {
    out->clear();
    if (!m_file) return KV_NOT_FOUND;
    KVFileHandle handle = nullptr;
    if (m_file->Open(path.c_str(), KVFILE_READ, &handle) != KV_OK || !handle) return KV_NOT_FOUND;
    uint32_t size = m_file->GetSize(handle);
    uint32_t done = 0;
    if (size <= kMaxScriptSize) {
        out->resize(size);
        while (done < size) {
            uint32_t got = 0;
            if (m_file->Read(handle, &(*out)[done], size - done, &got) != KV_OK || got == 0) break;
            done += got;
        }
    }
    m_file->Close(handle);
    // Like a missing file, an unreadable one is not reported.
    if (done != size) {
        out->clear();
        return KV_READ_FAILED;
    }
    return KV_OK;
}

int32_t KVLua::LoadScriptFile(const std::string& path, const FileFindData* info, int32_t flags) {
    lua_State* L = m_state;
    if (!L) return KV_FAILED;
    bool wasLoading = m_scriptsLoading;
    m_scriptsLoading = true;
    std::string data;
    if (ReadWholeFile(path, &data) != KV_OK) {
        m_scriptsLoading = wasLoading;
        return KV_NOT_FOUND;
    }

    int32_t savedDepth = m_callDepth;
    // A file loaded from inside a unit function leaves that function's
    // "self" as it found it; its calls count from 0.
    std::vector<RunningUnit> savedRunning;
    savedRunning.swap(m_runningUnits);
    const size_t savedFloor = m_threadFloor;
    m_threadFloor = 0;
    RestartCallCount();
    m_currentNamespace.clear();

    std::string chunkName = "@" + path;
    int status = luaL_loadbuffer(L, data.data(), data.size(), chunkName.c_str());
    data.clear();
    if (status == 0) {
        bool wasMain = m_mainChunkRunning;
        m_mainChunkRunning = true;
        status = ProtectedCall(L, 0, 0);
        m_mainChunkRunning = wasMain;
    }

    int32_t result = KV_OK;
    if (status == 0) {
        FileFindData record;
        if (info) {
            record = *info;
        } else if (m_file) {
            record.name = path;
            m_file->GetFileSize(path.c_str(), &record.size);
            m_file->GetFileTime(path.c_str(), &record.time);
        }
        m_scriptFileIndex[path] = record;
        ++m_scriptFileCount;
        InitNamespaces();
    } else {
        if (!(flags & 2)) ReportError(ErrorText(L, -1).c_str());
        lua_pop(L, 1);
        result = KV_FAILED;
    }
    RestartCallCount();
    m_runningUnits.swap(savedRunning);
    m_threadFloor = savedFloor;
    m_callDepth = savedDepth;
    // The entries put back were counted for until the file loaded.
    if (!m_runningUnits.empty()) StartCountingCalls(true);
    m_scriptsLoading = wasLoading;
    return result;
}

void KVLua::InitNamespaces() {
    // Taken out first: an "OnInitNamespace" that includes a file starts a
    // list of its own.
    std::vector<std::string> names;
    names.swap(m_namespacesToInit);
    for (const std::string& name : names) CallFunction(name.c_str(), "OnInitNamespace", 0, nullptr);
}

lua_State* KVLua::CreateStateFromFile(const char* path) {
    if (!path) return nullptr;
    std::string data;
    if (ReadWholeFile(path, &data) != KV_OK) return nullptr;
    lua_State* L = lua_newstate(ScriptAllocator, nullptr);
    if (!L) return nullptr;
    std::string chunkName = std::string("@") + path;
    int status = luaL_loadbuffer(L, data.data(), data.size(), chunkName.c_str());
    if (status == 0) status = lua_pcall(L, 0, 0, 0);
    if (status != 0) {
        ReportErrorIn(L, ErrorText(L, -1));
        lua_pop(L, 1);
        lua_close(L);
        return nullptr;
    }
    return L;
}

bool KVLua::EvaluateTempFunction(const char* code, std::string* result, std::string* error) {
    lua_State* L = m_state;
    if (result) result->clear();
    if (error) error->clear();
    if (!L || !lua_checkstack(L, 3)) return true;
    std::string name = Format("_tmp{0}", m_tempFunctionCounter++);
    std::string text = "function " + name + "() " + (code ? code : "") + " end";
    int top = lua_gettop(L);
    int status = luaL_loadstring(L, text.c_str());
    if (status == 0) status = ProtectedCall(L, 0, 0);
    if (status == 0) {
        lua_pushstring(L, name.c_str());
        lua_rawget(L, LUA_GLOBALSINDEX);
        status = ProtectedCall(L, 0, 1);
    }
    if (status != 0) {
        if (error) *error = ErrorText(L, -1);
    } else if (result) {
        switch (lua_type(L, -1)) {
        case LUA_TBOOLEAN:
            *result = lua_toboolean(L, -1) ? "true" : "false";
            break;
        case LUA_TTABLE:
            *result = "table";
            break;
        case LUA_TNIL:
            *result = "nil";
            break;
        default: {
            size_t length = 0;
            const char* value = lua_tolstring(L, -1, &length);
            if (value) result->assign(value, length);
            break;
        }
        }
    }
    lua_settop(L, top);
    lua_pushstring(L, name.c_str());
    lua_pushnil(L);
    lua_rawset(L, LUA_GLOBALSINDEX);
    return status != 0;
}

uint64_t KVLua::HexToUInt64(const char* text) {
    uint64_t value = 0;
    for (const char* p = text; p && *p; ++p) {
        char c = *p;
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            continue;
        }
        value = (value << 4) | uint64_t(digit);
    }
    return value;
}

} // namespace kvl
