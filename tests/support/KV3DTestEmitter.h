#pragma once
// An emitter face with settable values, for particles under test and the
// particle benchmark.
#include <cstdint>

#include "units3d/IKVUnitParticleEmitter.h"

namespace kvtest {

class KV3DTestEmitter : public kvl::IKVUnitParticleEmitter {
public:
    int32_t StartEmission() override { return 0; }
    int32_t StopEmission() override { return 0; }
    const float* GetGravity(float) override { return gravity; }
    const float* GetSizeChange() override { return sizeChange; }
    float GetFadeInTime() override { return fadeIn; }
    float GetFadeOutTime() override { return fadeOut; }
    const uint32_t* GetFinalColor() override { return &finalColor; }

    float gravity[3] = {0.0f, 0.0f, 0.0f};
    float sizeChange[2] = {0.0f, 0.0f};
    float fadeIn = 0.0f;
    float fadeOut = 0.0f;
    uint32_t finalColor = 0xFFFFFFFFu;
};

} // namespace kvtest
