#pragma once
// The mesh unit (class "Mesh"): loads one mesh instance from its files,
// places and draws it with its shader's material, plays its animations on
// layers of four tracks with cross-fades, raises the animation events, and
// turns the cameras, lights and curves of the mesh file into child units.
//
// Split: KVUnitMesh.cpp (life, loading, drawing, picking, the IKVUnitMesh
// queries), KVUnitMeshAnimation.cpp (layers, requests, the update, root
// motion), KVUnitMeshClass.cpp (class registration and script methods).
#include <cstdint>
#include <string>
#include <vector>

#include "../units/IKVSceneManager.h"
#include "../units/IKVUnitMesh.h"
#include "../units/KVUnitDisplay3D.h"
#include "IKVMesh.h"
#include "KV3DSpriteUser.h"

namespace kvl {

class IKVMeshAnimationListener;

// One layer: four track slots used in turn, the request waiting, loops.
struct MeshAnimationLayer {
    int32_t slotAnimations[4] = {0, 0, 0, 0};
    int32_t currentSlot = 0;
    uint8_t pending = 0;
    MeshAnimationRequest request;
    int32_t loopsLeft = 0;
    float transitionUsed = -1.0f;
    int32_t slotReceivers[4] = {-1, -1, -1, -1};
    uint8_t stopped = 1;
    uint8_t endNotice = 1;
    uint8_t interruptible = 1;
    uint8_t hasRun = 0;
};

class KVUnitMesh : public KVUnitDisplay3D, public IKVUnitMesh {
public:
    static constexpr uint64_t kClassId = 0x005FFDDAD7109E30ull;
    static constexpr uint64_t kMeshId = 0x005EDEA36D80E3C8ull;
    static constexpr uint64_t kTransitionDelayId = 0x002B95437582BB1Eull;
    static constexpr uint64_t kAnimationSpeedId = 0x003D2A3B49139072ull;
    static constexpr uint64_t kAutoAnimationId = 0x000A761DE7B7A4FDull;
    static constexpr uint64_t kMirrorReflectableId = 0x001198D9B78F1D70ull;
    static constexpr uint64_t kAnimationLoopId = 0x00681D279CA39DE4ull;
    static constexpr uint64_t kAnimatedInvisibleId = 0x00612C8538CDCC8Cull;
    static constexpr uint64_t kIlluminationId = 0x00101D6D6604FD00ull;
    static constexpr uint64_t kFrozenId = 0x001D58C0FFE8B252ull;
    static constexpr uint64_t kAnimatedPositionId = 0x001ADA95C8170BE2ull;
    static constexpr uint64_t kAnimatedRotationId = 0x0043323B9ACA2788ull;
    static constexpr uint64_t kAnimatedScaleId = 0x001BFE61FA2534B1ull;
    static constexpr uint64_t kDebugFlagsId = 0x0036E07AA514E110ull;
    static constexpr uint64_t kBlendshapeNamesId = 0x0065208FF75973E8ull;
    static constexpr uint64_t kTextureSpriteId = 0x006ED75DCE772EF0ull;
    // Generated children (cameras, lights, curves of the mesh file).
    static constexpr uint32_t kGeneratedChild = 0x200000;
    // Layers a caller may name; tracks are four per layer.
    static constexpr int32_t kMaxLayers = 64;

    static KVUnit* Create() { return new KVUnitMesh; }
    // Registers class "Mesh", its attributes and script methods; the class
    // index, or -1.
    static int32_t RegisterClass();
    // The unit object when it is a mesh unit, else null.
    static KVUnitMesh* FromUnit(IKVUnknown* unit);

    // IKVUnknown: IKVUnitMesh, and IID_IKVMesh while a mesh is loaded.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // KVUnit
    void Init() override;
    void Close() override;
    void ResetState() override;
    void AttachHandler() override;
    void Update(float dt) override;
    void Draw() override;
    void OnReferenceDropped(IKVUnitRef* ref) override;
    void QueryVisible(bool* out, int32_t layerIndex) override;
    // The segment of the camera's pick ray against the bounding box; a unit
    // without a mesh is never hit.
    bool IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) override;
    // KVUnit3D
    void ApplyPosition() override;
    void ApplyRotation() override;
    void ApplyScale() override;
    // IKVUnitDisplay3D: drawn reflected in the plane; the transparent pass.
    int32_t DrawMirrored(const float* plane, int32_t mirror) override;
    int32_t PrepareDraw() override;

    // Attribute hooks.
    virtual int32_t LoadMesh();
    virtual int32_t RefreshAnimationList();
    virtual int32_t ApplyDebugFlags();
    virtual int32_t ApplyIllumination();
    virtual int32_t ApplyFrozen();
    virtual int32_t SetTextureSprite();
    // Changes nothing: 1.
    virtual int32_t ReplaceTexture(const std::string& name, const std::string& file);

