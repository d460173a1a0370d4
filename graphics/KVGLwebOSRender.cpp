#include "KVGLwebOSRender.h"

#include "../platform/KVEGLScreen.h"
#include "../platform/PDL.h"

namespace kvl {

KVGLwebOSRender::KVGLwebOSRender(IKVCriticalSection* section) : KVGLRender2(section) {}

KVGLwebOSRender::~KVGLwebOSRender() = default;

uint32_t KVGLwebOSRender::GetCaps() { return KVGLRender2::GetCaps() & ~KVDEVICE_CAP_THREADED_LOAD; }

int32_t KVGLwebOSRender::Present() {
    ScreenSwapBuffers();
    return 0;
}

int32_t KVGLwebOSRender::InitDevice() {
    PDL_ScreenMetrics metrics{};
    if (PDL_GetScreenMetrics(&metrics) != PDL_NOERROR) return 1;
    // Without a context the device would draw nowhere: that is a failure.
    if (ScreenOpen(metrics.horizontalPixels, metrics.verticalPixels) != 0) return 1;
    m_physicalWidth = metrics.horizontalPixels;
    m_physicalHeight = metrics.verticalPixels;
    if (m_physicalWidth < m_physicalHeight) m_orientation = 3;
    return KVGLRender2::InitDevice();
}

void KVGLwebOSRender::ShutdownDevice() {
    KVGLRender2::ShutdownDevice();
    ScreenClose();
}

} // namespace kvl
