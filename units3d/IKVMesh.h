#pragma once
// A placed, drawable, animatable instance of mesh data, as the mesh unit
// drives it: tracks of skeletal or rigid animation, blend shape weights, a
// mesh-wide material, texture overrides, bounds and the lists that picking
// and decals read. Results are 0 for success; 1 for a track or animation
// outside its list or a name that is not found; 4 for a named transform
// that is not found.
#include <cstdint>
#include <string>
#include <vector>

#include "../units/IKVMeshNodes.h"
#include "../units/KV3DTypes.h"
#include "IKVObject3D.h"
#include "KV3DDataRecords.h"
#include "KV3DMaterial.h"

namespace kvl {

// What GetAnimationInfo reports of one animation.
struct KV3DAnimationInfo {
    std::string path;
    std::string name;         // the file name without directory and last extension
    float length = 0.0f;      // seconds
    int32_t index = 0;
    float rootTranslation[3] = {0.0f, 0.0f, 0.0f};
    float rootRotation[3] = {0.0f, 0.0f, 0.0f};  // Euler angles, radians
    float rootScale[3] = {0.0f, 0.0f, 0.0f};
};

// Debug drawing flags of SetDebugFlags.
constexpr uint32_t KVMESH_DEBUG_SKELETON = 0x2;
constexpr uint32_t KVMESH_DEBUG_DRAW_SWITCH = 0x4;
constexpr uint32_t KVMESH_DEBUG_OVERLAY = 0x8;

// Root-motion flags of an animation.
constexpr uint32_t KVMESH_ROOT_ROTATION = 0x1;
constexpr uint32_t KVMESH_ROOT_TRANSLATION = 0x2;
constexpr uint32_t KVMESH_ROOT_SCALE = 0x4;

// The node operations (FindNode, GetNodeTransform, GetNodeBindTransform)
// come from IKVMeshNodes, the face the mesh unit answers IID_IKVMesh with;
// a holder of that face reaches the whole instance with a static_cast.
class IKVMesh : public IKVMeshNodes {
public:
    virtual int32_t ResetTracks() = 0;
    // dt in seconds, the caller's speed already applied.
    virtual int32_t Update(float dt) = 0;
    // pass 0 draws the opaque parts, pass 1 the transparent ones.
    virtual int32_t Draw(int32_t pass) = 0;
    virtual bool IsTransparent() = 0;
    virtual int32_t GetAnimationCount() = 0;
    virtual int32_t GetAnimationInfo(int32_t index, KV3DAnimationInfo* out) = 0;
    // Grows the track list when needed and resets the track.
    virtual int32_t SetTrackAnimation(int32_t track, int32_t animation) = 0;
    virtual float GetTrackState(int32_t track) = 0;
    // fade 0: at once; otherwise the weight (speed) moves to its target
    // over fade seconds.
    virtual int32_t SetTrackState(int32_t track, float weight, float fade) = 0;
    virtual int32_t SetTrackSpeed(int32_t track, float speed, float fade) = 0;
    virtual int32_t GetTrackTime(int32_t track, float* seconds) = 0;
    virtual int32_t SetTrackTime(int32_t track, float seconds) = 0;
    virtual int32_t SetTrackLoop(int32_t track, bool loop) = 0;
    virtual int32_t SetTrackPlaying(int32_t track, bool playing) = 0;
    // The track's parameter transform, applied to the root nodes; null for
    // a track outside the list.
    virtual const NodeTransform* GetTrackParams(int32_t track) = 0;
    virtual int32_t SetTrackParams(int32_t track, const NodeTransform* params) = 0;
    // Moves every track's parameters so that this track's become the identity.
    virtual int32_t RebaseTrackParams(int32_t track) = 0;
    virtual int32_t GetAnimationLength(int32_t animation, float* seconds) = 0;
    virtual NodeTransform GetTrackRootMotion(int32_t track) = 0;
    virtual bool IsTrackFinished(int32_t track) = 0;
    virtual NodeTransform GetRootTransform() = 0;
    virtual bool IsAnimatable() = 0;
    // Events belong to the animation's mesh data, shared by every instance.
    virtual int32_t AddAnimationEvent(const KV3DEvent* event) = 0;
    virtual int32_t RemoveAnimationEvent(int32_t animation, const std::string& name) = 0;
    virtual int32_t ClearAnimationEvents(int32_t animation) = 0;
    // The events the track passed in the last update.
    virtual int32_t GetTrackEventCount(int32_t track) = 0;
    virtual int32_t GetTrackEvent(int32_t track, int32_t i, KV3DEvent* out) = 0;
    // Attachments, then cameras, nodes and submeshes: 0, or 4.
    virtual int32_t GetNamedTransform(const std::string& name, NodeTransform* out) = 0;
    virtual int32_t SetBlendShapeWeight(const std::string& name, float weight) = 0;
    virtual int32_t GetBlendShapeNames(std::vector<std::string>* out) = 0;
    // The records of the current mesh data; null past the count.
    virtual int32_t GetCurveCount() = 0;
    virtual const KV3DCurveRecord* GetCurve(int32_t i) = 0;
    virtual int32_t GetCameraCount() = 0;
    virtual const KV3DCamera* GetCamera(int32_t i) = 0;
    virtual int32_t GetLightCount() = 0;
    virtual const KV3DLightRecord* GetLight(int32_t i) = 0;
    // Every part's indices, offset by the vertices of earlier submeshes.
    virtual const std::vector<uint16_t>& GetIndexList() = 0;
    // Every submesh's vertices, positions in world space.
    virtual const std::vector<KV3DVertex>& GetVertexList() = 0;
    // Three neighbour triangle numbers per triangle, 0xFFFF for none.
    virtual const std::vector<uint16_t>& GetTriangleNeighbours() = 0;
    // Minimum x, y, z then maximum x, y, z, world space.
    virtual const float* GetBoundingBox() = 0;
    // Centre x, y, z and radius, world space.
    virtual const float* GetBoundingSphere() = 0;
    virtual int32_t SetDebugFlags(uint32_t flags) = 0;
    virtual float GetCustomValue() = 0;
    virtual int32_t SetCustomValue(float value) = 0;
    // The texture for slot `slot` of the parts of submesh `row`; the mesh
    // holds a reference while it keeps it. Null clears the entry.
    virtual int32_t SetTextureOverride(int32_t row, int32_t slot, IKVUnknownRef* texture) = 0;
    // Copies the record; null clears only the override flags.
    virtual int32_t SetMaterial(const KV3DMaterial* material) = 0;
    // While paused, Update advances nothing: times, weights and fades stay,
    // and it reports no passed event and no finished track, so that a
    // caller reading them every frame hears of each pass once.
    virtual int32_t SetPaused(bool paused) = 0;
};

} // namespace kvl
