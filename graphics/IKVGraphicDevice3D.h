#pragma once
// The 3D face of the drawing device: 24 operations after the 2D ones. The
// OpenGL ES 2 device answers each with a constant and draws nothing; the 3D
// subsystem gives the unnamed slots their arguments when it is built.
#include "IKVGraphicDevice.h"

namespace kvl {

// Feature bits of GetFeatures3D.
constexpr uint32_t KVDEVICE_FEATURE_MIRROR = 0x04;

class IKVGraphicDevice3D : public virtual IKVGraphicDevice2D {
public:
    // Directs drawing to a device texture, or to the screen with null.
    virtual int32_t SetRenderTarget(IKVTexture* target) = 0;
    virtual int32_t Reserved3D02() = 0;
    // line: start x, y, z then end x, y, z; colour 0xAARRGGBB.
    virtual int32_t DrawLine3D(const float* line, uint32_t color, int32_t value) = 0;
    virtual int32_t Reserved3D04() = 0;
    virtual uint32_t GetFeatures3D() = 0;
    virtual int32_t Reserved3D06() = 0;
    virtual int32_t Reserved3D07() = 0;
    virtual int32_t Reserved3D08() = 0;
    virtual int32_t Reserved3D09() = 0;
    // Makes the render target of the mirror pass.
    virtual int32_t CreateMirrorTarget(void** out) = 0;
    // Directs drawing to a render target made by CreateMirrorTarget (null: the screen).
    virtual int32_t SelectMirrorTarget(void* target) = 0;
    virtual int32_t ClearMirrorTarget(void* target) = 0;
    virtual int32_t Reserved3D13() = 0;
    virtual int32_t Reserved3D14() = 0;
    virtual int32_t Reserved3D15() = 0;
    virtual int32_t Reserved3D16() = 0;
    virtual int32_t Reserved3D17() = 0;
    virtual int32_t Reserved3D18() = 0;
    virtual int32_t Reserved3D19() = 0;
    virtual int32_t Reserved3D20() = 0;
    virtual int32_t Reserved3D21() = 0;
    virtual int32_t Reserved3D22() = 0;
    virtual int32_t Reserved3D23() = 0;
    virtual int32_t Reserved3D24() = 0;
};

} // namespace kvl
