#pragma once
// A planar mirror of the 3D scene (class "Mirror"): owns a mirror object of
// the 3D module and drives its size, mask, transparency and material; keeps
// the mirror's plane in world space, numbers itself in the scene manager's
// mirror list every frame and draws itself in the mirror pass.
#include <cstdint>
#include <string>

#include "../units/IKVUnit3DMirror.h"
#include "../units/IKVSceneManager.h"
#include "../units/KVUnitDisplay3D.h"

namespace kvl {

class IKVMirror;
class IKVResourceTexture;

class KVUnit3DMirror : public KVUnitDisplay3D, public IKVUnit3DMirror {
public:
    static constexpr uint64_t kClassId = 0x001F6F0861F39BF9ull;
    static constexpr uint64_t kSizeId = 0x00444533B71BA1ECull;
    static constexpr uint64_t kMaskId = 0x0062B7B03716D590ull;
    static constexpr uint64_t kTransparentId = 0x004F30E67AD9543Cull;
    static constexpr uint64_t kShaderId = 0x005AEAC8EE3EEA88ull;

    static KVUnit* Create() { return new KVUnit3DMirror; }
    // Registers class "Mirror" and its attributes; the class index, or -1.
    static int32_t RegisterClass();

    // IKVUnknown: also IKVUnit3DMirror.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // KVUnit
    void Init() override;
    void Close() override;
    void QueryVisible(bool* out, int32_t layerIndex) override;
    // The pick ray against the drawn rectangle; depth is not written.
    bool IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) override;
    // KVUnit3D: the plane follows.
    void ApplyPosition() override;
    void ApplyRotation() override;

    // IKVUnit3DMirror: pass 1 first gives the object the material of the
    // unit's "Shader" (the default without one); both passes draw.
    int32_t ApplyUnitShader(int32_t pass) override;
    const float* GetPlane() override { return m_plane; }

    // The "Mask" hook: the texture of the path while the unit is enabled;
    // 1 when it cannot be made.
    int32_t LoadMask();
    // The size and transparency hooks.
    void ApplySize();
    void ApplyTransparent();
    // Plane {d, n}: n the object's local Y axis in world space, d = −n·Position.
    void UpdatePlane();

    IKVMirror* GetMirror() const { return m_mirror; }
    int32_t GetMirrorNumber() const { return m_number; }
    IKVResourceTexture* GetMask() const { return m_mask; }
    // The mirror's own "Shader" (scripts naming "Shader" reach the display
    // base's, registered first).
    IKVUnitRef* GetMirrorShaderRef() const { return m_mirrorShader; }

protected:
    ~KVUnit3DMirror() override;

private:
    void ReleaseMask();
    void ReleaseAll();

    float m_size[2] = {1.0f, 1.0f};
    std::string m_maskPath;
    bool m_transparent = true;
    IKVMirror* m_mirror = nullptr;
    IKVUnitRef* m_mirrorShader = nullptr;
    int32_t m_number = 0;
    IKVResourceTexture* m_mask = nullptr;
    float m_plane[4] = {-0.0f, 0.0f, 1.0f, 0.0f};
};

} // namespace kvl
