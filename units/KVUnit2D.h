#pragma once
// The base of every unit that lives in the 2D plane (class "Unit2D"): the
// placement attributes, a local transform, a world transform composed with
// the 2D parent's, its inverse, and an effective clip window composed with
// the ancestors' windows. Hit tests, point collisions and clipping use them.
//
// For classes built on it:
//   - The transforms and the window are caches. Every placement setter, a
//     new parent and Refresh recompute them, and the recomputation cascades
//     to the 2D children in children order.
//   - Override UpdateTransform to place the unit differently (call the base
//     or build the three transforms the same way); OnResize to react to a
//     new Dimension (the base resets the bounds); OnOutlineChanged to use
//     the "Outline" points (the enable pass runs it in phase 1).
//   - The unit answers IKVUnit2D and IKVUnit2DTransform (the graphic
//     module's SetOffset2D re-places every enabled 2D unit through it).
//   - A singular world transform (|det| < 0.0001) keeps the previous inverse
//     and the unit answers no to every point test until it is regular again.
//
// Split: KVUnit2D.cpp (placement, windows, point tests),
// KVUnit2DClass.cpp (registration and attribute forwarders).
#include <cstdint>

#include "../graphics/IKVGraphicDevice.h"
#include "IKVUnit2D.h"
#include "IKVUnit2DTransform.h"
#include "KV2DTempl.h"
#include "KV2DTransform.h"
#include "KVUnit.h"

namespace kvl {

class KVUnit2D : public KVUnit, public virtual IKVUnit2D, public IKVUnit2DTransform {
public:
    static constexpr uint64_t kClassId = 0x00379C696A716AA0ull;
    static constexpr uint64_t kScaleId = 0x003E41334C85C150ull;
    static constexpr uint64_t kPositionId = 0x001299DD27CDA4E8ull;
    static constexpr uint64_t kDimensionId = 0x006D5D2135285A40ull;
    static constexpr uint64_t kOutlineId = 0x004FA6980695016Cull;
    static constexpr uint64_t kAnchorsId = 0x0049F2DBC2523DBCull;
    static constexpr uint64_t kNoOffsetId = 0x003F8C095FF13F98ull;
    static constexpr uint64_t kRotationId = 0x000A4489162DAE5Dull;
    static constexpr uint64_t kWindowId = 0x000E399B22082AABull;
    static constexpr uint64_t kRotationAxisId = 0x000C34CD10D7AF53ull;
    static constexpr uint64_t kWindowRelativeId = 0x0055C18D9ABD2938ull;

    static KVUnit* Create() { return new KVUnit2D; }
    // Registers class "Unit2D" and its attributes; the class index, or -1.
    static int32_t RegisterClass();
    static int32_t GetUnit2DClassIndex() { return s_classIndex; }

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    void Close() override;
    int32_t Load() override;
    void Refresh() override;
    void OnParentChanged() override;
    bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) override;
    // As target: yes. Otherwise a point collision (type 1) with another 2D
    // unit: its centre lies in this unit's Dimension.
    bool CollidesWith(IKVUnit* other, bool asTarget, int32_t type) override;

    // Operations the classes extend.
    virtual void OnResize();
    virtual void OnOutlineChanged() {}
    virtual void UpdateWindow();
    virtual void ResetBounds();
    // IKVUnit2DTransform; the argument is not used by the base.
    void UpdateTransform(int32_t value) override;
    virtual void RefreshTransform();

    // IKVUnit2D
    KV2DTempl<float>* GetPosition() override { return &m_position; }
    void SetPosition(float x, float y) override;
    KV2DTempl<int32_t>* GetDimension() override { return &m_dimension; }
    void SetDimension(int32_t width, int32_t height) override;
    float GetRotation() override { return m_rotation; }
    void SetRotation(float radians) override;
    bool GetNoOffset() override { return m_noOffset; }
    void SetNoOffset(bool noOffset) override;
    KVDeviceRect* GetWindow() override { return &m_window; }
    void SetWindow(const KVDeviceRect& window) override;

    // IsPointInside's test that also writes the point's local coordinates
    // back into the point (when the window test passed).
    bool HitTest(KV2DTempl<int32_t>* point, float* depth);
    // The centre of another 2D unit in this unit's local coordinates.
    KV2DTempl<int32_t> LocalCenterOf(KVUnit2D* other);
    // Rotation summed over the unit and its chain of 2D parents.
    float GetAbsoluteRotation();

    // The 2D parent: the Parent unit when it is valid and 2D, else null.
    KVUnit2D* Get2DParent();
    // The unit at that index when it is of a 2D class, else null.
    static KVUnit2D* As2D(int32_t unitIndex);
    // The unit object when it is a 2D unit, else null.
    static KVUnit2D* FromUnit(IKVUnknown* unit);

    const KV2DTempl<float>& GetScale() const { return m_scale; }
    const KV2DTempl<int32_t>& GetRotationAxis() const { return m_rotationAxis; }
    bool GetAnchorRight() const { return m_anchors[0]; }
    bool GetAnchorBottom() const { return m_anchors[1]; }
    bool GetWindowRelative() const { return m_windowRelative; }
    const KVPositionList& GetOutline() const { return m_outline; }
    const KVDeviceRect& GetBounds() const { return m_bounds; }
    const KVDeviceRect& GetEffectiveWindow() const { return m_effectiveWindow; }
    const KV2DTransform& GetLocalTransform() const { return m_local; }
    const KV2DTransform& GetWorldTransform() const { return m_world; }
    const KV2DTransform& GetInverseTransform() const { return m_inverse; }
    // The world transform had no inverse at its last computation.
    bool IsSingular() const { return m_singular; }

    static bool IsNonEmpty(const KVDeviceRect& r) { return r.left < r.right && r.top < r.bottom; }

protected:
    ~KVUnit2D() override = default;

    // The effective window of this unit alone, from its Window and its 2D
    // parent's effective window.
    void ComputeWindow();
    // One kind of work (the transforms, the windows) carried down the 2D
    // children in children order, a unit before its children, without
    // recursion: a child that the cascade reached, calling on in its turn,
    // adds its own children to that cascade.
    struct Cascade;
    static Cascade s_transformCascade;
    static Cascade s_windowCascade;
    template <class F>
    void For2DChildren(Cascade& cascade, F f);

    KV2DTempl<float> m_position;
    KV2DTempl<int32_t> m_dimension;
    KV2DTempl<float> m_scale{1.0f, 1.0f};
    KVPositionList m_outline;
    bool m_anchors[2] = {false, false};  // right, bottom
    bool m_noOffset = false;
    float m_rotation = 0.0f;
    KVDeviceRect m_bounds = {0, 0, 0, 0};
    KVDeviceRect m_window = {0, 0, 0, 0};
    bool m_windowRelative = false;
    KVDeviceRect m_effectiveWindow = {0, 0, 0, 0};
    KV2DTempl<int32_t> m_rotationAxis;
    KV2DTransform m_local;
    KV2DTransform m_world;
    KV2DTransform m_inverse;
    bool m_singular = false;
    // Set while Refresh places the unit for its enable.
    bool m_enabling = false;

private:
    static int32_t s_classIndex;
};

} // namespace kvl
