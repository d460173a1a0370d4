#pragma once
// A light object: parameters at the object's position. The 3D module keeps
// every light in its list and reads position, range and the changed flag
// when it chooses lights for a point.
#include "../units/KV3DTypes.h"
#include "IKVLight.h"
#include "KV3DObject.h"

namespace kvl {

class KV3DLight : public KV3DCountedObject<IKVLight> {
public:
    KV3DLight() = default;

    const KV3DLightParams* GetParams() override { return &m_params; }
    int32_t SetParams(const KV3DLightParams* params) override;

    // Moving the light changes what it lights; turning it does not.
    int32_t OnPositionChanged() override;

    bool IsChanged() const { return m_changed != 0; }
    void ClearChanged() { m_changed = 0; }
    int32_t GetListIndex() const { return m_listIndex; }
    void SetListIndex(int32_t index) { m_listIndex = index; }

protected:
    // Takes the light out of the 3D module's list.
    ~KV3DLight() override;

private:
    KV3DLightParams m_params;
    uint8_t m_changed = 1;
    int32_t m_listIndex = -1;
};

} // namespace kvl
