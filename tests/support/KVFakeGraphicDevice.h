#pragma once
// A graphic device extension module without a screen: answers the device
// interfaces with settable capabilities and counts the frame calls.
#include "graphics/IKVGraphicDevice.h"
#include "kernel/IKVModule.h"

namespace kvtest {

class KVFakeGraphicDevice : public kvl::IKVModuleExt,
                            public kvl::IKVGraphicDevice,
                            public kvl::IKVGraphicDevice2D {
public:
    static KVFakeGraphicDevice* instance;
    static uint32_t nextCapabilities;
    // A creator for the module registry.
    static kvl::IKVModuleExt* Create(const kvl::KVModuleCreateInfo* info);

    KVFakeGraphicDevice();
    ~KVFakeGraphicDevice() override;

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t) override { return 0; }
    int32_t Release(int32_t) override { return 0; }
    uint64_t GetId() override { return 0x0010735100000001ull; }
    int32_t GetPriority() override { return 1; }

    uint32_t GetCapabilities() override { return capabilities; }
    int32_t BeginFrame() override { ++beginFrames; return 0; }
    int32_t EndFrame() override { ++endFrames; return 0; }
    int32_t Clear() override { ++clears; return 0; }
    int32_t Present() override { ++presents; return 0; }
    int32_t SetViewport(const kvl::KVRect&) override { return 0; }
    const uint32_t* GetScreenSize() override { return screenSize; }
    int32_t GetOrientation() override { return 0; }

    int32_t BeginFrame2D(int32_t) override { ++beginFrames; ++clears; return 0; }
    int32_t EndFrame2D() override { ++endFrames; return 0; }
    int32_t Present2D() override { ++presents; return 0; }

    uint32_t capabilities = 0;
    uint32_t screenSize[2] = {1024, 768};
    int beginFrames = 0;
    int endFrames = 0;
    int clears = 0;
    int presents = 0;
};

} // namespace kvtest
