#pragma once
// The particle emitter unit's face: what each of its particles reads at
// every step (the values stay owned by the unit).
#include <cstdint>

#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitParticleEmitter = MakeId(0x0039DA3F, 0xF34D2F50);

class IKVUnitParticleEmitter {
public:
    virtual int32_t StartEmission() = 0;
    // Live particles go on to the end of their lives.
    virtual int32_t StopEmission() = 0;
    // An acceleration (three floats); dt is not used.
    virtual const float* GetGravity(float dt) = 0;
    // Growth of width and height over one whole lifetime.
    virtual const float* GetSizeChange() = 0;
    virtual float GetFadeInTime() = 0;
    virtual float GetFadeOutTime() = 0;
    // 0xAARRGGBB.
    virtual const uint32_t* GetFinalColor() = 0;

protected:
    virtual ~IKVUnitParticleEmitter() = default;
};

} // namespace kvl
