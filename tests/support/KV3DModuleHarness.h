#pragma once
// The 3D module made by its creator over a small core that answers a
// recording 3D device, a resource manager, a file layer and a log, with a
// graphic module that journals its texture stages and a scene whose
// handedness and camera a test sets:
//
//     kvtest::KV3DModuleHarness h;
//     h.device.maxLights = 4;
//     h.Start();                      // phases 0, 1 and 2
//     kvl::IKVLight* light = h.NewLight({3, 4, 0}, 5.0f);
//     h.Factory()->SelectLights(point);
//
// The module and its singletons are deleted with the harness.
#include <cstdint>
#include <vector>

#include "graphics/KVGraphic.h"
#include "kernel/KVResources.h"
#include "support/KVMemoryFile.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVTestLog.h"
#include "units3d/IKV3DScene.h"
#include "units3d/KV3D.h"
#include "units3d/KV3DInterface.h"

namespace kvtest {

// A scene with a settable handedness and an optional camera view.
class KV3DTestScene : public kvl::IKV3DScene {
public:
    bool IsRightHanded() override { return rightHanded; }
    const float* GetCurrentViewMatrix() override { return hasCamera ? view : nullptr; }

    bool rightHanded = true;
    bool hasCamera = false;
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

class KV3DModuleHarness : public kvl::IKVUnknown {
public:
    // Makes the module through its creator (nothing is initialised yet).
    KV3DModuleHarness();
    ~KV3DModuleHarness() override;
    KV3DModuleHarness(const KV3DModuleHarness&) = delete;
    KV3DModuleHarness& operator=(const KV3DModuleHarness&) = delete;

    // Runs Init for phases 0 to last.
    void Start(int32_t last = 2);

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;

    kvl::KV3DInterface* Module() const { return m_module; }
    kvl::KV3D* Factory() const;
    // A light from the factory at the position with the range (and the
    // normal-map-caster flag); the harness releases the ones still held.
    kvl::IKVLight* NewLight(const std::vector<float>& position, float range, bool normalMapCaster = false);
    // Releases a light made by NewLight.
    void DropLight(kvl::IKVLight* light);

    // Settings read by QueryInterface: without the device the core answers
    // no 3D device.
    bool answerDevice = true;

    KVTestLog log;
    KVRecording3DDevice device;
    kvl::KVGraphic graphic;
    kvl::KVResources resources;
    KVMemoryFile files;
    KV3DTestScene scene;

private:
    kvl::KV3DInterface* m_module = nullptr;
    std::vector<kvl::IKVLight*> m_lights;
};

} // namespace kvtest
