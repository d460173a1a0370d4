#pragma once
// The 3D module made by its creator over a small core that answers a
// recording 3D device, a resource manager, a file layer, a log and a scene
// manager whose handedness and current camera a test sets, with a graphic
// module that journals its texture stages:
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

#include "kernel/KVResources.h"
#include "support/KVMemoryFile.h"
#include "support/KVRecordingGraphic.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVTestLog.h"
#include "support/KVSceneTestUnits.h"
#include "units/IKVSceneManager.h"
#include "units3d/KV3D.h"
#include "units3d/KV3DInterface.h"

namespace kvtest {

// A scene manager that answers only its handedness and its current camera
// (a test camera unit whose view a test sets, or none).
class KV3DTestSceneManager : public kvl::IKVSceneManager {
public:
    KV3DTestSceneManager();
    ~KV3DTestSceneManager() override;

    bool IsRightHanded() override { return rightHanded; }
    kvl::IKVUnit* GetCurrentCamera() override;
    // The camera's view, 16 floats row by row (identity at first).
    float* View() { return m_camera->view; }

    int32_t UnitAt(const kvl::KVScreenPoint&, kvl::IKVUnit** out, kvl::IKVUnit*) override;
    int32_t AddDrawCallback(kvl::IKVDrawCallback*, int32_t) override { return 0; }
    int32_t Reserved() override { return 0; }
    int32_t AddObject(kvl::IKVUnitSystemizer*) override { return 0; }
    int32_t RemoveObject(kvl::IKVUnitSystemizer*) override { return 1; }
    int32_t AddUnit(kvl::IKVUnit*) override { return 0; }
    int32_t AddReflectedUnit(kvl::IKVUnit*) override { return 0; }
    int32_t AddMirrorUnit(kvl::IKVUnit*) override { return 0; }
    kvl::IKVUnit* FindCamera() override { return GetCurrentCamera(); }
    int32_t ProjectToScreen(const kvl::KV3DVector*, kvl::KVScreenPoint*) override { return 1; }
    int32_t OnScreenChanged() override { return 0; }
    int32_t SetRenderer(kvl::IKVSceneRenderer*) override { return 0; }
    bool IsPointInside(kvl::IKVUnit*, const kvl::KVScreenPoint&, bool, float*, kvl::IKVUnit*) override {
        return false;
    }
    int32_t SetInputTransform(const float*) override { return 0; }
    int32_t ClearInputTransform() override { return 0; }
    int32_t TransformPoint(kvl::KVScreenPoint*) override { return 0; }
    uint32_t GetEditorColour() override { return 0; }
    const kvl::KVDeviceRect* GetMainViewport() override { return &m_viewport; }

    bool rightHanded = true;
    bool hasCamera = false;

private:
    KVTestCameraUnit* m_camera;
    kvl::IKVUnit* m_cameraUnit;
    kvl::KVDeviceRect m_viewport = {0, 0, 800, 600};
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
    KVRecordingGraphic graphic;
    kvl::KVResources resources;
    KVMemoryFile files;
    KV3DTestSceneManager scene;

private:
    kvl::KV3DInterface* m_module = nullptr;
    std::vector<kvl::IKVLight*> m_lights;
};

} // namespace kvtest
