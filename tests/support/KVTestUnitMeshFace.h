#pragma once
// The operations of a mesh unit that test stand-ins do not play: each
// answers as a mesh unit without a mesh does. A stand-in derives from this
// and gives its own ray test and shader material.
#include <string>

#include "units/IKVUnitMesh.h"

namespace kvtest {

class KVTestUnitMeshFace : public kvl::IKVUnitMesh {
public:
    int32_t GetLayerAnimation(int32_t) override { return -1; }
    int32_t PlayAnimation(int32_t, const kvl::MeshAnimationRequest*) override { return 1; }
    int32_t StopAnimation(int32_t, const kvl::MeshAnimationRequest*) override { return 0; }
    int32_t SetAnimationSpeedFactor(int32_t, float) override { return 1; }
    int32_t GetLayerTime(int32_t, float*) override { return 1; }
    int32_t SetLayerTime(int32_t, float) override { return 1; }
    int32_t GetAnimationLength(int32_t, float*) override { return 1; }
    const float* GetBoundingBox() override { return m_box; }
    int32_t FindAnimation(const std::string&) override { return -1; }
    std::string GetAnimationName(int32_t) override { return ""; }
    float GetIllumination() override { return 1.0f; }
    void SetIllumination(float) override {}
    float GetTransitionDelay() override { return 0.2f; }
    void SetTransitionDelay(float) override {}
    const kvl::KV3DQuaternion* GetAnimatedOrientation() override { return &m_orientation; }
    const kvl::KV3DVector* GetAnimatedPosition() override { return &m_vector; }
    const kvl::KV3DVector* GetAnimatedRotation() override { return &m_vector; }
    const kvl::KV3DVector* GetAnimatedScale() override { return &m_vector; }
    int32_t SetBlendshapeWeight(const std::string&, float) override { return 1; }

private:
    float m_box[6] = {0, 0, 0, 0, 0, 0};
    kvl::KV3DQuaternion m_orientation;
    kvl::KV3DVector m_vector;
};

} // namespace kvtest
