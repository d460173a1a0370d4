#pragma once
// A mesh instance: references to the mesh data of a list of files (the
// first with geometry is drawn, every one with channels gives an animation)
// and everything that belongs to one placed copy: tracks, node and submesh
// matrices, the bone palette, CPU copies of skinned or morphed vertices,
// blend shape weights, the mesh-wide material, texture overrides, bounds,
// the index, vertex and neighbour lists, and debug drawing.
//
// The code is split by concern: KV3DMesh.cpp (loading, records, bounds,
// material, overrides), KV3DMeshLists.cpp (index, vertex and neighbour
// lists), KV3DMeshDraw.cpp (drawing, skeleton lines), KV3DMeshAnimation.cpp
// (tracks, update, events), KV3DMeshPose.cpp (pose, sampling, root motion)
// and KV3DMeshSkin.cpp (skinning and blend shapes).
#include <cstdint>
#include <string>
#include <vector>

#include "../units/KV3DTypes.h"
#include "IKVMesh.h"
#include "KV3DObject.h"

namespace kvl {

class KV3DData;
struct KV3DChannel;

// One track: an animation played with its own time, weight and flags.
struct KV3DTrack {
    int32_t animation = -1;
    float time = 0.0f;          // frames
    float previousTime = 0.0f;  // frames, before the last advance
    float weight = 0.0f;
    float targetWeight = 0.0f;
    float weightFade = 0.0f;    // seconds left; <= 0: no fade
    float speed = 0.0f;
    float targetSpeed = 0.0f;
    float speedFade = 0.0f;
    NodeTransform params;
    // Copies of the events passed in the last update, so that a handler
    // that removes events while they are dispatched reads no stale index.
    std::vector<KV3DEvent> passed;
    uint8_t finished = 0;
    uint8_t loop = 0;
    uint8_t playing = 0;
    uint8_t timeSet = 0;
};

class KV3DMesh : public KV3DCountedObject<IKVMesh> {
public:
    KV3DMesh();

    // Loads the instance from mesh files. flags bit 0x1: skin and morph once
    // now. 0, or 1 when no file gives geometry.
    int32_t Load(const std::vector<std::string>& paths, uint32_t flags);
    // The same from mesh data already in memory (each retained), for tools
    // and measurements that make their data themselves.
    int32_t LoadData(const std::vector<KV3DData*>& data, uint32_t flags);

    // IKVMesh
    int32_t ResetTracks() override;
    int32_t Update(float dt) override;
    int32_t Draw(int32_t pass) override;
    bool IsTransparent() override;
    int32_t GetAnimationCount() override { return int32_t(m_animations.size()); }
    int32_t GetAnimationInfo(int32_t index, KV3DAnimationInfo* out) override;
    int32_t SetTrackAnimation(int32_t track, int32_t animation) override;
    float GetTrackState(int32_t track) override;
    int32_t SetTrackState(int32_t track, float weight, float fade) override;
    int32_t SetTrackSpeed(int32_t track, float speed, float fade) override;
    int32_t GetTrackTime(int32_t track, float* seconds) override;
    int32_t SetTrackTime(int32_t track, float seconds) override;
    int32_t SetTrackLoop(int32_t track, bool loop) override;
    int32_t SetTrackPlaying(int32_t track, bool playing) override;
    const NodeTransform* GetTrackParams(int32_t track) override;
    int32_t SetTrackParams(int32_t track, const NodeTransform* params) override;
    int32_t RebaseTrackParams(int32_t track) override;
    int32_t GetAnimationLength(int32_t animation, float* seconds) override;
    NodeTransform GetTrackRootMotion(int32_t track) override;
    bool IsTrackFinished(int32_t track) override;
    NodeTransform GetRootTransform() override;
    bool IsAnimatable() override;
    int32_t AddAnimationEvent(const KV3DEvent* event) override;
    int32_t RemoveAnimationEvent(int32_t animation, const std::string& name) override;
    int32_t ClearAnimationEvents(int32_t animation) override;
    int32_t GetTrackEventCount(int32_t track) override;
    int32_t GetTrackEvent(int32_t track, int32_t i, KV3DEvent* out) override;
    NodeTransform GetNodeTransform(int32_t node) override;
    NodeTransform GetNodeBindTransform(int32_t node) override;
    int32_t FindNode(const std::string& name) override;
    int32_t GetNamedTransform(const std::string& name, NodeTransform* out) override;
    int32_t SetBlendShapeWeight(const std::string& name, float weight) override;
    int32_t GetBlendShapeNames(std::vector<std::string>* out) override;
    int32_t GetCurveCount() override;
    const KV3DCurveRecord* GetCurve(int32_t i) override;
    int32_t GetCameraCount() override;
    const KV3DCamera* GetCamera(int32_t i) override;
    int32_t GetLightCount() override;
    const KV3DLightRecord* GetLight(int32_t i) override;
    const std::vector<uint16_t>& GetIndexList() override;
    const std::vector<KV3DVertex>& GetVertexList() override;
    const std::vector<uint16_t>& GetTriangleNeighbours() override;
    const float* GetBoundingBox() override;
    const float* GetBoundingSphere() override { return m_sphere; }
    int32_t SetDebugFlags(uint32_t flags) override;
    float GetCustomValue() override { return m_customValue; }
    int32_t SetCustomValue(float value) override;
    int32_t SetTextureOverride(int32_t row, int32_t slot, IKVUnknownRef* texture) override;
    int32_t SetMaterial(const KV3DMaterial* material) override;
    int32_t SetPaused(bool paused) override;

