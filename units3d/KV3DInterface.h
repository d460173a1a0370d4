#pragma once
// The 3D module: an extension module that makes and owns the module's other
// singletons (object factory, mesh reader and producer, unit sorter,
// particle pool), answers their interfaces and keeps the services that the
// 3D objects draw through.
#include <cstdint>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../graphics/KVGraphic.h"
#include "../kernel/IKVLog.h"
#include "../kernel/IKVModule.h"
#include "../kernel/IKVResource.h"
#include "../kernel/Singleton.h"
#include "../units/IKVSceneManager.h"
#include "../units/IKVUnitCamera.h"

namespace kvl {

class KV3DInterface : public Singleton<KV3DInterface>, public IKVModuleExt {
public:
    static constexpr uint64_t kModuleId = 0x005B7EF0F246369Cull;

    // The creator that start-up registers: makes each missing singleton,
    // keeps the record's two words and answers the module.
    static IKVModuleExt* Create(const KVModuleCreateInfo* info);

    KV3DInterface() = default;
    // Deletes the singletons the creator made.
    ~KV3DInterface() override;

    // IKV3D and IKVParticleManager; anything else: null, 2.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    uint64_t GetId() override { return kModuleId; }
    int32_t GetPriority() override { return 0; }

    IKVLog* GetLog() const { return m_log; }
    IKVResourceManager* GetResources() const { return m_resources; }
    KVGraphic* GetGraphic() const { return m_graphic; }
    IKVGraphicDevice3D* GetDevice() const { return m_device; }
    IKVSceneManager* GetSceneManager() const { return m_sceneManager; }
    IKVUnknown* GetCore() const { return m_core; }

    // The services as the module's objects reach them: null while there is
    // no module (or no such service).
    static IKVGraphicDevice3D* Device();
    static KVGraphic* Graphic();
    // The scene's "RightHanded"; right-handed without a scene manager.
    static bool IsRightHanded();
    // The scene manager's current camera, or null.
    static IKVUnitCamera* CurrentCamera();
    // A service asked of the core the module was made with (the program's
    // core without a module); null when nobody answers.
    static void* AskCore(const KVInterfaceId& id);

private:
    void* Ask(const KVInterfaceId& id) const;

    IKVLog* m_log = nullptr;
    IKVResourceManager* m_resources = nullptr;
    KVGraphic* m_graphic = nullptr;
    IKVGraphicDevice3D* m_device = nullptr;
    IKVSceneManager* m_sceneManager = nullptr;
    IKVUnknown* m_core = nullptr;
    uint32_t m_reserved = 0;
    // Singletons the creator made, deleted with the module.
    bool m_owns[5] = {false, false, false, false, false};
};

// Start-up's creator of the 3D module (KV3DInterface::Create).
IKVModuleExt* Create3DInterface(const KVModuleCreateInfo* info);

} // namespace kvl
