#pragma once
#include "IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVTimeManager = {0xdfaeff56u, 0x0029678bu};

struct LocalTime {
    uint32_t millisecond = 0;
    uint32_t year = 0;
    uint32_t dayOfYear = 0;
    uint8_t second = 0;
    uint8_t minute = 0;
    uint8_t hour = 0;
    uint8_t day = 0;
    uint8_t month = 0;
};

class IKVTimeManager : public virtual IKVUnknown {
public:
    virtual int32_t GetLocalTime(LocalTime* out) = 0;
    virtual float GetTimeFloat() = 0;
    virtual double GetTime() = 0;
};

} // namespace kvl
