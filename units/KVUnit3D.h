#pragma once
// The base of every unit placed in the 3D scene (class "Unit3D"): Position,
// Rotation and Scale pushed into the unit's 3D object, a 4x4 world matrix,
// and the attachment to a named node of a mesh unit, which the unit then
// follows every frame.
//
// For classes built on it:
//   - Make the unit's 3D object in Init (after the base's) and hand it over
//     with SetObject3D: the base owns that reference, registers itself as
//     the object's owner, pushes the attributes into it (ApplyPosition,
//     ApplyRotation, ApplyScale; the enable pass runs them in phase 1) and
//     releases it in Close.
//   - Override the Apply operations to do more after a push (call the base
//     first).
//   - Get3DModule and GetDevice3D are the 3D module's object factory and the
//     graphic device's 3D face, looked up at each Init (null when absent).
//   - Each frame (the unit is marked for per-frame update) an attached unit
//     moves its 3D object onto the mesh node; its own attributes stay.
//
// Split: KVUnit3D.cpp (placement, matrix, attachment), KVUnit3DFollow.cpp
// (the follow step), KVUnit3DLib.cpp (class registration, script methods).
#include <cstdint>
#include <string>

#include "IKVUnit3D.h"
#include "KV3DTypes.h"
#include "KVUnit.h"

namespace kvl {

class IKV3D;
class IKVGraphicDevice3D;
class IKVMeshNodes;
class IKVObject3D;

class KVUnit3D : public KVUnit, public virtual IKVUnit3D {
public:
    static constexpr uint64_t kClassId = 0x001BFA31A4A1E5E8ull;
    static constexpr uint64_t kPositionId = 0x006DC45310AD9600ull;
    static constexpr uint64_t kRotationId = 0x005AB8D010EF8FA0ull;
    static constexpr uint64_t kScaleId = 0x0001C21774263F56ull;
    static constexpr uint64_t kAutoClippedId = 0x0053D5119F1CF8F0ull;

    static KVUnit* Create() { return new KVUnit3D; }
    // Registers class "Unit3D", its attributes and its script methods; the
    // class index, or -1.
    static int32_t RegisterClass();
    // The unit object when it is a 3D unit, else null.
    static KVUnit3D* FromUnit(IKVUnknown* unit);

    static IKV3D* Get3DModule() { return s_3D; }
    static IKVGraphicDevice3D* GetDevice3D() { return s_device3D; }

    // out = the node transform a expressed against b: translation a + the
    // translation of (T·R·S of b)⁻¹, rotation b̄ ⊗ a, scale a / b.
    static void ComposeNodeTransform(NodeTransform* out, const NodeTransform& a, const NodeTransform& b);

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    void Close() override;
    void ResetState() override;
    // When visible with AutoClipped, queues {Position, 0} as a 3D draw item.
    void QueryVisible(bool* out, int32_t layerIndex) override;
    // After the base's update, follows the attached mesh node.
    void Update(float dt) override;

    // Push the stored vector into the 3D object (not while pulling).
    virtual void ApplyPosition();
    virtual void ApplyRotation();
    virtual void ApplyScale();

    // IKVUnit3D
    KV3DVector* GetPosition() override { return &m_position; }
    void SetPosition(const KV3DVector& position) override;
    KV3DVector* GetRotation() override { return &m_rotation; }
    void SetRotation(const KV3DVector& rotation) override;
    KV3DVector* GetScale() override { return &m_scale; }
    void SetScale(const KV3DVector& scale) override;
    void GetWorldMatrix(float* out) override;
    void CopyTransformFrom(IKVObject3D* other) override;
    int32_t AttachToMesh(IKVUnit* mesh, const std::string& node) override;
    void DetachFromMesh() override;
    IKVMeshNodes* GetAttachedMesh() override;
    // IKVObject3DOwner: pulls the object's transform into the attributes.
    int32_t SyncFromObject3D() override;

    // The unit's 3D object (one reference owned by the unit), or null.
    IKVObject3D* GetObject3D() const { return m_object; }
    // Takes over the reference; the previous object is let go.
    void SetObject3D(IKVObject3D* object);
    int32_t GetAttachedMeshIndex() const { return m_attachedMesh; }
    int32_t GetMeshNode() const { return m_meshNode; }
    bool GetAutoClipped() const { return m_autoClipped; }

protected:
    ~KVUnit3D() override;

    IKVObject3D* m_object = nullptr;
    KV3DVector m_position;
    KV3DVector m_rotation;
    KV3DVector m_scale{1.0f, 1.0f, 1.0f};
    int32_t m_attachedMesh = -1;
    int32_t m_meshNode = -1;
    // False while the unit itself writes into its 3D object.
    bool m_applyIdle = true;
    // True while the unit copies its object's transform into its attributes.
    bool m_pulling = false;
    bool m_autoClipped = true;

private:
    // One frame of following the attached mesh node.
    void FollowMeshNode();
    void ReleaseObject();

    static IKV3D* s_3D;
    static IKVGraphicDevice3D* s_device3D;
};

} // namespace kvl
