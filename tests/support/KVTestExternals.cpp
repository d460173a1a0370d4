#include "KVTestExternals.h"

#include "KVTestCoreHost.h"
#include "kernel/KVCore.h"
#include "media/KVUnitEvents.h"
#include "units/IKVUnitFactory.h"
#include "units/IKVUnitRef.h"
#include "units/KVUnitFactory.h"

namespace kvtest {

using namespace kvl;

namespace {

void SpeedChanged(void* external) {
    (void)external;
    KVTestCoreHost::Records().push_back("ext:SpeedChanged");
}

// The script method: called with the external object.
int Fire(void* extraData) {
    auto* external = static_cast<KVTestExternal*>(static_cast<IKVExternal*>(extraData));
    KVTestCoreHost::Records().push_back("ext:Fire");
    if (external) external->Raise("OnFire");
    return 0;
}

} // namespace

void KVTestEmbeddableUnit::UseForEmbeddable() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (KVUnitClass* record = factory ? factory->GetClass(factory->FindClassByName("Embeddable")) : nullptr)
        record->create = &KVTestEmbeddableUnit::Create;
}

void KVTestEmbeddableUnit::AttachHandler() {
    KVUnit::AttachHandler();
    m_pixelSource = nullptr;
    auto* external = static_cast<IKVExternal*>(GetExtraData());
    void* found = nullptr;
    if (external && external->QueryInterface(IID_IKVUnitSpriteExternal, &found) == KV_OK)
        m_pixelSource = static_cast<IKVUnitSpriteExternal*>(found);
}

KVExternalType KVTestExternal::Type(const char* className, uint64_t classId) {
    static KVExternalAttribute attributes[2];
    static const KVExternalMethod methods[] = {{"Fire", &Fire}};
    KVTestExternal* probe = new KVTestExternal;
    attributes[0] = {"Speed", KVATTR_F32, OffsetInExternal(probe, &probe->speed), 1, &SpeedChanged, kSpeedId};
    attributes[1] = {"UnitNotify", KVATTR_UNIT, OffsetInExternal(probe, &probe->m_unitNotify), 1, nullptr,
                     kUnitNotifyId};
    probe->Release();
    KVExternalType type;
    type.className = className;
    type.factory = &KVTestExternal::Create;
    type.classId = classId;
    type.description = "Test external";
    type.attributes = attributes;
    type.attributeCount = 2;
    type.methods = methods;
    type.methodCount = 1;
    return type;
}

int32_t& KVTestExternal::Live() {
    static int32_t live = 0;
    return live;
}

KVTestExternal::~KVTestExternal() {
    --Live();
    KVTestCoreHost::Records().push_back("ext:Deleted");
}

int32_t KVTestExternal::Note(const std::string& what) {
    KVTestCoreHost::Records().push_back("ext:" + what);
    return KV_OK;
}

int32_t KVTestExternal::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitExternal) return AnswerInterface(static_cast<IKVUnitExternal*>(this), out);
    if (id == IID_IKVUnitSpriteExternal) return AnswerInterface(static_cast<IKVUnitSpriteExternal*>(this), out);
    if (askHost && m_host) {
        Note("AskHost");
        return m_host->QueryInterface(id, out);
    }
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVTestExternal::Attach(IKVUnit* host) {
    m_host = host;
    speed = 1.0f;
    IKVUnitFactory* factory = QueryCoreInterface<IKVUnitFactory>(IID_IKVUnitFactory);
    if (factory && host && !m_unitNotify) m_unitNotify = factory->MakeUnitRef(host->GetIndex(), &kUnitNotifyId);
    return Note("Attach");
}

int32_t KVTestExternal::Detach() {
    if (m_unitNotify) m_unitNotify->Release();
    m_unitNotify = nullptr;
    return Note("Detach");
}

int32_t KVTestExternal::Update(float dt) { return Note("Update " + std::to_string(dt).substr(0, 4)); }

int32_t KVTestExternal::SuppressDraw(uint8_t* out) {
    if (out && suppress) *out = 1;
    return Note("SuppressDraw");
}

int32_t KVTestExternal::StopIfSet(int32_t flag) { return Note("StopIfSet " + std::to_string(flag)); }

uint32_t KVTestExternal::GetPixelColor(int32_t x, int32_t y) {
    Note("GetPixelColor " + std::to_string(x) + " " + std::to_string(y));
    return color;
}

void KVTestExternal::Raise(const char* event) { RaiseNotifyEvent(m_host, m_unitNotify, event); }

int32_t KVTestUpdateExternal::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitExternal) return AnswerInterface(static_cast<IKVUnitExternal*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

} // namespace kvtest
