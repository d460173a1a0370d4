#pragma once
// What other code asks of a mesh unit (class "Mesh"): the ray test, the
// material of the unit's shader, its animation layers, bounds, animation
// names and animated transform. The mesh unit answers this interface from
// its QueryInterface.
#include <cstdint>
#include <string>
#include "../kernel/IKVUnknown.h"
#include "KV3DTypes.h"

namespace kvl {

struct KV3DMaterial;

constexpr KVInterfaceId IID_IKVUnitMesh = MakeId(0x0035E1E5, 0xBA898A3A);

// One request to play an animation on a layer.
struct MeshAnimationRequest {
    int32_t animation = 0;
    // 0 repeats without end, 1 plays once, n > 1 plays n times.
    int32_t loop = 0;
    // The unit told of the end, -1 for the mesh unit itself.
    int32_t receiver = -1;
    // Cross-fade seconds; negative: the unit's TransitionDelay.
    float transition = -1.0f;
    float speed = 1.0f;
    uint8_t endNotice = 1;
    uint8_t interruptible = 1;
    uint8_t play = 1;
    // Bits 0, 1, 2: the root rotation about (translation along) x, y, z kept.
    uint32_t rmask = 7;
    uint32_t tmask = 7;
    // The root motion of the animation left is written into the unit.
    uint8_t tapply = 1;
};

class IKVUnitMesh : public virtual IKVUnknown {
public:
    // The line through origin along direction against the mesh's triangles:
    // 0 and the hit point (with the triangle number when asked), 4 no hit,
    // 1 no mesh. With nearest set, the hit nearest to the origin. A point on
    // an edge belongs to the triangle, so that a line through the edge two
    // triangles share hits the surface.
    virtual int32_t IntersectRay(const KV3DVector* origin, const KV3DVector* direction, KV3DVector* hit,
                                 int32_t* triangle, bool nearest) = 0;
    // The animation playing on the layer; -1 for a missing or stopped layer.
    virtual int32_t GetLayerAnimation(int32_t layer) = 0;
    // 1 when the animation is not below the number of animations.
    virtual int32_t PlayAnimation(int32_t layer, const MeshAnimationRequest* request) = 0;
    virtual int32_t StopAnimation(int32_t layer, const MeshAnimationRequest* request) = 0;
    // 1 for an animation outside the factor list.
    virtual int32_t SetAnimationSpeedFactor(int32_t animation, float factor) = 0;
    // The time of the layer's current track; 1 without a mesh or layer.
    virtual int32_t GetLayerTime(int32_t layer, float* seconds) = 0;
    virtual int32_t SetLayerTime(int32_t layer, float seconds) = 0;
    virtual int32_t GetAnimationLength(int32_t animation, float* seconds) = 0;
    // Minimum x, y, z, maximum x, y, z; zeros without a mesh.
    virtual const float* GetBoundingBox() = 0;
    // The first animation of that name, ASCII letters of either case
    // alike; -1 when none.
    virtual int32_t FindAnimation(const std::string& name) = 0;
    // "" without a mesh or outside the list.
    virtual std::string GetAnimationName(int32_t index) = 0;
    virtual float GetIllumination() = 0;
    virtual void SetIllumination(float value) = 0;
    virtual float GetTransitionDelay() = 0;
    virtual void SetTransitionDelay(float seconds) = 0;
    virtual const KV3DQuaternion* GetAnimatedOrientation() = 0;
    virtual const KV3DVector* GetAnimatedPosition() = 0;
    virtual const KV3DVector* GetAnimatedRotation() = 0;
    virtual const KV3DVector* GetAnimatedScale() = 0;
    // 1 without a mesh.
    virtual int32_t SetBlendshapeWeight(const std::string& name, float weight) = 0;
    // The material of the unit's "Shader" unit while that unit exists and
    // is enabled, else null.
    virtual const KV3DMaterial* GetShaderMaterial() = 0;

protected:
    virtual ~IKVUnitMesh() = default;
};

} // namespace kvl