    // IKVUnitMesh
    int32_t IntersectRay(const KV3DVector* origin, const KV3DVector* direction, KV3DVector* hit, int32_t* triangle,
                         bool nearest) override;
    int32_t GetLayerAnimation(int32_t layer) override;
    int32_t PlayAnimation(int32_t layer, const MeshAnimationRequest* request) override;
    int32_t StopAnimation(int32_t layer, const MeshAnimationRequest* request) override;
    int32_t SetAnimationSpeedFactor(int32_t animation, float factor) override;
    int32_t GetLayerTime(int32_t layer, float* seconds) override;
    int32_t SetLayerTime(int32_t layer, float seconds) override;
    int32_t GetAnimationLength(int32_t animation, float* seconds) override;
    const float* GetBoundingBox() override;
    int32_t FindAnimation(const std::string& name) override;
    std::string GetAnimationName(int32_t index) override;
    float GetIllumination() override { return m_illumination; }
    void SetIllumination(float value) override;
    float GetTransitionDelay() override { return m_transitionDelay; }
    void SetTransitionDelay(float seconds) override { m_transitionDelay = seconds; }
    const KV3DQuaternion* GetAnimatedOrientation() override { return &m_animatedOrientation; }
    const KV3DVector* GetAnimatedPosition() override { return &m_animatedPosition; }
    const KV3DVector* GetAnimatedRotation() override { return &m_animatedRotation; }
    const KV3DVector* GetAnimatedScale() override { return &m_animatedScale; }
    int32_t SetBlendshapeWeight(const std::string& name, float weight) override;
    const KV3DMaterial* GetShaderMaterial() override;

    // For the script methods and tests.
    IKVMesh* GetMesh() const { return m_mesh; }
    const std::string& GetMeshText() const { return m_meshText; }
    const std::vector<KV3DAnimationInfo>& GetAnimationInfos() const { return m_infos; }
    const std::vector<std::string>& GetBlendshapeNames() const { return m_blendshapeNames; }
    const std::vector<MeshAnimationLayer>& GetLayers() const { return m_layers; }
    const std::vector<float>& GetSpeedFactors() const { return m_speedFactors; }
    IKVUnitRef* GetTextureSpriteRef() const { return m_textureSprite; }
    // The named curve's point at t (clamped to [0, 1]) searched from the
    // start segment; the segment, or -1 when no curve has that name.
    int32_t GetCurvePosition(const std::string& name, float t, int32_t start, KV3DVector* out);
    // Recomputes the animated transform from the mesh's root transform.
    void UpdateAnimatedTransform();
    // Rebases the tracks of layer 0 on its current track.
    void ResetAnimationTransformation();

protected:
    ~KVUnitMesh() override;

private:
    struct EndEvent {
        int32_t receiver;
        int32_t animation;
        int32_t reason;
    };
    struct TrackEvent {
        int32_t receiver;
        std::string animation;
        std::string name;
    };

    void ReleaseGenerated();
    void MakeChildren();
    KVUnit* MakeChild(const char* className, const std::string& name);
    void DrawWith(const KV3DMaterial* caller);
    // Clears the texture the linked sprite handed the mesh.
    void DropSpriteTexture();
    // Animation control.
    MeshAnimationLayer* Layer(int32_t layer);
    void Start(int32_t layer);
    void Stop(int32_t layer, int32_t reason, const MeshAnimationRequest* request);
    void NotifyEnd(int32_t layer, int32_t slot, int32_t reason);
    void TryAutoAnimation();
    void UpdateLayers();
    // Script events wait until the layers are consistent again, so that a
    // handler may start, stop or reload freely; raised by the outermost
    // operation.
    void FlushEvents();
    void ClearAnimationState();

    IKVUnitRef* m_textureSprite = nullptr;
    KV3DSpriteUser m_spriteUser;
    IKVMesh* m_mesh = nullptr;
    std::string m_meshText;
    std::vector<std::string> m_blendshapeNames;
    // The names as the read-only attribute shows them, "|" between them.
    std::string m_blendshapeText;
    uint8_t m_boundsDirty = 1;
    float m_box[6] = {0, 0, 0, 0, 0, 0};
    float m_transitionDelay = 0.2f;
    std::vector<float> m_speedFactors;
    float m_animationSpeed = 1.0f;
    std::vector<MeshAnimationLayer> m_layers;
    uint32_t m_animationLoop = 0;
    IKVMeshAnimationListener* m_listener = nullptr;
    bool m_autoAnimation = true;
    bool m_mirrorReflectable = false;
    bool m_animatedInvisible = false;
    bool m_frozen = false;
    uint8_t m_applyingRootMotion = 0;
    uint32_t m_debugFlags = 0;
    float m_illumination = 1.0f;
    std::vector<KV3DAnimationInfo> m_infos;
    std::vector<std::vector<int32_t>> m_endRecords;
    NodeTransform m_transition;
    NodeTransform m_root;
    KV3DVector m_animatedPosition;
    KV3DVector m_animatedRotation;
    KV3DVector m_animatedScale{1.0f, 1.0f, 1.0f};
    KV3DQuaternion m_animatedOrientation;
    KV3DVector m_positionCopy;
    KV3DVector m_scaleCopy{1.0f, 1.0f, 1.0f};
    // What the animated orientation was last worked out from.
    KV3DQuaternion m_orientationRoot;
    KV3DVector m_orientationRotation;
    bool m_orientationValid = false;
    // Events waiting for the outermost operation to end.
    std::vector<EndEvent> m_endEvents;
    std::vector<TrackEvent> m_trackEvents;
    int32_t m_depth = 0;
};

} // namespace kvl
