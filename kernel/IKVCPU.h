#pragma once
#include "IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVCPU = MakeId(0x00482D4E, 0xD7A58350);

struct CpuInfo {
    uint32_t processorCount = 0;
    uint8_t features[3] = {0, 0, 0};
};

class IKVCPU : public virtual IKVUnknown {
public:
    virtual int32_t GetInfo(CpuInfo* out) = 0;
};

} // namespace kvl
