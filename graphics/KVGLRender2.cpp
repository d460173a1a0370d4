#include "KVGLRender2.h"

#include <GLES2/gl2.h>

#include <cstring>

namespace kvl {
namespace {

// out = a x b, column-major 4x4. Each sum is taken in the order k = 0..3
// from 0, four rows at a time (on copies, so the compiler may keep them in
// vector registers): every sprite's draw multiplies once.
void Multiply(const float* a, const float* b, float* out) {
    float left[16], right[16], product[16];
    std::memcpy(left, a, sizeof left);
    std::memcpy(right, b, sizeof right);
    for (int column = 0; column < 4; ++column) {
        float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int k = 0; k < 4; ++k) {
            const float factor = right[column * 4 + k];
            for (int row = 0; row < 4; ++row) sum[row] += left[k * 4 + row] * factor;
        }
        for (int row = 0; row < 4; ++row) product[column * 4 + row] = sum[row];
    }
    std::memcpy(out, product, sizeof product);
}

} // namespace

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

KVGLRender2::KVGLRender2(IKVCriticalSection* section) : KVGLRender(section) {
    std::memcpy(m_product, kIdentity, sizeof m_product);
    std::memcpy(m_batchProduct, kIdentity, sizeof m_batchProduct);
    std::memcpy(m_givenProduct, kIdentity, sizeof m_givenProduct);
}

KVGLRender2::~KVGLRender2() = default;

int32_t KVGLRender2::InitDevice() {
    int32_t result = KVGLRender::InitDevice();
    if (result != 0) return result;
    if (!m_shaders) {
        // New programs start from the identity.
        m_shaders.reset(new KVGLShaderSet());
        std::memcpy(m_product, kIdentity, sizeof m_product);
        std::memcpy(m_givenProduct, kIdentity, sizeof m_givenProduct);
    }
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
    std::memcpy(m_product, product, sizeof m_product);
    // A held batch takes its product at the flush.
    if (m_positions.empty() || !IsFlushDeferred()) {
        m_shaders->SetMatrix(product);
        std::memcpy(m_givenProduct, product, sizeof m_givenProduct);
    }
    return 0;
}

int32_t KVGLRender2::DrawPolygon(const KV2DVertex* vertices, int32_t count) {
    const int32_t result = KVGLRender::DrawPolygon(vertices, count);
    if (result != 0) return result;
    const size_t added = size_t(count), total = m_positions.size() / 2;
    if (total == added) {
        // A new batch (the base may have drawn a full one first).
        std::memcpy(m_batchProduct, m_product, sizeof m_batchProduct);
        return 0;
    }
    if (!m_batchMixed) {
        if (std::memcmp(m_product, m_batchProduct, sizeof m_product) == 0) return 0;
        m_batchMixed = true;
        m_vertexTransforms.clear();
        m_vertexTransforms.resize(total - added, ToMatrix(m_batchProduct));
    }
    // Appended as whole copies: a resize would first clear what is
    // overwritten, and an insert of floats copies them through a call.
    const Matrix product = ToMatrix(m_product);
    for (size_t i = 0; i < added; ++i) m_vertexTransforms.push_back(product);
    return 0;
}

void KVGLRender2::FlushBatch() {
    if (m_indices.empty()) return;
    if (m_shaders) {
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, m_positions.data());
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, m_colors.data());
        if (m_textureFlag) glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 0, m_uvs.data());
        if (m_batchMixed) {
            static_assert(sizeof(Matrix) == 16 * sizeof(float), "one vertex's product is 16 packed floats");
            const GLsizei stride = GLsizei(sizeof(Matrix));
            for (GLuint column = 0; column < 4; ++column)
                glVertexAttribPointer(3 + column, 4, GL_FLOAT, GL_FALSE, stride, m_vertexTransforms.data()->m + 4 * column);
        } else if (std::memcmp(m_batchProduct, m_givenProduct, sizeof m_batchProduct) != 0) {
            m_shaders->SetMatrix(m_batchProduct);
            std::memcpy(m_givenProduct, m_batchProduct, sizeof m_givenProduct);
        }
        // A program that failed to build draws nothing.
        if (m_shaders->Select(m_textureFlag != 0, m_batchMixed))
            glDrawElements(GL_TRIANGLES, GLsizei(m_indices.size()), GL_UNSIGNED_SHORT, m_indices.data());
    }
    m_batchMixed = false;
    m_vertexTransforms.clear();
    KVGLRender::FlushBatch();
}

} // namespace kvl
