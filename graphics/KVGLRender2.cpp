#include "KVGLRender2.h"

#include <GLES2/gl2.h>

#include <cstring>

namespace kvl {
namespace {

// out = a x b, column-major 4x4. Each sum is taken in the order k = 0..3
// from 0, four rows at a time (on copies, so the compiler may keep them in
// vector registers).
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

// A view that keeps a vertex in its plane: (x, y, 0, 1) goes to (x', y', 0,
// 1), so the projection alone can finish what the view began.
bool IsFlat(const float* m) {
    return m[2] == 0.0f && m[3] == 0.0f && m[6] == 0.0f && m[7] == 0.0f && m[14] == 0.0f && m[15] == 1.0f;
}

// Places n position pairs by a flat view, in double precision so that a
// place the view reaches exactly (an edge on the screen's border) is not
// rounded past it. Both coordinates go in one step: the same products and
// sums, in the same order, as one coordinate at a time.
void Place(float* xy, size_t n, const float* m) {
    typedef double Pair __attribute__((vector_size(16)));
    const Pair across = {m[0], m[1]}, down = {m[4], m[5]}, offset = {m[12], m[13]};
    for (size_t i = 0; i < n; ++i, xy += 2) {
        const double x = xy[0], y = xy[1];
        const Pair placed = across * x + down * y + offset;
        xy[0] = float(placed[0]);
        xy[1] = float(placed[1]);
    }
}

} // namespace

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

KVGLRender2::KVGLRender2(IKVCriticalSection* section) : KVGLRender(section) {
    std::memcpy(m_product, kIdentity, sizeof m_product);
    std::memcpy(m_batchProduct, kIdentity, sizeof m_batchProduct);
    std::memcpy(m_batchView, kIdentity, sizeof m_batchView);
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
        m_productStale = false;
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

void KVGLRender2::UpdateProduct() {
    // Column vectors: M1 applies first, then M0 in 3D mode, then M2.
    if (m_mode2D == 2) {
        float modelView[16];
        Multiply(m_transforms[0], m_transforms[1], modelView);
        Multiply(m_transforms[2], modelView, m_product);
    } else {
        Multiply(m_transforms[2], m_transforms[1], m_product);
    }
    m_productStale = false;
}

int32_t KVGLRender2::SetTransform(int32_t index, const float* matrix) {
    // A new view under a held batch: the batch takes it at the next polygon
    // (what the general path below comes to, without its other cases).
    if (index == 1 && matrix && IsFlushDeferred() && !m_positions.empty()) {
        std::memcpy(m_transforms[1], matrix, sizeof m_transforms[1]);
        m_productStale = true;
        return 0;
    }
    // A held batch spans views only: a new projection or model draws it
    // first.
    if (index != 1 && matrix && index >= 0 && index <= 2 && !m_positions.empty() && IsFlushDeferred() &&
        std::memcmp(m_transforms[index], matrix, sizeof m_transforms[index]) != 0)
        FlushBatch();
    int32_t result = KVGLRender::SetTransform(index, matrix);
    if (result != 0) return result;
    m_productStale = true;
    if (!m_shaders) return 0;
    // A held batch takes its matrix at the flush.
    if (m_positions.empty() || !IsFlushDeferred()) {
        UpdateProduct();
        m_shaders->SetMatrix(m_product);
        std::memcpy(m_givenProduct, m_product, sizeof m_givenProduct);
    }
    return 0;
}

bool KVGLRender2::CanSpan() const {
    return m_mode2D != 2 && IsFlat(m_transforms[1]) && (m_batchMixed || IsFlat(m_batchView));
}

int32_t KVGLRender2::DrawPolygon(const KV2DVertex* vertices, int32_t count) {
    // A batch under another view that cannot take this one is drawn first.
    const bool otherView = !m_positions.empty() && !m_batchMixed &&
                           std::memcmp(m_transforms[1], m_batchView, sizeof m_batchView) != 0;
    if ((otherView || m_batchMixed) && !CanSpan()) FlushBatch();
    const int32_t result = KVGLRender::DrawPolygon(vertices, count);
    if (result != 0) return result;
    const size_t added = size_t(count), total = m_positions.size() / 2;
    if (total == added) {
        // A new batch (the base may have drawn a full one first).
        if (m_productStale) UpdateProduct();
        std::memcpy(m_batchProduct, m_product, sizeof m_batchProduct);
        std::memcpy(m_batchView, m_transforms[1], sizeof m_batchView);
        m_batchMixed = false;
        return 0;
    }
    if (!m_batchMixed) {
        // The batch held is kept (no flush above, none for its size).
        if (!otherView) return 0;
        // From here the batch spans views: what it holds is placed by the
        // view it was made under, and the projection is left to the shaders.
        Place(m_positions.data(), total - added, m_batchView);
        std::memcpy(m_batchProduct, m_transforms[2], sizeof m_batchProduct);
        m_batchMixed = true;
    }
    Place(m_positions.data() + 2 * (total - added), added, m_transforms[1]);
    return 0;
}

void KVGLRender2::FlushBatch() {
    if (m_indices.empty()) return;
    if (m_shaders) {
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, m_positions.data());
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, m_colors.data());
        if (m_textureFlag) glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 0, m_uvs.data());
        if (std::memcmp(m_batchProduct, m_givenProduct, sizeof m_batchProduct) != 0) {
            m_shaders->SetMatrix(m_batchProduct);
            std::memcpy(m_givenProduct, m_batchProduct, sizeof m_givenProduct);
        }
        // A program that failed to build draws nothing.
        if (m_shaders->Select(m_textureFlag != 0))
            glDrawElements(GL_TRIANGLES, GLsizei(m_indices.size()), GL_UNSIGNED_SHORT, m_indices.data());
    }
    m_batchMixed = false;
    KVGLRender::FlushBatch();
}

} // namespace kvl
