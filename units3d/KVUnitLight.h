#pragma once
// A light of the 3D scene (class "Light"): owns a light object of the 3D
// module while it is enabled and keeps the object's parameter record in step
// with its attributes. In editor mode it draws a small cross at its position
// and can be picked.
#include <cstdint>

#include "../units/IKVSceneManager.h"
#include "../units/KV3DTypes.h"
#include "../units/KVUnit3D.h"
#include "IKVUnitLight.h"

namespace kvl {

class IKVLight;

class KVUnitLight : public KVUnit3D, public IKVUnitLight {
public:
    static constexpr uint64_t kClassId = 0x003C1C111C8F207Cull;
    static constexpr uint64_t kColorId = 0x0005365F02D42264ull;
    static constexpr uint64_t kAmbientId = 0x005700B35E5811F0ull;
    static constexpr uint64_t kSpecularId = 0x00575BF12E08F6A8ull;
    static constexpr uint64_t kRangeId = 0x00593F4AB2FEADF4ull;
    static constexpr uint64_t kShadowCasterId = 0x0034257F50527A0Eull;
    static constexpr uint64_t kAttenuationConstantId = 0x002C6087B0F2B278ull;
    static constexpr uint64_t kAttenuationDistanceId = 0x004BC23AB7E7D8B0ull;
    static constexpr uint64_t kAttenuationDistanceSquareId = 0x0029C77D7F483130ull;
    static constexpr uint64_t kNormalmapCasterId = 0x00290CDE1DAEFAF8ull;
    // The colour of the editor cross.
    static constexpr uint32_t kCrossColor = 0xFFFFFFu;

    static KVUnit* Create() { return new KVUnitLight; }
    // Registers class "Light" and its attributes; the class index, or -1.
    static int32_t RegisterClass();

    // KVUnit
    void Init() override;
    void Close() override;
    void Draw() override;
    bool IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) override;
    // Enabled: a new light object (kept when one is there already) takes the
    // record and the placement; disabled: the object goes.
    void Refresh() override;

    // Takes Color, Specular, Ambient, Range and the three factors (as mesh
    // data stores a light) and pushes the record; the Attenuation values
    // stay as they were.
    void SetLightRecord(const KV3DLightParams& record);
    // The factors from the Attenuation values (/100, /50, /50), pushed.
    void ApplyAttenuation();
    // Hands the record to the light object, when there is one.
    void PushRecord();

    const KV3DLightParams& GetRecord() const { return m_record; }
    IKVLight* GetLight() const { return m_light; }

protected:
    ~KVUnitLight() override = default;

private:
    // Lets the light object go, and with it the attached 3D object.
    void ReleaseLight();

    IKVLight* m_light = nullptr;
    KV3DLightParams m_record;
    float m_attenuationConstant = 10.0f;
    float m_attenuationDistance = 1.0f;
    float m_attenuationDistanceSquare = 0.0f;
};

} // namespace kvl
