#pragma once
// The shader path of the OpenGL ES device: the built-in programs draw the
// batch, and the transform product reaches them as "global_transform".
#include <cstring>
#include <memory>
#include <vector>
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

    // Whether the batch spans transforms (and keeps one per vertex).
    bool IsBatchMixed() const { return m_batchMixed; }

private:
    std::unique_ptr<KVGLShaderSet> m_shaders;
    // The product the shaders hold (or will at the next flush), the one the
    // batch was begun under, and the one last handed to the shaders.
    float m_product[16];
    float m_batchProduct[16];
    float m_givenProduct[16];
    bool m_batchMixed = false;
    // The product of each vertex of a mixed batch.
    struct Matrix {
        float m[16];
    };
    static Matrix ToMatrix(const float* m) {
        Matrix out;
        std::memcpy(out.m, m, sizeof out.m);
        return out;
    }
    std::vector<Matrix> m_vertexTransforms;
};

} // namespace kvl
