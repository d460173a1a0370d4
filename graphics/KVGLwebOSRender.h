#pragma once
// The OpenGL ES device on the handheld's screen: the video mode from the
// screen metrics (portrait screens turn to orientation 3) and the buffer swap.
#include "KVGLRender2.h"

namespace kvl {

class KVGLwebOSRender : public KVGLRender2 {
public:
    explicit KVGLwebOSRender(IKVCriticalSection* section);
    ~KVGLwebOSRender() override;

    uint32_t GetCaps() override;
    int32_t Present() override;
    // 0 with a current OpenGL ES 2 context, 1 when the screen could not be made.
    int32_t InitDevice() override;
    void ShutdownDevice() override;
    int32_t PlatformQuery() override { return 0; }
};

} // namespace kvl
