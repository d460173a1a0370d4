#include "KV3DMirror.h"

#include "KV3DInterface.h"

namespace kvl {

namespace {

// Corners in strip order: 0 (-x, -z), 1 (+x, -z), 2 (-x, +z), 3 (+x, +z).
// Each table covers the quad once with both triangles wound alike; the two
// tables wind opposite ways.
constexpr uint16_t kRightHandedIndices[6] = {0, 1, 3, 0, 3, 2};
constexpr uint16_t kLeftHandedIndices[6] = {0, 3, 1, 0, 2, 3};

// The bits of the fields the mirror imposes: colour write, z-buffer write,
// alpha test, alpha reference, alpha blend and texture count.
constexpr uint32_t kMirrorOwnFields = KV_MATERIAL_COLOR_WRITE | KV_MATERIAL_ZBUFFER_WRITE | KV_MATERIAL_ALPHA_TEST |
                                      KV_MATERIAL_ALPHA_REFERENCE | KV_MATERIAL_ALPHA_BLEND |
                                      KV_MATERIAL_TEXTURE_COUNT;
static_assert(kMirrorOwnFields == 0x10EA0, "the mirror's own fields");

void PlaceCorners(KV3DVertex* quad, float width, float height) {
    const float x = width / 2.0f;
    const float z = height / 2.0f;
    const float xs[4] = {-x, x, -x, x};
    const float zs[4] = {-z, -z, z, z};
    for (int i = 0; i < 4; ++i) {
        quad[i].x = xs[i];
        quad[i].y = 0.0f;
        quad[i].z = zs[i];
    }
}

} // namespace

KV3DMirror::KV3DMirror(const uint16_t* indices) : m_indices(indices ? indices : IndicesFor(true)) {
    const float us[4] = {1.0f, 0.0f, 1.0f, 0.0f};
    const float vs[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    for (int i = 0; i < 4; ++i) {
        m_quad[i].ny = 1.0f;
        m_quad[i].color = 0xFFFFFFFFu;
        m_quad[i].u = us[i];
        m_quad[i].v = vs[i];
    }
    PlaceCorners(m_quad, m_width, m_height);
}

const uint16_t* KV3DMirror::IndicesFor(bool rightHanded) {
    return rightHanded ? kRightHandedIndices : kLeftHandedIndices;
}

int32_t KV3DMirror::SetSize(const float* size) {
    if (!size) return KV_OK;
    m_width = size[0];
    m_height = size[1];
    PlaceCorners(m_quad, m_width, m_height);
    return KV_OK;
}

int32_t KV3DMirror::SetTexture(KVResourceTexture* texture) {
    m_texture = texture;
    return BuildMaterial();
}

int32_t KV3DMirror::SetTransparent(uint32_t transparent) {
    m_transparent = uint8_t(transparent & 0xFFu);
    return KV_OK;
}

int32_t KV3DMirror::SetMaterial(const KV3DMaterial* material) {
    if (material) m_user = *material;
    return BuildMaterial();
}

int32_t KV3DMirror::BuildMaterial() {
    const uint8_t textured = m_texture ? 1 : 0;
    m_effective = KV3DMaterial();
    m_effective.overrideFlags = kMirrorOwnFields;
    m_effective.colorWrite = textured;
    m_effective.textureCount = textured;
    m_effective.alphaReference = 0;
    m_effective.alphaBlend = 1;
    m_effective.zBufferWrite = 1;
    m_effective.alphaTest = 1;
    KV3DMergeMaterial(m_effective, m_user);
    return KV_OK;
}

int32_t KV3DMirror::Draw(uint32_t value, int32_t pass) {
    IKVGraphicDevice3D* device = KV3DInterface::Device();
    if (!device) return KV_OK;
    device->SetTransform(1, GetMatrix());

    const uint8_t textured = m_texture ? 1 : 0;
    KV3DMaterial material;
    if (pass != 0) {
        material = m_effective;
    } else {
        // Marks the mirror's area without drawing colour or depth.
        material.colorWrite = 0;
        material.zBufferWrite = 0;
        material.alphaTest = textured;
        material.alphaReference = 255;
        material.extraSwitch1 = 1;
        material.textureCount = textured;
        material.extraWord2 = 1;
        material.extraWord3 = value;
    }
    device->SetMaterial(&material, 0);

    if (KVGraphic* graphic = KV3DInterface::Graphic()) {
        graphic->SetTextureStage(0, m_texture);
        graphic->ResetTextureStages();
    }
    device->SetVertexData(m_quad, 4, KV3D_VERTEX_STRIDE, 0);
    device->DrawIndexed(m_indices, 6);
    return KV_OK;
}

} // namespace kvl
