#pragma once
// The shader path of the OpenGL ES device: the built-in programs draw the
// batch, and the transform product reaches them as "global_transform".
#include <memory>

#include "KVGLRender.h"
#include "KVGLShaderSet.h"

namespace kvl {

class KVGLRender2 : public KVGLRender {
public:
    explicit KVGLRender2(IKVCriticalSection* section);
    ~KVGLRender2() override;

    int32_t SetTransform(int32_t index, const float* matrix) override;
    int32_t DrawPolygon(const KV2DVertex* vertices, int32_t count) override;
    void FlushBatch() override;
    int32_t InitDevice() override;
    void ShutdownDevice() override;

    KVGLShaderSet* GetShaderSet() const { return m_shaders.get(); }

    // Whether the held batch spans views. Its positions are then placed by
    // each polygon's own view on the CPU, and the projection alone is its
    // "global_transform" (see SetFlushDeferred in IKVGraphicDevice.h).
    bool IsBatchMixed() const { return m_batchMixed; }

private:
    // m_product from the transforms as they stand.
    void UpdateProduct();
    // Whether the batch held can take a polygon under the current view.
    bool CanSpan() const;

    std::unique_ptr<KVGLShaderSet> m_shaders;
    // The product of the transforms; while a batch is held it is worked out
    // only when a new batch needs it.
    float m_product[16];
    bool m_productStale = false;
    // What the batch is drawn with: the product it was begun under, or the
    // projection once it spans views; the view it was begun under; and the
    // matrix last handed to the shaders.
    float m_batchProduct[16];
    float m_batchView[16];
    float m_givenProduct[16];
    bool m_batchMixed = false;
};

} // namespace kvl
