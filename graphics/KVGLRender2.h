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
    void FlushBatch() override;
    int32_t InitDevice() override;
    void ShutdownDevice() override;

    KVGLShaderSet* GetShaderSet() const { return m_shaders.get(); }

private:
    std::unique_ptr<KVGLShaderSet> m_shaders;
};

} // namespace kvl
