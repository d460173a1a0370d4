#include "KVLuaChunkWriter.h"

#include <lua.hpp>

namespace kvtest {
namespace {

int Collect(lua_State*, const void* data, size_t size, void* user) {
    static_cast<std::string*>(user)->append(static_cast<const char*>(data), size);
    return 0;
}

} // namespace

std::string CompileLuaChunk(const std::string& source, const std::string& chunkName) {
    std::string out;
    lua_State* L = luaL_newstate();
    if (!L) return out;
    if (luaL_loadbuffer(L, source.data(), source.size(), chunkName.c_str()) == 0) lua_dump(L, Collect, &out);
    lua_close(L);
    return out;
}

std::string WithLuaVersion(std::string chunk, unsigned char version) {
    // Signature (4 bytes), then the version byte.
    if (chunk.size() > 4) chunk[4] = char(version);
    return chunk;
}

} // namespace kvtest
