#include "KV3DLight.h"

#include <cstring>

#include "KV3D.h"

namespace kvl {

KV3DLight::~KV3DLight() {
    if (KV3D* factory = KV3D::Instance()) factory->RemoveLight(this);
}

int32_t KV3DLight::SetParams(const KV3DLightParams* params) {
    // The spare bytes stay as they are: a 30-byte record is enough.
    if (params) std::memcpy(static_cast<void*>(&m_params), params, KV3D_LIGHT_PARAMS_USED);
    m_changed = 1;
    return KV_OK;
}

int32_t KV3DLight::OnPositionChanged() {
    m_changed = 1;
    return KV_OK;
}

} // namespace kvl
