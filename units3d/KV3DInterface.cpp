#include "KV3DInterface.h"

#include "../kernel/IKVFile.h"
#include "../kernel/KVCore.h"
#include "../units/IKVUnit.h"
#include "KV3D.h"
#include "KV3DDataProducer.h"
#include "KV3DFileReader.h"
#include "KV3DParticleManager.h"
#include "KV3DUnitSorter.h"

namespace kvl {

namespace {

enum Owned { kOwns3D, kOwnsReader, kOwnsSorter, kOwnsParticles, kOwnsProducer };

template <class T>
bool MakeIfMissing() {
    if (T::Instance()) return false;
    new T();
    return true;
}

} // namespace

IKVModuleExt* KV3DInterface::Create(const KVModuleCreateInfo* info) {
    const bool madeModule = !Instance();
    if (madeModule) new KV3DInterface();
    KV3DInterface* module = Instance();
    bool made[5];
    made[kOwns3D] = MakeIfMissing<KV3D>();
    made[kOwnsReader] = MakeIfMissing<KV3DFileReader>();
    made[kOwnsSorter] = MakeIfMissing<KV3DUnitSorter>();
    made[kOwnsParticles] = MakeIfMissing<KV3DParticleManager>();
    made[kOwnsProducer] = MakeIfMissing<KV3DDataProducer>();
    if (made[kOwnsProducer]) KV3DDataProducer::Instance()->SetKeepGeometry(false);
    for (int i = 0; i < 5; ++i) module->m_owns[i] = module->m_owns[i] || made[i];
    module->m_core = info ? info->core : nullptr;
    module->m_reserved = info ? info->reserved : 0;
    return module;
}

KV3DInterface::~KV3DInterface() {
    if (m_owns[kOwnsProducer]) delete KV3DDataProducer::Instance();
    if (m_owns[kOwnsParticles]) delete KV3DParticleManager::Instance();
    if (m_owns[kOwnsSorter]) delete KV3DUnitSorter::Instance();
    if (m_owns[kOwnsReader]) delete KV3DFileReader::Instance();
    if (m_owns[kOwns3D]) delete KV3D::Instance();
}

int32_t KV3DInterface::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKV3D && KV3D::Instance())
        return AnswerInterface(static_cast<IKV3D*>(KV3D::Instance()), out);
    if (id == IID_IKVParticleManager && KV3DParticleManager::Instance())
        return AnswerInterface(static_cast<IKVParticleManager*>(KV3DParticleManager::Instance()), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

void* KV3DInterface::Ask(const KVInterfaceId& id) const {
    void* out = nullptr;
    if (m_core) {
        if (m_core->QueryInterface(id, &out) != KV_OK) out = nullptr;
        return out;
    }
    return QueryCoreInterface<void>(id);
}

int32_t KV3DInterface::Init(int32_t phase) {
    if (phase == 1) {
        m_log = static_cast<IKVLog*>(Ask(IID_IKVLog));
        m_resources = static_cast<IKVResourceManager*>(Ask(IID_IKVResourceManager));
        // The graphic module is reached as the program's one instance.
        m_graphic = KVGraphic::Instance();
        m_sceneManager = static_cast<IKVSceneManager*>(Ask(IID_IKVSceneManager));
    } else if (phase == 2) {
        m_device = static_cast<IKVGraphicDevice3D*>(Ask(IID_IKVGraphicDevice3D));
        if (KV3D* factory = KV3D::Instance()) factory->ResetPhase2();
        KV3DFileReader::Register(static_cast<IKVResourceManager*>(Ask(IID_IKVResourceManager)),
                                 static_cast<IKVFile*>(Ask(IID_IKVFile)));
        if (KV3DDataProducer* producer = KV3DDataProducer::Instance()) producer->SetDevice(m_device);
    }
    if (KV3DUnitSorter* sorter = KV3DUnitSorter::Instance()) sorter->Init(phase);
    return KV_OK;
}

int32_t KV3DInterface::Release(int32_t phase) {
    if (KV3DUnitSorter* sorter = KV3DUnitSorter::Instance()) sorter->Release(phase);
    if (phase == 2 || phase == 4) {
        if (KV3D* factory = KV3D::Instance()) factory->ReleaseObjects();
    }
    return KV_OK;
}

IKVGraphicDevice3D* KV3DInterface::Device() {
    KV3DInterface* module = Instance();
    return module ? module->m_device : nullptr;
}

KVGraphic* KV3DInterface::Graphic() {
    KV3DInterface* module = Instance();
    return module ? module->m_graphic : nullptr;
}

bool KV3DInterface::IsRightHanded() {
    KV3DInterface* module = Instance();
    return !module || !module->m_sceneManager || module->m_sceneManager->IsRightHanded();
}

void* KV3DInterface::AskCore(const KVInterfaceId& id) {
    KV3DInterface* module = Instance();
    return module ? module->Ask(id) : QueryCoreInterface<void>(id);
}

IKVUnitCamera* KV3DInterface::CurrentCamera() {
    KV3DInterface* module = Instance();
    IKVUnit* unit = module && module->m_sceneManager ? module->m_sceneManager->GetCurrentCamera() : nullptr;
    void* camera = nullptr;
    if (!unit || unit->QueryInterface(IID_IKVUnitCamera, &camera) != KV_OK) return nullptr;
    return static_cast<IKVUnitCamera*>(camera);
}

// The third of start-up's extension creators.
IKVModuleExt* Create3DInterface(const KVModuleCreateInfo* info) { return KV3DInterface::Create(info); }

} // namespace kvl