    // Operations of the instance itself.
    // Point pairs: a small wire cube on every node and a line to its parent.
    virtual const std::vector<KV3DVector>& GetSkeletonLines();
    // The override at (row, slot), or null.
    virtual IKVUnknownRef* GetTextureOverride(int32_t row, int32_t slot);

    // Every change of the transform moves the bounding sphere with it.
    int32_t OnPositionChanged() override;
    int32_t OnRotationChanged() override;
    int32_t OnScaleChanged() override;

    // Pose, root parameter, skin and blend shapes, joint box.
    void Recompute();
    // Skins and morphs the CPU copies from the current pose.
    void ApplySkin();

    // State, for the mesh's own tests and tools.
    KV3DData* GetCurrentData() const;
    const KV3DMaterial& GetMaterial() const { return m_material; }
    uint32_t GetDebugFlags() const { return m_debugFlags; }
    bool IsPaused() const { return m_paused != 0; }
    int32_t GetActiveBlendShapeCount() const { return m_activeBlendShapes; }
    const std::vector<float>& GetBlendShapeWeights() const { return m_blendWeights; }
    const KV3DTrack* GetTrack(int32_t track) const;
    size_t GetTrackCount() const { return m_tracks.size(); }
    const float* GetNodeMatrix(int32_t node) const;
    const float* GetSubmeshMatrix(int32_t submesh) const;
    bool IsSubmeshMatrixSet(int32_t submesh) const;
    // The CPU copy of a submesh's vertices, or null.
    const uint8_t* GetCpuVertices(int32_t submesh) const;
    const float* GetJointBox() const { return m_jointBox; }
    const NodeTransform& GetBlendedRootParams() const { return m_rootParams; }
    bool HasSubmeshAnimation() const { return m_submeshAnimation != 0; }
    bool AreParamsChanged() const { return m_paramsChanged != 0; }

protected:
    ~KV3DMesh() override;

private:
    // One animation: a file of the list that has channels, and where its
    // channels land in the current mesh data.
    struct Animation {
        KV3DData* data = nullptr;             // held by the data list
        std::vector<int32_t> nodeChannelMap;  // per node channel: node or -1
        std::vector<int32_t> nodeMap;         // per node: its channel or -1
        std::vector<int32_t> submeshMap;      // per submesh channel: submesh or -1
    };

