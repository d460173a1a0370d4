#include "KV3DParticleRender.h"

#include "../units/KV3DMath.h"
#include "KV3DInterface.h"
#include "KV3DMaterial.h"
#include "KV3DParticle.h"

namespace kvl {

KV3DParticleRender::KV3DParticleRender(bool rightHanded) {
    const float us[4] = {0.0f, 1.0f, 0.0f, 1.0f};
    const float vs[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    for (uint32_t q = 0; q < kMaxQuads; ++q) {
        for (uint32_t c = 0; c < 4; ++c) {
            m_vertices[4 * q + c].u = us[c];
            m_vertices[4 * q + c].v = vs[c];
        }
        const uint16_t b = uint16_t(4 * q);
        const uint16_t right[6] = {uint16_t(b + 2), b, uint16_t(b + 1), uint16_t(b + 2), uint16_t(b + 1),
                                   uint16_t(b + 3)};
        const uint16_t left[6] = {uint16_t(b + 2), uint16_t(b + 1), b, uint16_t(b + 2), uint16_t(b + 3),
                                  uint16_t(b + 1)};
        const uint16_t* quad = rightHanded ? right : left;
        for (uint32_t i = 0; i < 6; ++i) m_indices[6 * q + i] = quad[i];
    }
}

void KV3DParticleRender::TransformPoint(const float* matrix, float* point) {
    const float p[3] = {point[0], point[1], point[2]};
    for (int row = 0; row < 3; ++row) {
        const float* r = matrix + 4 * row;
        point[row] = r[0] * p[0] + r[1] * p[1] + r[2] * p[2];
    }
}

int32_t KV3DParticleRender::Draw(const KV3DParticleList& particles, uint32_t unused, uint8_t alphaBlend,
                                 KVResourceTexture* texture) {
    (void)unused;
    IKVUnitCamera* camera = KV3DInterface::CurrentCamera();
    if (!camera) return KV_FAILED;
    IKVGraphicDevice3D* device = KV3DInterface::Device();
    if (!device) return KV_OK;
    const float* v = camera->GetViewMatrix();

    // The camera's right and up axes; the normal faces the camera.
    const float x[3] = {v[0], v[4], v[8]};
    const float y[3] = {v[1], v[5], v[9]};
    const float rows[12] = {-v[0], v[1], -v[2], 0.0f, -v[4], v[5], -v[6], 0.0f, -v[8], v[9], -v[10], 0.0f};
    float n[3] = {0.0f, 0.0f, 1.0f};
    TransformPoint(rows, n);

    uint32_t count = 0;
    for (IKVParticle* item : particles) {
        // A list never holds more than the pool; anything past it is not drawn.
        if (count == kMaxQuads) break;
        const auto* particle = static_cast<const KV3DParticle*>(item);
        const float* p = particle->GetPosition();
        const float a = 0.5f * particle->GetSize()[0];
        const float b = 0.5f * particle->GetSize()[1];
        const float sx[4] = {a, -a, a, -a};
        const float sy[4] = {b, b, -b, -b};
        KV3DVertex* quad = m_vertices + 4 * count;
        for (int c = 0; c < 4; ++c) {
            quad[c].x = p[0] + sx[c] * x[0] + sy[c] * y[0];
            quad[c].y = p[1] + sx[c] * x[1] + sy[c] * y[1];
            quad[c].z = p[2] + sx[c] * x[2] + sy[c] * y[2];
            quad[c].nx = n[0];
            quad[c].ny = n[1];
            quad[c].nz = n[2];
            quad[c].color = particle->GetColor();
        }
        ++count;
    }

    KV3DMaterial material;
    material.lighting = 0;
    material.alphaBlend = alphaBlend;
    material.zBufferWrite = alphaBlend ? 0 : 1;
    material.textureCount = texture ? 1 : 0;
    device->SetMaterial(&material, alphaBlend ? 0 : 1);
    if (KVGraphic* graphic = KV3DInterface::Graphic()) {
        graphic->SetTextureStage(0, texture);
        graphic->ResetTextureStages();
    }
    float identity[16];
    KV3DMath::Identity(identity);
    device->SetTransform(1, identity);
    device->SetVertexData(m_vertices, 4 * count, KV3D_VERTEX_STRIDE, 0);
    device->DrawIndexed(m_indices, 6 * count);
    return KV_OK;
}

} // namespace kvl
