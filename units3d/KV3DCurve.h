#pragma once
// A curve object: a polyline of points from mesh data, drawn as green lines.
#include <vector>

#include "IKVCurve.h"
#include "KV3DObject.h"

namespace kvl {

class KV3DCurve : public KV3DCountedObject<IKVCurve> {
public:
    static constexpr uint32_t kLineColor = 0xFF00FF00u;

    KV3DCurve() = default;

    int32_t SetPoints(const std::vector<KV3DCurvePoint>& points) override;
    int32_t Draw() override;

    const std::vector<KV3DCurvePoint>& GetPoints() const { return m_points; }

protected:
    ~KV3DCurve() override = default;

private:
    std::vector<KV3DCurvePoint> m_points;
};

} // namespace kvl
