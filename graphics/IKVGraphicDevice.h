#pragma once
// The drawing device interfaces that the kernel and the units use. The
// OpenGL ES device implements them.
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVGraphicDevice = MakeId(0x00107351, 0x3EE65C4D);
constexpr KVInterfaceId IID_IKVGraphicDevice2D = MakeId(0x001CC354, 0x94804324);
constexpr KVInterfaceId IID_IKVGraphicDevice3D = MakeId(0x005CCA08, 0x41EA41A8);

// Capability bit: a project may load its scenes on a worker thread.
constexpr uint32_t KVDEVICE_CAP_THREADED_LOAD = 0x10;

struct KVRect {
    float left, top, right, bottom;
};

class IKVGraphicDevice : public virtual IKVUnknown {
public:
    virtual uint32_t GetCapabilities() = 0;
    // Enters the device's frame section; 0 means drawing may go on.
    virtual int32_t BeginFrame() = 0;
    // Leaves the frame section.
    virtual int32_t EndFrame() = 0;
    virtual int32_t Clear() = 0;
    virtual int32_t Present() = 0;
    virtual int32_t SetViewport(const KVRect& rect) = 0;
    // Logical width and height after rotation, width first.
    virtual const uint32_t* GetScreenSize() = 0;
    virtual int32_t GetOrientation() = 0;
};

class IKVGraphicDevice2D : public virtual IKVUnknown {
public:
    // Enters the frame section and clears colour and depth.
    virtual int32_t BeginFrame2D(int32_t flag) = 0;
    virtual int32_t EndFrame2D() = 0;
    virtual int32_t Present2D() = 0;
};

} // namespace kvl
