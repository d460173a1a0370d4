#include "KV3DModuleHarness.h"

#include <algorithm>

#include "kernel/IKVFile.h"
#include "kernel/IKVLog.h"

namespace kvtest {

KV3DTestSceneManager::KV3DTestSceneManager()
    : m_camera(static_cast<KVTestCameraUnit*>(KVTestCameraUnit::Create())), m_cameraUnit(m_camera) {}

kvl::IKVUnit* KV3DTestSceneManager::GetCurrentCamera() {
    if (!hasCamera) return nullptr;
    return m_cameraUnit;
}

KV3DTestSceneManager::~KV3DTestSceneManager() { m_camera->Release(); }

int32_t KV3DTestSceneManager::UnitAt(const kvl::KVScreenPoint&, kvl::IKVUnit** out, kvl::IKVUnit*) {
    if (out) *out = nullptr;
    return kvl::KV_NOT_FOUND;
}

KV3DModuleHarness::KV3DModuleHarness() {
    kvl::KVModuleCreateInfo info{this, 0};
    m_module = static_cast<kvl::KV3DInterface*>(kvl::KV3DInterface::Create(&info));
}

KV3DModuleHarness::~KV3DModuleHarness() {
    for (kvl::IKVLight* light : m_lights) light->Release();
    delete m_module;
}

void KV3DModuleHarness::Start(int32_t last) {
    for (int32_t phase = 0; phase <= last; ++phase) m_module->Init(phase);
}

int32_t KV3DModuleHarness::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVGraphicDevice3D && answerDevice)
        return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice3D*>(&device), out);
    if (id == kvl::IID_IKVResourceManager)
        return kvl::AnswerInterface(static_cast<kvl::IKVResourceManager*>(&resources), out);
    if (id == kvl::IID_IKVFile) return kvl::AnswerInterface(static_cast<kvl::IKVFile*>(&files), out);
    if (id == kvl::IID_IKVLog) return kvl::AnswerInterface(static_cast<kvl::IKVLog*>(&log), out);
    if (id == kvl::IID_IKVSceneManager)
        return kvl::AnswerInterface(static_cast<kvl::IKVSceneManager*>(&scene), out);
    return IKVUnknown::QueryInterface(id, out);
}

kvl::KV3D* KV3DModuleHarness::Factory() const { return kvl::KV3D::Instance(); }

kvl::IKVLight* KV3DModuleHarness::NewLight(const std::vector<float>& position, float range, bool normalMapCaster) {
    kvl::IKVLight* light = nullptr;
    if (Factory()->CreateLight(&light) != kvl::KV_OK || !light) return nullptr;
    light->SetPosition(position.data());
    kvl::KV3DLightParams params = *light->GetParams();
    params.range = range;
    params.normalMapCaster = normalMapCaster ? 1 : 0;
    light->SetParams(&params);
    m_lights.push_back(light);
    return light;
}

void KV3DModuleHarness::DropLight(kvl::IKVLight* light) {
    auto found = std::find(m_lights.begin(), m_lights.end(), light);
    if (found == m_lights.end()) return;
    m_lights.erase(found);
    light->Release();
}

} // namespace kvtest
