#pragma once
// Writes precompiled Lua chunks (and damaged variants of them) for tests.
#include <string>

namespace kvtest {

// The precompiled form of the source, or an empty text when it does not
// compile.
std::string CompileLuaChunk(const std::string& source, const std::string& chunkName = "=chunk");

// The chunk with its version byte replaced.
std::string WithLuaVersion(std::string chunk, unsigned char version);

} // namespace kvtest
