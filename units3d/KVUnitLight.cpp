#include "KVUnitLight.h"

#include "../kernel/KVCore.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "IKV3D.h"
#include "KV3DUnitMarker.h"

namespace kvl {

namespace {

// A class derived from "Light" may make units of another kind.
KVUnitLight* LightOf(void* target) { return dynamic_cast<KVUnitLight*>(static_cast<KVUnit*>(target)); }

void RecordChanged(void* target) {
    if (KVUnitLight* light = LightOf(target)) light->PushRecord();
}

void AttenuationChanged(void* target) {
    if (KVUnitLight* light = LightOf(target)) light->ApplyAttenuation();
}

bool InEditor() {
    KVCore* core = KVCore::Instance();
    return core && core->IsEditorMode();
}

} // namespace

void KVUnitLight::Init() {
    KVUnit3D::Init();
    ReleaseLight();
    m_record = KV3DLightParams();
    m_record.color = 0x00FFFFFFu;
    m_record.specular = 0x00FFFFFFu;
    m_record.ambient = 0;
    m_record.range = 100.0f;
    m_record.shadowCaster = 0;
    m_record.normalMapCaster = 0;
    m_attenuationConstant = 10.0f;
    m_attenuationDistance = 1.0f;
    m_attenuationDistanceSquare = 0.0f;
    m_record.constantAttenuation = m_attenuationConstant / 100.0f;
    m_record.linearAttenuation = m_attenuationDistance / 50.0f;
    m_record.quadraticAttenuation = m_attenuationDistanceSquare / 50.0f;
    SetDrawable(InEditor());
}

void KVUnitLight::ReleaseLight() {
    if (!m_light) return;
    m_light = nullptr;
    SetObject3D(nullptr);
}

void KVUnitLight::Close() {
    ReleaseLight();
    KVUnit3D::Close();
}

void KVUnitLight::PushRecord() {
    if (m_light) m_light->SetParams(&m_record);
}

void KVUnitLight::ApplyAttenuation() {
    m_record.constantAttenuation = m_attenuationConstant / 100.0f;
    m_record.linearAttenuation = m_attenuationDistance / 50.0f;
    m_record.quadraticAttenuation = m_attenuationDistanceSquare / 50.0f;
    PushRecord();
}

void KVUnitLight::SetLightRecord(const KV3DLightParams& record) {
    m_record.color = record.color;
    m_record.specular = record.specular;
    m_record.ambient = record.ambient;
    m_record.range = record.range;
    m_record.constantAttenuation = record.constantAttenuation;
    m_record.linearAttenuation = record.linearAttenuation;
    m_record.quadraticAttenuation = record.quadraticAttenuation;
    PushRecord();
}

void KVUnitLight::Refresh() {
    KVUnit3D::Refresh();
    Retain();
    if (IsEnabled()) {
        // Enabling twice in a row (a unit enabled again from its own
        // "OnDisable") keeps the one light object.
        if (!m_light) {
            IKV3D* module = Get3DModule();
            IKVLight* light = nullptr;
            if (module && module->CreateLight(&light) == KV_OK && light) {
                m_light = light;
                SetObject3D(light);
            }
        }
        if (m_light) {
            PushRecord();
            ApplyPosition();
            ApplyRotation();
        }
    } else {
        ReleaseLight();
    }
    Release();
}

void KVUnitLight::Draw() {
    KVUnit3D::Draw();
    if (InEditor()) KV3DUnitMarker::DrawCross(GetDevice3D(), m_position, kCrossColor);
}

bool KVUnitLight::IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) {
    KVCore* core = KVCore::Instance();
    if (!core || !core->IsEditorMode() || core->IsRunning()) return false;
    KVPickRay ray;
    if (!KV3DUnitMarker::RayAt(point, camera, &ray)) return false;
    return KV3DUnitMarker::SegmentHitsCube(ray, m_position, 1.0f, depth);
}

int32_t KVUnitLight::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "Light", &KVUnitLight::Create, "Unit3D", kClassId, "Light class");
    if (classIndex < 0) return -1;

    // Offsets are measured on a unit that never enters the factory.
    KVUnitLight probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Color", KVATTR_COLOR, &probe.m_record.color, 1, kColorId, kStored, 0, nullptr, RecordChanged, nullptr, "",
         0},
        {"Ambient", KVATTR_COLOR, &probe.m_record.ambient, 1, kAmbientId, kStored, 0, nullptr, RecordChanged, nullptr,
         "", 0},
        {"Specular", KVATTR_COLOR, &probe.m_record.specular, 1, kSpecularId, kStored, 0, nullptr, RecordChanged,
         nullptr, "", 0},
        {"Range", KVATTR_F32, &probe.m_record.range, 1, kRangeId, kStored, 0, nullptr, RecordChanged, nullptr, "", 0},
        {"ShadowCaster", KVATTR_BOOLEAN, &probe.m_record.shadowCaster, 1, kShadowCasterId, kStored, 0, nullptr,
         RecordChanged, nullptr, "", 0},
        {"AttenuationConstant", KVATTR_F32, &probe.m_attenuationConstant, 1, kAttenuationConstantId, kStored, 0,
         nullptr, AttenuationChanged, nullptr, "", 0},
        {"AttenuationDistance", KVATTR_F32, &probe.m_attenuationDistance, 1, kAttenuationDistanceId, kStored, 0,
         nullptr, AttenuationChanged, nullptr, "", 0},
        {"AttenuationDistanceSquare", KVATTR_F32, &probe.m_attenuationDistanceSquare, 1,
         kAttenuationDistanceSquareId, kStored, 0, nullptr, AttenuationChanged, nullptr, "", 0},
        {"NormalmapCaster", KVATTR_BOOLEAN, &probe.m_record.normalMapCaster, 1, kNormalmapCasterId, kStored, 0,
         nullptr, RecordChanged, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterLightClass() { return KVUnitLight::RegisterClass(); }

} // namespace kvl
