#pragma once
// The fog of a 3D scene (class "Fog"): hands its colour and range to the
// graphic device whenever one of them is written, and when it is enabled.
#include <cstdint>

#include "../units/KVUnit.h"
#include "IKVUnit3DFog.h"

namespace kvl {

class IKVGraphicDevice3D;

class KVUnit3DFog : public KVUnit, public IKVUnit3DFog {
public:
    static constexpr uint64_t kClassId = 0x0026DF79A357CBA2ull;
    static constexpr uint64_t kFogColorId = 0x0136BD8ADFE8623Dull;
    static constexpr uint64_t kFogStartId = 0x00A5B7D38C3D8BACull;
    static constexpr uint64_t kFogEndId = 0x00367DCB2EAD4AFAull;

    static KVUnit* Create() { return new KVUnit3DFog; }
    // Registers class "Fog" and its attributes; the class index, or -1.
    static int32_t RegisterClass();

    // IKVUnknown: also IKVUnit3DFog.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // KVUnit
    void Init() override;
    // Enabled: the fog is applied.
    void Refresh() override;

    // Enabled: (colour, start, end) to the device; disabled: (colour, 0, 0).
    void ApplyFog();

protected:
    ~KVUnit3DFog() override = default;

private:
    uint32_t m_fogColor = 0xFFFFFFFFu;
    float m_fogStart = 20.0f;
    float m_fogEnd = 100.0f;
    IKVGraphicDevice3D* m_device = nullptr;
};

} // namespace kvl
