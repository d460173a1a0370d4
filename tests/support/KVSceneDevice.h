#pragma once
// Graphic devices for scene tests. KVSceneDeviceModule is an extension
// module that hands a device out under the device ids (the 3D one only when
// asked), so the scene manager finds it as it finds the engine's own.
// KVRecordingDevice is a device without a screen: its frame calls, viewports
// and mirror targets go into the scene journal (KVSceneJournal.h).
#include <cstdint>

#include "graphics/KVGLRender.h"
#include "kernel/IKVModule.h"

namespace kvtest {

class KVRecordingDevice : public kvl::KVGLRender {
public:
    KVRecordingDevice();
    ~KVRecordingDevice() override;

    int32_t BeginFrame(int32_t flag) override;
    int32_t EndFrame() override;
    int32_t Clear() override;
    int32_t Present() override;
    int32_t SetViewport(const kvl::KVDeviceRect* rect) override;
    const kvl::KVDisplayMode* GetScreenSize() override { return &screen; }
    int32_t SetBlendState(const kvl::KVDrawState*, int32_t) override { return 0; }
    int32_t DrawPolygon(const kvl::KV2DVertex*, int32_t) override { return 0; }
    int32_t Flush() override { return 0; }
    uint32_t GetFeatures3D() override { return features; }
    int32_t CreateMirrorTarget(void** out) override;
    int32_t SelectMirrorTarget(void* target) override;
    int32_t ClearMirrorTarget(void* target) override;
    int32_t PlatformQuery() override { return 0; }
    // Noted as "line2d x0,y0 x1,y1 colour" and "line3d x0,y0,z0 x1,y1,z1
    // colour value" (colours in hexadecimal, coordinates as %g).
    int32_t DrawLine2D(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color) override;
    int32_t DrawLine3D(const float* line, uint32_t color, int32_t value) override;

    kvl::KVDisplayMode screen = {1024, 768, 1024, 768, 0, 1, 1};
    uint32_t features = 0;
    // What BeginFrame answers.
    int32_t beginResult = 0;
    // Mirror targets made and not yet released.
    int32_t liveTargets = 0;
};

class KVSceneDeviceModule : public kvl::IKVModuleExt {
public:
    KVSceneDeviceModule(kvl::IKVGraphicDevice3D* device, bool with3D) : m_device(device), m_with3D(with3D) {}

    // Registers the module with the core's module registry, which deletes
    // it at its end.
    void Register();

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t) override { return 0; }
    int32_t Release(int32_t) override { return 0; }
    uint64_t GetId() override { return 0x0010735100000002ull; }
    int32_t GetPriority() override { return 1; }

private:
    static kvl::IKVModuleExt* Create(const kvl::KVModuleCreateInfo* info);

    kvl::IKVGraphicDevice3D* m_device;
    bool m_with3D;
};

} // namespace kvtest
