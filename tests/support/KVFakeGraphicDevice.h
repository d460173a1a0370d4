#pragma once
// A graphic device extension module without a screen: answers the device
// interfaces with settable capabilities, counts the frame calls, makes
// textures in memory (KVFakeTexture) up to a settable maximum size, and
// accepts every other call without effect.
#include "graphics/IKVGraphicDevice.h"
#include "kernel/IKVModule.h"

namespace kvtest {

class KVFakeGraphicDevice : public kvl::IKVModuleExt, public kvl::IKVGraphicDevice2D {
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

    // IKVGraphicDevice
    uint32_t GetCaps() override { return capabilities; }
    int32_t BeginFrame(int32_t) override { ++beginFrames; ++clears; return 0; }
    int32_t EndFrame() override { ++endFrames; return 0; }
    int32_t Clear() override { ++clears; return 0; }
    int32_t Present() override { ++presents; return 0; }
    const kvl::KVDeviceRect* GetViewport() override { return &viewport; }
    int32_t SetViewport(const kvl::KVDeviceRect* rect) override;
    int32_t ReadScreenPixels(uint32_t*, int32_t) override { return 1; }
    int32_t GetVideoCardInfo(kvl::KVVideoCardInfo*) override { return 0; }
    int32_t SetDisplayMode(const kvl::KVDisplayMode*) override { return 0; }
    const kvl::KVDisplayMode* GetScreenSize() override { return &screen; }
    const std::vector<kvl::KVDeviceSize>* GetDisplayModes() override { return &displayModes; }
    int32_t SetClearColor(uint32_t color) override { clearColor = color; return 0; }
    int32_t GetOrientation() override { return orientation; }
    int32_t SetOrientation(int32_t) override { return 0; }
    int32_t SetGamma(float) override { return 1; }

    // IKVGraphicDevice2D
    int32_t CreateTexture(const kvl::KVTextureDesc*, kvl::IKVTexture** out) override;
    int32_t SetTexture(int32_t, kvl::IKVTexture*) override { return 0; }
    int32_t SetBlendState(const kvl::KVDrawState*, int32_t) override { return 0; }
    int32_t DrawPolygon(const kvl::KV2DVertex*, int32_t) override { ++polygons; return 0; }
    int32_t Flush() override { return 0; }
    int32_t DrawLine2D(int32_t, int32_t, int32_t, int32_t, uint32_t) override { return 0; }
    int32_t Query2D() override { return 1; }
    // 32-bit and 16-bit formats (palette ones when asked), not the compressed ones.
    int32_t IsFormatSupported(uint32_t format) override;
    int32_t GetMaxTextureSize(kvl::KVDeviceSize* out) override;
    int32_t SetScissor(const kvl::KVDeviceRect*) override { return 0; }
    int32_t SetTransform(int32_t, const float*) override { return 0; }

    // Takes 4-bit palette textures (format 256).
    bool takesPalette = false;
    uint32_t capabilities = 0;  // KVDEVICE_CAP_POW2_TEXTURES: sizes must be powers of two
    kvl::KVDeviceSize maxTextureSize = {2048, 2048};
    // Textures made before CreateTexture starts failing; -1: never.
    int texturesBeforeFailure = -1;
    int createdTextures = 0;
    kvl::KVDisplayMode screen = {1024, 768, 1024, 768, 0, 1, 1};
    kvl::KVDeviceRect viewport = {0, 0, 1024, 768};
    std::vector<kvl::KVDeviceSize> displayModes = {{768, 1024}, {1024, 768}};
    uint32_t clearColor = 0;
    int32_t orientation = 0;
    int beginFrames = 0;
    int endFrames = 0;
    int clears = 0;
    int presents = 0;
    int polygons = 0;
};

} // namespace kvtest
