#include "KV3DCurve.h"

#include "KV3DInterface.h"

namespace kvl {

int32_t KV3DCurve::SetPoints(const std::vector<KV3DCurvePoint>& points) {
    m_points = points;
    return KV_OK;
}

int32_t KV3DCurve::Draw() {
    IKVGraphicDevice3D* device = KV3DInterface::Device();
    if (!device) return KV_OK;
    // Lines are drawn without texture.
    if (KVGraphic* graphic = KV3DInterface::Graphic()) graphic->ResetTextureStages();
    device->SetTransform(1, GetMatrix());
    for (size_t i = 1; i < m_points.size(); ++i) {
        const KV3DCurvePoint& a = m_points[i - 1];
        const KV3DCurvePoint& b = m_points[i];
        const float line[6] = {a.x, a.y, a.z, b.x, b.y, b.z};
        device->DrawLine3D(line, kLineColor, 1);
    }
    return KV_OK;
}

} // namespace kvl
