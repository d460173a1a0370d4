#pragma once
// A resource reader that hands out a file's bytes as they are, and its size.
#include "../kernel/IKVResource.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVDataResourceReader = MakeId(0x001DCC8E, 0xFB38A136);

class IKVDataResourceReader : public IKVResourceReader {
public:
    // Size of the open file in bytes.
    virtual uint32_t GetSize(void* handle) = 0;
};

} // namespace kvl
