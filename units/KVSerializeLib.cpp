// The "KVFileManager" script library of the serializer. Its functions
// (files, directories, scene groups) are added here with the file manager.
#include "KVSerialize.h"

namespace kvl {
namespace {

const KVLuaFunctionEntry kFileManagerFunctions[] = {
    {nullptr, nullptr},
};

} // namespace

int32_t KVSerialize::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFileManagerFunctions;
    return KV_OK;
}

} // namespace kvl
