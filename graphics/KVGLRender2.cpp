#include "KVGLRender2.h"

#include <GLES2/gl2.h>

namespace kvl {
namespace {

// out = a x b, column-major 4x4.
void Multiply(const float* a, const float* b, float* out) {
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
            out[column * 4 + row] = sum;
        }
    }
}

} // namespace

KVGLRender2::KVGLRender2(IKVCriticalSection* section) : KVGLRender(section) {}

KVGLRender2::~KVGLRender2() = default;

int32_t KVGLRender2::InitDevice() {
    int32_t result = KVGLRender::InitDevice();
    if (result != 0) return result;
    if (!m_shaders) m_shaders.reset(new KVGLShaderSet());
    m_shaders->Build();
    return 0;
}

void KVGLRender2::ShutdownDevice() {
    if (m_shaders) {
        m_shaders->Destroy();
        m_shaders.reset();
    }
    KVGLRender::ShutdownDevice();
}

int32_t KVGLRender2::SetTransform(int32_t index, const float* matrix) {
    int32_t result = KVGLRender::SetTransform(index, matrix);
    if (result != 0 || !m_shaders) return result;
    // Column vectors: M1 applies first, then M0 in 3D mode, then M2.
    float product[16];
    if (m_mode2D == 2) {
        float modelView[16];
        Multiply(m_transforms[0], m_transforms[1], modelView);
        Multiply(m_transforms[2], modelView, product);
    } else {
        Multiply(m_transforms[2], m_transforms[1], product);
    }
    m_shaders->SetMatrix(product);
    return 0;
}

void KVGLRender2::FlushBatch() {
    if (m_indices.empty()) return;
    if (m_shaders) {
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, m_positions.data());
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, m_colors.data());
        if (m_textureFlag) glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 0, m_uvs.data());
        // A program that failed to build draws nothing.
        if (m_shaders->Select(m_textureFlag != 0))
            glDrawElements(GL_TRIANGLES, GLsizei(m_indices.size()), GL_UNSIGNED_SHORT, m_indices.data());
    }
    KVGLRender::FlushBatch();
}

} // namespace kvl
