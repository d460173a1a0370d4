#pragma once
// A mirror object: a flat quad in the object's XZ plane (surface normal +Y)
// with an optional mask texture and a material of which the mirror imposes
// its own blending settings.
#include "../graphics/KVResourceTexture.h"
#include "../units/KV3DTypes.h"
#include "IKVMirror.h"
#include "KV3DMaterial.h"
#include "KV3DObject.h"

namespace kvl {

class KV3DMirror : public KV3DCountedObject<IKVMirror> {
public:
    // `indices`: the six indices of the quad's two triangles, the 3D
    // module's table (see KV3D::MirrorIndices).
    explicit KV3DMirror(const uint16_t* indices);

    int32_t SetSize(const float* size) override;
    int32_t SetTexture(KVResourceTexture* texture) override;
    int32_t SetTransparent(uint32_t transparent) override;
    int32_t Draw(uint32_t value, int32_t pass) override;
    int32_t SetMaterial(const KV3DMaterial* material) override;

    // The effective material: the default, the mirror's own settings, then
    // every field the user material imposes and the mirror leaves free.
    int32_t BuildMaterial();

    const KV3DVertex* GetQuad() const { return m_quad; }
    const KV3DMaterial& GetUserMaterial() const { return m_user; }
    const KV3DMaterial& GetEffectiveMaterial() const { return m_effective; }
    uint8_t GetTransparent() const { return m_transparent; }
    // The six indices of the quad's two triangles, the same for every
    // mirror of one module.
    const uint16_t* QuadIndices() const { return m_indices; }
    // The table that winds the quad's triangles for a scene of the given
    // handedness.
    static const uint16_t* IndicesFor(bool rightHanded);

protected:
    ~KV3DMirror() override = default;

private:
    const uint16_t* m_indices;
    KV3DVertex m_quad[4];
    float m_width = 1.0f;
    float m_height = 1.0f;
    KVResourceTexture* m_texture = nullptr;
    uint8_t m_transparent = 1;
    KV3DMaterial m_user;
    KV3DMaterial m_effective;
};

} // namespace kvl