    // --- KV3DMesh.cpp
    // Lets go of the data and sets the values every load starts from.
    void Reset();
    // Chooses the current data and sizes the instance from it.
    int32_t Build(uint32_t flags);
    void ReleaseData();
    void UpdateSphere();
    // The current data after telling the resource manager it is used.
    KV3DData* TouchCurrent();
    static void TouchData(KV3DData* data);
    // Node and submesh counts that both the data and the instance have.
    size_t NodeCount(const KV3DData& data) const;
    size_t SubmeshCount(const KV3DData& data) const;
    void RecomputeJointBox();
    void MapChannels(Animation* animation);
    // Whether the part is drawn in the transparent pass: its flag and the
    // alpha blend of its own material (`own`, its file's), or of the mesh's
    // record when the file gives it none.
    bool IsBlendedPart(const KV3DPart& part, const KV3DPartMaterial* own) const;

    // --- KV3DMeshLists.cpp
    // Makes the current data's geometry resident again when it was let go.
    void MakeResident(KV3DData* data);
    void BuildVertexList(KV3DData* data);

    // --- KV3DMeshDraw.cpp
    void DrawSubmesh(const KV3DData& data, size_t index, int32_t pass);
    void DrawSkeleton();

    // --- KV3DMeshAnimation.cpp
    Animation* AnimationOf(const KV3DTrack& track);
    KV3DTrack* FindTrack(int32_t track);
    // A track and its animation both exist.
    KV3DTrack* CheckedTrack(int32_t track);
    void AdvanceTrack(KV3DTrack& track, float dt);
    void CollectEvents(KV3DTrack& track, const KV3DData& data);

    // --- KV3DMeshPose.cpp
    void ComputePose();
    void BlendRootParams();
    // A channel at time t (frames) over the default matrix.
    static NodeTransform Sample(const KV3DChannel& channel, float t, const float defaultMatrix[16], bool loop,
                                uint32_t frames);
    // Node `node` sampled for the animation at time t, or its local matrix.
    NodeTransform SampleNode(const Animation& animation, const KV3DData& current, size_t node, float t,
                             bool loop) const;

    // --- KV3DMeshSkin.cpp
    void SkinSubmesh(const KV3DData& data, size_t index);
    void MorphSubmesh(const KV3DData& data, size_t index);
    // Counts the weights above 0 and, past four, sets the smallest to 0.
    void TrimBlendShapes();
    bool CpuCopyFits(const KV3DData& data, size_t index) const;

    float m_jointBox[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    float m_worldBox[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    float m_sphere[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::vector<KV3DVector> m_skeletonLines;
    std::vector<KV3DTrack> m_tracks;
    uint32_t m_debugFlags = 0;
    float m_customValue = 0.0f;
    std::vector<KV3DData*> m_data;  // one reference each
    std::vector<Animation> m_animations;
    std::vector<float> m_nodeMatrices;     // 16 per node
    std::vector<float> m_submeshMatrices;  // 16 per submesh
    std::vector<uint8_t> m_submeshSet;     // per submesh: set by the last pose
    std::vector<NodeTransform> m_nodeTransforms;
    std::vector<std::vector<uint8_t>> m_cpuVertices;  // per submesh, empty unless CPU-processed
    float* m_palette = nullptr;                        // 16-byte aligned, m_paletteSize matrices
    size_t m_paletteSize = 0;
    NodeTransform m_rootParams;
    uint8_t m_paramsChanged = 0;
    int32_t m_current = -1;
    KV3DMaterial m_material;
    std::vector<std::vector<IKVUnknownRef*>> m_textureOverrides;  // one reference each
    uint8_t m_paused = 0;
    std::vector<float> m_blendWeights;
    int32_t m_activeBlendShapes = 0;
    std::vector<uint16_t> m_indexList;
    std::vector<KV3DVertex> m_vertexList;
    std::vector<uint16_t> m_neighbours;
    float m_vertexListMatrix[16];  // the world matrix the vertex list was built with
    uint8_t m_listsRefused = 0;    // more vertices or triangles than 16-bit numbers reach
    uint8_t m_submeshAnimation = 0;
};

} // namespace kvl
