#include "KVUnit3DFog.h"

#include "../graphics/IKVGraphicDevice3D.h"
#include "../kernel/KVCore.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

namespace {

void FogChanged(void* target) {
    if (auto* fog = dynamic_cast<KVUnit3DFog*>(static_cast<KVUnit*>(target))) fog->ApplyFog();
}

} // namespace

int32_t KVUnit3DFog::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnit3DFog) return AnswerInterface(static_cast<IKVUnit3DFog*>(this), out);
    return KVUnit::QueryInterface(id, out);
}

void KVUnit3DFog::Init() {
    m_fogColor = 0xFFFFFFFFu;
    m_fogStart = 20.0f;
    m_fogEnd = 100.0f;
    m_device = QueryCoreInterface<IKVGraphicDevice3D>(IID_IKVGraphicDevice3D);
    KVUnit::Init();
}

void KVUnit3DFog::Refresh() {
    KVUnit::Refresh();
    // The values of a scene reach the device when the unit is enabled;
    // disabling it leaves the fog as it is.
    if (IsEnabled()) ApplyFog();
}

void KVUnit3DFog::ApplyFog() {
    if (!m_device) return;
    if (IsEnabled())
        m_device->SetFog(m_fogColor, m_fogStart, m_fogEnd);
    else
        m_device->SetFog(m_fogColor, 0.0f, 0.0f);
}

int32_t KVUnit3DFog::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "Fog", &KVUnit3DFog::Create, "Unit", kClassId,
                                               "Class to specify fog properties for a scene");
    if (classIndex < 0) return -1;

    KVUnit3DFog probe;
    // Applied when written; enabling applies them once (Refresh).
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT, KVAF_NO_PASS);
    const KVAttributeRow rows[] = {
        {"FogColor", KVATTR_COLOR, &probe.m_fogColor, 1, kFogColorId, kStored, 0, nullptr, FogChanged, nullptr, "", 0},
        {"FogStart", KVATTR_F32, &probe.m_fogStart, 1, kFogStartId, kStored, 0, nullptr, FogChanged, nullptr, "", 0},
        {"FogEnd", KVATTR_F32, &probe.m_fogEnd, 1, kFogEndId, kStored, 0, nullptr, FogChanged, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterFogClass() { return KVUnit3DFog::RegisterClass(); }

} // namespace kvl
